// StartServiceWait and StopServiceWait on the simulated service manager: the state sequences that
// matter, the exact diagnostic lines, the time limits on the settable clock, and every handle closed
// on every path.
#include <gtest/gtest.h>

#include "services/service_control.h"
#include "services_fixture.h"

namespace qx {
namespace {

using sim::CSimScm;
using sim::CSimServiceBehaviour;
using test::ServicesTest;

const char kName[] = "QxSvc";
const char kDisplay[] = "Tavrin";

class ServicesStart : public ServicesTest {};
class ServicesStop : public ServicesTest {};
class ServicesControl : public ServicesTest {};

// ---- starting ----

TEST_F(ServicesStart, ServiceRunningAtFirstStatusStartsWithoutSleeping)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::RunsAtOnce());
    DWORD dwBefore = sim.m_clock.Now();
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "QxSvc started successfully.\n");
    EXPECT_TRUE(sim.m_clock.m_sleeps.empty());
    EXPECT_LT(Elapsed(dwBefore), 10u);
    EXPECT_EQ(sim.m_scm.Status(kName).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    ASSERT_EQ(sim.m_scm.m_startArgCounts.size(), 1u);
    EXPECT_EQ(sim.m_scm.m_startArgCounts[0], 0u);
}

TEST_F(ServicesStart, OpensWithTheTabledAccessOnTheLocalMachine)
{
    sim.m_scm.AddService(kName, kDisplay);
    ASSERT_EQ(StartServiceWait("", kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    const auto& opens = sim.m_scm.m_opens;
    ASSERT_GE(opens.size(), 4u);
    // Start: the manager for reading, the service for start and status.
    EXPECT_TRUE(opens[0].bManager);
    EXPECT_TRUE(opens[0].bMachineNull);  // an empty machine name is no machine name
    EXPECT_TRUE(opens[0].bDatabaseNull);
    EXPECT_EQ(opens[0].dwAccess, static_cast<DWORD>(GENERIC_READ));
    EXPECT_EQ(opens[1].strService, kName);
    EXPECT_EQ(opens[1].dwAccess, static_cast<DWORD>(SERVICE_START | SERVICE_QUERY_STATUS));
    // The confirming poll: status only.
    EXPECT_EQ(opens[2].dwAccess, static_cast<DWORD>(GENERIC_READ));
    EXPECT_EQ(opens[3].dwAccess, static_cast<DWORD>(SERVICE_QUERY_STATUS));
}

TEST_F(ServicesStart, AlreadyRunningServiceIsRefusedAtOnce)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    DWORD dwBefore = sim.m_clock.Now();
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "StartService failed: An instance of the service is already running.\r\n\n");
    EXPECT_TRUE(sim.m_clock.m_sleeps.empty());
    EXPECT_LT(Elapsed(dwBefore), 10u);
}

TEST_F(ServicesStart, FollowsAdvancingCheckpointsOneWaitHintEach)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::StartPending(3, 500, 700));
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{700, 700, 700}));
    EXPECT_EQ(TakeOutput(), "QxSvc started successfully.\n");
}

TEST_F(ServicesStart, StalledCheckpointGivesUpAfterOneWaitHintWithoutThePoll)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::Stalled(60000, 300));
    DWORD dwBefore = sim.m_clock.Now();
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(),
              "QxSvc start unsuccessful: \n"
              "Current State: 0x2\n"
              "Win32 Exit: 0\n"
              "Service Exit: 0\n"
              "Checkpoint: 0x1\n"
              "WaitHint: 0x12c\n");
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{300}));
    EXPECT_LT(Elapsed(dwBefore), 1000u);  // the 20000 ms poll was not used
}

TEST_F(ServicesStart, WaitHintZeroReadsTheStatusAgainAtOnce)
{
    // The checkpoint moves on only after a second; with no wait hint the second read comes at once.
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::StartPending(2, 1000, 0));
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{0}));
    std::vector<std::string> lines = Lines(TakeOutput());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "Checkpoint: 0x1");
    EXPECT_EQ(lines[5], "WaitHint: 0x0");
}

TEST_F(ServicesStart, ServiceThatNeverRunsEndsWhenItsCheckpointsStop)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::NeverRunning(3, 400, 400));
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{400, 400, 400}));
    std::vector<std::string> lines = Lines(TakeOutput());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "QxSvc start unsuccessful: ");
    EXPECT_EQ(lines[1], "Current State: 0x2");
    EXPECT_EQ(lines[4], "Checkpoint: 0x3");
    EXPECT_EQ(lines[5], "WaitHint: 0x190");
}

