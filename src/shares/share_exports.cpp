// Exports of the shares area: creating a share, the folder behind a share of this machine or of a
// server, and giving an account full access to a share.
#include "frame/export_guard.h"
#include "frame/message_box.h"
#include "platform/platform.h"
#include "platform/reason.h"
#include "platform/wide_text.h"
#include "qxinst.h"
#include "shares/remote_share_path.h"
#include "shares/share_creator.h"
#include "shares/share_path.h"
#include "shares/share_security.h"

using namespace qx;

/******************************************************************************
 * AddShare [QXINST.@]
 *
 * Publishes a local folder as a disk share of this machine (level-2 record:
 * no remark, no password, unlimited uses), replacing a share of the same
 * name. The share being replaced is read first and put back as it was when
 * the new one cannot be created. Names and paths are texts in the system's
 * ANSI code page, converted to the wide texts of the network interface.
 *
 * PARAMS
 *  pszShareName [I] the share's name (at most 259 characters)
 *  pszPath      [I] the folder to share (at most 259 characters)
 *
 * RETURNS
 *  1 when the share was created. 0 otherwise: a name or path that is null,
 *  too long or not valid in the ANSI code page (a lead byte without its
 *  second byte) is refused before anything is touched; a failure of the network
 *  call with a known code is shown in an application-modal "Share Failure"
 *  box with an exclamation icon before 0 is returned.
 */
extern "C" QXBOOL QXAPI AddShare(const char* pszShareName, const char* pszPath)
{
    return GuardBool(__func__, [&] {
        WCHAR wszName[kShareNameChars];
        WCHAR wszPath[kShareNameChars];
        if (!ToWide(pszShareName, wszName, kShareNameChars) || !ToWide(pszPath, wszPath, kShareNameChars)) {
            Reason("the share's name or folder is null, longer than 259 characters or not in the code page");
            return false;
        }
        CShareCreator creator(wszName, wszPath);
        NET_API_STATUS nStatus = creator.Create();
        if (nStatus == NERR_Success)
            return true;
        ReasonCall("NetShareAdd", pszShareName, nStatus);
        if (const char* pszText = ShareFailureText(nStatus))
            ShowMessageBox(pszText, kShareFailureCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    });
}

/******************************************************************************
 * GetSharePath [QXINST.@]
 *
 * Gives the local folder behind a share of this machine, from the server
 * service's values under HKLM\SYSTEM\CurrentControlSet\Services\LanmanServer
 * \Shares.
 *
 * PARAMS
 *  pszShare [I/O] a share name, or a UNC path "\\SRV\SHARE[\rest]" (the server
 *                 is not used), which is cut down to the share name in place;
 *                 at most 1023 characters
 *  pszPath  [O]   receives the folder in capitals, followed by the rest of a
 *                 UNC path in its own case (1024 bytes)
 *
 * RETURNS
 *  1 when pszPath was written. 2 when the Shares key cannot be opened. 3 when
 *  the share has no readable value of at most 1024 bytes, the value has no
 *  "PATH=" entry starting in its first 256 bytes, a UNC path names no share,
 *  pszShare is null or too long (then it is untouched), or the result would
 *  not fit pszPath. pszPath is written only with 1.
 */
extern "C" int QXAPI GetSharePath(char* pszShare, char* pszPath)
{
    return qx::GuardInt(
        __func__, qx::kSharePathNoValue, [&] { return qx::LookUpSharePath(pszShare, pszPath); }, qx::kSharePathDone);
}

/******************************************************************************
 * GetSharePathRemote [QXINST.@]
 *
 * Asks a server for the local folder behind one of its shares.
 *
 * PARAMS
 *  pszServer [I]   the server to ask (null or empty: this machine)
 *  pszShare  [I/O] the share's name, or a UNC name "\\SRV\SHARE...", which is
 *                  rewritten in place to the part behind the server
 *  pszPath   [O]   receives the folder (260 bytes)
 *
 * RETURNS
 *  1 when the folder was written into pszPath. 0 when it was not (pszPath is
 *  then untouched): a name too long for its 255-character buffer (pszShare is
 *  then untouched too), a share the server cannot give, or a folder that does
 *  not fit 259 bytes or that the ANSI code page cannot represent exactly.
 */
extern "C" int QXAPI GetSharePathRemote(const char* pszServer, char* pszShare, char* pszPath)
{
    return GuardInt(__func__, 0, [&] { return GetRemoteSharePath(pszServer, pszShare, pszPath) ? 1 : 0; });
}

/******************************************************************************
 * SetSharePermissions [QXINST.@]
 *
 * Gives an account full access (GENERIC_ALL) to a share: the share's DACL
 * keeps every entry in its order, the account's allowed entries gain the
 * rights, its denied entries lose them (and vanish when nothing is left),
 * and an allowed entry is appended when it had none.
 *
 * PARAMS
 *  pszShare      [I] the share's name (at most 259 characters)
 *  nMode         [I] 0: pszAccount; 1: pszAccount, new entries inheritable
 *                    by folders and files; 2: pszAltAccount; other: nothing
 *  pszServer     [I] the server holding the share (at most 259 characters)
 *  pszAltAccount [I] the account of mode 2 (at most 1023 characters)
 *  pszAccount    [I] the account of modes 0 and 1 (at most 1023 characters)
 *
 * RETURNS
 *  1 when the new descriptor was written, and for a mode other than 0, 1, 2.
 *  0 when access was asked for and not granted: a null, too long or invalid
 *  (in the ANSI code page) argument,
 *  an account that cannot be resolved, a share that cannot be read, a DACL
 *  that cannot be merged (not in canonical order, an entry of another kind
 *  for the account, malformed, or in mode 1 existing entries that do not
 *  cover folders and files), or a write the server refused.
 */
extern "C" QXBOOL QXAPI SetSharePermissions(const char* pszShare, int nMode, const char* pszServer,
                                            const char* pszAltAccount, const char* pszAccount)
{
    return GuardBool(__func__, [&] {
        if (nMode < 0 || nMode > 2)
            return true;
        WCHAR wszShare[kPermissionNameChars];
        WCHAR wszServer[kPermissionNameChars];
        WCHAR wszAccount[kPermissionAccountChars];
        if (!ToWide(pszShare, wszShare, kPermissionNameChars) || !ToWide(pszServer, wszServer, kPermissionNameChars) ||
            !ToWide(nMode == 2 ? pszAltAccount : pszAccount, wszAccount, kPermissionAccountChars)) {
            Reason("the share, server or account is null, too long or not in the code page");
            return false;
        }
        DWORD dwError = GrantShareFullAccess(wszShare, wszServer, wszAccount, nMode == 1);
        if (dwError != 0)
            Reason("full access for %s is not granted on %s: %u", nMode == 2 ? pszAltAccount : pszAccount, pszShare,
                   static_cast<unsigned>(dwError));
        return dwError == 0;
    });
}
