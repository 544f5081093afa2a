#include "sim/sim_scm.h"

#include <algorithm>
#include <cstring>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {

const char kScHandleKind[] = "schandle";
constexpr size_t kMaxServiceName = 256;

// The first status the manager shows after a start request, before the service has said anything.
constexpr DWORD kInitialStartWaitHint = 2000;

bool IsPending(DWORD dwState)
{
    return dwState == SERVICE_START_PENDING || dwState == SERVICE_STOP_PENDING || dwState == SERVICE_CONTINUE_PENDING ||
           dwState == SERVICE_PAUSE_PENDING;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return AnsiUpper(a) == AnsiUpper(b); }

}  // namespace

// ---- behaviours ----

CSimServiceBehaviour CSimServiceBehaviour::RunsAtOnce()
{
    CSimServiceBehaviour behaviour;
    behaviour.start = {{0, SERVICE_RUNNING}};
    behaviour.stop = {{0, SERVICE_STOPPED}};
    return behaviour;
}

CSimServiceBehaviour CSimServiceBehaviour::StartPending(DWORD nCheckpoints, DWORD dwStepMs, DWORD dwWaitHint)
{
    CSimServiceBehaviour behaviour = RunsAtOnce();
    behaviour.start.clear();
    for (DWORD i = 0; i < nCheckpoints; ++i)
        behaviour.start.push_back({i * dwStepMs, SERVICE_START_PENDING, i + 1, dwWaitHint});
    behaviour.start.push_back({nCheckpoints * dwStepMs, SERVICE_RUNNING});
    return behaviour;
}

CSimServiceBehaviour CSimServiceBehaviour::Stalled(DWORD dwStallMs, DWORD dwWaitHint)
{
    CSimServiceBehaviour behaviour = RunsAtOnce();
    behaviour.start = {{0, SERVICE_START_PENDING, 1, dwWaitHint}, {dwStallMs, SERVICE_RUNNING}};
    return behaviour;
}

CSimServiceBehaviour CSimServiceBehaviour::NeverRunning(DWORD nCheckpoints, DWORD dwStepMs, DWORD dwWaitHint)
{
    CSimServiceBehaviour behaviour = StartPending(nCheckpoints, dwStepMs, dwWaitHint);
    behaviour.start.pop_back();
    return behaviour;
}

CSimServiceBehaviour CSimServiceBehaviour::SlowStop(DWORD dwStopMs, DWORD dwWaitHint)
{
    CSimServiceBehaviour behaviour = RunsAtOnce();
    behaviour.stop = {{0, SERVICE_STOP_PENDING, 1, dwWaitHint}, {dwStopMs, SERVICE_STOPPED}};
    return behaviour;
}

CSimServiceBehaviour CSimServiceBehaviour::RefusesStop()
{
    CSimServiceBehaviour behaviour = RunsAtOnce();
    behaviour.bAcceptsStop = false;
    return behaviour;
}

// ---- set-up ----

CSimScm::CSimScm(CSimKernel& kernel, CSimClock& clock, CSimLsa& lsa, const std::string& strComputerName)
    : m_kernel(kernel), m_clock(clock), m_lsa(lsa), m_strComputerName(strComputerName)
{
    AddMachine("");
}

std::string CSimScm::MachineKey(const std::string& strMachine) const
{
    std::string strKey = AnsiUpper(strMachine);
    if (strKey.rfind("\\\\", 0) == 0)
        strKey = strKey.substr(2);
    return strKey == AnsiUpper(m_strComputerName) ? "" : strKey;
}

CSimScmMachine& CSimScm::AddMachine(const std::string& strMachine)
{
    CSimScmMachine& machine = m_machines[MachineKey(strMachine)];
    if (machine.services.empty()) {
        // Every Windows machine has the RPC service running, on which installed services depend.
        CSimService& rpcss = machine.services["RPCSS"];
        rpcss.strName = "RpcSs";
        rpcss.strDisplayName = "Remote Procedure Call (RPC)";
        rpcss.dwServiceType = SERVICE_WIN32_SHARE_PROCESS;
        rpcss.dwStartType = SERVICE_AUTO_START;
        rpcss.idleStatus = SERVICE_STATUS {SERVICE_WIN32_SHARE_PROCESS, SERVICE_RUNNING, 0, 0, 0, 0, 0};
    }
    return machine;
}

CSimScmMachine* CSimScm::Machine(const std::string& strMachine)
{
    std::string strKey = MachineKey(strMachine);
    if (strKey.empty())
        return &m_machines[""];
    auto it = m_machines.find(strKey);
    return it == m_machines.end() ? nullptr : &it->second;
}

