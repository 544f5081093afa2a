// InstallService, RemoveService and the installed-service probes on the simulated service manager and
// security policy: the fixed configuration, the logon name and the right granted, the machine named,
// the removal results, the probes' states and box, and every handle and heap block given back.
#include <gtest/gtest.h>

#include <tuple>

#include "services/service_actions.h"
#include "services_fixture.h"

namespace qx {
namespace {

using sim::CSimPlatform;
using namespace test;
using B = sim::CSimServiceBehaviour;

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
    // All access; own process, automatic start, normal error control; no load-order group, no tag.
    EXPECT_EQ(std::tie(create.dwDesiredAccess, create.dwServiceType, create.dwStartType, create.dwErrorControl),
              std::make_tuple(0xF01FFul, 0x10ul, 2ul, 1ul));
    EXPECT_TRUE(create.bLoadOrderGroupNull && create.bTagIdNull);
    // The existence check before, the creation, and the existence check after.
    EXPECT_EQ(Opens(sim), "M - - 1; S QxSvc 1; M - - 2; M - - 1; S QxSvc 1");
    // Installed again, with an account: the service keeps its configuration, the account gets its right.
    EXPECT_EQ(Done(InstallService(nullptr, kName, "Other", "C:\\other.exe", "svcuser", "pw")), 1);
    EXPECT_EQ(TakeOutput(), "");
    EXPECT_EQ(sim.m_scm.m_creates.size(), 1u);
    EXPECT_EQ(sim.m_scm.Service(kName)->strBinaryPath, kPath);
    EXPECT_FALSE(sim.m_scm.Service(kName)->bHasStartName);
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
}

// The logon name and password given to the manager, and the right granted in this machine's policy;
// with a policy or heap call failing at its nth use, the right is not granted, silently.
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
        {nullptr, nullptr, 1, nullptr, nullptr, nullptr},
        {"svcuser", "s3cret", 1, ".\\svcuser", "s3cret", kUserSid},
        {kDomain, "<none>", 1, kDomain, nullptr, kDomainSid},
        {"<NONE>", "<None>", 0, ".\\<NONE>", "<None>", nullptr},
        {"", "<none> ", 0, ".\\", "<none> ", nullptr},
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
        // An account is looked for in this machine's policy, and given the right to log on as a service.
        EXPECT_EQ(local.m_lsa.m_policyOpens.size(), c.pszLogonName ? 1u : 0u);
        ASSERT_EQ(local.m_lsa.m_grants.size(), c.pszSid ? 1u : 0u);
        for (const auto& grant : local.m_lsa.m_grants)
            EXPECT_TRUE(grant.sid == sim::SidFromString(c.pszSid) &&
                        grant.rights == std::vector<std::wstring> {L"SeServiceLogonRight"});
    }
}

