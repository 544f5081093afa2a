// The services exports on the simulated service manager and security policy, timed on its settable clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>

#include "qxinst.h"
#include "services/logon_right.h"  // kAccountBufferSize
#include "services/service_actions.h"
#include "services/service_control.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using sim::CSimPlatform;
using B = sim::CSimServiceBehaviour;
using test::SimTest;

constexpr char kName[] = "QxSvc";
constexpr char kDisplay[] = "Tavrin";

class ServicesTest : public SimTest {
protected:
    static std::string TakeOutput(sim::CSimPlatform& platform)
    {
        return std::exchange(platform.m_system.m_strStdout, "");
    }
    std::string TakeOutput() { return TakeOutput(sim); }
    // The line an export writes when a call fails with dwError: "<call> failed: <system text>\n".
    std::string Failed(const char* pszCall, DWORD dwError) const
    {
        return std::string(pszCall) + " failed: " + sim.m_system.m_messages.at(dwError) + "\n";
    }
    // Every manager and service open, in order, "M <machine or -> <access>" or "S <name> <access>".
    static std::string Opens(const sim::CSimPlatform& platform)
    {
        std::string strLog;
        for (const auto& open : platform.m_scm.m_opens)
            strLog += (strLog.empty() ? "" : "; ") +
                      (!open.bManager      ? "S " + open.strService
                       : open.bMachineNull ? "M -"
                                           : "M '" + open.strMachine + "'") +
                      (open.bManager && !open.bDatabaseNull ? " " + open.strDatabase : "") + " " +
                      std::to_string(open.dwAccess);
        return strLog;
    }
};

const char kPath[] = "C:\\Qorvex\\tavrin.exe -service";
const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1005";
const char kDomain[] = "QORVEXHEADQUARTERS\\svc";  // a domain name longer than the first 16 bytes
const char kDomainSid[] = "S-1-5-21-7-8-9-1107";
const char kCreated[] = "QxSvc Created\n";

void AddAccounts(CSimPlatform& platform)
{
    platform.m_lsa.AddAccount("", "svcuser", kUserSid);
    platform.m_lsa.AddAccount("QORVEXHEADQUARTERS", "svc", kDomainSid);
}
class ServicesInstall : public ServicesTest {
protected:
    void SetUp() override { AddAccounts(sim); }
};
using ServicesRemove = ServicesTest;
using ServicesProbe = ServicesTest;