TEST_F(ServicesStart, ServiceWhoseProcessEndsDuringStartShowsItsExitCodes)
{
    CSimServiceBehaviour dies = CSimServiceBehaviour::RunsAtOnce();
    dies.start = {{0, SERVICE_START_PENDING, 1, 200}, {100, SERVICE_STOPPED, 0, 0, ERROR_PROCESS_ABORTED, 0}};
    sim.m_scm.AddService(kName, kDisplay, dies);
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(),
              "QxSvc start unsuccessful: \n"
              "Current State: 0x1\n"
              "Win32 Exit: 1067\n"
              "Service Exit: 0\n"
              "Checkpoint: 0x0\n"
              "WaitHint: 0x0\n");
}

TEST_F(ServicesStart, AbsurdWaitHintSleepsAtMostTenSecondsAtATime)
{
    // Checkpoints advance every 10 s while the service asks for an all-ones wait: the start still
    // follows them, one capped sleep per checkpoint.
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::StartPending(3, kMaxWaitHintSleepMs, 0xFFFFFFFF));
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>(3, kMaxWaitHintSleepMs)));

    // A stalled one still ends as a stall, after one capped sleep, showing the hint it reported.
    sim.m_clock.m_sleeps.clear();
    TakeOutput();
    sim.m_scm.AddService("QxStall", "Stalls", CSimServiceBehaviour::Stalled(0x7FFFFFFF, 0xFFFFFFFF));
    EXPECT_EQ(StartServiceWait(nullptr, "QxStall", "Stalls"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{kMaxWaitHintSleepMs}));
    EXPECT_EQ(Lines(TakeOutput()).back(), "WaitHint: 0xffffffff");
}

TEST_F(ServicesStart, ConfirmingPollVerdictIsTenSeconds)
{
    // The service runs, drops back to start pending and runs again nAfter ms later: the confirming
    // poll sees it again at nAfter, and the start counts only when that was before 10000 ms.
    int nOnes = 0;
    int nZeros = 0;
    for (DWORD dwAgain = 9990; dwAgain <= 10010; ++dwAgain) {
        sim::CSimPlatform local;
        CSimServiceBehaviour flaps = CSimServiceBehaviour::RunsAtOnce();
        flaps.start = {{0, SERVICE_RUNNING}, {1, SERVICE_START_PENDING, 1, 0}, {dwAgain, SERVICE_RUNNING}};
        local.m_scm.AddService(kName, kDisplay, flaps);
        DWORD dwStart = local.m_clock.Now();
        int nResult = StartServiceWait(nullptr, kName, kDisplay);
        // The last reading of the clock is the verdict's.
        DWORD dwVerdict = local.m_clock.Now() - local.m_clock.m_dwStepPerRead - dwStart;
        EXPECT_EQ(nResult, dwVerdict < 10000 ? 1 : 0) << "running again after " << dwAgain;
        EXPECT_GE(dwVerdict, dwAgain);
        (nResult == 1 ? nOnes : nZeros)++;
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
    EXPECT_GT(nOnes, 0);
    EXPECT_GT(nZeros, 0);
}

TEST_F(ServicesStart, ServiceThatStopsRunningRunsThePollToItsLimit)
{
    CSimServiceBehaviour crashes = CSimServiceBehaviour::RunsAtOnce();
    crashes.start = {{0, SERVICE_RUNNING}, {1, SERVICE_STOPPED, 0, 0, ERROR_PROCESS_ABORTED}};
    sim.m_scm.AddService(kName, kDisplay, crashes);
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_GE(Elapsed(dwStart), 20000u);
    EXPECT_LT(Elapsed(dwStart), 20010u);
    EXPECT_EQ(TakeOutput(), "QxSvc started successfully.\n");  // the poll itself writes nothing
}

TEST_F(ServicesStart, EveryFailurePathWritesOneLineAndClosesEverything)
{
    struct Case {
        const char* pszWhat;
        bool bServiceThere;
        const char* pszFailCall;  // null: no injected fault
        DWORD dwError;
        int nNth;
        const char* pszMachine;
        const char* pszExpected;
    } cases[] = {
        {"manager refused", true, "OpenSCManagerA", ERROR_ACCESS_DENIED, 1, nullptr,
         "OpenSCManager failed: Access is denied.\r\n\n"},
        {"machine unreachable", true, nullptr, 0, 0, "FARAWAY",
         "OpenSCManager failed: The RPC server is unavailable.\r\n\n"},
        {"service missing", false, nullptr, 0, 0, "\\\\QXSERVER",
         "OpenService failed: The specified service does not exist as an installed service.\r\n\n"},
        {"start refused", true, "StartServiceA", ERROR_SERVICE_DISABLED, 1, nullptr,
         "StartService failed: Unknown error 422\n"},
        {"first status read", true, "QueryServiceStatus", ERROR_ACCESS_DENIED, 1, nullptr,
         "QueryServiceStatus failed: Incorrect function.\r\n\n"},
        {"status read after a wait hint", true, "QueryServiceStatus", ERROR_ACCESS_DENIED, 2, nullptr,
         "QueryServiceStatus failed: Incorrect function.\r\n\n"},
        {"no system text at all", true, "FormatMessageA", ERROR_NOT_ENOUGH_MEMORY, 1, "FARAWAY",
         "OpenSCManager failed: Unknown error 6ba\n"},
    };
    for (const Case& c : cases) {
        sim::CSimPlatform local;
        if (c.bServiceThere)
            local.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::StartPending(2, 100, 100));
        if (c.pszFailCall != nullptr)
            local.m_kernel.FailCall(c.pszFailCall, c.dwError, c.nNth);
        EXPECT_EQ(StartServiceWait(c.pszMachine, kName, kDisplay), 0) << c.pszWhat;
        EXPECT_EQ(local.m_system.m_strStdout, c.pszExpected) << c.pszWhat;
        EXPECT_TRUE(local.Clean()) << c.pszWhat << ": " << local.Report();
    }
}

