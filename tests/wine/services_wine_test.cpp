// The service exports through the real DLL under Wine, against Wine's own service control manager,
// with qxtestservice.exe (built next to this program) as the service: installed under the display
// name "Tavrin" that ROVoruzInstalled looks for, probed, started, stopped and removed, with the
// behaviour each test chooses on the service's command line, and the diagnostic lines captured from
// standard output.
//
// Set-up and checks go to the service manager directly; only the exports under test go through the
// DLL. Every service a test creates is removed again, and each suite first removes what an earlier,
// interrupted run may have left.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "box_hook.h"
#include "host/dll_host.h"
#include "services/logon_right.h"
#include "stdout_capture.h"

namespace qx::host {
namespace {

const char kTavrin[] = "Tavrin";
const char* const kTestKeys[] = {"QxWineSvcCycle", "QxWineSvcAccount", "QxWineSvcLong",  "QxWineSvcPending",
                                 "QxWineSvcStall", "QxWineSvcRunning", "QxWineSvcSlow", "QxWineSvcRefuse",
                                 "QxWineSvcProbe", "QxDemoTavrin"};
constexpr DWORD kQuitControl = 128;  // the test service's own "end now"

std::string ServiceCommand(const std::string& strOptions)
{
    return "\"" + CDllHost::ProgramFolder() + "qxtestservice.exe\" " + strOptions;
}

// The system's text for an error code, as the DLL's failure lines quote it.
std::string SystemText(DWORD dwError)
{
    LPSTR pszText = nullptr;
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, dwError,
                               MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszText), 0,
                               nullptr);
    std::string strText = cch != 0 && pszText != nullptr ? pszText : "";
    LocalFree(pszText);
    return strText;
}

ULONGLONG Now()
{
    return GetTickCount64();
}

// ---- the service manager, directly ----

class CScHandle {
public:
    explicit CScHandle(SC_HANDLE h = nullptr) : m_h(h) {}
    ~CScHandle()
    {
        if (m_h != nullptr)
            CloseServiceHandle(m_h);
    }
    CScHandle(const CScHandle&) = delete;
    CScHandle& operator=(const CScHandle&) = delete;
    SC_HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

private:
    SC_HANDLE m_h;
};

SC_HANDLE OpenService(const std::string& strKey, DWORD dwAccess)
{
    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    return manager ? OpenServiceA(manager.get(), strKey.c_str(), dwAccess) : nullptr;
}

bool Exists(const std::string& strKey)
{
    CScHandle service(OpenService(strKey, SERVICE_QUERY_STATUS));
    return static_cast<bool>(service);
}

