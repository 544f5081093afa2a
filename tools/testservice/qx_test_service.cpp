// qxtestservice.exe: a Windows service of our own for the Wine tests and the demo, whose behaviour
// the binary path's command line chooses (key=value words, all optional):
//
//   pending=N     report start pending with checkpoints 1..N before running (default 0)
//   step=MS       time from one checkpoint to the next (default: the wait hint)
//   hint=MS       the wait hint reported with each pending status (default 1000)
//   stall=MS      after checkpoint 1, keep reporting checkpoint 1 for MS before going on
//   never         never report running: stay start pending until the lifetime ends
//   stopdelay=MS  on a stop request, report stop pending for MS before stopped
//   refusestop    do not accept the stop control (user control 128 still ends the service)
//   lifetime=MS   stop by itself after MS, whatever happens (default 90000), so no test leaves one
//
// It talks to nothing but the service control manager.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kQuitControl = 128;

struct COptions {
    DWORD nPending = 0;
    DWORD dwStepMs = 0;  // 0: the wait hint
    DWORD dwHintMs = 1000;
    DWORD dwStallMs = 0;
    bool bNeverRunning = false;
    DWORD dwStopDelayMs = 0;
    bool bRefuseStop = false;
    DWORD dwLifetimeMs = 90000;
};

COptions g_options;
SERVICE_STATUS_HANDLE g_hStatus = nullptr;
SERVICE_STATUS g_status = {};
CRITICAL_SECTION g_lock;
HANDLE g_hStopRequested = nullptr;  // manual reset: a stop was accepted
HANDLE g_hQuit = nullptr;  // manual reset: user control 128

void Report(DWORD dwState, DWORD dwCheckPoint, DWORD dwWaitHint)
{
    EnterCriticalSection(&g_lock);
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = dwState;
    g_status.dwCheckPoint = dwCheckPoint;
    g_status.dwWaitHint = dwWaitHint;
    g_status.dwWin32ExitCode = NO_ERROR;
    g_status.dwServiceSpecificExitCode = 0;
    g_status.dwControlsAccepted =
        dwState == SERVICE_RUNNING && !g_options.bRefuseStop ? static_cast<DWORD>(SERVICE_ACCEPT_STOP) : 0;
    SetServiceStatus(g_hStatus, &g_status);
    LeaveCriticalSection(&g_lock);
}

DWORD WINAPI Handler(DWORD dwControl, DWORD, LPVOID, LPVOID)
{
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        if (g_options.bRefuseStop)
            return ERROR_CALL_NOT_IMPLEMENTED;
        // Stop pending is reported before the control returns, so the caller sees it.
        Report(SERVICE_STOP_PENDING, 1, g_options.dwStopDelayMs + 1000);
        SetEvent(g_hStopRequested);
        return NO_ERROR;
    case kQuitControl:
        SetEvent(g_hQuit);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Waits for a stop, the quit control or the end of the lifetime; true for a stop request.
bool WaitForEnd(DWORD dwDeadline)
{
    HANDLE handles[2] = {g_hStopRequested, g_hQuit};
    DWORD dwNow = GetTickCount();
    DWORD dwLeft = static_cast<int32_t>(dwDeadline - dwNow) > 0 ? dwDeadline - dwNow : 0;
    return WaitForMultipleObjects(2, handles, FALSE, dwLeft) == WAIT_OBJECT_0;
}

// Sleeps dwMs unless the service is told to end first; false when it was.
bool Pause(DWORD dwMs) { return WaitForSingleObject(g_hQuit, dwMs) == WAIT_TIMEOUT; }

void WINAPI ServiceMain(DWORD dwArgc, LPSTR* ppszArgv)
{
    const char* pszName = dwArgc > 0 && ppszArgv[0] != nullptr ? ppszArgv[0] : "";
    g_hStatus = RegisterServiceCtrlHandlerExA(pszName, Handler, nullptr);
    if (g_hStatus == nullptr)
        return;
    DWORD dwDeadline = GetTickCount() + g_options.dwLifetimeMs;
    DWORD dwStep = g_options.dwStepMs != 0 ? g_options.dwStepMs : g_options.dwHintMs;
    bool bGoOn = true;
    DWORD dwCheckPoint = 0;
    if (g_options.nPending > 0 || g_options.dwStallMs > 0 || g_options.bNeverRunning) {
        Report(SERVICE_START_PENDING, ++dwCheckPoint, g_options.dwHintMs);
        if (g_options.dwStallMs > 0)
            bGoOn = Pause(g_options.dwStallMs);
        while (bGoOn && dwCheckPoint < g_options.nPending) {
            bGoOn = Pause(dwStep);
            if (bGoOn)
                Report(SERVICE_START_PENDING, ++dwCheckPoint, g_options.dwHintMs);
        }
        if (bGoOn && g_options.bNeverRunning) {
            Pause(g_options.dwLifetimeMs);
            bGoOn = false;
        }
    }
    if (bGoOn) {
        Report(SERVICE_RUNNING, 0, 0);
        if (WaitForEnd(dwDeadline) && g_options.dwStopDelayMs > 0)
            Pause(g_options.dwStopDelayMs);
    }
    Report(SERVICE_STOPPED, 0, 0);
}

DWORD Number(const char* pszValue) { return static_cast<DWORD>(std::strtoul(pszValue, nullptr, 10)); }

void ParseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string strWord = argv[i];
        size_t nEquals = strWord.find('=');
        std::string strKey = strWord.substr(0, nEquals);
        const char* pszValue = nEquals == std::string::npos ? "" : argv[i] + nEquals + 1;
        if (strKey == "pending")
            g_options.nPending = Number(pszValue);
        else if (strKey == "step")
            g_options.dwStepMs = Number(pszValue);
        else if (strKey == "hint")
            g_options.dwHintMs = Number(pszValue);
        else if (strKey == "stall")
            g_options.dwStallMs = Number(pszValue);
        else if (strKey == "never")
            g_options.bNeverRunning = true;
        else if (strKey == "stopdelay")
            g_options.dwStopDelayMs = Number(pszValue);
        else if (strKey == "refusestop")
            g_options.bRefuseStop = true;
        else if (strKey == "lifetime")
            g_options.dwLifetimeMs = Number(pszValue);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ParseOptions(argc, argv);
    InitializeCriticalSection(&g_lock);
    g_hStopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_hQuit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char szName[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{szName, ServiceMain}, {nullptr, nullptr}};
    // Not started by the service manager: nothing to do.
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
