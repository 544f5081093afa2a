// The service exports through the real DLL against Wine's service manager, with the test service as the
// service: what the manager stores, the probes, real checkpoints, refusals with the system's texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "box_hook.h"
#include "stdout_capture.h"
#include "test_service.h"

namespace qx::host {
namespace {

const char kTavrin[] = "Tavrin";
const char* const kTestKeys[] = {"QxWineSvcCycle", "QxDemoTavrin"};

// The system's text for an error code, as the DLL's failure lines quote it.
std::string SystemText(DWORD dwError)
{
    char szText[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), szText,
                   sizeof szText, nullptr);
    return szText;
}

// The stored configuration in one line: type (hex), start type, error control, path, account and
// display name.
std::string ConfigOf(const std::string& strKey)
{
    CScHandle service = OpenTestService(strKey, SERVICE_QUERY_CONFIG);
    std::vector<BYTE> buffer(8192);  // the most a configuration takes
    auto* pConfig = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    DWORD cbNeeded = 0;
    if (!service || !QueryServiceConfigA(service.get(), pConfig, 8192, &cbNeeded))
        return "";
    char szLine[2048];
    auto text = [](const char* psz) { return psz ? psz : ""; };
    std::snprintf(szLine, sizeof szLine, "%lx %lu %lu path=%s account=%s display=%s", pConfig->dwServiceType,
                  pConfig->dwStartType, pConfig->dwErrorControl, text(pConfig->lpBinaryPathName),
                  text(pConfig->lpServiceStartName), text(pConfig->lpDisplayName));
    return szLine;
}

// An export call's result, what it wrote to standard output and how long it took (ms), checked.
ULONGLONG Call(int nExpected, const std::string& strExpected, const std::function<int()>& call)
{
    CStdoutCapture capture;
    ULONGLONG nStart = GetTickCount64();
    EXPECT_EQ(call(), nExpected) << strExpected;
    ULONGLONG nMs = GetTickCount64() - nStart;
    EXPECT_EQ(capture.Take(), strExpected);
    return nMs;
}

// Before and after each test, no test service is left (nor what an interrupted run or the demo left).
class ServicesInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        EraseAll();
        CBoxHook::SetAnswerAtOnce(true);
    }
    void TearDown() override
    {
        EraseAll();
        EXPECT_TRUE(CBoxHook::Take().empty());  // the manager was always reachable: no box
        CBoxHook::SetAnswerAtOnce(false);
    }
    static void EraseAll()
    {
        for (const char* pszKey : kTestKeys)
            EraseService(pszKey);
    }
    int Tavrin(const char* pszMachine) { return QX_EXPORT(m_host, ROVoruzInstalled)(pszMachine); }

    CDllHost m_host;
};

TEST_F(ServicesInstall, TavrinIsInstalledProbedStartedStoppedAndRemoved)
{
    const std::string strKey = kTestKeys[0];
    const char* pszKey = strKey.c_str();
    // Two checkpoints before it runs; it refuses the stop and ends by itself 4 s after its start.
    const std::string strCommand = ServiceCommand("pending=2 step=100 hint=250 refusestop lifetime=4000");
    auto pfnInstall = QX_EXPORT(m_host, InstallService);
    auto pfnStop = QX_EXPORT(m_host, StopServiceWait);
    auto pfnRemove = QX_EXPORT(m_host, RemoveService);

    EXPECT_EQ(Tavrin(nullptr), 0);
    Call(1, strKey + " Created\n",
         [&] { return pfnInstall("", pszKey, kTavrin, strCommand.c_str(), "<none>", "<none>"); });
    Call(1, "",
         [&] { return pfnInstall(nullptr, pszKey, "Other", "C:\\other.exe", "<none>", "<none>"); });  // left as it is
    EXPECT_EQ(ConfigOf(strKey), "10 2 1 path=" + strCommand + " account=LocalSystem display=Tavrin");
    EXPECT_EQ(Tavrin(""), 0);  // installed, but stopped
    EXPECT_GE(Call(1, strKey + " started successfully.\n",
                   [&] { return QX_EXPORT(m_host, StartServiceWait)("", pszKey, kTavrin); }),
              250u);  // at least one wait hint slept
    EXPECT_EQ(ServiceState(strKey), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(Tavrin(nullptr), 1);
    EXPECT_EQ(QX_EXPORT(m_host, KixInstalled)(nullptr), 0);
    EXPECT_EQ(QX_EXPORT(m_host, ZUVadarInstalled)(nullptr), 0);
    // The refusal is written with the system's text; the poll then sees the service end by itself,
    // and the settle delay follows. Stopped already, the refusal is written and the stop succeeds.
    EXPECT_GE(Call(1, "ControlService failed: " + SystemText(ERROR_INVALID_SERVICE_CONTROL) + "\n",
                   [&] { return pfnStop(nullptr, pszKey, kTavrin); }),
              2000u);
    Call(1, "ControlService failed: " + SystemText(ERROR_SERVICE_NOT_ACTIVE) + "\n",
         [&] { return pfnStop(nullptr, pszKey, kTavrin); });
    EXPECT_EQ(Tavrin(nullptr), 0);
    EXPECT_GE(Call(1, strKey + " Removed\n", [&] { return pfnRemove("", pszKey, kTavrin); }), 5000u);
    EXPECT_TRUE(WaitForService(strKey, 0, 5000));
    Call(1, "OpenService failed: " + SystemText(ERROR_SERVICE_DOES_NOT_EXIST) + "\n",
         [&] { return pfnRemove("", pszKey, kTavrin); });  // gone already counts as removed
    EXPECT_EQ(Tavrin(nullptr), 0);
}

}  // namespace
}  // namespace qx::host