// The service's state, or 0 when it cannot be read.
DWORD State(const std::string& strKey)
{
    CScHandle service(OpenService(strKey, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    return service && QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

bool WaitFor(const std::string& strKey, DWORD dwState, DWORD dwTimeoutMs)
{
    ULONGLONG nDeadline = Now() + dwTimeoutMs;
    for (;;) {
        if (State(strKey) == dwState)
            return true;
        if (Now() >= nDeadline)
            return false;
        Sleep(20);
    }
}

bool WaitGone(const std::string& strKey, DWORD dwTimeoutMs)
{
    ULONGLONG nDeadline = Now() + dwTimeoutMs;
    while (Exists(strKey)) {
        if (Now() >= nDeadline)
            return false;
        Sleep(20);
    }
    return true;
}

// Ends the service however it behaves (stop, the quit control, its process ended) and deletes it.
void Erase(const std::string& strKey)
{
    {
        CScHandle service(OpenService(strKey, SERVICE_ALL_ACCESS));
        if (!service)
            return;
        SERVICE_STATUS status{};
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
        ControlService(service.get(), kQuitControl, &status);
        if (!WaitFor(strKey, SERVICE_STOPPED, 5000)) {
            SERVICE_STATUS_PROCESS process{};
            DWORD cbNeeded = 0;
            if (QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&process),
                                     sizeof process, &cbNeeded) &&
                process.dwProcessId != 0) {
                HANDLE hProcess = OpenProcess(PROCESS_TERMINATE, FALSE, process.dwProcessId);
                if (hProcess != nullptr) {
                    TerminateProcess(hProcess, 1);
                    CloseHandle(hProcess);
                }
            }
            WaitFor(strKey, SERVICE_STOPPED, 5000);
        }
        DeleteService(service.get());
    }
    WaitGone(strKey, 5000);
}

std::string KeyOfDisplayName(const char* pszDisplayName)
{
    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    char szKey[257] = {};
    DWORD cch = sizeof szKey;
    return manager && GetServiceKeyNameA(manager.get(), pszDisplayName, szKey, &cch) ? szKey : "";
}

void RemoveLeftovers()
{
    for (const char* pszKey : kTestKeys)
        Erase(pszKey);
    for (std::string strKey = KeyOfDisplayName(kTavrin); !strKey.empty(); strKey = KeyOfDisplayName(kTavrin)) {
        Erase(strKey);
        if (Exists(strKey))
            break;
    }
}

// Creates a test service directly (demand start), for the tests of starting and stopping.
void CreateTestService(const std::string& strKey, const std::string& strOptions)
{
    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    std::string strDisplay = "QX Wine test " + strKey;
    CScHandle service(CreateServiceA(manager.get(), strKey.c_str(), strDisplay.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     ServiceCommand(strOptions).c_str(), nullptr, nullptr, nullptr, nullptr,
                                     nullptr));
    ASSERT_TRUE(service) << "CreateServiceA failed: " << GetLastError();
}

void StartDirectly(const std::string& strKey)
{
    CScHandle service(OpenService(strKey, SERVICE_START));
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceA(service.get(), 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitFor(strKey, SERVICE_RUNNING, 10000));
}

struct CConfig {
    DWORD dwServiceType = 0;
    DWORD dwStartType = 0;
    DWORD dwErrorControl = 0;
    std::string strBinaryPath;
    std::string strDependencies;  // the multi-string, its names joined with '|'
    std::string strStartName;
    std::string strDisplayName;
};

CConfig ConfigOf(const std::string& strKey)
{
    CConfig config;
    CScHandle service(OpenService(strKey, SERVICE_QUERY_CONFIG));
    if (!service)
        return config;
    DWORD cbNeeded = 0;
    QueryServiceConfigA(service.get(), nullptr, 0, &cbNeeded);
    std::vector<BYTE> buffer(cbNeeded + 16);
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service.get(), pConfig, static_cast<DWORD>(buffer.size()), &cbNeeded))
        return config;
    config.dwServiceType = pConfig->dwServiceType;
    config.dwStartType = pConfig->dwStartType;
    config.dwErrorControl = pConfig->dwErrorControl;
    config.strBinaryPath = pConfig->lpBinaryPathName ? pConfig->lpBinaryPathName : "";
    // Wine's QueryServiceConfigA leaves the dependencies out; its manager keeps them in the registry.
    std::string strKeyPath = "SYSTEM\\CurrentControlSet\\Services\\" + strKey;
    char szDependencies[512] = {};
    DWORD cbDependencies = sizeof szDependencies - 2;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, strKeyPath.c_str(), "DependOnService", RRF_RT_REG_MULTI_SZ, nullptr,
                     szDependencies, &cbDependencies) == ERROR_SUCCESS) {
        for (const char* p = szDependencies; *p != '\0'; p += std::strlen(p) + 1)
            config.strDependencies += (config.strDependencies.empty() ? "" : "|") + std::string(p);
    }
    config.strStartName = pConfig->lpServiceStartName ? pConfig->lpServiceStartName : "";
    config.strDisplayName = pConfig->lpDisplayName ? pConfig->lpDisplayName : "";
    return config;
}

// ---- fixtures ----

class ServicesWine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RemoveLeftovers(); }
    void SetUp() override { CBoxHook::SetAnswerAtOnce(true); }
    void TearDown() override
    {
        for (const std::string& strKey : m_created)
            Erase(strKey);
        CBoxHook::Take();
        CBoxHook::SetAnswerAtOnce(false);
    }
    // Remembers a service to remove after the test.
    const std::string& Own(const std::string& strKey)
    {
        m_created.push_back(strKey);
        return m_created.back();
    }

    CDllHost m_host;
    std::vector<std::string> m_created;
};

class ServicesInstall : public ServicesWine {};
class ServicesStart : public ServicesWine {};
class ServicesStop : public ServicesWine {};
class ServicesProbe : public ServicesWine {};

