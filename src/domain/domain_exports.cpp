// Exports of the domain area: the machine's role, the domain's controllers, the system language and
// the server picker.
#include <cstring>
#include <string>

#include "domain/domain.h"
#include "domain/select_server_dlg.h"
#include "frame/export_guard.h"
#include "platform/reason.h"

using namespace qx;

namespace {
// Copies a name that is known to fit a 260-byte buffer, with its terminator.
void PutServerName(char* pszOutput, const std::string& strName)
{
    size_t cch = strName.size() < kMaxServerNameChars ? strName.size() : kMaxServerNameChars;
    std::memcpy(pszOutput, strName.data(), cch);
    pszOutput[cch] = '\0';
}
}  // namespace

/******************************************************************************
 * IsDomainController [QXINST.@]
 *
 * Reports the machine's role from the ProductType value under
 * HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions. A value beginning with
 * "ServerNT" (in that letter case) is a server; otherwise the whole value is
 * compared without regard to case.
 *
 * RETURNS
 *  1 domain controller ("LanmanNT"), 2 server ("ServerNT"), 3 workstation
 *  ("WinNT"), 0 when the value cannot be read or names no known role.
 */
extern "C" int QXAPI IsDomainController(void)
{
    return GuardInt(__func__, kRoleUnknown, [] { return ReadMachineRole(); });
}

/******************************************************************************
 * EnumServers [QXINST.@]
 *
 * Hands out the domain's controllers one per call, for nIndex 0, 1, 2, ...
 * until the first 0. Index 0 is this machine, named as the system names it;
 * index i is the i-th primary or backup controller the browser reports now,
 * upper-cased. The list is asked for afresh on every call.
 *
 * PARAMS
 *  pszServer [O] Receives the name; 260 bytes. Emptied first on every call.
 *  nIndex    [I] The entry wanted.
 *
 * RETURNS
 *  1 a name was written.
 *  2 skip this entry (it is this machine itself); pszServer is empty.
 *  0 nIndex is past the end of the list; pszServer is empty.
 */
extern "C" int QXAPI EnumServers(char* pszServer, unsigned int nIndex)
{
    return GuardInt(__func__, kEnumServersEnd, [&] {
        if (pszServer == nullptr) {
            Reason("the buffer for the server's name is null");
            return kEnumServersEnd;
        }
        pszServer[0] = '\0';
        std::string strName;
        int nResult = ServerAtIndex(nIndex, strName);
        if (nResult == kEnumServersName)
            PutServerName(pszServer, strName);
        return nResult;
    });
}

/******************************************************************************
 * GetSystemLanguage [QXINST.@]
 *
 * Tells which of the suite's languages the system's default language is.
 * The language identifier is matched whole: other sublanguages of the four
 * languages give 0.
 *
 * RETURNS
 *  1 English, 2 German, 3 Spanish, 4 French, 0 any other language.
 */
extern "C" int QXAPI GetSystemLanguage(void)
{
    // Another language (0) is an answer, not a failure: it has no reason.
    return GuardInt(__func__, kLanguageOther, [] { return LanguageCodeOf(Sys().GetSystemDefaultLangID()); });
}

/******************************************************************************
 * SelectServer [QXINST.@]
 *
 * Shows the "Select Server" window: a sorted drop-down list of the domain's
 * controllers, as the browser names them, whose edit field also takes a name
 * typed by hand (up to 259 characters).
 *
 * PARAMS
 *  pszServer [O] Receives the edit field's text exactly as it stands after OK
 *                (possibly empty), the empty string otherwise; 260 bytes.
 *
 * RETURNS
 *  1 (one byte) when the user pressed OK or Enter; 0 on Cancel, Escape, the
 *  close box, or when the window could not be opened.
 */
extern "C" QXBOOL QXAPI SelectServer(char* pszServer)
{
    return GuardBool(__func__, [&] {
        if (pszServer == nullptr) {
            Reason("the buffer for the server's name is null");
            return false;
        }
        pszServer[0] = '\0';
        std::string strServer;
        {
            CSelectServerDlg dlg;
            INT_PTR nAnswer = dlg.DoModal();
            if (nAnswer == -1)
                ReasonCall("DialogBoxParamA", nullptr, Sys().GetLastError());
            if (nAnswer != IDOK) {
                Reason("no server was chosen");  // unless the window failed first
                return false;
            }
            strServer = dlg.m_strServer;
        }
        // The edit field is limited, but another program may set a longer text: such a text does
        // not fit the host's buffer and is not handed on.
        if (strServer.size() > kMaxServerNameChars) {
            Reason("the server's name has more than %u characters", static_cast<unsigned>(kMaxServerNameChars));
            return false;
        }
        PutServerName(pszServer, strServer);
        return true;
    });
}
