// The service actions behind the exports: start and wait, stop and wait, install with a logon
// account, remove, and the probes that ask whether one of the suite's services is active.
//
// The waits run on the platform's millisecond clock; only differences of two readings count,
// compared as signed 32-bit numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace qx {

// Starting: the confirming poll gives up after kStartPollMs; the start counts only when the service
// was seen running less than kStartVerdictMs after the poll began.
constexpr int32_t kStartPollMs = 20000;
constexpr int32_t kStartVerdictMs = 10000;
// Stopping: the poll for the stopped state gives up after kStopPollMs; then the caller waits
// kStopSettleMs more, and the whole must end within kStopPollMs of the stop request.
constexpr int32_t kStopPollMs = 20000;
constexpr int32_t kStopSettleMs = 2000;
// Between two passes of a poll the thread sleeps this long, or what is left up to the poll's limit
// if less: a poll of 20 s makes about 200 passes instead of keeping a processor busy.
constexpr DWORD kPollPauseMs = 100;
// Removing: the pause after the deletion request.
constexpr DWORD kRemovePauseMs = 5000;

// The account and password texts that stand for "none" (matched exactly, case included).
constexpr char kNoneText[] = "<none>";
// The service's binary path: up to 259 characters and the terminating zero.
constexpr size_t kBinaryPathSize = MAX_PATH;

// 1 when the service was started and seen running in time, else 0.
int StartServiceAndWait(const char* pszMachine, const char* pszName, const char* pszDisplayName);
// 1 when the service stopped and the settle delay ended within the limit of the stop request, else 0.
int StopServiceAndWait(const char* pszMachine, const char* pszName, const char* pszDisplayName);
// Grants the logon right to the account (if any), creates the auto-start service that depends on
// RPCSS unless it exists, and gives 1 when the service exists afterwards.
int InstallAutoStartService(const char* pszMachine, const char* pszName, const char* pszDisplayName,
                            const char* pszBinaryPath, const char* pszAccount, const char* pszPassword);
// Deletes the service and pauses; 1 when it is gone or going (deleted now, not there, or already
// marked for deletion), else 0.
int RemoveServiceAndPause(const char* pszMachine, const char* pszName, const char* pszDisplayName);
// 1 when the service with this display name exists on the machine and runs, starts or is paused.
// A manager that cannot be opened is shown to the user ("SC Manager Error", "KI Err") and gives 0.
int ProbeInstalledService(const char* pszMachine, const char* pszDisplayName);

}  // namespace qx
