// InstallService, RemoveService and the installed-service probes on the simulated service manager and
// security policy: the service created with its fixed configuration, the logon name and the right
// granted (policy calls and SID recorded), the machine named, the removal results, the probes' display
// names, states and box, and every handle and heap block given back.
#include <gtest/gtest.h>

#include <tuple>

#include "services/service_actions.h"
#include "services_fixture.h"

namespace qx {
namespace {

using sim::CSimPlatform;
using sim::SidFromString;
using namespace test;
using B = sim::CSimServiceBehaviour;

const char kPath[] = "C:\\Qorvex\\tavrin.exe -service";
const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1005";
const char kDomainAccount[] = "QORVEXHEADQUARTERS\\svc";  // a domain name longer than the first 16 bytes
const char kDomainSid[] = "S-1-5-21-7-8-9-1107";
const char kCreated[] = "QxSvc Created\n";

class ServicesInstall : public ServicesTest {
protected:
    void SetUp() override { AddAccounts(sim); }
    static void AddAccounts(CSimPlatform& platform)
    {
        platform.m_lsa.AddAccount("", "svcuser", kUserSid);
        platform.m_lsa.AddAccount("QORVEXHEADQUARTERS", "svc", kDomainSid);
    }
};
class ServicesRemove : public ServicesTest { };
class ServicesProbe : public ServicesTest { };

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

TEST_F(ServicesInstall, AccountsPasswordsAndTheLogonRight)
{
    const char kUnknown[] = "CreateService failed: The account name is invalid or does not exist, or the password is "
                            "invalid for the account name specified.\r\n\n";
    struct Case {
        const char* pszAccount;
        const char* pszPassword;
        const char* pszFailCall;  // with its nNth call failing, the right is not granted, silently
        int nNth;
        int nResult;
        const char* pszLogonName;  // null: none given (the local system account)
        const char* pszPasswordGiven;
        const char* pszSid;  // null: no right granted
        const char* pszOutput;
    } cases[] = {
        {"<none>", "<none>", nullptr, 0, 1, nullptr, nullptr, nullptr, kCreated},
        {nullptr, nullptr, nullptr, 0, 1, nullptr, nullptr, nullptr, kCreated},
        {"svcuser", "s3cret", nullptr, 0, 1, ".\\svcuser", "s3cret", kUserSid, kCreated},
        {kDomainAccount, "<none>", nullptr, 0, 1, kDomainAccount, nullptr, kDomainSid, kCreated},
        {"<NONE>", "<None>", nullptr, 0, 0, ".\\<NONE>", "<None>", nullptr, kUnknown},
        {"", "<none> ", nullptr, 0, 0, ".\\", "<none> ", nullptr, kUnknown},
        {"<none> ", "pw", nullptr, 0, 0, ".\\<none> ", "pw", nullptr, kUnknown},
        {kDomainAccount, "pw", "LsaOpenPolicy", 1, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "HeapAlloc", 1, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "HeapAlloc", 2, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "LookupAccountNameA", 1, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "LookupAccountNameA", 2, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "HeapReAlloc", 1, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "HeapReAlloc", 2, 1, kDomainAccount, "pw", nullptr, kCreated},
        {kDomainAccount, "pw", "LsaAddAccountRights", 1, 1, kDomainAccount, "pw", nullptr, kCreated},
    };
    for (const Case& c : cases) {
        CSimPlatform local;
        AddAccounts(local);
        if (c.pszFailCall != nullptr)
            // The policy calls fail with an NTSTATUS, the others with a Win32 code.
            local.m_kernel.FailCall(c.pszFailCall,
                                    std::string(c.pszFailCall).rfind("Lsa", 0) == 0
                                        ? static_cast<DWORD>(STATUS_ACCESS_DENIED)
                                        : static_cast<DWORD>(ERROR_ACCESS_DENIED),
                                    c.nNth);
        std::string strWhat = std::string("account '") + (c.pszAccount ? c.pszAccount : "(null)") + "', failing " +
                              (c.pszFailCall ? c.pszFailCall : "nothing") + " #" + std::to_string(c.nNth);
        EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, c.pszAccount, c.pszPassword), c.nResult) << strWhat;
        EXPECT_TRUE(local.Clean()) << strWhat << ": " << local.Report();
        EXPECT_EQ(TakeOutput(local), c.pszOutput) << strWhat;
        ASSERT_EQ(local.m_scm.m_creates.size(), 1u) << strWhat;
        const auto& create = local.m_scm.m_creates[0];
        EXPECT_EQ(std::tie(create.bStartNameNull, create.strStartName, create.bPasswordNull, create.strPassword),
                  std::make_tuple(!c.pszLogonName, c.pszLogonName ? c.pszLogonName : "", !c.pszPasswordGiven,
                                  c.pszPasswordGiven ? c.pszPasswordGiven : ""))
            << strWhat;
        // An account is looked for in this machine's policy: an empty system name, zeroed attributes,
        // access to create accounts and look up names.
        ASSERT_EQ(local.m_lsa.m_policyOpens.size(), c.pszLogonName ? 1u : 0u) << strWhat;
        for (const auto& open : local.m_lsa.m_policyOpens) {
            EXPECT_TRUE(open.wstrSystem.empty() && open.nSystemLength == 0 && open.bAttributesZero) << strWhat;
            EXPECT_EQ(std::tie(open.nSystemMaximumLength, open.dwAccess), std::make_tuple(sizeof(WCHAR), 0x810ul));
        }
        ASSERT_EQ(local.m_lsa.m_grants.size(), c.pszSid ? 1u : 0u) << strWhat;
        for (const auto& grant : local.m_lsa.m_grants) {
            EXPECT_EQ(grant.sid, SidFromString(c.pszSid)) << strWhat;
            EXPECT_EQ(grant.rights, std::vector<std::wstring> {L"SeServiceLogonRight"}) << strWhat;
            EXPECT_EQ(grant.lengths, std::vector<USHORT> {19 * sizeof(WCHAR)}) << strWhat;
            EXPECT_EQ(grant.maximumLengths, std::vector<USHORT> {20 * sizeof(WCHAR)}) << strWhat;
        }
    }
}

