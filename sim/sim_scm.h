// Simulated service control manager: one service database per reachable machine, services with key
// and display names and their configuration, states that move on with the simulated clock along a
// scripted behaviour, handles checked for the access they were opened with, and every handle
// accounted for.
//
//   sim.m_scm.AddService("QxSvc", "Tavrin", CSimServiceBehaviour::StartPending(3, 500, 2000));
//   sim.m_scm.AddMachine("DC2");                 // another machine that answers
//   sim.m_scm.Service("QxSvc")->dwAllowedAccess &= ~DELETE;
//
// A service's status is worked out from the time of the last start or stop request and the
// behaviour's timeline, each time it is read: a service whose timeline says "running 1500 ms after
// the start" is seen start-pending until the clock has moved on that far (by readings and sleeps).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"
#include "sim/sim_lsa.h"
#include "sim/sim_system.h"

namespace qx::sim {

// One point of a service's timeline: from dwAfterMs after the request on, the service reports this.
struct CSimStatusStep {
    DWORD dwAfterMs = 0;
    DWORD dwState = SERVICE_STOPPED;
    DWORD dwCheckPoint = 0;
    DWORD dwWaitHint = 0;
    DWORD dwWin32ExitCode = NO_ERROR;
    DWORD dwServiceExitCode = 0;
    DWORD dwControlsAccepted = 0;  // what a pending service accepts meanwhile
};

// What a service does when it is started and stopped.
struct CSimServiceBehaviour {
    // The statuses after a start request, in order of time; the last one holds. A timeline that ends
    // in SERVICE_STOPPED is a service that gave up (its process ended).
    std::vector<CSimStatusStep> start;
    // StartServiceA fails with this code and the service stays stopped (0: it starts); a service
    // that logs on as an account without the right to log on as a service, or with a wrong password,
    // fails with ERROR_SERVICE_LOGON_FAILED anyway.
    DWORD dwStartError = NO_ERROR;
    // Whether the running service accepts SERVICE_CONTROL_STOP.
    bool bAcceptsStop = true;
    // The statuses after an accepted stop request; the last one holds.
    std::vector<CSimStatusStep> stop;

    // Running as soon as it is started; stopped as soon as it is asked to.
    static CSimServiceBehaviour RunsAtOnce();
    // Start pending with checkpoints 1..nCheckpoints, one every dwStepMs, each reporting dwWaitHint;
    // running at nCheckpoints * dwStepMs.
    static CSimServiceBehaviour StartPending(DWORD nCheckpoints, DWORD dwStepMs, DWORD dwWaitHint);
    // Start pending at checkpoint 1 (wait hint dwWaitHint) for dwStallMs, then running.
    static CSimServiceBehaviour Stalled(DWORD dwStallMs, DWORD dwWaitHint);
    // Checkpoints 1..nCheckpoints, one every dwStepMs, then start pending for ever.
    static CSimServiceBehaviour NeverRunning(DWORD nCheckpoints, DWORD dwStepMs, DWORD dwWaitHint);
    // Starts at once; a stop request leaves it stop pending for dwStopMs, then stopped.
    static CSimServiceBehaviour SlowStop(DWORD dwStopMs, DWORD dwWaitHint = 0);
    // Starts at once and refuses to be stopped.
    static CSimServiceBehaviour RefusesStop();
};

struct CSimService {
    // configuration
    std::string strName;
    std::string strDisplayName;
    DWORD dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    DWORD dwStartType = SERVICE_DEMAND_START;
    DWORD dwErrorControl = SERVICE_ERROR_NORMAL;
    std::string strBinaryPath;
    std::string strLoadOrderGroup;
    std::vector<std::string> dependencies;
    bool bHasStartName = false;  // false: the local system account
    std::string strStartName;
    bool bHasPassword = false;
    std::string strPassword;
    // The access the caller is allowed on this service (its security descriptor, in short).
    DWORD dwAllowedAccess = SERVICE_ALL_ACCESS;
    CSimServiceBehaviour behaviour = CSimServiceBehaviour::RunsAtOnce();

    // state
    enum class Phase { kIdle, kStarting, kStopping };
    Phase phase = Phase::kIdle;
    DWORD dwPhaseStart = 0;  // clock reading of the request
    // The status while idle: stopped and never started, or running when set up so.
    SERVICE_STATUS idleStatus {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, ERROR_SERVICE_NEVER_STARTED, 0, 0, 0};
    bool bMarkedForDelete = false;
    int nOpenHandles = 0;
    int nStarts = 0;
    int nStopRequests = 0;
};

// One machine's service control manager.
struct CSimScmMachine {
    // The access the caller is allowed on the manager itself (SC_MANAGER_CONNECT always).
    DWORD dwAllowedAccess = SC_MANAGER_ALL_ACCESS;
    std::map<std::string, CSimService> services;  // by upper-case key name
};

class CSimScm final : public IScm {
public:
    CSimScm(CSimKernel& kernel, CSimClock& clock, CSimLsa& lsa, const std::string& strComputerName);

