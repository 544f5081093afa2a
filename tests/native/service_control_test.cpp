// StartServiceWait and StopServiceWait on the simulated service manager: the state sequences that
// matter, the exact diagnostic lines, the time limits on the settable clock and the passes of the
// polls, the machine addressed, texts refused before anything, and every handle closed on every path.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <utility>

#include "services/logon_right.h"  // kAccountBufferSize
#include "services/service_actions.h"
#include "services/service_control.h"
#include "services_fixture.h"

namespace qx {
namespace {

using sim::CSimPlatform;
using B = sim::CSimServiceBehaviour;
using namespace test;

class ServicesControl : public ServicesTest {
protected:
    const std::string kNotInstalled = Failed("OpenService", ERROR_SERVICE_DOES_NOT_EXIST);
};
using ServicesStart = ServicesControl;
using ServicesStop = ServicesControl;

constexpr DWORD kMissing = 0;  // in a table: the service is not there
constexpr size_t kMaxPasses = 300;  // clock readings or manager opens of one export, polls of 20 s included
const char kStarted[] = "QxSvc started successfully.\n";

std::string Unsuccessful(const char* pszState, const char* pszExit, const char* pszServiceExit,
                         const char* pszCheckpoint, const char* pszHint)
{
    return std::string("QxSvc start unsuccessful: \nCurrent State: 0x") + pszState + "\nWin32 Exit: " + pszExit +
           "\nService Exit: " + pszServiceExit + "\nCheckpoint: 0x" + pszCheckpoint + "\nWaitHint: 0x" + pszHint + "\n";
}

std::string StatusFor(const char* pszState, const char* pszAccepted, const char* pszCheckpoint, const char* pszHint)
{
    return std::string("Service Status for QxSvc\nType: 0x10\nCurrent State: 0x") + pszState +
           "\nControls Accepted: " + pszAccepted + "\nWin32 Exit: 0\nService Exit: 0\nCheckpoint: 0x" + pszCheckpoint +
           "\nWaitHint: 0x" + pszHint + "\n";
}

// The pauses between the passes of a poll: each from 1 to 100 ms.
void ExpectPauses(const std::vector<DWORD>& pauses)
{
    for (DWORD dwPause : pauses)
        EXPECT_TRUE(dwPause >= 1 && dwPause <= kPollPauseMs) << dwPause;
}

B Timeline(std::vector<sim::CSimStatusStep> start)
{
    B behaviour = B::RunsAtOnce();
    behaviour.start = std::move(start);
    return behaviour;
}

TEST_F(ServicesStart, StateSequencesAndFailures)
{
    const B pending = B::StartPending(2, 100, 100);
    const B again9500 = Timeline({{0, SERVICE_RUNNING}, {1, SERVICE_START_PENDING, 1}, {9500, SERVICE_RUNNING}});
    const B again10000 = Timeline({{0, SERVICE_RUNNING}, {1, SERVICE_START_PENDING, 1}, {10000, SERVICE_RUNNING}});
    const B dies = Timeline({{0, SERVICE_START_PENDING, 1, 200}, {100, SERVICE_STOPPED, 0, 0, 1066, 42}});
    const B stops = Timeline({{0, SERVICE_RUNNING}, {1, SERVICE_STOPPED}});
    const std::string kIncorrect = Failed("QueryServiceStatus", ERROR_INVALID_FUNCTION);
    const DWORD kHuge = 0xFFFFFFFF;
    struct Case {
        B behaviour;
        int nResult;
        std::vector<DWORD> sleeps;  // for the wait hints; the confirming poll's pauses follow
        DWORD dwPollMs;  // how long the confirming poll runs, at least
        std::string strOutput;
        DWORD dwState = SERVICE_STOPPED;  // kMissing: no such service
        const char* pszFailCall = nullptr;  // fails with dwError at its nNth use
        DWORD dwError = 0;
        int nNth = 1;
        const char* pszMachine = nullptr;
    } cases[] = {
        {B::RunsAtOnce(), 1, {}, 0, kStarted},
        {B::RunsAtOnce(), 0, {}, 0, Failed("StartService", ERROR_SERVICE_ALREADY_RUNNING), SERVICE_RUNNING},
        {B::StartPending(3, 500, 700), 1, {700, 700, 700}, 0, kStarted},
        {B::Stalled(60000, 300), 0, {300}, 0, Unsuccessful("2", "0", "0", "1", "12c")},
        {B::StartPending(2, 1000, 0), 0, {0}, 0, Unsuccessful("2", "0", "0", "1", "0")},  // a wait hint of 0
        {B::NeverRunning(3, 400, 400), 0, {400, 400, 400}, 0, Unsuccessful("2", "0", "0", "3", "190")},
        {dies, 0, {200}, 0, Unsuccessful("1", "1066", "42", "0", "0")},  // the process ends while starting
        {B::StartPending(3, kMaxWaitHintSleepMs, kHuge), 1, {10000, 10000, 10000}, 0, kStarted},
        {B::Stalled(0x7FFFFFFF, kHuge), 0, {10000}, 0, Unsuccessful("2", "0", "0", "1", "ffffffff")},
        {again9500, 1, {}, 9500, kStarted},
        {again10000, 0, {}, 10000, kStarted},
        {stops, 0, {}, 20000, kStarted},
        {pending, 0, {}, 0, Failed("OpenSCManager", RPC_S_SERVER_UNAVAILABLE), SERVICE_STOPPED, {}, 0, 1, "FARAWAY"},
        {pending, 0, {}, 0, kNotInstalled, kMissing},
        {pending,
         0,
         {},
         0,
         Failed("StartService", ERROR_SERVICE_DISABLED),
         SERVICE_STOPPED,
         "StartServiceA",
         ERROR_SERVICE_DISABLED},
        {pending, 0, {}, 0, kIncorrect, SERVICE_STOPPED, "QueryServiceStatus", ERROR_ACCESS_DENIED},
        {pending, 0, {100}, 0, kIncorrect, SERVICE_STOPPED, "QueryServiceStatus", ERROR_ACCESS_DENIED, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        CSimPlatform local;
        if (c.dwState != kMissing) {
            local.m_scm.AddService(kName, kDisplay, c.behaviour);
            local.m_scm.SetState(kName, c.dwState);
        }
        if (c.pszFailCall != nullptr)
            local.m_kernel.FailCall(c.pszFailCall, c.dwError, c.nNth);
        DWORD dwBefore = local.m_clock.Now();
        EXPECT_EQ(StartServiceWait(c.pszMachine, kName, kDisplay), c.nResult);
        EXPECT_TRUE(local.Clean()) << local.Report();
        EXPECT_EQ(TakeOutput(local), c.strOutput);
        std::vector<DWORD> sleeps = local.m_clock.m_sleeps;
        std::vector<DWORD> pauses(sleeps.begin() + std::min(c.sleeps.size(), sleeps.size()), sleeps.end());
        sleeps.resize(sleeps.size() - pauses.size());
        EXPECT_EQ(sleeps, c.sleeps);
        ExpectPauses(pauses);
        // Besides the wait hints, only the confirming poll takes time: it sees the running state
        // at most one pause late, and a poll that runs to its limit stops there.
        DWORD dwPoll = local.m_clock.Now() - dwBefore - std::accumulate(sleeps.begin(), sleeps.end(), DWORD {0});
        EXPECT_GE(dwPoll, c.dwPollMs);
        EXPECT_LT(dwPoll, c.dwPollMs + (c.dwPollMs == kStartPollMs ? 10 : kPollPauseMs + 10));
        EXPECT_LE(local.m_clock.m_nReadings, kMaxPasses);
    }
}

TEST_F(ServicesStop, StateSequencesAndTheVerdict)
{
    B slow = B::SlowStop(3000, 1000);
    slow.stop[0].dwControlsAccepted = 0x100;  // only the pre-shutdown notice while it stops
    struct Case {
        B behaviour;
        DWORD dwState;  // kMissing: no such service
        int nResult;  // -1: 1 when the last reading of the clock, the verdict's, is under 20000 ms
        std::string strOutput;
        DWORD dwElapsedMs;
    };
    std::vector<Case> cases = {
        {B::RunsAtOnce(), SERVICE_RUNNING, 1, StatusFor("1", "0", "0", "0"), 2000},
        {B::RunsAtOnce(), SERVICE_STOPPED, 1, Failed("ControlService", ERROR_SERVICE_NOT_ACTIVE), 2000},
        {slow, SERVICE_RUNNING, 1, StatusFor("3", "256", "1", "3e8"), 5000},
        {B::RefusesStop(), SERVICE_RUNNING, 0, Failed("ControlService", ERROR_INVALID_SERVICE_CONTROL), 22000},
        {B::RunsAtOnce(), SERVICE_START_PENDING, 0, Failed("ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL), 22000},
        {B::RunsAtOnce(), kMissing, 0, kNotInstalled, 22000},
    };
    // Stopped before and after the limit less the settle delay (seen at most one pause late): both
    // verdicts must be seen.
    for (DWORD dwStop = 17880; dwStop <= 18010; ++dwStop)
        cases.push_back({B::SlowStop(dwStop), SERVICE_RUNNING, -1, StatusFor("3", "0", "1", "0"), dwStop + 2000});
    int nVerdicts[2] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - &cases[0]));
        CSimPlatform local;
        if (c.dwState != kMissing) {
            local.m_scm.AddService(kName, kDisplay, c.behaviour);
            local.m_scm.SetState(kName, c.dwState);
        }
        DWORD dwBefore = local.m_clock.Now();
        int nResult = StopServiceWait(nullptr, kName, kDisplay);
        EXPECT_TRUE(local.Clean()) << local.Report();
        DWORD dwVerdict = local.m_clock.Now() - local.m_clock.m_dwStepPerRead - dwBefore;
        EXPECT_EQ(nResult, c.nResult >= 0 ? c.nResult : dwVerdict < 20000);
        if (c.nResult < 0)
            ++nVerdicts[nResult == 1];
        // Not installed: the stop and every pass of the poll write the line; a pass opens the manager.
        size_t nOpens = std::count_if(local.m_scm.m_opens.begin(), local.m_scm.m_opens.end(),
                                      [](const sim::CSimScm::COpen& open) { return open.bManager; });
        std::string strExpected;
        for (size_t i = 0; i < (c.dwState == kMissing ? nOpens : 1); ++i)
            strExpected += c.strOutput;
        EXPECT_EQ(TakeOutput(local), strExpected);
        // A poll of 20 s makes a few hundred passes, each pause at most 100 ms; then the settle delay.
        EXPECT_LE(nOpens, kMaxPasses);
        EXPECT_LE(local.m_clock.m_nReadings, kMaxPasses);
        ASSERT_FALSE(local.m_clock.m_sleeps.empty());
        ExpectPauses({local.m_clock.m_sleeps.begin(), local.m_clock.m_sleeps.end() - 1});
        EXPECT_EQ(local.m_scm.m_controls, std::vector<DWORD>(c.dwState != kMissing, SERVICE_CONTROL_STOP));
        DWORD dwFinal = nResult == 1 || c.nResult < 0 ? static_cast<DWORD>(SERVICE_STOPPED) : c.dwState;
        EXPECT_EQ(local.m_scm.Status(kName).dwCurrentState, dwFinal);
        // The settle delay follows the stopped state, seen at most one pause late; a poll that runs to
        // its limit stops there. The settle delay sleeps rather than spins.
        EXPECT_GE(dwVerdict, c.dwElapsedMs);
        EXPECT_LT(dwVerdict, c.dwElapsedMs + (c.dwElapsedMs == 22000 ? 10 : kPollPauseMs + 10));
        EXPECT_GE(SleptMs(local), 1990u);
    }
    EXPECT_TRUE(nVerdicts[0] > 0 && nVerdicts[1] > 0) << "both verdicts seen near the limit";
}

TEST_F(ServicesControl, TheMachineNamedIsAddressedWithTheTabledAccess)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.AddService(kName, kDisplay, B::RunsAtOnce(), "DC2");
    EXPECT_EQ(Done(StartServiceWait("DC2", kName, kDisplay)), 1);
    EXPECT_EQ(Done(StopServiceWait("\\\\DC2", kName, kDisplay)), 1);
    EXPECT_EQ(Done(StartServiceWait("", kName, kDisplay)), 1);  // an empty machine name is no machine name
    EXPECT_EQ(Opens(sim), "M 'DC2' - 80000000; S QxSvc 14; M 'DC2' - 80000000; S QxSvc 4; "
                          "M '\\\\DC2' - 80000000; S QxSvc 20000000; M '\\\\DC2' - 80000000; S QxSvc 4; "
                          "M - - 80000000; S QxSvc 14; M - - 80000000; S QxSvc 4");
    EXPECT_EQ(TakeOutput(), kStarted + StatusFor("1", "0", "0", "0") + kStarted);
    EXPECT_EQ(sim.m_scm.m_startArgCounts, (std::vector<DWORD> {0, 0}));
}

TEST_F(ServicesControl, TextsThatDoNotFitAreRefusedBeforeAnything)
{
    sim.m_scm.AddService(kName, kDisplay);
    const std::string strLong = std::string(kServiceNameSize, 'n');  // 257 characters: one too many
    const std::string strPath = "C:\\" + std::string(kBinaryPathSize - 3, 'n');
    const std::string strAccount = std::string(kAccountBufferSize, 'n');
    sim.m_lsa.AddAccount("", strAccount, "S-1-5-21-1-2-3-1010");
    // The key name, display name, path and account; the first three rows also for the other exports.
    const char* const cases[][4] = {{strLong.c_str(), kDisplay, "C:\\a.exe", "svcuser"},
                                    {kName, strLong.c_str(), "C:\\a.exe", "svcuser"},
                                    {nullptr, kDisplay, "C:\\a.exe", "svcuser"},
                                    {kName, kDisplay, strPath.c_str(), "svcuser"},
                                    {kName, kDisplay, "C:\\a.exe", strAccount.c_str()}};
    DWORD dwBefore = sim.m_clock.Now();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const char* const* c = cases[i];
        EXPECT_EQ(Done(InstallService(nullptr, c[0], c[1], c[2], c[3], "pw")), 0) << i;
        int nOthers = i < 3 ? Done(StartServiceWait(nullptr, c[0], c[1])) + Done(StopServiceWait(nullptr, c[0], c[1])) +
                                  Done(RemoveService(nullptr, c[0], c[1]))
                            : 0;
        EXPECT_EQ(nOthers, 0) << i;
    }
    EXPECT_EQ(Opens(sim), "");
    EXPECT_TRUE(sim.m_lsa.m_policyOpens.empty());
    EXPECT_EQ(sim.m_clock.Now(), dwBefore);  // no wait, no pause, not even a reading of the clock
    EXPECT_EQ(TakeOutput(), "");

    // One character less fits everywhere.
    const std::string strFit = strLong.substr(1);
    sim.m_lsa.AddAccount("", strAccount.substr(1), "S-1-5-21-1-2-3-1011");
    EXPECT_EQ(Done(InstallService(nullptr, strFit.c_str(), strFit.c_str(), &strPath[1], &strAccount[1], "<none>")), 1);
    ASSERT_EQ(sim.m_scm.m_creates.size(), 1u);
    EXPECT_EQ(sim.m_scm.m_creates[0].strBinaryPath, strPath.substr(1));
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
    EXPECT_EQ(Done(StartServiceWait(nullptr, strFit.c_str(), nullptr)), 1);
    EXPECT_EQ(TakeOutput(), strFit + " Created\n" + strFit + " started successfully.\n");
}

}  // namespace
}  // namespace qx