CSimService& CSimScm::AddService(const std::string& strName, const std::string& strDisplayName,
                                 const CSimServiceBehaviour& behaviour, const std::string& strMachine)
{
    CSimScmMachine* pMachine = Machine(strMachine);
    if (pMachine == nullptr)
        pMachine = &AddMachine(strMachine);
    CSimService service;
    service.strName = strName;
    service.strDisplayName = strDisplayName;
    service.strBinaryPath = "C:\\Program Files\\" + strName + "\\" + strName + ".exe";
    service.behaviour = behaviour;
    return pMachine->services[AnsiUpper(strName)] = service;
}

CSimService* CSimScm::Service(const std::string& strName, const std::string& strMachine)
{
    CSimScmMachine* pMachine = Machine(strMachine);
    if (pMachine == nullptr)
        return nullptr;
    auto it = pMachine->services.find(AnsiUpper(strName));
    return it == pMachine->services.end() ? nullptr : &it->second;
}

void CSimScm::SetState(const std::string& strName, DWORD dwState, const std::string& strMachine)
{
    CSimService* pService = Service(strName, strMachine);
    if (pService == nullptr)
        return;
    pService->phase = CSimService::Phase::kIdle;
    pService->idleStatus = SERVICE_STATUS {};
    pService->idleStatus.dwServiceType = pService->dwServiceType;
    pService->idleStatus.dwCurrentState = dwState;
}

SERVICE_STATUS CSimScm::Status(const std::string& strName, const std::string& strMachine)
{
    CSimService* pService = Service(strName, strMachine);
    return pService == nullptr ? SERVICE_STATUS {} : Evaluate(*pService);
}

DWORD CSimScm::MapManagerAccess(DWORD dwAccess)
{
    DWORD dwMapped = dwAccess & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (dwAccess & GENERIC_READ)
        dwMapped |= STANDARD_RIGHTS_READ | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS;
    if (dwAccess & GENERIC_WRITE)
        dwMapped |= STANDARD_RIGHTS_WRITE | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG;
    if (dwAccess & GENERIC_EXECUTE)
        dwMapped |= STANDARD_RIGHTS_EXECUTE | SC_MANAGER_CONNECT | SC_MANAGER_LOCK;
    if (dwAccess & GENERIC_ALL)
        dwMapped |= SC_MANAGER_ALL_ACCESS;
    return dwMapped;
}

DWORD CSimScm::MapServiceAccess(DWORD dwAccess)
{
    DWORD dwMapped = dwAccess & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (dwAccess & GENERIC_READ)
        dwMapped |= STANDARD_RIGHTS_READ | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
                    SERVICE_ENUMERATE_DEPENDENTS;
    if (dwAccess & GENERIC_WRITE)
        dwMapped |= STANDARD_RIGHTS_WRITE | SERVICE_CHANGE_CONFIG;
    if (dwAccess & GENERIC_EXECUTE)
        dwMapped |= STANDARD_RIGHTS_EXECUTE | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                    SERVICE_USER_DEFINED_CONTROL;
    if (dwAccess & GENERIC_ALL)
        dwMapped |= SERVICE_ALL_ACCESS;
    return dwMapped;
}

// ---- state ----

SERVICE_STATUS CSimScm::Evaluate(CSimService& service)
{
    if (service.phase != CSimService::Phase::kIdle) {
        const std::vector<CSimStatusStep>& steps =
            service.phase == CSimService::Phase::kStarting ? service.behaviour.start : service.behaviour.stop;
        int32_t nElapsed = static_cast<int32_t>(m_clock.Now() - service.dwPhaseStart);
        CSimStatusStep current;
        if (service.phase == CSimService::Phase::kStarting)
            current = {0, SERVICE_START_PENDING, 0, kInitialStartWaitHint};
        else
            current = {0, SERVICE_STOP_PENDING, 0, 0};
        size_t nReached = 0;
        for (size_t i = 0; i < steps.size(); ++i) {
            if (static_cast<int64_t>(steps[i].dwAfterMs) <= nElapsed) {
                current = steps[i];
                nReached = i + 1;
            }
        }
        SERVICE_STATUS status {};
        status.dwServiceType = service.dwServiceType;
        status.dwCurrentState = current.dwState;
        status.dwWin32ExitCode = current.dwWin32ExitCode;
        status.dwServiceSpecificExitCode = current.dwServiceExitCode;
        status.dwCheckPoint = current.dwCheckPoint;
        status.dwWaitHint = current.dwWaitHint;
        bool bFinal = nReached == steps.size() && !IsPending(current.dwState);
        if (steps.empty()) {
            // No timeline: the request takes effect at once.
            status.dwCurrentState = service.phase == CSimService::Phase::kStarting ? SERVICE_RUNNING : SERVICE_STOPPED;
            status.dwCheckPoint = 0;
            status.dwWaitHint = 0;
            bFinal = true;
        }
        if (!bFinal) {
            status.dwControlsAccepted = current.dwControlsAccepted;
            return status;
        }
        service.phase = CSimService::Phase::kIdle;
        service.idleStatus = status;
    }
    SERVICE_STATUS status = service.idleStatus;
    status.dwServiceType = service.dwServiceType;
    bool bActive = status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_PAUSED;
    status.dwControlsAccepted = bActive && service.behaviour.bAcceptsStop ? SERVICE_ACCEPT_STOP : 0;
    return status;
}