    // ---- set-up for tests ----
    // A machine other than the local one that answers (the others are unreachable).
    CSimScmMachine& AddMachine(const std::string& strMachine);
    // The local machine ("" or the computer name) or an added one; null when unreachable.
    CSimScmMachine* Machine(const std::string& strMachine);
    // Adds a stopped own-process service on demand start, on the local machine or on strMachine.
    CSimService& AddService(const std::string& strName, const std::string& strDisplayName,
                            const CSimServiceBehaviour& behaviour = CSimServiceBehaviour::RunsAtOnce(),
                            const std::string& strMachine = "");
    // Puts a service into a state (running, paused, stop pending, ...) from now on.
    void SetState(const std::string& strName, DWORD dwState, const std::string& strMachine = "");
    // The service by key name, or null.
    CSimService* Service(const std::string& strName, const std::string& strMachine = "");
    // Its status now (without moving the clock).
    SERVICE_STATUS Status(const std::string& strName, const std::string& strMachine = "");
    // Systems other than the local machine and the added ones fail with this code.
    DWORD m_dwUnreachableError = RPC_S_SERVER_UNAVAILABLE;

    // ---- what happened ----
    struct COpen {
        bool bManager = true;
        bool bMachineNull = true;  // OpenSCManagerA: no machine name given
        std::string strMachine;
        bool bDatabaseNull = true;  // OpenSCManagerA: no database name given
        std::string strDatabase;
        std::string strService;  // OpenServiceA: the name asked for
        DWORD dwAccess = 0;
    };
    struct CCreate {
        std::string strMachine;
        std::string strName;
        bool bDisplayNameNull = true;
        std::string strDisplayName;
        DWORD dwDesiredAccess = 0;
        DWORD dwServiceType = 0;
        DWORD dwStartType = 0;
        DWORD dwErrorControl = 0;
        std::string strBinaryPath;
        bool bLoadOrderGroupNull = true;
        bool bTagIdNull = true;
        std::string dependencies;  // the multi-string as bytes, up to and with its closing zero
        bool bStartNameNull = true;
        std::string strStartName;
        bool bPasswordNull = true;
        std::string strPassword;
    };
    std::vector<COpen> m_opens;  // every OpenSCManagerA and OpenServiceA, in order
    std::vector<CCreate> m_creates;  // every CreateServiceA that reached the database
    std::vector<DWORD> m_startArgCounts;  // the argument count of every StartServiceA
    std::vector<DWORD> m_controls;  // the code of every ControlService

    // ---- IScm ----
    SC_HANDLE OpenSCManagerA(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwAccess) override;
    SC_HANDLE OpenServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, DWORD dwAccess) override;
    SC_HANDLE CreateServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, LPCSTR pszDisplayName, DWORD dwDesiredAccess,
                             DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCSTR pszBinaryPathName,
                             LPCSTR pszLoadOrderGroup, LPDWORD pdwTagId, LPCSTR pszDependencies,
                             LPCSTR pszServiceStartName, LPCSTR pszPassword) override;
    BOOL DeleteService(SC_HANDLE hService) override;
    BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumArgs, LPCSTR* ppszArgs) override;
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* pStatus) override;
    BOOL QueryServiceStatus(SC_HANDLE hService, SERVICE_STATUS* pStatus) override;
    BOOL GetServiceKeyNameA(SC_HANDLE hManager, LPCSTR pszDisplayName, LPSTR pszServiceName,
                            LPDWORD pcchBuffer) override;
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override;

    // The generic rights of a manager or service handle mapped to the specific ones.
    static DWORD MapManagerAccess(DWORD dwAccess);
    static DWORD MapServiceAccess(DWORD dwAccess);

private:
    struct CHandle {
        bool bManager = true;
        std::string strMachine;  // upper case, "" for the local machine
        std::string strService;  // upper-case key name (service handles)
        DWORD dwGranted = 0;
    };
    std::string MachineKey(const std::string& strMachine) const;
    // Counts a call; true when it is to fail (the last error then set to the injected code).
    bool Injected(const char* pszCall);
    SC_HANDLE NewHandle(const CHandle& handle);
    // A handle to a service of a machine (both by key), with the access granted; the service counts it.
    SC_HANDLE NewServiceHandle(const std::string& strMachine, const std::string& strService, DWORD dwGranted);
    // The handle's record when it is open and of the wanted kind, else null with the last error set.
    CHandle* Lookup(SC_HANDLE h, bool bManager);
    // The service behind a service handle, or null with the last error set.
    CSimService* ServiceOf(SC_HANDLE h, DWORD dwNeeded);
    // Brings a service's phase up to the clock: a finished start or stop becomes its idle state.
    SERVICE_STATUS Evaluate(CSimService& service);
    // Removes services marked for deletion that are stopped and no longer open.
    void Reap(CSimScmMachine& machine);
    bool KnowsAccount(const std::string& strMachine, const std::string& strAccount) const;
    // The code a start of the service fails with before it runs (0: it starts): disabled, a logon
    // that the account's right or password refuses, or its behaviour's start error.
    DWORD StartError(const std::string& strMachine, const CSimService& service) const;

    CSimKernel& m_kernel;
    CSimClock& m_clock;
    CSimLsa& m_lsa;
    const std::string& m_strComputerName;
    std::map<std::string, CSimScmMachine> m_machines;  // "" is the local machine
    std::map<SC_HANDLE, CHandle> m_handles;
};

}  // namespace qx::sim
