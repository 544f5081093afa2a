#include "services/service_actions.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "frame/message_box.h"
#include "frame/text_fit.h"
#include "platform/ansi_chars.h"
#include "platform/platform.h"
#include "platform/reason.h"
#include "platform/unique.h"
#include "services/logon_right.h"
#include "services/service_control.h"

namespace qx {

namespace {

constexpr char kDependencies[] = "RPCSS\0";  // one name, its zero, and the zero that ends the list
constexpr char kProbeDatabase[] = "ServicesActive";
constexpr char kManagerErrorText[] = "SC Manager Error";
constexpr char kManagerErrorCaption[] = "KI Err";
constexpr DWORD kKeyNameSize = 256;

// The names every service export takes; false when one of them cannot be held as it stands.
bool NamesFit(const char* pszName, const char* pszDisplayName)
{
    if (pszName != nullptr && TextFits(pszName, kServiceNameSize) && TextFits(pszDisplayName, kServiceNameSize))
        return true;
    Reason("the key name is null, or a name is longer than %d characters", static_cast<int>(kServiceNameSize - 1));
    return false;
}

int32_t Since(DWORD dwStart) { return static_cast<int32_t>(Clock().GetTickCount() - dwStart); }

bool IsNone(const char* pszText) { return pszText == nullptr || std::strcmp(pszText, kNoneText) == 0; }

// The service an export works on, on the machine its first argument names (null or "": this one).
CServiceControl ServiceOn(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    CServiceControl service(pszName, pszDisplayName);
    service.m_strMachine = pszMachine ? pszMachine : "";
    return service;
}

// Reads the status until the service is in dwState or nLimitMs have passed, with a pause of up to
// kPollPauseMs between two reads that never runs past the limit. Gives the time the poll began.
DWORD PollFor(CServiceControl& service, DWORD dwState, int32_t nLimitMs)
{
    DWORD dwStart = Clock().GetTickCount();
    service.QueryStatus();
    while (service.m_status.dwCurrentState != dwState) {
        int32_t nElapsed = Since(dwStart);
        if (nElapsed >= nLimitMs)
            break;
        Clock().Sleep(std::min(kPollPauseMs, static_cast<DWORD>(nLimitMs - nElapsed)));
        service.QueryStatus();
    }
    return dwStart;
}

}  // namespace

int StartServiceAndWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    if (!NamesFit(pszName, pszDisplayName))
        return 0;
    CServiceControl service = ServiceOn(pszMachine, pszName, pszDisplayName);
    if (!service.Start())
        return 0;
    DWORD dwStart = PollFor(service, SERVICE_RUNNING, kStartPollMs);
    if (Since(dwStart) < kStartVerdictMs)
        return 1;
    Reason("%s was not seen running within %d ms (state %u)", pszName, static_cast<int>(kStartVerdictMs),
           static_cast<unsigned>(service.m_status.dwCurrentState));
    return 0;
}

int StopServiceAndWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    if (!NamesFit(pszName, pszDisplayName))
        return 0;
    CServiceControl service = ServiceOn(pszMachine, pszName, pszDisplayName);
    service.SendControl(SERVICE_CONTROL_STOP);  // a refused stop only writes its failure line
    DWORD dwStart = PollFor(service, SERVICE_STOPPED, kStopPollMs);
    // Settle: the service's process may still be on its way out. Sleeping for what is left of the
    // delay ends it at the same time as watching the clock would.
    DWORD dwSettle = Clock().GetTickCount();
    for (int32_t nElapsed = Since(dwSettle); nElapsed < kStopSettleMs; nElapsed = Since(dwSettle))
        Clock().Sleep(static_cast<DWORD>(kStopSettleMs - nElapsed));
    if (Since(dwStart) < kStopPollMs)
        return 1;
    Reason("%s was not stopped and settled within %d ms (state %u)", pszName, static_cast<int>(kStopPollMs),
           static_cast<unsigned>(service.m_status.dwCurrentState));
    return 0;
}

int InstallAutoStartService(const char* pszMachine, const char* pszName, const char* pszDisplayName,
                            const char* pszBinaryPath, const char* pszAccount, const char* pszPassword)
{
    bool bAccount = !IsNone(pszAccount);
    if (!NamesFit(pszName, pszDisplayName) || !TextFits(pszBinaryPath, kBinaryPathSize) ||
        (bAccount && !TextFits(pszAccount, kAccountBufferSize))) {
        Reason("a name, the binary path or the account is too long");
        return 0;
    }
    // The service is created on, and looked for on, the machine named, with or without an account.
    CServiceControl service = ServiceOn(pszMachine, pszName, pszDisplayName);
    std::string strLogonName;
    if (bAccount) {
        // A bare name is an account of the machine itself; domain\user stays as it is.
        strLogonName = *FindSeparator(pszAccount, "\\") != '\0' ? pszAccount : std::string(".\\") + pszAccount;
        // Always in the local machine's policy, and before the creation, even of a service that exists.
        GrantServiceLogonRight(pszAccount);
    }
    service.Create(SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, kDependencies,
                   bAccount ? strLogonName.c_str() : nullptr, IsNone(pszPassword) ? nullptr : pszPassword,
                   pszBinaryPath);
    return service.Exists() ? 1 : 0;
}

int RemoveServiceAndPause(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    if (!NamesFit(pszName, pszDisplayName))
        return 0;
    DWORD dwError = ServiceOn(pszMachine, pszName, pszDisplayName).Delete();  // the service is not stopped first
    Clock().Sleep(kRemovePauseMs);
    return dwError == NO_ERROR || dwError == ERROR_SERVICE_DOES_NOT_EXIST || dwError == ERROR_SERVICE_MARKED_FOR_DELETE
               ? 1
               : 0;
}

int ProbeInstalledService(const char* pszMachine, const char* pszDisplayName)
{
    unique_schandle manager(Scm().OpenSCManagerA(pszMachine, kProbeDatabase, SC_MANAGER_ALL_ACCESS));
    if (!manager) {
        ReasonCall("OpenSCManager", pszMachine, Sys().GetLastError());
        ShowMessageBox(kManagerErrorText, kManagerErrorCaption, MB_OK);
        return 0;
    }
    char szKeyName[kKeyNameSize] = {};
    DWORD cchKeyName = kKeyNameSize;
    if (!Scm().GetServiceKeyNameA(manager.get(), pszDisplayName, szKeyName, &cchKeyName))
        return 0;
    unique_schandle service(Scm().OpenServiceA(manager.get(), szKeyName, SERVICE_QUERY_STATUS));
    if (!service)
        return 0;
    SERVICE_STATUS status {};
    if (!Scm().QueryServiceStatus(service.get(), &status))
        return 0;
    DWORD dwState = status.dwCurrentState;
    return dwState == SERVICE_RUNNING || dwState == SERVICE_START_PENDING || dwState == SERVICE_PAUSED ? 1 : 0;
}

}  // namespace qx