void CSimScm::Reap(CSimScmMachine& machine)
{
    for (auto it = machine.services.begin(); it != machine.services.end();) {
        CSimService& service = it->second;
        if (service.bMarkedForDelete && service.nOpenHandles == 0 &&
            Evaluate(service).dwCurrentState == SERVICE_STOPPED)
            it = machine.services.erase(it);
        else
            ++it;
    }
}

bool CSimScm::KnowsAccount(const std::string& strMachine, const std::string& strAccount) const
{
    if (EqualNoCase(strAccount, "LocalSystem"))
        return true;
    if (strAccount.rfind(".\\", 0) == 0 && !strMachine.empty())
        return m_lsa.Knows(strAccount.substr(2));  // an account of that other machine
    return m_lsa.Knows(strAccount);
}

DWORD CSimScm::StartError(const std::string& strMachine, const CSimService& service) const
{
    if (service.dwStartType == SERVICE_DISABLED)
        return ERROR_SERVICE_DISABLED;
    // The logon is checked against this machine's policy only: the other machines' accounts and
    // rights are not modelled, and their services log on.
    if (strMachine.empty() && service.bHasStartName &&
        !m_lsa.MayLogOnAsService(service.strStartName, service.bHasPassword ? service.strPassword : ""))
        return ERROR_SERVICE_LOGON_FAILED;
    return service.behaviour.dwStartError;
}

// ---- handles ----

bool CSimScm::Injected(const char* pszCall)
{
    DWORD dwError = 0;
    if (!m_kernel.ShouldFail(pszCall, &dwError))
        return false;
    m_kernel.Fail(dwError);
    return true;
}

SC_HANDLE CSimScm::NewHandle(const CHandle& handle)
{
    SC_HANDLE h = static_cast<SC_HANDLE>(m_kernel.NewHandle());
    m_handles[h] = handle;
    m_kernel.Acquire(kScHandleKind, h);
    return h;
}

SC_HANDLE CSimScm::NewServiceHandle(const std::string& strMachine, const std::string& strService, DWORD dwGranted)
{
    CHandle handle;
    handle.bManager = false;
    handle.strMachine = strMachine;
    handle.strService = strService;
    handle.dwGranted = dwGranted;
    ++m_machines[strMachine].services.at(strService).nOpenHandles;
    return NewHandle(handle);
}