// A lookup that keeps asking for a larger buffer without naming a larger size would be asked again
// forever: the right is given up after the first such answer, and the service is still created.
// In code page 932 an account named ソ (83 5C) holds no backslash: an account of this machine; in
// code page 1252 the same bytes are a domain and a user, given as they are.
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
    enum Setup { kNone, kStopped, kRunning, kMarked, kNoDelete };
    // The service, the machine, the call failing with access denied, the result, the call named in
    // the line written with its error (null: "Removed"), and the service after.
    const std::tuple<Setup, const char*, const char*, int, const char*, DWORD, const char*> cases[] = {
        {kStopped, nullptr, nullptr, 1, nullptr, 0, "gone"},
        {kRunning, nullptr, nullptr, 1, nullptr, 0, "marked"},  // goes when it stops
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
            if (eSetup == kRunning || eSetup == kMarked)
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
        EXPECT_EQ(Opens(local), pszMachine ? "M 'FARAWAY' - 1" : "M - - 1; S QxSvc 10000");
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

TEST_F(ServicesProbe, EachLooksForItsOwnDisplayNameInTheActiveDatabase)
{
    sim.m_scm.AddService("qorvexrpc", "Qorvex RPC Service");
    sim.m_scm.SetState("qorvexrpc", SERVICE_RUNNING);
    sim.m_scm.AddService("QxTavrin", "Tavrin", B::RunsAtOnce(), "DC2");
    sim.m_scm.SetState("QxTavrin", SERVICE_RUNNING, "DC2");
    EXPECT_EQ(Done(ZUVadarInstalled("")), 1);
    EXPECT_EQ(Done(KixInstalled(nullptr)), 0);
    EXPECT_EQ(Done(ROVoruzInstalled(nullptr)), 0);
    EXPECT_EQ(Done(ROVoruzInstalled("\\\\DC2")), 1);
    // The machine argument goes to the manager as it is.
    EXPECT_EQ(Opens(sim), "M '' ServicesActive f003f; S qorvexrpc 4; M - ServicesActive f003f; "
                          "M - ServicesActive f003f; M '\\\\DC2' ServicesActive f003f; S QxTavrin 4");
}

// Running, start pending and paused count; one box per call only when the manager cannot be opened.
TEST_F(ServicesProbe, StatesThatCountAndTheBox)
{
    enum Setup { kInState, kUnreachable, kNoFullAccess, kNotThere, kNoQueryAccess, kLongKey /* of 256 bytes */ };
    const std::tuple<Setup, DWORD, const char*, int> cases[] = {{kInState, SERVICE_STOPPED, nullptr, 0},
                                                                {kInState, SERVICE_START_PENDING, nullptr, 1},
                                                                {kInState, SERVICE_STOP_PENDING, nullptr, 0},
                                                                {kInState, SERVICE_RUNNING, nullptr, 1},
                                                                {kInState, SERVICE_CONTINUE_PENDING, nullptr, 0},
                                                                {kInState, SERVICE_PAUSE_PENDING, nullptr, 0},
                                                                {kInState, SERVICE_PAUSED, nullptr, 1},
                                                                {kUnreachable, SERVICE_RUNNING, nullptr, 0},
                                                                {kNoFullAccess, SERVICE_RUNNING, nullptr, 0},
                                                                {kNotThere, SERVICE_RUNNING, nullptr, 0},
                                                                {kNoQueryAccess, SERVICE_RUNNING, nullptr, 0},
                                                                {kLongKey, SERVICE_RUNNING, nullptr, 0},
                                                                {kInState, SERVICE_RUNNING, "GetServiceKeyNameA", 0},
                                                                {kInState, SERVICE_RUNNING, "OpenServiceA", 0},
                                                                {kInState, SERVICE_RUNNING, "QueryServiceStatus", 0}};
    for (const auto& [eSetup, dwState, pszFailCall, nResult] : cases) {
        SCOPED_TRACE(std::to_string(eSetup) + " " + std::to_string(dwState) + " " + (pszFailCall ? pszFailCall : ""));
        sim::CSimPlatform local;
        local.m_scm.AddMachine("DC2").dwAllowedAccess &=
            eSetup == kNoFullAccess ? ~DWORD {SC_MANAGER_MODIFY_BOOT_CONFIG} : ~0u;
        for (const CProbe& probe : kProbes) {
            std::string strKey = eSetup == kLongKey ? std::string(256, probe.pszExport[0]) : probe.pszExport;
            if (eSetup != kNotThere) {
                local.m_scm.AddService(strKey, probe.pszDisplayName, B::RunsAtOnce(), "DC2");
                local.m_scm.SetState(strKey, dwState, "DC2");
                local.m_scm.Service(strKey, "DC2")->dwAllowedAccess &=
                    eSetup == kNoQueryAccess ? ~DWORD {SERVICE_QUERY_STATUS} : ~0u;
            }
            if (pszFailCall != nullptr)
                local.m_kernel.FailCall(pszFailCall, ERROR_ACCESS_DENIED);
            EXPECT_EQ(probe.pfn(eSetup == kUnreachable ? "FARAWAY" : "DC2"), nResult) << probe.pszExport;
            EXPECT_TRUE(local.Clean()) << probe.pszExport << ": " << local.Report();
        }
        EXPECT_EQ(TakeOutput(local), "");
        bool bBox = eSetup == kUnreachable || eSetup == kNoFullAccess;
        ASSERT_EQ(local.m_ui.m_boxes.size(), bBox ? 3u : 0u);
        for (const auto& box : local.m_ui.m_boxes)  // one OK button, no icon, application-modal, no owner
            EXPECT_EQ(std::tie(box.hOwner, box.strText, box.strCaption, box.uType),
                      std::make_tuple(nullptr, "SC Manager Error", "KI Err", UINT(MB_OK)));
    }
}

}  // namespace
}  // namespace qx