// ---- installation, probes, start, stop and removal of the Tavrin service ----

TEST_F(ServicesInstall, TavrinIsInstalledProbedStartedStoppedAndRemoved)
{
    const std::string strKey = Own("QxWineSvcCycle");
    auto pfnInstall = QX_EXPORT(m_host, InstallService);
    auto pfnStart = QX_EXPORT(m_host, StartServiceWait);
    auto pfnStop = QX_EXPORT(m_host, StopServiceWait);
    auto pfnRemove = QX_EXPORT(m_host, RemoveService);
    auto pfnTavrin = QX_EXPORT(m_host, ROVoruzInstalled);
    auto pfnKix = QX_EXPORT(m_host, KixInstalled);
    auto pfnQorvexRpc = QX_EXPORT(m_host, ZUVadarInstalled);
    const std::string strCommand = ServiceCommand("pending=2 step=100 hint=250");

    EXPECT_EQ(pfnTavrin(nullptr), 0);
    {
        CStdoutCapture capture;
        EXPECT_EQ(pfnInstall("", strKey.c_str(), kTavrin, strCommand.c_str(), "<none>", "<none>"), 1);
        EXPECT_EQ(capture.Take(), strKey + " Created\n");
        // Installing it again changes nothing and says nothing.
        EXPECT_EQ(pfnInstall(nullptr, strKey.c_str(), kTavrin, "C:\\other.exe", "<none>", "<none>"), 1);
        EXPECT_EQ(capture.Take(), "");
    }
    CConfig config = ConfigOf(strKey);
    EXPECT_EQ(config.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(config.strBinaryPath, strCommand);
    EXPECT_EQ(config.strDependencies, "RPCSS");
    EXPECT_EQ(config.strDisplayName, kTavrin);
    EXPECT_EQ(KeyOfDisplayName(kTavrin), strKey);

    EXPECT_EQ(pfnTavrin(""), 0);  // installed, but stopped
    {
        CStdoutCapture capture;
        EXPECT_EQ(pfnStart("", strKey.c_str(), kTavrin), 1);
        EXPECT_EQ(capture.Take(), strKey + " started successfully.\n");
    }
    EXPECT_EQ(State(strKey), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(pfnTavrin(nullptr), 1);
    EXPECT_EQ(pfnTavrin(""), 1);
    EXPECT_EQ(pfnKix(nullptr), 0);
    EXPECT_EQ(pfnQorvexRpc(nullptr), 0);

    {
        CStdoutCapture capture;
        ULONGLONG nStart = Now();
        EXPECT_EQ(pfnStop(nullptr, strKey.c_str(), kTavrin), 1);
        EXPECT_GE(Now() - nStart, 2000u);  // the settle delay
        std::string strOut = capture.Take();
        EXPECT_EQ(strOut.rfind("Service Status for " + strKey + "\nType: 0x10\nCurrent State: 0x", 0), 0u) << strOut;
        EXPECT_NE(strOut.find("\nControls Accepted: "), std::string::npos) << strOut;
        EXPECT_NE(strOut.find("\nWaitHint: 0x"), std::string::npos) << strOut;

        // Stopping it again: the refusal is written, and the export still succeeds.
        EXPECT_EQ(pfnStop(nullptr, strKey.c_str(), kTavrin), 1);
        EXPECT_EQ(capture.Take(), "ControlService failed: " + SystemText(ERROR_SERVICE_NOT_ACTIVE) + "\n");
    }
    EXPECT_EQ(State(strKey), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(pfnTavrin(nullptr), 0);

    {
        CStdoutCapture capture;
        ULONGLONG nStart = Now();
        EXPECT_EQ(pfnRemove("", strKey.c_str(), kTavrin), 1);
        EXPECT_GE(Now() - nStart, 5000u);
        EXPECT_EQ(capture.Take(), strKey + " Removed\n");
        EXPECT_TRUE(WaitGone(strKey, 5000));
        // Gone already counts as removed.
        EXPECT_EQ(pfnRemove("", strKey.c_str(), kTavrin), 1);
        EXPECT_EQ(capture.Take(), "OpenService failed: " + SystemText(ERROR_SERVICE_DOES_NOT_EXIST) + "\n");
    }
    EXPECT_EQ(pfnTavrin(nullptr), 0);
    EXPECT_TRUE(CBoxHook::Take().empty());
}

TEST_F(ServicesInstall, BareAccountLogsOnAsAnAccountOfThisMachine)
{
    const std::string strKey = Own("QxWineSvcAccount");
    char szUser[257] = {};
    DWORD cchUser = sizeof szUser;
    ASSERT_TRUE(GetUserNameA(szUser, &cchUser));
    // The right is granted through the local policy (Wine accepts it) before the creation; a null
    // binary path is the host's own executable.
    CStdoutCapture capture;
    EXPECT_EQ(QX_EXPORT(m_host, InstallService)(nullptr, strKey.c_str(), "QX Wine account test", nullptr, szUser,
                                                "<none>"),
              1);
    EXPECT_EQ(capture.Take(), strKey + " Created\n");
    CConfig config = ConfigOf(strKey);
    EXPECT_EQ(config.strStartName, std::string(".\\") + szUser);
    char szHost[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, szHost, MAX_PATH);
    EXPECT_EQ(config.strBinaryPath, szHost);

    // The counted string of the right, as the policy gets it from this build.
    LSA_UNICODE_STRING right;
    MakeLsaString(&right, L"SeServiceLogonRight");
    EXPECT_EQ(right.Length, 38);
    EXPECT_EQ(right.MaximumLength, 40);
}

TEST_F(ServicesInstall, TextsTooLongAreRefusedBeforeAnything)
{
    const std::string strKey = Own("QxWineSvcLong");
    std::string strLongName(257, 'x');
    std::string strLongPath = "C:\\" + std::string(257, 'p');  // 260 characters
    auto pfnInstall = QX_EXPORT(m_host, InstallService);
    CStdoutCapture capture;
    EXPECT_EQ(pfnInstall(nullptr, strLongName.c_str(), kTavrin, "C:\\a.exe", "<none>", "<none>"), 0);
    EXPECT_EQ(pfnInstall(nullptr, strKey.c_str(), kTavrin, strLongPath.c_str(), "<none>", "<none>"), 0);
    EXPECT_EQ(pfnInstall(nullptr, strKey.c_str(), strLongName.c_str(), "C:\\a.exe", "<none>", "<none>"), 0);
    ULONGLONG nStart = Now();
    EXPECT_EQ(QX_EXPORT(m_host, RemoveService)(nullptr, strLongName.c_str(), kTavrin), 0);
    EXPECT_LT(Now() - nStart, 4000u);  // without the 5000 ms pause
    EXPECT_EQ(capture.Take(), "");
    EXPECT_FALSE(Exists(strKey));
    EXPECT_EQ(KeyOfDisplayName(kTavrin), "");
}

// ---- starting ----

TEST_F(ServicesStart, AdvancingCheckpointsAreFollowedUntilRunning)
{
    const std::string strKey = Own("QxWineSvcPending");
    CreateTestService(strKey, "pending=3 step=150 hint=300");
    CStdoutCapture capture;
    ULONGLONG nStart = Now();
    EXPECT_EQ(QX_EXPORT(m_host, StartServiceWait)(nullptr, strKey.c_str(), nullptr), 1);
    EXPECT_GE(Now() - nStart, 300u);  // at least one wait hint slept
    EXPECT_EQ(capture.Take(), strKey + " started successfully.\n");
    EXPECT_EQ(State(strKey), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ServicesStart, StalledCheckpointEndsTheStartAfterOneWaitHint)
{
    const std::string strKey = Own("QxWineSvcStall");
    CreateTestService(strKey, "stall=3000 hint=400");
    CStdoutCapture capture;
    ULONGLONG nStart = Now();
    EXPECT_EQ(QX_EXPORT(m_host, StartServiceWait)("", strKey.c_str(), nullptr), 0);
    EXPECT_LT(Now() - nStart, 2900u);  // given up at the stall, without the 20000 ms poll
    EXPECT_EQ(capture.Take(), strKey +
                                  " start unsuccessful: \n"
                                  "Current State: 0x2\n"
                                  "Win32 Exit: 0\n"
                                  "Service Exit: 0\n"
                                  "Checkpoint: 0x1\n"
                                  "WaitHint: 0x190\n");
    EXPECT_TRUE(WaitFor(strKey, SERVICE_RUNNING, 10000));  // it gets there later
}

TEST_F(ServicesStart, RunningServiceIsRefusedAtOnce)
{
    const std::string strKey = Own("QxWineSvcRunning");
    CreateTestService(strKey, "");
    StartDirectly(strKey);
    CStdoutCapture capture;
    EXPECT_EQ(QX_EXPORT(m_host, StartServiceWait)(nullptr, strKey.c_str(), nullptr), 0);
    EXPECT_EQ(capture.Take(), "StartService failed: " + SystemText(ERROR_SERVICE_ALREADY_RUNNING) + "\n");
}

// ---- stopping ----

TEST_F(ServicesStop, SlowStopIsWaitedForThenSettles)
{
    const std::string strKey = Own("QxWineSvcSlow");
    CreateTestService(strKey, "stopdelay=1500");
    StartDirectly(strKey);
    CStdoutCapture capture;
    ULONGLONG nStart = Now();
    EXPECT_EQ(QX_EXPORT(m_host, StopServiceWait)(nullptr, strKey.c_str(), nullptr), 1);
    EXPECT_GE(Now() - nStart, 3500u);  // 1500 ms stop pending, then the 2000 ms settle delay
    std::string strOut = capture.Take();
    EXPECT_EQ(strOut,
              "Service Status for " + strKey +
                  "\n"
                  "Type: 0x10\n"
                  "Current State: 0x3\n"
                  "Controls Accepted: 0\n"
                  "Win32 Exit: 0\n"
                  "Service Exit: 0\n"
                  "Checkpoint: 0x1\n"
                  "WaitHint: 0x9c4\n");
    EXPECT_EQ(State(strKey), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServicesStop, RefusedStopFailsAfterThePollAndTheSettle)
{
    const std::string strKey = Own("QxWineSvcRefuse");
    CreateTestService(strKey, "refusestop");
    StartDirectly(strKey);
    CStdoutCapture capture;
    ULONGLONG nStart = Now();
    EXPECT_EQ(QX_EXPORT(m_host, StopServiceWait)(nullptr, strKey.c_str(), nullptr), 0);
    EXPECT_GE(Now() - nStart, 22000u);
    EXPECT_EQ(capture.Take(), "ControlService failed: " + SystemText(ERROR_INVALID_SERVICE_CONTROL) + "\n");
    EXPECT_EQ(State(strKey), static_cast<DWORD>(SERVICE_RUNNING));
}

// ---- probes ----

TEST_F(ServicesProbe, DisplayNameIsFoundUnderAnyKeyAndStartPendingCounts)
{
    // Wine's service manager binds locally whatever machine is named, so its manager cannot be made
    // unreachable here: the "SC Manager Error" box is proven on the simulated platform.
    const std::string strKey = Own("QxWineSvcProbe");
    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    CScHandle created(CreateServiceA(manager.get(), strKey.c_str(), kTavrin, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     ServiceCommand("stall=1500 hint=500").c_str(), nullptr, nullptr, nullptr,
                                     nullptr, nullptr));
    ASSERT_TRUE(created) << GetLastError();
    auto pfnTavrin = QX_EXPORT(m_host, ROVoruzInstalled);
    EXPECT_EQ(pfnTavrin(nullptr), 0);  // stopped
    ASSERT_TRUE(StartServiceA(created.get(), 0, nullptr)) << GetLastError();
    ASSERT_EQ(State(strKey), static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(pfnTavrin(""), 1);
    ASSERT_TRUE(WaitFor(strKey, SERVICE_RUNNING, 10000));
    EXPECT_EQ(pfnTavrin(nullptr), 1);
    EXPECT_EQ(QX_EXPORT(m_host, KixInstalled)(nullptr), 0);
    EXPECT_EQ(QX_EXPORT(m_host, ZUVadarInstalled)(nullptr), 0);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(created.get(), SERVICE_CONTROL_STOP, &status));
    ASSERT_TRUE(WaitFor(strKey, SERVICE_STOPPED, 10000));
    EXPECT_EQ(pfnTavrin(nullptr), 0);
    EXPECT_TRUE(CBoxHook::Take().empty());
}

}  // namespace
}  // namespace qx::host