CSimScm::CHandle* CSimScm::Lookup(SC_HANDLE h, bool bManager)
{
    auto it = m_handles.find(h);
    if (it == m_handles.end() || it->second.bManager != bManager) {
        m_kernel.Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &it->second;
}

CSimService* CSimScm::ServiceOf(SC_HANDLE h, DWORD dwNeeded)
{
    CHandle* pHandle = Lookup(h, false);
    if (pHandle == nullptr)
        return nullptr;
    if ((pHandle->dwGranted & dwNeeded) != dwNeeded) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    CSimService& service = m_machines[pHandle->strMachine].services.at(pHandle->strService);
    return &service;
}

// ---- IScm ----

SC_HANDLE CSimScm::OpenSCManagerA(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwAccess)
{
    COpen open;
    open.bManager = true;
    open.bMachineNull = pszMachine == nullptr;
    open.strMachine = pszMachine ? pszMachine : "";
    open.bDatabaseNull = pszDatabase == nullptr;
    open.strDatabase = pszDatabase ? pszDatabase : "";
    open.dwAccess = dwAccess;
    m_opens.push_back(open);

    if (Injected("OpenSCManagerA"))
        return nullptr;
    CSimScmMachine* pMachine = Machine(open.strMachine);
    if (pMachine == nullptr) {
        m_kernel.Fail(m_dwUnreachableError);
        return nullptr;
    }
    if (pszDatabase != nullptr && !EqualNoCase(pszDatabase, SERVICES_ACTIVE_DATABASEA)) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    DWORD dwWanted = MapManagerAccess(dwAccess) | SC_MANAGER_CONNECT;
    if ((dwWanted & ~(pMachine->dwAllowedAccess | SC_MANAGER_CONNECT)) != 0) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    CHandle handle;
    handle.bManager = true;
    handle.strMachine = MachineKey(open.strMachine);
    handle.dwGranted = dwWanted;
    return NewHandle(handle);
}

SC_HANDLE CSimScm::OpenServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, DWORD dwAccess)
{
    COpen open;
    open.bManager = false;
    open.strService = pszServiceName ? pszServiceName : "";
    open.dwAccess = dwAccess;
    m_opens.push_back(open);

    if (Injected("OpenServiceA"))
        return nullptr;
    CHandle* pManager = Lookup(hManager, true);
    if (pManager == nullptr)
        return nullptr;
    if (pszServiceName == nullptr || *pszServiceName == '\0' || std::strlen(pszServiceName) > kMaxServiceName) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    CSimScmMachine& machine = m_machines[pManager->strMachine];
    auto it = machine.services.find(AnsiUpper(pszServiceName));
    if (it == machine.services.end()) {
        m_kernel.Fail(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    DWORD dwWanted = MapServiceAccess(dwAccess);
    if ((dwWanted & ~it->second.dwAllowedAccess) != 0) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewServiceHandle(pManager->strMachine, it->first, dwWanted);
}

SC_HANDLE CSimScm::CreateServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, LPCSTR pszDisplayName,
                                  DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                                  LPCSTR pszBinaryPathName, LPCSTR pszLoadOrderGroup, LPDWORD pdwTagId,
                                  LPCSTR pszDependencies, LPCSTR pszServiceStartName, LPCSTR pszPassword)
{
    if (Injected("CreateServiceA"))
        return nullptr;
    CHandle* pManager = Lookup(hManager, true);
    if (pManager == nullptr)
        return nullptr;
    if ((pManager->dwGranted & SC_MANAGER_CREATE_SERVICE) == 0) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }

    CCreate create;
    create.strMachine = pManager->strMachine;
    create.strName = pszServiceName ? pszServiceName : "";
    create.bDisplayNameNull = pszDisplayName == nullptr;
    create.strDisplayName = pszDisplayName ? pszDisplayName : "";
    create.dwDesiredAccess = dwDesiredAccess;
    create.dwServiceType = dwServiceType;
    create.dwStartType = dwStartType;
    create.dwErrorControl = dwErrorControl;
    create.strBinaryPath = pszBinaryPathName ? pszBinaryPathName : "";
    create.bLoadOrderGroupNull = pszLoadOrderGroup == nullptr;
    create.bTagIdNull = pdwTagId == nullptr;
    std::vector<std::string> dependencies;
    if (pszDependencies != nullptr) {
        // A list of names, each closed by a zero, the list closed by a second zero.
        const char* p = pszDependencies;
        while (*p != '\0') {
            dependencies.emplace_back(p);
            p += std::strlen(p) + 1;
        }
        create.dependencies.assign(pszDependencies, p + 1);
    }
    create.bStartNameNull = pszServiceStartName == nullptr;
    create.strStartName = pszServiceStartName ? pszServiceStartName : "";
    create.bPasswordNull = pszPassword == nullptr;
    create.strPassword = pszPassword ? pszPassword : "";
    m_creates.push_back(create);

    const std::string& strName = create.strName;
    if (strName.empty() || strName.size() > kMaxServiceName || strName.find_first_of("\\/") != std::string::npos ||
        create.strDisplayName.size() > kMaxServiceName) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    DWORD dwBaseType = dwServiceType & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS);
    bool bWin32 = dwBaseType == SERVICE_WIN32_OWN_PROCESS || dwBaseType == SERVICE_WIN32_SHARE_PROCESS;
    bool bDriver = dwServiceType == SERVICE_KERNEL_DRIVER || dwServiceType == SERVICE_FILE_SYSTEM_DRIVER;
    if ((!bWin32 && !bDriver) || dwStartType > SERVICE_DISABLED || dwErrorControl > SERVICE_ERROR_CRITICAL ||
        create.strBinaryPath.empty() || (bWin32 && dwStartType < SERVICE_AUTO_START)) {
        m_kernel.Fail(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CSimScmMachine& machine = m_machines[pManager->strMachine];
    auto existing = machine.services.find(AnsiUpper(strName));
    if (existing != machine.services.end()) {
        m_kernel.Fail(existing->second.bMarkedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS);
        return nullptr;
    }
    std::string strDisplayName = create.strDisplayName.empty() ? strName : create.strDisplayName;
    for (const auto& entry : machine.services) {
        const CSimService& other = entry.second;
        if (EqualNoCase(other.strDisplayName, strDisplayName) || EqualNoCase(other.strName, strDisplayName) ||
            EqualNoCase(other.strDisplayName, strName)) {
            m_kernel.Fail(ERROR_DUPLICATE_SERVICE_NAME);
            return nullptr;
        }
    }
    if (pszServiceStartName != nullptr && !KnowsAccount(pManager->strMachine, pszServiceStartName)) {
        m_kernel.Fail(ERROR_INVALID_SERVICE_ACCOUNT);
        return nullptr;
    }
    DWORD dwWanted = MapServiceAccess(dwDesiredAccess);
    if ((dwWanted & ~static_cast<DWORD>(SERVICE_ALL_ACCESS)) != 0) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return nullptr;
    }

    CSimService service;
    service.strName = strName;
    service.strDisplayName = strDisplayName;
    service.dwServiceType = dwServiceType;
    service.dwStartType = dwStartType;
    service.dwErrorControl = dwErrorControl;
    service.strBinaryPath = create.strBinaryPath;
    service.strLoadOrderGroup = pszLoadOrderGroup ? pszLoadOrderGroup : "";
    service.dependencies = dependencies;
    service.bHasStartName = pszServiceStartName != nullptr;
    service.strStartName = create.strStartName;
    service.bHasPassword = pszPassword != nullptr;
    service.strPassword = create.strPassword;
    std::string strKey = AnsiUpper(strName);
    machine.services[strKey] = service;
    return NewServiceHandle(pManager->strMachine, strKey, dwWanted);
}

