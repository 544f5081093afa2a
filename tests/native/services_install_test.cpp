// InstallService and RemoveService on the simulated service manager and security policy: the service
// created with its fixed configuration, the logon name and the right granted (policy calls and SID
// recorded), the machine named, the removal results, and every handle and heap block given back.
#include <gtest/gtest.h>

#include <cwchar>

#include "services/logon_right.h"
#include "services/service_actions.h"
#include "services/service_control.h"
#include "services_fixture.h"

namespace qx {
namespace {

using sim::CSimServiceBehaviour;
using sim::SidFromString;
using test::ServicesTest;

const char kName[] = "QxSvc";
const char kDisplay[] = "Tavrin";
const char kPath[] = "C:\\Qorvex\\tavrin.exe -service";
const char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1005";

class ServicesInstall : public ServicesTest {
protected:
    void SetUp() override { sim.m_lsa.AddAccount("", "svcuser", kUserSid); }
    const sim::CSimScm::CCreate& OnlyCreate()
    {
        EXPECT_EQ(sim.m_scm.m_creates.size(), 1u);
        return sim.m_scm.m_creates.at(0);
    }
};
class ServicesRemove : public ServicesTest {};
class ServicesLogonRight : public ServicesTest {};

TEST_F(ServicesInstall, CreatesAnAutoStartOwnProcessServiceThatDependsOnRpcss)
{
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "QxSvc Created\n");
    const auto& create = OnlyCreate();
    EXPECT_EQ(create.strName, kName);
    EXPECT_EQ(create.strDisplayName, kDisplay);
    EXPECT_EQ(create.dwDesiredAccess, static_cast<DWORD>(SERVICE_ALL_ACCESS));
    EXPECT_EQ(create.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(create.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(create.dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(create.strBinaryPath, kPath);
    EXPECT_TRUE(create.bLoadOrderGroupNull);
    EXPECT_TRUE(create.bTagIdNull);
    EXPECT_EQ(create.dependencies, std::string("RPCSS\0\0", 7));
    EXPECT_TRUE(create.bStartNameNull);  // the local system account
    EXPECT_TRUE(create.bPasswordNull);
    EXPECT_TRUE(sim.m_lsa.m_policyOpens.empty());  // no account, no right

    // The existence check before, the creation, and the existence check after.
    const auto& opens = sim.m_scm.m_opens;
    ASSERT_EQ(opens.size(), 5u);
    EXPECT_EQ(opens[0].dwAccess, static_cast<DWORD>(SC_MANAGER_CONNECT));
    EXPECT_EQ(opens[1].dwAccess, static_cast<DWORD>(SERVICE_QUERY_CONFIG));
    EXPECT_EQ(opens[2].dwAccess, static_cast<DWORD>(SC_MANAGER_CREATE_SERVICE));
    EXPECT_EQ(opens[3].dwAccess, static_cast<DWORD>(SC_MANAGER_CONNECT));
    EXPECT_EQ(opens[4].dwAccess, static_cast<DWORD>(SERVICE_QUERY_CONFIG));

    // The service manager holds it, and it starts (its dependency runs).
    sim::CSimService* pService = sim.m_scm.Service(kName);
    ASSERT_NE(pService, nullptr);
    EXPECT_EQ(pService->dependencies, (std::vector<std::string>{"RPCSS"}));
    EXPECT_EQ(StartServiceWait(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
}

TEST_F(ServicesInstall, BareAccountLogsOnAsAnAccountOfThisMachineAndGetsTheRight)
{
    EXPECT_EQ(InstallService("", kName, kDisplay, kPath, "svcuser", "s3cret"), 1);
    EXPECT_TRUE(Settled());
    const auto& create = OnlyCreate();
    EXPECT_FALSE(create.bStartNameNull);
    EXPECT_EQ(create.strStartName, ".\\svcuser");
    EXPECT_FALSE(create.bPasswordNull);
    EXPECT_EQ(create.strPassword, "s3cret");

    // The local policy, opened with an empty system name and zeroed attributes for creating
    // accounts and looking up names; the right given to the bare name's identifier.
    ASSERT_EQ(sim.m_lsa.m_policyOpens.size(), 1u);
    const auto& open = sim.m_lsa.m_policyOpens[0];
    EXPECT_EQ(open.nSystemLength, 0);
    EXPECT_EQ(open.nSystemMaximumLength, sizeof(WCHAR));
    EXPECT_EQ(open.dwAccess, static_cast<ACCESS_MASK>(0x810));
    EXPECT_TRUE(open.bAttributesZero);
    ASSERT_EQ(sim.m_lsa.m_grants.size(), 1u);
    const auto& grant = sim.m_lsa.m_grants[0];
    EXPECT_EQ(grant.sid, SidFromString(kUserSid));
    EXPECT_EQ(grant.rights, (std::vector<std::wstring>{L"SeServiceLogonRight"}));
    EXPECT_EQ(grant.lengths, (std::vector<USHORT>{static_cast<USHORT>(19 * sizeof(WCHAR))}));
    EXPECT_EQ(grant.maximumLengths, (std::vector<USHORT>{static_cast<USHORT>(20 * sizeof(WCHAR))}));
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameA"), 1);
}

TEST_F(ServicesInstall, DomainAccountIsPassedOnUnchangedInBothPlaces)
{
    sim.m_lsa.AddAccount("QORVEX", "svc-tavrin", "S-1-5-21-7-8-9-1107");
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "QORVEX\\svc-tavrin", "<none>"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(OnlyCreate().strStartName, "QORVEX\\svc-tavrin");
    EXPECT_TRUE(OnlyCreate().bPasswordNull);  // with an account, "<none>" is still no password
    ASSERT_EQ(sim.m_lsa.m_grants.size(), 1u);
    EXPECT_EQ(sim.m_lsa.m_grants[0].sid, SidFromString("S-1-5-21-7-8-9-1107"));
}

TEST_F(ServicesInstall, NoneMatchesOnlyExactly)
{
    // "<NONE>" and "" are account names: the right is looked for, the creation asks for them and
    // the service manager refuses accounts it does not know.
    for (const char* pszAccount : {"<NONE>", "", "<none> "}) {
        sim::CSimPlatform local;
        EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, pszAccount, "<None>"), 0) << pszAccount;
        ASSERT_EQ(local.m_scm.m_creates.size(), 1u);
        EXPECT_EQ(local.m_scm.m_creates[0].strStartName, std::string(".\\") + pszAccount);
        EXPECT_EQ(local.m_scm.m_creates[0].strPassword, "<None>");
        EXPECT_EQ(local.m_lsa.m_policyOpens.size(), 1u);
        EXPECT_TRUE(local.m_lsa.m_grants.empty());
        EXPECT_EQ(local.m_system.m_strStdout,
                  "CreateService failed: The account name is invalid or does not exist, or the password is invalid "
                  "for the account name specified.\r\n\n");
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
}

TEST_F(ServicesInstall, NullBinaryPathRunsTheHostsOwnExecutable)
{
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, nullptr, "<none>", "<none>"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(OnlyCreate().strBinaryPath, sim.m_system.m_strModuleFileName);
}

TEST_F(ServicesInstall, HostPathThatDoesNotFitIsNotCut)
{
    sim.m_system.m_strModuleFileName = "C:\\" + Text(270) + "\\setup.exe";
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, nullptr, "<none>", "<none>"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_scm.m_creates.empty());
    EXPECT_EQ(TakeOutput(), "GetModuleFileName failed: The data area passed to a system call is too small.\r\n\n");
}

TEST_F(ServicesInstall, ExistingServiceIsLeftAsItIsButTheRightIsStillGranted)
{
    sim::CSimService& existing = sim.m_scm.AddService(kName, "Old display");
    existing.strBinaryPath = "C:\\old.exe";
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "svcuser", "pw"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "");
    EXPECT_TRUE(sim.m_scm.m_creates.empty());
    EXPECT_EQ(sim.m_scm.Service(kName)->strBinaryPath, "C:\\old.exe");
    EXPECT_FALSE(sim.m_scm.Service(kName)->bHasStartName);
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
}

TEST_F(ServicesInstall, ServiceGoesToTheMachineNamedWithOrWithoutAnAccount)
{
    sim.m_scm.AddMachine("DC2");
    EXPECT_EQ(InstallService("DC2", kName, kDisplay, kPath, "<none>", "<none>"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_NE(sim.m_scm.Service(kName, "DC2"), nullptr);
    EXPECT_EQ(sim.m_scm.Service(kName), nullptr);

    EXPECT_EQ(InstallService("\\\\DC2", "QxOther", "Other", kPath, "svcuser", "pw"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_NE(sim.m_scm.Service("QxOther", "DC2"), nullptr);
    // The right goes into this machine's policy even so.
    ASSERT_EQ(sim.m_lsa.m_policyOpens.size(), 1u);
    EXPECT_TRUE(sim.m_lsa.m_policyOpens[0].wstrSystem.empty());
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
}

TEST_F(ServicesInstall, UnreachableOrRefusingManagerGivesZero)
{
    EXPECT_EQ(InstallService("FARAWAY", kName, kDisplay, kPath, "<none>", "<none>"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "OpenSCManager failed: The RPC server is unavailable.\r\n\n");

    sim.m_scm.Machine("")->dwAllowedAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "OpenSCManager failed: Access is denied.\r\n\n");

    sim.m_scm.Machine("")->dwAllowedAccess = SC_MANAGER_ALL_ACCESS;
    sim.m_scm.AddService("Taken", kDisplay);
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "CreateService failed: Unknown error 436\n");  // duplicate display name
}

TEST_F(ServicesInstall, TextsThatDoNotFitAreRefusedBeforeAnything)
{
    std::string strName = Text(kServiceNameSize);
    std::string strPath = "C:\\" + Text(kBinaryPathSize - 3);  // 260 characters
    std::string strAccount = Text(kAccountBufferSize);          // 256 characters
    struct Case {
        const char* pszName;
        const char* pszDisplay;
        const char* pszPath;
        const char* pszAccount;
    } cases[] = {
        {strName.c_str(), kDisplay, kPath, "svcuser"},
        {kName, strName.c_str(), kPath, "svcuser"},
        {kName, kDisplay, strPath.c_str(), "svcuser"},
        {kName, kDisplay, kPath, strAccount.c_str()},
        {nullptr, kDisplay, kPath, "svcuser"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InstallService(nullptr, c.pszName, c.pszDisplay, c.pszPath, c.pszAccount, "pw"), 0);
    }
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_scm.m_opens.empty());
    EXPECT_TRUE(sim.m_lsa.m_policyOpens.empty());
    EXPECT_EQ(TakeOutput(), "");

    // One character less fits everywhere.
    sim.m_lsa.AddAccount("", strAccount.substr(1), "S-1-5-21-1-2-3-1010");
    std::string strFitPath = strPath.substr(1);
    std::string strFitName = strName.substr(1);
    EXPECT_EQ(InstallService(nullptr, strFitName.c_str(), strFitName.c_str(), strFitPath.c_str(),
                             strAccount.c_str() + 1, "pw"),
              1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(OnlyCreate().strBinaryPath, strFitPath);
    EXPECT_EQ(sim.m_lsa.m_grants.size(), 1u);
}

TEST_F(ServicesInstall, NullAccountAndPasswordMeanNone)
{
    EXPECT_EQ(InstallService(nullptr, kName, nullptr, kPath, nullptr, nullptr), 1);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(OnlyCreate().bStartNameNull);
    EXPECT_TRUE(OnlyCreate().bPasswordNull);
    EXPECT_TRUE(OnlyCreate().bDisplayNameNull);  // the key name is shown
    EXPECT_EQ(sim.m_scm.Service(kName)->strDisplayName, kName);
}

TEST_F(ServicesInstall, FailuresOfTheRightAreSilentAndTheInstallationGoesOn)
{
    struct Case {
        const char* pszCall;
        DWORD dwError;
        int nNth;
    } cases[] = {
        {"LsaOpenPolicy", static_cast<DWORD>(STATUS_ACCESS_DENIED), 1},
        {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY, 1},
        {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY, 2},
        {"LookupAccountNameA", ERROR_NONE_MAPPED, 1},
        {"LsaAddAccountRights", static_cast<DWORD>(STATUS_NO_SUCH_PRIVILEGE), 1},
    };
    for (const Case& c : cases) {
        sim::CSimPlatform local;
        local.m_lsa.AddAccount("", "svcuser", kUserSid);
        local.m_kernel.FailCall(c.pszCall, c.dwError, c.nNth);
        EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "svcuser", "pw"), 1) << c.pszCall;
        EXPECT_TRUE(local.m_lsa.m_grants.empty()) << c.pszCall;
        EXPECT_EQ(local.m_system.m_strStdout, "QxSvc Created\n") << c.pszCall;
        EXPECT_TRUE(local.Clean()) << c.pszCall << ": " << local.Report();
    }
}

// ---- removal ----

TEST_F(ServicesRemove, StoppedServiceIsRemovedAfterThePause)
{
    sim.m_scm.AddService(kName, kDisplay);
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "QxSvc Removed\n");
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{kRemovePauseMs}));
    EXPECT_EQ(sim.m_scm.Service(kName), nullptr);
    ASSERT_EQ(sim.m_scm.m_opens.size(), 2u);
    EXPECT_EQ(sim.m_scm.m_opens[0].dwAccess, static_cast<DWORD>(SC_MANAGER_CONNECT));
    EXPECT_EQ(sim.m_scm.m_opens[1].dwAccess, static_cast<DWORD>(DELETE));
}

TEST_F(ServicesRemove, MissingServiceCountsAsRemoved)
{
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "OpenService failed: The specified service does not exist as an installed service.\r\n\n");
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>{kRemovePauseMs}));
}

