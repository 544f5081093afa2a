// Exports of the services area: start and stop with waits, installation and removal, and the probes
// for the suite's services.
#include "frame/export_guard.h"
#include "qxinst.h"
#include "services/service_actions.h"

namespace {

constexpr char kKixDisplayName[] = "kixtart rpc service";
constexpr char kQorvexRpcDisplayName[] = "Qorvex RPC Service";
constexpr char kTavrinDisplayName[] = "Tavrin";

}  // namespace

/******************************************************************************
 * StartServiceWait [QXINST.@]
 *
 * Starts a service, follows its checkpoints until it runs, then confirms that
 * it runs. Writes diagnostic lines to standard output.
 *
 * PARAMS
 *  pszMachine     [I] Machine whose service manager is asked (null or "": this one).
 *  pszName        [I] The service's key name (up to 256 characters).
 *  pszDisplayName [I] Its display name (up to 256 characters; not used).
 *
 * RETURNS
 *  1: started and seen running within 10000 ms of the confirming poll's start.
 *  0: not opened, start refused, checkpoints stalled, seen running too late, or
 *     a name too long (refused before anything is done).
 */
extern "C" int QXAPI StartServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::StartServiceAndWait(pszMachine, pszName, pszDisplayName); });
}

/******************************************************************************
 * StopServiceWait [QXINST.@]
 *
 * Asks a service to stop, polls until it has stopped (20000 ms at most), then
 * waits 2000 ms more. Services that depend on it are not stopped. Writes
 * diagnostic lines to standard output.
 *
 * PARAMS
 *  pszMachine     [I] Machine whose service manager is asked (null or "": this one).
 *  pszName        [I] The service's key name (up to 256 characters).
 *  pszDisplayName [I] Its display name (up to 256 characters; not used).
 *
 * RETURNS
 *  1: the stopped state was seen and the settle delay ended within 20000 ms of
 *     the stop request (also for a service that was stopped already).
 *  0: otherwise, or a name too long (refused at once, without any wait).
 */
extern "C" int QXAPI StopServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::StopServiceAndWait(pszMachine, pszName, pszDisplayName); });
}

/******************************************************************************
 * InstallService [QXINST.@]
 *
 * Creates an own-process service that starts automatically, with normal error
 * control and a dependency on RPCSS, unless it exists already. With an
 * account, first gives it the right to log on as a service in this machine's
 * policy. Writes diagnostic lines to standard output.
 *
 * PARAMS
 *  pszMachine     [I] Machine the service is created on (null or "": this one).
 *  pszName        [I] The service's key name (up to 256 characters).
 *  pszDisplayName [I] Its display name (up to 256 characters).
 *  pszBinaryPath  [I] Its command line (up to 259 characters); null: the host's
 *                     own executable.
 *  pszAccount     [I] "<none>" (exactly) for the local system account; else
 *                     domain\user, or a bare name (logged on as .\name); up to
 *                     255 characters.
 *  pszPassword    [I] "<none>" (exactly) for no password, else the password.
 *
 * RETURNS
 *  1: the service exists afterwards (created now or there before).
 *  0: it cannot be opened afterwards, or a text too long (refused before
 *     anything is done).
 */
extern "C" int QXAPI InstallService(const char* pszMachine, const char* pszName, const char* pszDisplayName,
                                    const char* pszBinaryPath, const char* pszAccount, const char* pszPassword)
{
    return qx::GuardInt(__func__, 0, [&] {
        return qx::InstallAutoStartService(pszMachine, pszName, pszDisplayName, pszBinaryPath, pszAccount, pszPassword);
    });
}

/******************************************************************************
 * RemoveService [QXINST.@]
 *
 * Marks a service for deletion (without stopping it first), then pauses 5000
 * ms. Writes diagnostic lines to standard output.
 *
 * PARAMS
 *  pszMachine     [I] Machine whose service manager is asked (null or "": this one).
 *  pszName        [I] The service's key name (up to 256 characters).
 *  pszDisplayName [I] Its display name (up to 256 characters; not used).
 *
 * RETURNS
 *  1: deleted, not there, or already marked for deletion.
 *  0: the manager could not be reached, access was denied, ...; or a name too
 *     long (refused at once, without the pause).
 */
extern "C" int QXAPI RemoveService(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::RemoveServiceAndPause(pszMachine, pszName, pszDisplayName); });
}

/******************************************************************************
 * KixInstalled [QXINST.@]
 *
 * Whether the KiXtart RPC service ("kixtart rpc service") is active.
 *
 * PARAMS
 *  pszMachine [I] Machine asked (null or "": this one).
 *
 * RETURNS
 *  1: it exists and runs, is start pending or paused. 0: otherwise; when the
 *  service manager cannot be opened, after the box "SC Manager Error" / "KI Err".
 */
extern "C" int QXAPI KixInstalled(const char* pszMachine)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::ProbeInstalledService(pszMachine, kKixDisplayName); });
}

/******************************************************************************
 * ZUVadarInstalled [QXINST.@]
 *
 * Whether the suite's "Qorvex RPC Service" is active.
 *
 * PARAMS
 *  pszMachine [I] Machine asked (null or "": this one).
 *
 * RETURNS
 *  As KixInstalled.
 */
extern "C" int QXAPI ZUVadarInstalled(const char* pszMachine)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::ProbeInstalledService(pszMachine, kQorvexRpcDisplayName); });
}

/******************************************************************************
 * ROVoruzInstalled [QXINST.@]
 *
 * Whether the suite's "Tavrin" service is active.
 *
 * PARAMS
 *  pszMachine [I] Machine asked (null or "": this one).
 *
 * RETURNS
 *  As KixInstalled.
 */
extern "C" int QXAPI ROVoruzInstalled(const char* pszMachine)
{
    return qx::GuardInt(__func__, 0, [&] { return qx::ProbeInstalledService(pszMachine, kTavrinDisplayName); });
}