TEST_F(ServicesInstall, CreatesTheServiceOnceWithItsFixedConfiguration)
{
    EXPECT_EQ(Done(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>")), 1);
    EXPECT_EQ(TakeOutput(), kCreated);
    ASSERT_EQ(sim.m_scm.m_creates.size(), 1u);
    const auto& create = sim.m_scm.m_creates[0];
    EXPECT_EQ(std::tie(create.strName, create.strDisplayName, create.strBinaryPath, create.dependencies),
              std::make_tuple(kName, kDisplay, kPath, std::string("RPCSS\0\0", 7)));
    EXPECT_EQ(std::tie(create.dwDesiredAccess, create.dwServiceType, create.dwStartType, create.dwErrorControl),
              std::make_tuple(0xF01FFul, 0x10ul, 2ul, 1ul));
    EXPECT_TRUE(create.bLoadOrderGroupNull && create.bTagIdNull);
    EXPECT_EQ(Opens(sim), "M - 1; S QxSvc 1; M - 2; M - 1; S QxSvc 1");
    // Installed again, with an account: the service keeps its configuration, the account gets its right.
    EXPECT_EQ(Done(InstallService(nullptr, kName, "Other", "C:\\other.exe", "svcuser", "pw")), 1);
    EXPECT_EQ(TakeOutput(), "");
    EXPECT_EQ(sim.m_scm.m_creates.size(), 1u);
    EXPECT_EQ(sim.m_scm.Service(kName)->strBinaryPath, kPath);
    EXPECT_FALSE(sim.m_scm.Service(kName)->bHasStartName);
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
}

// The logon name and password given, and the right granted; a policy or heap call failing: no right.
TEST_F(ServicesInstall, AccountsPasswordsAndTheLogonRight)
{
    struct Case {
        const char *pszAccount, *pszPassword;
        int nResult;
        const char *pszLogonName, *pszPasswordGiven, *pszSid;  // null: none given, no right granted
        const char* pszFailCall = nullptr;
        int nNth = 0;
    };
    std::vector<Case> cases = {
        {"<none>", "<none>", 1, nullptr, nullptr, nullptr},
        {"svcuser", "s3cret", 1, ".\\svcuser", "s3cret", kUserSid},
        {kDomain, "<none>", 1, kDomain, nullptr, kDomainSid},
        {"<NONE>", "<None>", 0, ".\\<NONE>", "<None>", nullptr},
        {"<none> ", "pw", 0, ".\\<none> ", "pw", nullptr},
    };
    const std::pair<const char*, int> faults[] = {
        {"LsaOpenPolicy", 1},      {"HeapAlloc", 1},   {"HeapAlloc", 2},   {"LookupAccountNameA", 1},
        {"LookupAccountNameA", 2}, {"HeapReAlloc", 1}, {"HeapReAlloc", 2}, {"LsaAddAccountRights", 1}};
    for (auto [pszCall, nNth] : faults)
        cases.push_back({kDomain, "pw", 1, kDomain, "pw", nullptr, pszCall, nNth});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pszAccount ? c.pszAccount : "(null)") + ", failing " +
                     (c.pszFailCall ? c.pszFailCall : "nothing") + " #" + std::to_string(c.nNth));
        CSimPlatform local;
        AddAccounts(local);
        if (c.pszFailCall != nullptr)  // the policy calls fail with an NTSTATUS, the others with a Win32 code
            local.m_kernel.FailCall(c.pszFailCall, c.pszFailCall[1] == 's' ? DWORD(STATUS_ACCESS_DENIED) : 5u, c.nNth);
        EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, c.pszAccount, c.pszPassword), c.nResult);
        EXPECT_TRUE(local.Clean()) << local.Report();
        EXPECT_EQ(TakeOutput(local), c.nResult ? kCreated : Failed("CreateService", ERROR_INVALID_SERVICE_ACCOUNT));
        ASSERT_EQ(local.m_scm.m_creates.size(), 1u);
        const auto& create = local.m_scm.m_creates[0];
        EXPECT_EQ(std::tie(create.bStartNameNull, create.strStartName, create.bPasswordNull, create.strPassword),
                  std::make_tuple(!c.pszLogonName, c.pszLogonName ? c.pszLogonName : "", !c.pszPasswordGiven,
                                  c.pszPasswordGiven ? c.pszPasswordGiven : ""));
        EXPECT_EQ(local.m_lsa.m_policyOpens.size(), c.pszLogonName ? 1u : 0u);
        ASSERT_EQ(local.m_lsa.m_grants.size(), c.pszSid ? 1u : 0u);
        for (const auto& grant : local.m_lsa.m_grants)
            EXPECT_TRUE(grant.sid == sim::SidFromString(c.pszSid) &&
                        grant.rights == std::vector<std::wstring> {L"SeServiceLogonRight"});
    }
}

// A lookup asking for a larger buffer without naming one is not asked again; in code page 932 the
// account ソ (83 5C) holds no backslash, in 1252 the same bytes are a domain and a user.
TEST_F(ServicesInstall, TheLookupAndTheBackslashOfTheAccountName)
{
    sim.m_kernel.FailCall("LookupAccountNameA", ERROR_INSUFFICIENT_BUFFER, 0);
    EXPECT_EQ(Done(InstallService(nullptr, kName, kDisplay, kPath, "svcuser", "pw")), 1);
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameA"), 1);
    EXPECT_TRUE(sim.m_lsa.m_grants.empty());
    EXPECT_EQ(TakeOutput(), kCreated);
    sim.m_kernel.ClearFaults();
    for (auto [nCodePage, pszName, pszLogonName] :
         {std::tuple {932u, "QxJa", ".\\\x83\\"}, {1252u, "QxWe", "\x83\\"}}) {
        sim.m_system.SetAnsiCodePage(nCodePage);
        Done(InstallService(nullptr, pszName, pszName, kPath, "\x83\\", "pw"));
        EXPECT_EQ(sim.m_scm.m_creates.back().strStartName, pszLogonName) << nCodePage;
    }
    TakeOutput();
}