TEST_F(ServicesRemove, RunningServiceIsMarkedAndGoesWhenItStops)
{
    sim.m_scm.AddService(kName, kDisplay);
    sim.m_scm.SetState(kName, SERVICE_RUNNING);
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "QxSvc Removed\n");
    ASSERT_NE(sim.m_scm.Service(kName), nullptr);
    EXPECT_TRUE(sim.m_scm.Service(kName)->bMarkedForDelete);

    // Asked again: already marked, which still counts as removed.
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "DeleteService failed: The specified service has been marked for deletion.\r\n\n");
    // While it is on its way out it still opens, so installing it again finds it there.
    EXPECT_EQ(InstallService(nullptr, kName, kDisplay, kPath, "<none>", "<none>"), 1);
    EXPECT_TRUE(sim.m_scm.m_creates.empty());

    // Stopped, it goes at once: the stop's poll never sees it stopped, only gone, and ends by time.
    TakeOutput();
    sim.m_clock.m_dwStepPerRead = 10;
    EXPECT_EQ(StopServiceWait(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_scm.Service(kName), nullptr);
    std::vector<std::string> lines = Lines(TakeOutput());
    ASSERT_GT(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Service Status for QxSvc");
    EXPECT_EQ(lines[8], "OpenService failed: The specified service does not exist as an installed service.\r");
}

TEST_F(ServicesRemove, OtherFailuresGiveZeroAfterThePause)
{
    EXPECT_EQ(RemoveService("FARAWAY", kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "OpenSCManager failed: The RPC server is unavailable.\r\n\n");

    sim.m_scm.AddService(kName, kDisplay).dwAllowedAccess = SERVICE_ALL_ACCESS & ~DELETE;
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "OpenService failed: Access is denied.\r\n\n");

    sim.m_scm.Service(kName)->dwAllowedAccess = SERVICE_ALL_ACCESS;
    sim.m_kernel.FailCall("DeleteService", ERROR_ACCESS_DENIED);
    EXPECT_EQ(RemoveService(nullptr, kName, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeOutput(), "DeleteService failed: Access is denied.\r\n\n");
    EXPECT_NE(sim.m_scm.Service(kName), nullptr);
    EXPECT_EQ(sim.m_clock.m_sleeps, (std::vector<DWORD>(3, kRemovePauseMs)));
}

TEST_F(ServicesRemove, NamesThatDoNotFitAreRefusedWithoutThePause)
{
    std::string strLong = Text(kServiceNameSize);
    EXPECT_EQ(RemoveService(nullptr, strLong.c_str(), kDisplay), 0);
    EXPECT_EQ(RemoveService(nullptr, kName, strLong.c_str()), 0);
    EXPECT_EQ(RemoveService(nullptr, nullptr, kDisplay), 0);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_clock.m_sleeps.empty());
    EXPECT_TRUE(sim.m_scm.m_opens.empty());
}

// ---- the logon-right routines ----

TEST_F(ServicesLogonRight, MakeLsaStringCountsBytes)
{
    LSA_UNICODE_STRING text;
    MakeLsaString(&text, L"SeServiceLogonRight");
    EXPECT_EQ(text.Length, 19 * sizeof(WCHAR));
    EXPECT_EQ(text.MaximumLength, 20 * sizeof(WCHAR));
    EXPECT_EQ(std::wcscmp(text.Buffer, L"SeServiceLogonRight"), 0);
    MakeLsaString(&text, L"");
    EXPECT_EQ(text.Length, 0);
    EXPECT_EQ(text.MaximumLength, sizeof(WCHAR));
    EXPECT_NE(text.Buffer, nullptr);
    MakeLsaString(&text, nullptr);
    EXPECT_EQ(text.Length, 0);
    EXPECT_EQ(text.MaximumLength, 0);
    EXPECT_EQ(text.Buffer, nullptr);
}

TEST_F(ServicesLogonRight, FindAccountSidGrowsItsBuffersToWhatTheLookupAsks)
{
    // The domain name is longer than the first 16 bytes.
    sim.m_lsa.AddAccount("QORVEXHEADQUARTERS", "svc", "S-1-5-21-11-22-33-1200");
    {
        unique_process_heap sid = FindAccountSid(nullptr, "QORVEXHEADQUARTERS\\svc");
        ASSERT_TRUE(sid);
        EXPECT_EQ(std::string(static_cast<const char*>(sid.get()), 28), SidFromString("S-1-5-21-11-22-33-1200"));
    }
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameA"), 2);
    EXPECT_EQ(sim.m_kernel.Calls("HeapReAlloc"), 2);
    EXPECT_TRUE(Settled());

    // A growth that fails gives none and loses nothing.
    sim.m_kernel.FailCall("HeapReAlloc", ERROR_NOT_ENOUGH_MEMORY, 2);
    EXPECT_FALSE(FindAccountSid(nullptr, "QORVEXHEADQUARTERS\\svc"));
    EXPECT_TRUE(Settled());

    // An unknown account, or another machine that cannot be asked.
    EXPECT_FALSE(FindAccountSid(nullptr, "nobody"));
    EXPECT_FALSE(FindAccountSid("FARAWAY", "svc"));
    EXPECT_TRUE(Settled());
}

TEST_F(ServicesLogonRight, AccountTooLongForItsBufferGetsNothing)
{
    std::string strAccount = Text(kAccountBufferSize);
    sim.m_lsa.AddAccount("", strAccount, "S-1-5-21-1-2-3-1011");
    GrantServiceLogonRight(strAccount.c_str());
    GrantServiceLogonRight(nullptr);
    EXPECT_TRUE(sim.m_lsa.m_policyOpens.empty());
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