BOOL CSimScm::DeleteService(SC_HANDLE hService)
{
    if (Injected("DeleteService"))
        return FALSE;
    CSimService* pService = ServiceOf(hService, DELETE);
    if (pService == nullptr)
        return FALSE;
    if (pService->bMarkedForDelete)
        return m_kernel.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    pService->bMarkedForDelete = true;
    return TRUE;
}

BOOL CSimScm::StartServiceA(SC_HANDLE hService, DWORD dwNumArgs, LPCSTR* ppszArgs)
{
    if (Injected("StartServiceA"))
        return FALSE;
    CSimService* pService = ServiceOf(hService, SERVICE_START);
    if (pService == nullptr)
        return FALSE;
    m_startArgCounts.push_back(dwNumArgs);
    if (pService->bMarkedForDelete)
        return m_kernel.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (pService->dwStartType == SERVICE_DISABLED)
        return m_kernel.Fail(ERROR_SERVICE_DISABLED);
    if (Evaluate(*pService).dwCurrentState != SERVICE_STOPPED)
        return m_kernel.Fail(ERROR_SERVICE_ALREADY_RUNNING);
    const std::string& strMachine = m_handles[hService].strMachine;
    CSimScmMachine& machine = m_machines[strMachine];
    // The dependencies start first; one that cannot start fails this start with 1068 and keeps its
    // own code as its exit code.
    std::vector<CSimService*> toStart;
    for (const std::string& strDependency : pService->dependencies) {
        auto it = machine.services.find(AnsiUpper(strDependency));
        if (it == machine.services.end() || it->second.bMarkedForDelete)
            return m_kernel.Fail(ERROR_SERVICE_DEPENDENCY_DELETED);
        if (Evaluate(it->second).dwCurrentState != SERVICE_STOPPED)
            continue;
        DWORD dwError = StartError(strMachine, it->second);
        if (dwError != NO_ERROR) {
            it->second.idleStatus.dwWin32ExitCode = dwError;
            return m_kernel.Fail(ERROR_SERVICE_DEPENDENCY_FAIL);
        }
        toStart.push_back(&it->second);
    }
    for (CSimService* pDependency : toStart) {
        pDependency->phase = CSimService::Phase::kStarting;
        pDependency->dwPhaseStart = m_clock.Now();
        ++pDependency->nStarts;
    }
    if (DWORD dwError = StartError(strMachine, *pService)) {
        pService->idleStatus.dwWin32ExitCode = dwError;
        return m_kernel.Fail(dwError);
    }
    pService->phase = CSimService::Phase::kStarting;
    pService->dwPhaseStart = m_clock.Now();
    ++pService->nStarts;
    return TRUE;
}