TEST_F(ServicesInstall, WhereItGoesAndWhatItRunsOrWhyNot)
{
    // A null binary path is the host's own executable; the key name is shown for a null display name.
    sim.m_scm.AddMachine("DC2");
    EXPECT_EQ(Done(InstallService("DC2", kName, nullptr, nullptr, "<none>", "<none>")), 1);
    // With an account too, the machine named gets the service, this machine's policy the right.
    EXPECT_EQ(Done(InstallService("\\\\DC2", "QxOther", "Other", kPath, "svcuser", "pw")), 1);
    ASSERT_EQ(sim.m_scm.m_creates.size(), 2u);
    EXPECT_EQ(sim.m_scm.m_creates[0].strBinaryPath, sim.m_system.m_strModuleFileName);
    EXPECT_TRUE(sim.m_scm.m_creates[0].bDisplayNameNull);
    EXPECT_TRUE(sim.m_scm.Service(kName, "DC2") && sim.m_scm.Service("QxOther", "DC2"));
    EXPECT_FALSE(sim.m_scm.Service(kName) || sim.m_scm.Service("QxOther"));
    ASSERT_EQ(sim.m_lsa.m_policyOpens.size(), 1u);
    EXPECT_TRUE(sim.m_lsa.m_policyOpens[0].wstrSystem.empty());
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
    EXPECT_EQ(TakeOutput(), "QxSvc Created\nQxOther Created\n");
    // A host path that does not fit is not cut; a manager unreachable or refusing the display name.
    sim.m_system.m_strModuleFileName = "C:\\" + std::string(270, 'n') + "\\setup.exe";
    EXPECT_EQ(Done(InstallService(nullptr, kName, kDisplay, nullptr, "<none>", "<none>")), 0);
    EXPECT_EQ(Done(InstallService("FARAWAY", kName, kDisplay, kPath, "<none>", "<none>")), 0);
    sim.m_scm.AddService("Taken", kDisplay);
    sim.m_kernel.FailCall("FormatMessageA", ERROR_MR_MID_NOT_FOUND);  // a code without a system text
    EXPECT_EQ(Done(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>")), 0);
    EXPECT_EQ(sim.m_scm.m_creates.size(), 3u);
    EXPECT_EQ(TakeOutput(), Failed("GetModuleFileName", ERROR_INSUFFICIENT_BUFFER) +
                                Failed("OpenSCManager", RPC_S_SERVER_UNAVAILABLE) +
                                "CreateService failed: Unknown error 436\n");
}

TEST_F(ServicesRemove, ResultsLinesAndThePause)
{
    enum Setup { kNone, kStopped, kMarked, kNoDelete };
    // The service, machine, call failing, result, call named in the line (null: "Removed"), service after.
    const std::tuple<Setup, const char*, const char*, int, const char*, DWORD, const char*> cases[] = {
        {kStopped, nullptr, nullptr, 1, nullptr, 0, "gone"},
        {kMarked, nullptr, nullptr, 1, "DeleteService", ERROR_SERVICE_MARKED_FOR_DELETE, "marked"},
        {kNone, nullptr, nullptr, 1, "OpenService", ERROR_SERVICE_DOES_NOT_EXIST, "gone"},
        {kStopped, "FARAWAY", nullptr, 0, "OpenSCManager", RPC_S_SERVER_UNAVAILABLE, "kept"},
        {kNoDelete, nullptr, nullptr, 0, "OpenService", ERROR_ACCESS_DENIED, "kept"},
        {kStopped, nullptr, "DeleteService", 0, "DeleteService", ERROR_ACCESS_DENIED, "kept"}};
    for (const auto& [eSetup, pszMachine, pszFailCall, nResult, pszFailed, dwError, pszAfter] : cases) {
        SCOPED_TRACE(std::to_string(eSetup) + " " + (pszFailed ? pszFailed : ""));
        CSimPlatform local;
        if (eSetup != kNone) {
            sim::CSimService& service = local.m_scm.AddService(kName, kDisplay);
            if (eSetup == kMarked)
                local.m_scm.SetState(kName, SERVICE_RUNNING);
            service.bMarkedForDelete = eSetup == kMarked;
            service.dwAllowedAccess &= eSetup == kNoDelete ? ~DWORD {DELETE} : ~0u;
        }
        if (pszFailCall != nullptr)
            local.m_kernel.FailCall(pszFailCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(RemoveService(pszMachine, kName, kDisplay), nResult);
        EXPECT_TRUE(local.Clean()) << local.Report();
        EXPECT_EQ(TakeOutput(local), pszFailed ? Failed(pszFailed, dwError) : "QxSvc Removed\n");
        EXPECT_EQ(local.m_clock.m_sleeps, std::vector<DWORD> {kRemovePauseMs});
        EXPECT_EQ(Opens(local), pszMachine ? "M 'FARAWAY' 1" : "M - 1; S QxSvc 65536");
        const sim::CSimService* pService = local.m_scm.Service(kName);
        EXPECT_STREQ(!pService ? "gone" : pService->bMarkedForDelete ? "marked" : "kept", pszAfter);
    }
}

struct CProbe {
    const char* pszExport;
    int(QXAPI* pfn)(const char*);
    const char* pszDisplayName;
};
const CProbe kProbes[] = {
    {"KixInstalled", &KixInstalled, "kixtart rpc service"},
    {"ZUVadarInstalled", &ZUVadarInstalled, "Qorvex RPC Service"},
    {"ROVoruzInstalled", &ROVoruzInstalled, "Tavrin"},
};

// Running, start pending and paused count; one box per call only when the manager cannot be opened.
TEST_F(ServicesProbe, StatesThatCountAndTheBox)
{
    enum Setup { kInState, kUnreachable, kNoFullAccess, kNotThere, kLongKey /* of 256 bytes */ };
    // Each state from stopped (1) to paused (7) as it counts; then what fails, the service running.
    const int kCounts[] = {0, 1, 0, 1, 0, 0, 1};
    std::vector<std::tuple<Setup, DWORD, const char*, int>> cases;
    for (DWORD dwState = SERVICE_STOPPED; dwState <= SERVICE_PAUSED; ++dwState)
        cases.emplace_back(kInState, dwState, nullptr, kCounts[dwState - 1]);
    const std::pair<Setup, const char*> failures[] = {
        {kUnreachable, nullptr}, {kNoFullAccess, nullptr},         {kNotThere, nullptr},
        {kLongKey, nullptr},     {kInState, "GetServiceKeyNameA"}, {kInState, "QueryServiceStatus"}};
    for (auto [eSetup, pszFailCall] : failures)
        cases.emplace_back(eSetup, SERVICE_RUNNING, pszFailCall, 0);
    for (const auto& [eSetup, dwState, pszFailCall, nResult] : cases) {
        for (const CProbe& probe : kProbes) {  // each on its own machine: no other probe's service there
            SCOPED_TRACE(std::string(probe.pszExport) + " " + std::to_string(eSetup) + " " + std::to_string(dwState) +
                         " " + (pszFailCall ? pszFailCall : ""));
            sim::CSimPlatform local;
            local.m_scm.AddMachine("DC2").dwAllowedAccess &=
                eSetup == kNoFullAccess ? ~DWORD {SC_MANAGER_MODIFY_BOOT_CONFIG} : ~0u;
            std::string strKey = eSetup == kLongKey ? std::string(256, probe.pszExport[0]) : probe.pszExport;
            if (eSetup != kNotThere) {
                local.m_scm.AddService(strKey, probe.pszDisplayName, B::RunsAtOnce(), "DC2");
                local.m_scm.SetState(strKey, dwState, "DC2");
            }
            if (pszFailCall != nullptr)
                local.m_kernel.FailCall(pszFailCall, ERROR_ACCESS_DENIED);
            EXPECT_EQ(probe.pfn(eSetup == kUnreachable ? "FARAWAY" : "DC2"), nResult);
            EXPECT_TRUE(local.Clean()) << local.Report();
            EXPECT_EQ(TakeOutput(local), "");
            bool bBox = eSetup == kUnreachable || eSetup == kNoFullAccess;
            ASSERT_EQ(local.m_ui.m_boxes.size(), bBox ? 1u : 0u);
            for (const auto& box : local.m_ui.m_boxes)  // one OK button, no icon, application-modal, no owner
                EXPECT_EQ(std::tie(box.hOwner, box.strText, box.strCaption, box.uType),
                          std::make_tuple(nullptr, "SC Manager Error", "KI Err", UINT(MB_OK)));
        }
    }
}

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
        {again9500, 1, {}, 9500, kStarted},
        {again10000, 0, {}, 10000, kStarted},
        {stops, 0, {}, 20000, kStarted},
        {pending, 0, {}, 0, Failed("OpenSCManager", RPC_S_SERVER_UNAVAILABLE), SERVICE_STOPPED, {}, 0, 1, "FARAWAY"},
        {pending, 0, {}, 0, kNotInstalled, kMissing},
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
        // The confirming poll sees the running state at most one pause late, or stops at its limit.
        DWORD dwPoll = local.m_clock.Now() - dwBefore - std::accumulate(sleeps.begin(), sleeps.end(), DWORD {0});
        EXPECT_GE(dwPoll, c.dwPollMs);
        EXPECT_LT(dwPoll, c.dwPollMs + (c.dwPollMs == kStartPollMs ? 10 : kPollPauseMs + 10));
        EXPECT_LE(local.m_clock.m_nReadings, kMaxPasses);
    }
}

TEST_F(ServicesStop, TheStatusThePollAndTheSettleDelay)
{
    B slow = B::SlowStop(3000, 1000);
    slow.stop[0].dwControlsAccepted = 0x100;  // only the pre-shutdown notice while it stops
    sim.m_scm.AddService(kName, kDisplay, slow);
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    DWORD dwBefore = sim.m_clock.Now();
    EXPECT_EQ(Done(StopServiceWait(nullptr, kName, kDisplay)), 1);
    EXPECT_EQ(TakeOutput(), StatusFor("3", "256", "1", "3e8"));
    EXPECT_EQ(sim.m_scm.m_controls, std::vector<DWORD> {SERVICE_CONTROL_STOP});
    // Stopped after 3 s, seen at most one pause late; then the settle delay, slept rather than spun.
    DWORD dwVerdict = sim.m_clock.Now() - sim.m_clock.m_dwStepPerRead - dwBefore;
    EXPECT_TRUE(dwVerdict >= 5000 && dwVerdict < 5000 + kPollPauseMs + 10) << dwVerdict;
    ASSERT_FALSE(sim.m_clock.m_sleeps.empty());
    ExpectPauses({sim.m_clock.m_sleeps.begin(), sim.m_clock.m_sleeps.end() - 1});
    EXPECT_GE(sim.m_clock.m_sleeps.back(), 1990u);
    EXPECT_LE(sim.m_clock.m_nReadings, kMaxPasses);
}

TEST_F(ServicesControl, TheMachineNamedIsAddressedWithTheTabledAccess)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.AddService(kName, kDisplay, B::RunsAtOnce(), "DC2");
    EXPECT_EQ(Done(StartServiceWait("DC2", kName, kDisplay)), 1);
    EXPECT_EQ(Done(StopServiceWait("\\\\DC2", kName, kDisplay)), 1);
    EXPECT_EQ(Done(StartServiceWait("", kName, kDisplay)), 1);  // an empty machine name is no machine name
    // GENERIC_READ for the manager; SERVICE_START | SERVICE_QUERY_STATUS, GENERIC_EXECUTE, then
    // SERVICE_QUERY_STATUS for the service.
    EXPECT_EQ(Opens(sim), "M 'DC2' 2147483648; S QxSvc 20; M 'DC2' 2147483648; S QxSvc 4; "
                          "M '\\\\DC2' 2147483648; S QxSvc 536870912; M '\\\\DC2' 2147483648; S QxSvc 4; "
                          "M - 2147483648; S QxSvc 20; M - 2147483648; S QxSvc 4");
    EXPECT_EQ(TakeOutput(), kStarted + StatusFor("1", "0", "0", "0") + kStarted);
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
