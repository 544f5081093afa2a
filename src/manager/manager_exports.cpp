// Exports of the manager configuration file.
#include "frame/export_guard.h"
#include "manager/manager_ini.h"
#include "qxinst.h"

/******************************************************************************
 * MakeManagerINI [QXINST.@]
 *
 * Records the installation's locations in qxmgr.ini in a folder, merged into
 * the file that is there: Scripts (\\<this computer>\<share>) and Logs under
 * [File Locations], Editor under [Replication]. Every other section, key and
 * comment is kept; a key that stands anywhere in the file, in any letter case,
 * is changed where it stands. The file is rewritten in cleaned form (empty
 * lines between lines and blanks at line starts dropped; empty lines at its end
 * become one, which stays before what is appended) with CR LF line ends,
 * through a temporary file that takes its place only when complete.
 *
 * PARAMS
 *  pszFolder       [I] Folder of qxmgr.ini, with or without a trailing
 *                      backslash; null or empty for the current directory.
 *  pszScriptsShare [I] Name of the scripts share on this computer.
 *  pszLogs         [I] Value of Logs (null: empty).
 *  pszEditor       [I] Value of Editor (null: empty).
 *
 * RETURNS
 *  1 when qxmgr.ini was written. 0, the file left as it was, when it cannot be
 *  written, pszScriptsShare is null, the computer name cannot be read, or the
 *  file or a value does not fit the document (more than 256 lines, a name or
 *  value longer than 255 characters or holding a line end, a path of 512
 *  characters or more).
 */
extern "C" QXBOOL QXAPI MakeManagerINI(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs,
                                       const char* pszEditor)
{
    return qx::GuardBool(
        __func__, [&] { return qx::CManagerIniBuilder().Make(pszFolder, pszScriptsShare, pszLogs, pszEditor) == 0; });
}
