// The folder picker's export.
#include <cstring>

#include "frame/export_guard.h"
#include "ui/folder_browser.h"

using namespace qx;

/******************************************************************************
 * GetUNC [QXINST.@]
 *
 * Lets the user pick a folder in the shell's folder dialog ("Select Location")
 * and hands back its file-system path: a UNC name (\\server\share\folder) for a
 * folder reached through the network, a drive path otherwise. The process's
 * current directory is the same after the call as before it.
 *
 * PARAMS
 *  pszUNC [O] Receives the path; 260 bytes (259 characters and the zero).
 *
 * RETURNS
 *  1 when a folder was chosen and pszUNC written.
 *  0 when the user cancelled or chose an item without a file-system path
 *  (Control Panel, a printer); pszUNC is then left as the caller passed it.
 */
extern "C" int QXAPI GetUNC(char* pszUNC)
{
    return GuardInt(__func__, 0, [&] {
        if (pszUNC == nullptr) {
            Reason("the buffer for the folder is null");
            return 0;
        }
        CFolderBrowser browser;
        if (!browser.DoBrowse() || browser.m_strPath.size() >= MAX_PATH)
            return 0;
        std::memcpy(pszUNC, browser.m_strPath.c_str(), browser.m_strPath.size() + 1);
        return 1;
    });
}
