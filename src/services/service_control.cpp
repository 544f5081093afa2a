#include "services/service_control.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "frame/text_fit.h"
#include "platform/platform.h"
#include "platform/reason.h"

namespace qx {

namespace {

// Formats one diagnostic line and writes it (WriteStdout flushes).
void WriteLine(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    va_list argsCopy;
    va_copy(argsCopy, args);
    int cch = std::vsnprintf(nullptr, 0, pszFormat, argsCopy);
    va_end(argsCopy);
    if (cch >= 0) {
        std::vector<char> line(static_cast<size_t>(cch) + 1);
        std::vsnprintf(line.data(), line.size(), pszFormat, args);
        Sys().WriteStdout(line.data());
    }
    va_end(args);
}

void CopyName(char (&szField)[kServiceNameSize], const char* pszText)
{
    if (!TextFits(pszText, kServiceNameSize))
        throw std::length_error("service name longer than 256 characters");
    if (pszText != nullptr)
        std::memcpy(szField, pszText, std::strlen(pszText) + 1);
}

}  // namespace

CServiceControl::CServiceControl(const char* pszName, const char* pszDisplayName)
{
    CopyName(m_szName, pszName);
    CopyName(m_szDisplayName, pszDisplayName);
}

SC_HANDLE CServiceControl::OpenManager(DWORD dwAccess)
{
    return Scm().OpenSCManagerA(m_strMachine.empty() ? nullptr : m_strMachine.c_str(), nullptr, dwAccess);
}

bool CServiceControl::Open(DWORD dwManagerAccess, DWORD dwServiceAccess, unique_schandle* pManager,
                           unique_schandle* pService, bool bReport, DWORD* pdwError)
{
    DWORD dwError = NO_ERROR;
    pManager->reset(OpenManager(dwManagerAccess));
    if (!*pManager) {
        dwError = Sys().GetLastError();
        if (bReport)
            ReportFailure("OpenSCManager", dwError);
    } else {
        pService->reset(Scm().OpenServiceA(pManager->get(), m_szName, dwServiceAccess));
        if (!*pService) {
            dwError = Sys().GetLastError();
            if (bReport)
                ReportFailure("OpenService", dwError);
        }
    }
    if (pdwError != nullptr)
        *pdwError = dwError;
    return *pManager && *pService;
}

DWORD CServiceControl::ReportFailure(const char* pszCall, DWORD dwError)
{
    ReasonCall(pszCall, m_szName, dwError);  // the debugger's line; standard output's follows
    LPSTR pszText = nullptr;
    DWORD cchText =
        Sys().FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, dwError,
                             MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszText), 0);
    unique_hlocal text(pszText);
    if (cchText == 0 || pszText == nullptr)
        WriteLine("%s failed: Unknown error %x\n", pszCall, static_cast<unsigned>(dwError));
    else
        WriteLine("%s failed: %s\n", pszCall, pszText);
    return dwError;
}

void CServiceControl::QueryStatus()
{
    unique_schandle manager;
    unique_schandle service;
    if (!Open(GENERIC_READ, SERVICE_QUERY_STATUS, &manager, &service, true))
        return;
    SERVICE_STATUS status {};
    if (!Scm().QueryServiceStatus(service.get(), &status)) {
        ReportFailure("QueryServiceStatus", Sys().GetLastError());
        return;
    }
    m_status = status;
}

bool CServiceControl::Start()
{
    unique_schandle manager;
    unique_schandle service;
    if (!Open(GENERIC_READ, SERVICE_START | SERVICE_QUERY_STATUS, &manager, &service, true))
        return false;
    if (!Scm().StartServiceA(service.get(), 0, nullptr)) {
        ReportFailure("StartService", Sys().GetLastError());
        return false;
    }
    // A failed status read inside the start is reported with code 1, whatever the system said.
    SERVICE_STATUS status {};
    auto read = [&] {
        if (Scm().QueryServiceStatus(service.get(), &status))
            return true;
        ReportFailure("QueryServiceStatus", ERROR_INVALID_FUNCTION);
        return false;
    };
    if (!read())
        return false;
    while (status.dwCurrentState != SERVICE_RUNNING) {
        DWORD dwOldCheckPoint = status.dwCheckPoint;
        Clock().Sleep(std::min(status.dwWaitHint, kMaxWaitHintSleepMs));
        if (!read())
            return false;
        if (!(dwOldCheckPoint < status.dwCheckPoint))
            break;  // the checkpoints stopped advancing
    }
    if (status.dwCurrentState == SERVICE_RUNNING) {
        WriteLine("%s started successfully.\n", m_szName);
        return true;
    }
    Reason("%s did not start: state %u, Win32 exit %u, service exit %u", m_szName,
           static_cast<unsigned>(status.dwCurrentState), static_cast<unsigned>(status.dwWin32ExitCode),
           static_cast<unsigned>(status.dwServiceSpecificExitCode));
    WriteStatusBlock(status, true);
    return false;
}