TEST_F(ServicesStart, ServiceOnAnotherMachineIsStartedThere)
{
    sim.m_scm.AddMachine("DC2");
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::RunsAtOnce(), "DC2");
    EXPECT_EQ(StartServiceWait("DC2", kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_scm.m_opens[0].strMachine, "DC2");
    EXPECT_FALSE(sim.m_scm.m_opens[0].bMachineNull);
    EXPECT_EQ(sim.m_scm.Status(kName, "DC2").dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(sim.m_scm.Service(kName), nullptr);  // nothing of that name here
}

// ---- stopping ----

TEST_F(ServicesStop, RunningServiceStopsAndTheExportSettlesTwoSeconds)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(),
              "Service Status for QxSvc\n"
              "Type: 0x10\n"
              "Current State: 0x1\n"
              "Controls Accepted: 0\n"
              "Win32 Exit: 0\n"
              "Service Exit: 0\n"
              "Checkpoint: 0x0\n"
              "WaitHint: 0x0\n");
    EXPECT_EQ(sim.m_scm.m_controls, (std::vector<DWORD>{SERVICE_CONTROL_STOP}));
    EXPECT_EQ(sim.m_scm.m_opens[1].dwAccess, static_cast<DWORD>(GENERIC_EXECUTE));
    EXPECT_GE(Elapsed(dwStart), 2000u);
    EXPECT_LT(Elapsed(dwStart), 2010u);
    // The settle delay sleeps rather than spins.
    ASSERT_FALSE(sim.m_clock.m_sleeps.empty());
    EXPECT_GE(SleptMs(), 1990u);
}

TEST_F(ServicesStop, AlreadyStoppedServiceReportsTheRefusalAndStillSucceeds)
{
    sim.m_scm.AddService(kName, kDisplay);
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "ControlService failed: The service has not been started.\r\n\n");
    EXPECT_GE(Elapsed(dwStart), 2000u);
}

TEST_F(ServicesStop, SlowStopIsWaitedFor)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::SlowStop(3000, 1000));
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    std::vector<std::string> lines = Lines(TakeOutput());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[2], "Current State: 0x3");
    EXPECT_EQ(lines[6], "Checkpoint: 0x1");
    EXPECT_EQ(lines[7], "WaitHint: 0x3e8");
    EXPECT_GE(Elapsed(dwStart), 5000u);
    EXPECT_LT(Elapsed(dwStart), 5010u);
    EXPECT_EQ(sim.m_scm.Status(kName).dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServicesStop, RefusedStopRunsThePollAndTheSettleThenFails)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::RefusesStop());
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "ControlService failed: The requested control is not valid for this service.\r\n\n");
    EXPECT_GE(Elapsed(dwStart), 22000u);
    EXPECT_LT(Elapsed(dwStart), 22010u);
    EXPECT_EQ(sim.m_scm.Status(kName).dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServicesStop, MissingServiceFailsEveryPassAndEndsByTime)
{
    sim.m_clock.m_dwStepPerRead = 10;  // fewer passes, same limits
    DWORD dwStart = sim.m_clock.Now();
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    std::vector<std::string> lines = Lines(TakeOutput());
    ASSERT_GT(lines.size(), 1000u);
    for (const std::string& strLine : lines) {
        ASSERT_TRUE(strLine == "OpenService failed: The specified service does not exist as an installed service.\r" ||
                    strLine.empty())
            << strLine;
    }
    EXPECT_GE(Elapsed(dwStart), 22000u);
}

