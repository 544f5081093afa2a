#include "shares/remote_share_path.h"

#include <cstring>

#include "platform/ansi_chars.h"
#include "platform/reason.h"
#include "platform/unique.h"
#include "platform/wide_text.h"

namespace qx {

const char* SkipServerPart(const char* pszShare)
{
    if (pszShare[0] != '\\' || pszShare[1] != '\\')
        return pszShare;
    const char* p = FindSeparator(pszShare + 2, "\\");
    return *p == '\\' ? p + 1 : p;
}

bool GetRemoteSharePath(const char* pszServer, char* pszShare, char* pszPath)
{
    if (pszShare == nullptr || pszPath == nullptr) {
        Reason("the share or the buffer for its path is null");
        return false;
    }
    WCHAR wszServer[kRemoteShareNameChars];
    WCHAR wszShare[kRemoteShareNameChars];
    const char* pszBareShare = SkipServerPart(pszShare);
    if ((pszServer != nullptr && !ToWide(pszServer, wszServer, kRemoteShareNameChars)) ||
        !ToWide(pszBareShare, wszShare, kRemoteShareNameChars)) {
        Reason("the server or share name is longer than %u characters or not in the code page",
               static_cast<unsigned>(kRemoteShareNameChars - 1));
        return false;
    }
    if (pszBareShare != pszShare)
        std::memmove(pszShare, pszBareShare, std::strlen(pszBareShare) + 1);

    unique_share_buffer info;
    if (NET_API_STATUS nStatus =
            NetShare().NetShareGetInfo(pszServer != nullptr ? wszServer : nullptr, wszShare, 2, info.put());
        nStatus != NERR_Success || !info) {
        ReasonCall("NetShareGetInfo", pszBareShare, nStatus);
        return false;
    }
    char szPath[kRemotePathBytes];
    if (!ToAnsi(reinterpret_cast<const SHARE_INFO_2*>(info.get())->shi2_path, szPath, sizeof szPath)) {
        Reason("the folder of %s is longer than %u bytes or not in the code page", pszShare,
               static_cast<unsigned>(kRemotePathBytes - 1));
        return false;
    }
    std::memcpy(pszPath, szPath, std::strlen(szPath) + 1);
    return true;
}

}  // namespace qx