// A lookup that keeps asking for a larger buffer without naming a larger size would be asked again
// forever: the right is given up after the first such answer, and the service is still created.
TEST_F(ServicesInstall, ALookupThatAsksForNoLargerBufferIsNotAskedAgain)
{
    sim.m_kernel.FailCall("LookupAccountNameA", ERROR_INSUFFICIENT_BUFFER, 0);
    EXPECT_EQ(Done(InstallService(nullptr, kName, kDisplay, kPath, "svcuser", "pw")), 1);
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameA"), 1);
    EXPECT_TRUE(sim.m_lsa.m_grants.empty());
    EXPECT_EQ(TakeOutput(), kCreated);
}

// In code page 932 an account named ソ (83 5C) holds no backslash: it is an account of this machine.
// In code page 1252 the same bytes are a domain and a user, given as they are.
TEST_F(ServicesInstall, AnAccountNamesItsDomainOnlyWithABackslashCharacter)
{
    const struct {
        UINT nCodePage;
        const char* pszName;
        const char* pszLogonName;
    } cases[] = {{932, "QxJa", ".\\\x83\\"}, {1252, "QxWe", "\x83\\"}};
    for (const auto& c : cases) {
        sim.m_system.SetAnsiCodePage(c.nCodePage);
        Done(InstallService(nullptr, c.pszName, c.pszName, kPath, "\x83\\", "pw"));
        ASSERT_FALSE(sim.m_scm.m_creates.empty());
        EXPECT_EQ(sim.m_scm.m_creates.back().strStartName, c.pszLogonName) << c.nCodePage;
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
    EXPECT_EQ(TakeOutput(), "GetModuleFileName failed: The data area passed to a system call is too small.\r\n\n"
                            "OpenSCManager failed: The RPC server is unavailable.\r\n\n"
                            "CreateService failed: Unknown error 436\n");
}

TEST_F(ServicesRemove, ResultsLinesAndThePause)
{
    enum class Setup { kNone, kStopped, kRunning, kMarked, kNoDelete };
    const char kRemoved[] = "QxSvc Removed\n";
    struct Case {
        const char* pszWhat;
        Setup eSetup;
        const char* pszMachine;
        const char* pszFailCall;  // fails with access denied
        int nResult;
        const char* pszOutput;
        const char* pszAfter;  // "gone", "marked" or "kept"
    } cases[] = {
        {"stopped", Setup::kStopped, nullptr, nullptr, 1, kRemoved, "gone"},
        {"running: goes when it stops", Setup::kRunning, nullptr, nullptr, 1, kRemoved, "marked"},
        {"already marked", Setup::kMarked, nullptr, nullptr, 1,
         "DeleteService failed: The specified service has been marked for deletion.\r\n\n", "marked"},
        {"not there", Setup::kNone, nullptr, nullptr, 1,
         "OpenService failed: The specified service does not exist as an installed service.\r\n\n", "gone"},
        {"unreachable", Setup::kStopped, "FARAWAY", nullptr, 0,
         "OpenSCManager failed: The RPC server is unavailable.\r\n\n", "kept"},
        {"no delete access", Setup::kNoDelete, nullptr, nullptr, 0, "OpenService failed: Access is denied.\r\n\n",
         "kept"},
        {"deletion refused", Setup::kStopped, nullptr, "DeleteService", 0,
         "DeleteService failed: Access is denied.\r\n\n", "kept"},
    };
    for (const Case& c : cases) {
        CSimPlatform local;
        if (c.eSetup != Setup::kNone) {
            sim::CSimService& service = local.m_scm.AddService(kName, kDisplay);
            if (c.eSetup == Setup::kRunning || c.eSetup == Setup::kMarked)
                local.m_scm.SetState(kName, SERVICE_RUNNING);
            service.bMarkedForDelete = c.eSetup == Setup::kMarked;
            service.dwAllowedAccess &= c.eSetup == Setup::kNoDelete ? ~DWORD {DELETE} : ~0u;
        }
        if (c.pszFailCall != nullptr)
            local.m_kernel.FailCall(c.pszFailCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(RemoveService(c.pszMachine, kName, kDisplay), c.nResult) << c.pszWhat;
        EXPECT_TRUE(local.Clean()) << c.pszWhat << ": " << local.Report();
        EXPECT_EQ(TakeOutput(local), c.pszOutput) << c.pszWhat;
        EXPECT_EQ(local.m_clock.m_sleeps, std::vector<DWORD> {kRemovePauseMs}) << c.pszWhat;
        EXPECT_EQ(Opens(local), c.pszMachine ? "M 'FARAWAY' - 1" : "M - - 1; S QxSvc 10000") << c.pszWhat;
        const sim::CSimService* pService = local.m_scm.Service(kName);
        EXPECT_STREQ(!pService ? "gone" : pService->bMarkedForDelete ? "marked" : "kept", c.pszAfter) << c.pszWhat;
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

TEST_F(ServicesProbe, StatesThatCountAndOneBoxPerCallOnlyWhenTheManagerCannotBeOpened)
{
    enum class Setup { kInState, kUnreachable, kNoFullAccess, kNotThere, kNoQueryAccess, kLongKey };
    struct Case {
        const char* pszWhat;
        Setup eSetup;
        DWORD dwState;
        const char* pszFailCall;
        int nResult;
    } cases[] = {
        {"stopped", Setup::kInState, SERVICE_STOPPED, nullptr, 0},
        {"start pending", Setup::kInState, SERVICE_START_PENDING, nullptr, 1},
        {"stop pending", Setup::kInState, SERVICE_STOP_PENDING, nullptr, 0},
        {"running", Setup::kInState, SERVICE_RUNNING, nullptr, 1},
        {"continue pending", Setup::kInState, SERVICE_CONTINUE_PENDING, nullptr, 0},
        {"pause pending", Setup::kInState, SERVICE_PAUSE_PENDING, nullptr, 0},
        {"paused", Setup::kInState, SERVICE_PAUSED, nullptr, 1},
        {"unreachable: a box", Setup::kUnreachable, SERVICE_RUNNING, nullptr, 0},
        {"manager without full access: a box", Setup::kNoFullAccess, SERVICE_RUNNING, nullptr, 0},
        {"not installed", Setup::kNotThere, SERVICE_RUNNING, nullptr, 0},
        {"service may not be queried", Setup::kNoQueryAccess, SERVICE_RUNNING, nullptr, 0},
        {"key name too long for its 256 bytes", Setup::kLongKey, SERVICE_RUNNING, nullptr, 0},
        {"key name lookup fails", Setup::kInState, SERVICE_RUNNING, "GetServiceKeyNameA", 0},
        {"service cannot be opened", Setup::kInState, SERVICE_RUNNING, "OpenServiceA", 0},
        {"status cannot be read", Setup::kInState, SERVICE_RUNNING, "QueryServiceStatus", 0},
    };
    for (const Case& c : cases) {
        sim::CSimPlatform local;
        local.m_scm.AddMachine("DC2").dwAllowedAccess &=
            c.eSetup == Setup::kNoFullAccess ? ~DWORD {SC_MANAGER_MODIFY_BOOT_CONFIG} : ~0u;
        for (const CProbe& probe : kProbes) {
            std::string strKey = c.eSetup == Setup::kLongKey ? std::string(256, probe.pszExport[0]) : probe.pszExport;
            if (c.eSetup != Setup::kNotThere) {
                local.m_scm.AddService(strKey, probe.pszDisplayName, B::RunsAtOnce(), "DC2");
                local.m_scm.SetState(strKey, c.dwState, "DC2");
                local.m_scm.Service(strKey, "DC2")->dwAllowedAccess &=
                    c.eSetup == Setup::kNoQueryAccess ? ~DWORD {SERVICE_QUERY_STATUS} : ~0u;
            }
            if (c.pszFailCall != nullptr)
                local.m_kernel.FailCall(c.pszFailCall, ERROR_ACCESS_DENIED);
            EXPECT_EQ(probe.pfn(c.eSetup == Setup::kUnreachable ? "FARAWAY" : "DC2"), c.nResult)
                << c.pszWhat << ", " << probe.pszExport;
            EXPECT_TRUE(local.Clean()) << c.pszWhat << ", " << probe.pszExport << ": " << local.Report();
        }
        EXPECT_EQ(TakeOutput(local), "") << c.pszWhat;
        bool bBox = c.eSetup == Setup::kUnreachable || c.eSetup == Setup::kNoFullAccess;
        ASSERT_EQ(local.m_ui.m_boxes.size(), bBox ? 3u : 0u) << c.pszWhat;
        for (const auto& box : local.m_ui.m_boxes) {
            EXPECT_EQ(box.hOwner, nullptr);
            EXPECT_EQ(box.strText, "SC Manager Error");
            EXPECT_EQ(box.strCaption, "KI Err");
            EXPECT_EQ(box.uType, static_cast<UINT>(MB_OK));  // one OK button, no icon, application-modal
        }
    }
}

}  // namespace
}  // namespace qx