TEST_F(ServicesStop, VerdictCountsTheSettleDelayAgainstTheLimit)
{
    // A service that reaches stopped nStop ms after the request: the export succeeds only when the
    // settle delay after it ends less than 20000 ms after the request.
    int nOnes = 0;
    int nZeros = 0;
    for (DWORD dwStop = 17985; dwStop <= 18010; ++dwStop) {
        sim::CSimPlatform local;
        local.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::SlowStop(dwStop));
        local.m_scm.SetState(kName, SERVICE_RUNNING);
        DWORD dwStart = local.m_clock.Now();
        int nResult = StopServiceWait(nullptr, kName, kDisplay);
        DWORD dwVerdict = local.m_clock.Now() - local.m_clock.m_dwStepPerRead - dwStart;
        EXPECT_EQ(nResult, dwVerdict < 20000 ? 1 : 0) << "stopped after " << dwStop;
        EXPECT_GE(dwVerdict, dwStop + 2000) << "the settle delay follows the stopped state";
        (nResult == 1 ? nOnes : nZeros)++;
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
    EXPECT_GT(nOnes, 0);
    EXPECT_GT(nZeros, 0);
}

TEST_F(ServicesStop, ServiceStillStartingCannotBeStoppedYet)
{
    sim.m_scm.AddService(kName, kDisplay, CSimServiceBehaviour::NeverRunning(1, 100, 100));
    ASSERT_EQ(StartServiceWait(nullptr, kName, kDisplay), 0);
    TakeOutput();
    sim.m_clock.m_dwStepPerRead = 10;
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "ControlService failed: The service cannot accept control messages at this time.\r\n\n");
}

// ---- what both share ----

TEST_F(ServicesControl, NamesThatDoNotFitAreRefusedBeforeAnything)
{
    sim.m_scm.AddService(kName, kDisplay);
    std::string strLong = Text(kServiceNameSize);  // 257 characters: one too many
    DWORD dwBefore = sim.m_clock.Now();
    EXPECT_EQ(StartServiceWait(nullptr, strLong.c_str(), kDisplay), 0);
    EXPECT_EQ(StopServiceWait(nullptr, strLong.c_str(), kDisplay), 0);
    EXPECT_EQ(StartServiceWait(nullptr, kName, strLong.c_str()), 0);
    EXPECT_EQ(StopServiceWait(nullptr, kName, strLong.c_str()), 0);
    EXPECT_EQ(StartServiceWait(nullptr, nullptr, kDisplay), 0);
    EXPECT_EQ(StopServiceWait(nullptr, nullptr, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_scm.m_opens.empty());
    EXPECT_TRUE(sim.m_clock.m_sleeps.empty());
    EXPECT_EQ(sim.m_clock.Now(), dwBefore);
    EXPECT_EQ(TakeOutput(), "");

    // 256 characters fit.
    std::string strLongest = Text(kServiceNameSize - 1);
    sim.m_scm.AddService(strLongest, "Longest");
    EXPECT_EQ(StartServiceWait(nullptr, strLongest.c_str(), nullptr), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), strLongest + " started successfully.\n");
}

TEST_F(ServicesControl, QueryStatusKeepsTheLastStatusWhenAReadFails)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.SetState(kName, SERVICE_PAUSED);
    CServiceControl service(kName, kDisplay);
    EXPECT_EQ(service.m_status.dwCurrentState, 0u);
    service.QueryStatus();
    EXPECT_EQ(service.m_status.dwCurrentState, static_cast<DWORD>(SERVICE_PAUSED));
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    sim.m_kernel.FailCall("QueryServiceStatus", ERROR_ACCESS_DENIED);
    service.QueryStatus();
    EXPECT_EQ(service.m_status.dwCurrentState, static_cast<DWORD>(SERVICE_PAUSED));
    EXPECT_EQ(TakeOutput(), "QueryServiceStatus failed: Access is denied.\r\n\n");
    EXPECT_TRUE(Settled());
}

TEST_F(ServicesControl, ReportFailureUsesTheSystemTextOrTheCodeInHex)
{
    CServiceControl service(kName, kDisplay);
    EXPECT_EQ(service.ReportFailure("DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE),
              static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(service.ReportFailure("OpenService", 0xC0DE), 0xC0DEu);
    EXPECT_EQ(TakeOutput(),
              "DeleteService failed: The specified service has been marked for deletion.\r\n\n"
              "OpenService failed: Unknown error c0de\n");
    EXPECT_TRUE(Settled());  // the system's text went back with LocalFree
}

TEST_F(ServicesControl, ConstructorRefusesNamesItCannotHold)
{
    std::string strLong = Text(kServiceNameSize);
    EXPECT_THROW(CServiceControl(strLong.c_str(), kDisplay), std::length_error);
    EXPECT_THROW(CServiceControl(kName, strLong.c_str()), std::length_error);
    CServiceControl service(kName, nullptr);
    EXPECT_STREQ(service.m_szName, kName);
    EXPECT_STREQ(service.m_szDisplayName, "");
    EXPECT_TRUE(service.m_strMachine.empty());
}

}  // namespace
}  // namespace qx
