// The test service (qxtestservice.exe beside the test program, its behaviour chosen on its command
// line) in the real service manager: its command line, its state, and getting rid of it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "host/dll_host.h"

namespace qx::host {

using CScHandle = std::unique_ptr<SC_HANDLE__, decltype(&CloseServiceHandle)>;

inline std::string ServiceCommand(const std::string& strOptions)
{
    return "\"" + CDllHost::ProgramFolder() + "qxtestservice.exe\" " + strOptions;
}

inline CScHandle OpenTestService(const std::string& strKey, DWORD dwAccess)
{
    CScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), &CloseServiceHandle);
    return CScHandle(manager ? OpenServiceA(manager.get(), strKey.c_str(), dwAccess) : nullptr, &CloseServiceHandle);
}

// The service's state; 0 when it is not there.
inline DWORD ServiceState(const std::string& strKey)
{
    CScHandle service = OpenTestService(strKey, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status {};
    return service && QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

// Waits until the service is in dwState (0: gone); false when the time ran out first.
inline bool WaitForService(const std::string& strKey, DWORD dwState, DWORD dwTimeoutMs = 10000)
{
    for (ULONGLONG nDeadline = GetTickCount64() + dwTimeoutMs; ServiceState(strKey) != dwState; Sleep(20))
        if (GetTickCount64() >= nDeadline)
            return false;
    return true;
}

// Ends the service however it behaves (a stop, or the test service's own quit control 128) and
// deletes it.
inline void EraseService(const std::string& strKey)
{
    CScHandle service = OpenTestService(strKey, SERVICE_ALL_ACCESS);
    if (!service)
        return;
    SERVICE_STATUS status {};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    ControlService(service.get(), 128, &status);
    WaitForService(strKey, SERVICE_STOPPED, 5000);
    DeleteService(service.get());
    service.reset();
    WaitForService(strKey, 0, 5000);
}

}  // namespace qx::host