BOOL CSimScm::ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* pStatus)
{
    m_controls.push_back(dwControl);
    if (Injected("ControlService"))
        return FALSE;
    DWORD dwNeeded = 0;
    switch (dwControl) {
    case SERVICE_CONTROL_STOP:
        dwNeeded = SERVICE_STOP;
        break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        dwNeeded = SERVICE_PAUSE_CONTINUE;
        break;
    case SERVICE_CONTROL_INTERROGATE:
        dwNeeded = SERVICE_INTERROGATE;
        break;
    default:
        if (dwControl < 128 || dwControl > 255)
            return m_kernel.Fail(ERROR_INVALID_PARAMETER);
        dwNeeded = SERVICE_USER_DEFINED_CONTROL;
    }
    CSimService* pService = ServiceOf(hService, dwNeeded);
    if (pService == nullptr)
        return FALSE;
    SERVICE_STATUS status = Evaluate(*pService);
    *pStatus = status;
    if (status.dwCurrentState == SERVICE_STOPPED)
        return m_kernel.Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (dwControl == SERVICE_CONTROL_INTERROGATE)
        return TRUE;
    if (IsPending(status.dwCurrentState))
        return m_kernel.Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    if (dwControl != SERVICE_CONTROL_STOP || !pService->behaviour.bAcceptsStop)
        return m_kernel.Fail(ERROR_INVALID_SERVICE_CONTROL);
    pService->phase = CSimService::Phase::kStopping;
    pService->dwPhaseStart = m_clock.Now();
    ++pService->nStopRequests;
    *pStatus = Evaluate(*pService);
    return TRUE;
}

BOOL CSimScm::QueryServiceStatus(SC_HANDLE hService, SERVICE_STATUS* pStatus)
{
    if (Injected("QueryServiceStatus"))
        return FALSE;
    CSimService* pService = ServiceOf(hService, SERVICE_QUERY_STATUS);
    if (pService == nullptr)
        return FALSE;
    *pStatus = Evaluate(*pService);
    return TRUE;
}

BOOL CSimScm::GetServiceKeyNameA(SC_HANDLE hManager, LPCSTR pszDisplayName, LPSTR pszServiceName, LPDWORD pcchBuffer)
{
    if (Injected("GetServiceKeyNameA"))
        return FALSE;
    CHandle* pManager = Lookup(hManager, true);
    if (pManager == nullptr)
        return FALSE;
    if (pszDisplayName == nullptr || pcchBuffer == nullptr)
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    const CSimScmMachine& machine = m_machines[pManager->strMachine];
    for (const auto& entry : machine.services) {
        const CSimService& service = entry.second;
        if (!EqualNoCase(service.strDisplayName, pszDisplayName))
            continue;
        // The ANSI call asks for twice the name's length when the buffer is too small (room for a
        // name of double-byte characters) and leaves the size as it was on success.
        DWORD cchName = static_cast<DWORD>(service.strName.size());
        if (*pcchBuffer <= cchName) {
            if (pszServiceName != nullptr && *pcchBuffer > 0)
                *pszServiceName = '\0';
            *pcchBuffer = 2 * cchName;
            return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(pszServiceName, service.strName.c_str(), cchName + 1);
        return TRUE;
    }
    return m_kernel.Fail(ERROR_SERVICE_DOES_NOT_EXIST);
}

BOOL CSimScm::CloseServiceHandle(SC_HANDLE hSCObject)
{
    auto it = m_handles.find(hSCObject);
    if (it == m_handles.end()) {
        m_kernel.RecordMisuse("CloseServiceHandle of a handle that is not open");
        return m_kernel.Fail(ERROR_INVALID_HANDLE);
    }
    CHandle handle = it->second;
    m_handles.erase(it);
    m_kernel.Release(kScHandleKind, hSCObject);
    if (!handle.bManager) {
        CSimScmMachine& machine = m_machines[handle.strMachine];
        auto service = machine.services.find(handle.strService);
        if (service != machine.services.end())
            --service->second.nOpenHandles;
        Reap(machine);
    }
    return TRUE;
}

}  // namespace qx::sim
