// CServiceControl: one Windows service, known by its key name on one machine, and the last status read
// of it. Every operation opens the service control manager and the service itself and closes both
// before it returns; no handle lives from one operation to the next.
//
// The operations write short diagnostic lines to the process's standard output (one write per line,
// flushed): the outcome of a start, the status returned by a control, "<name> Created", "<name>
// Removed", and one "<call> failed: <system text>" line for every failed system call.
#pragma once

#include <cstddef>
#include <string>

#include "platform/unique.h"
#include "platform/win_types.h"

namespace qx {

// A service's key name or display name: up to 256 characters and the terminating zero.
constexpr size_t kServiceNameSize = 257;
// A single sleep for a wait hint is cut to this, so that an absurd hint cannot hang the host.
constexpr DWORD kMaxWaitHintSleepMs = 10000;

class CServiceControl {
public:
    // Both names must fit kServiceNameSize (the callers check first); a longer one is refused with
    // std::length_error rather than cut. A null display name is an empty one.
    CServiceControl(const char* pszName, const char* pszDisplayName);

    SERVICE_STATUS m_status {};  // the last status QueryStatus read; zero until then
    std::string m_strMachine;  // the machine addressed; empty: the local machine
    char m_szName[kServiceNameSize] = {};
    char m_szDisplayName[kServiceNameSize] = {};

    // Reads the service's status into m_status; a failed read leaves m_status as it was.
    void QueryStatus();
    // Asks the manager to start the service, then follows its checkpoints until it runs or they stop
    // advancing. True when it was seen running.
    bool Start();
    // Sends a control code (1: stop) and writes the status the service answers with.
    void SendControl(DWORD dwControl);
    // Writes "<call> failed: <the system's text for the code>" and gives back the code.
    DWORD ReportFailure(const char* pszCall, DWORD dwError);

    // Whether the service can be opened (writes nothing, not even on failure).
    bool Exists();
    // Creates the service unless it exists already. pszDependencies is a list of names each closed by
    // a zero and closed by a second zero; null logon name: the local system account; null password:
    // none; null binary path: the host's own executable.
    void Create(DWORD dwServiceType, DWORD dwStartType, const char* pszDependencies, const char* pszLogonName,
                const char* pszPassword, const char* pszBinaryPath);
    // Marks the service for deletion. 0 when done, else the failed call's error code.
    DWORD Delete();

private:
    // Opens the manager and the service with the given access; false (after a failure line when
    // bReport) with *pdwError set when either cannot be opened.
    bool Open(DWORD dwManagerAccess, DWORD dwServiceAccess, unique_schandle* pManager, unique_schandle* pService,
              bool bReport, DWORD* pdwError = nullptr);
    SC_HANDLE OpenManager(DWORD dwAccess);
    void WriteStatusBlock(const SERVICE_STATUS& status, bool bStartUnsuccessful);
};

}  // namespace qx