void CServiceControl::SendControl(DWORD dwControl)
{
    unique_schandle manager;
    unique_schandle service;
    if (!Open(GENERIC_READ, GENERIC_EXECUTE, &manager, &service, true))
        return;
    SERVICE_STATUS status {};
    if (!Scm().ControlService(service.get(), dwControl, &status)) {
        ReportFailure("ControlService", Sys().GetLastError());
        return;
    }
    WriteStatusBlock(status, false);
}

void CServiceControl::WriteStatusBlock(const SERVICE_STATUS& status, bool bStartUnsuccessful)
{
    if (bStartUnsuccessful) {
        WriteLine("%s start unsuccessful: \n", m_szName);
    } else {
        WriteLine("Service Status for %s\n", m_szName);
        WriteLine("Type: 0x%x\n", static_cast<unsigned>(status.dwServiceType));
    }
    WriteLine("Current State: 0x%x\n", static_cast<unsigned>(status.dwCurrentState));
    if (!bStartUnsuccessful)
        WriteLine("Controls Accepted: %u\n", static_cast<unsigned>(status.dwControlsAccepted));
    WriteLine("Win32 Exit: %u\n", static_cast<unsigned>(status.dwWin32ExitCode));
    WriteLine("Service Exit: %u\n", static_cast<unsigned>(status.dwServiceSpecificExitCode));
    WriteLine("Checkpoint: 0x%x\n", static_cast<unsigned>(status.dwCheckPoint));
    WriteLine("WaitHint: 0x%x\n", static_cast<unsigned>(status.dwWaitHint));
}

bool CServiceControl::Exists()
{
    unique_schandle manager;
    unique_schandle service;
    return Open(SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, &manager, &service, false);
}

void CServiceControl::Create(DWORD dwServiceType, DWORD dwStartType, const char* pszDependencies,
                             const char* pszLogonName, const char* pszPassword, const char* pszBinaryPath)
{
    if (Exists())
        return;  // an existing service keeps its configuration and account
    unique_schandle manager(OpenManager(SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        ReportFailure("OpenSCManager", Sys().GetLastError());
        return;
    }
    char szPath[MAX_PATH] = {};
    if (pszBinaryPath != nullptr) {
        if (!TextFits(pszBinaryPath, sizeof szPath))
            throw std::length_error("binary path longer than 259 characters");
        std::memcpy(szPath, pszBinaryPath, std::strlen(pszBinaryPath) + 1);
    } else {
        // The host's own executable. A path that does not fit is not cut into a wrong one.
        DWORD cchPath = Sys().GetModuleFileNameA(nullptr, szPath, MAX_PATH);
        if (cchPath == 0 || cchPath >= MAX_PATH) {
            ReportFailure("GetModuleFileName", cchPath == 0 ? Sys().GetLastError() : ERROR_INSUFFICIENT_BUFFER);
            return;
        }
    }
    unique_schandle service(Scm().CreateServiceA(manager.get(), m_szName,
                                                 m_szDisplayName[0] != '\0' ? m_szDisplayName : nullptr,
                                                 SERVICE_ALL_ACCESS, dwServiceType, dwStartType, SERVICE_ERROR_NORMAL,
                                                 szPath, nullptr, nullptr, pszDependencies, pszLogonName, pszPassword));
    if (!service) {
        ReportFailure("CreateService", Sys().GetLastError());
        return;
    }
    WriteLine("%s Created\n", m_szName);
}

DWORD CServiceControl::Delete()
{
    unique_schandle manager;
    unique_schandle service;
    DWORD dwError = NO_ERROR;
    if (!Open(SC_MANAGER_CONNECT, DELETE, &manager, &service, true, &dwError))
        return dwError;
    if (!Scm().DeleteService(service.get()))
        return ReportFailure("DeleteService", Sys().GetLastError());
    WriteLine("%s Removed\n", m_szName);
    return NO_ERROR;
}

}  // namespace qx
