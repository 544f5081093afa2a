// Exports of the replication area: the replication batch file and the search for the replication
// share.
#include "frame/export_guard.h"
#include "platform/reason.h"
#include "qxinst.h"
#include "replication/find_repl.h"
#include "replication/repl_bat.h"

/******************************************************************************
 * MakeReplBat [QXINST.@]
 *
 * Writes REPL.BAT, the batch file that xcopies the scripts from the QXscripts$
 * share of the primary domain controller into the NETLOGON share of that
 * controller and of every backup controller. An existing file is replaced
 * completely, through a temporary file that takes its place only when
 * complete. The servers are not contacted.
 *
 * PARAMS
 *  pszBatFile [I] Path of the batch file.
 *  pszServers [I] "PDC,BDC,...": names between commas, unchanged (blanks
 *                 kept, empty names counted); a trailing comma adds none. The
 *                 first backup controller is DestBDC2.
 *
 * RETURNS
 *  1 when the file was written. 0, the file left as it was, when it cannot be
 *  written, an argument is null, or the list has more than 256 names, a
 *  name of 260 characters or more, or a name holding a CR or LF.
 */
extern "C" QXBOOL QXAPI MakeReplBat(const char* pszBatFile, const char* pszServers)
{
    return qx::GuardBool(__func__, [&] {
        if (pszBatFile == nullptr || pszServers == nullptr) {
            qx::Reason("the batch file's path or the list of servers is null");
            return false;
        }
        qx::CReplServerList servers;
        if (!servers.Split(pszServers))
            return false;
        return qx::CReplBatWriter::Write(pszBatFile, servers) == 0;
    });
}

/******************************************************************************
 * FindRepl [QXINST.@]
 *
 * Searches the whole visible network, depth first, for a share whose name
 * begins "REPL$" (capitals as written). Containers that cannot be opened or
 * that fail part way are passed over; remote names of 256 characters or more
 * are not tested (a container of such a name is still searched).
 *
 * PARAMS
 *  pszRemoteName [O] receives the remote name of the first share found, such
 *                    as "\\SRV\REPL$" (256 bytes); written only when found
 *
 * RETURNS
 *  1 when a share was found and its name written; 0 otherwise (also for a
 *  null pszRemoteName, and when the network cannot be enumerated).
 */
extern "C" int QXAPI FindRepl(char* pszRemoteName)
{
    return qx::GuardInt(__func__, 0, [&] {
        if (pszRemoteName == nullptr) {
            qx::Reason("the buffer for the share's name is null");
            return 0;
        }
        if (qx::SearchReplShare(nullptr, pszRemoteName) != 0)
            return 1;
        qx::Reason("no share whose name begins REPL$ was found");
        return 0;
    });
}
