#include "replication/find_repl.h"

#include <cstring>

#include "frame/text_fit.h"
#include "platform/ansi_chars.h"
#include "platform/platform.h"
#include "platform/reason.h"
#include "platform/unique.h"

namespace qx {

bool GetLastComponent(const char* pszRemoteName, char* pszOut)
{
    pszOut[0] = '\0';
    if (!TextFits(pszRemoteName, kRemoteNameChars))
        return false;
    const char* pszLast = FindLastSeparator(pszRemoteName, "\\");
    const char* pszComponent = pszLast != nullptr ? pszLast + 1 : pszRemoteName;
    std::memcpy(pszOut, pszComponent, std::strlen(pszComponent) + 1);
    return true;
}

int SearchReplShare(LPNETRESOURCEA pContainer, char* pszOut)
{
    unique_wnet_enum hEnum;
    if (DWORD dwError = NetEnum().WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, pContainer, hEnum.put())) {
        if (pContainer == nullptr)  // a container that cannot be opened is passed over
            ReasonCall("WNetOpenEnumA", nullptr, dwError);
        return 0;
    }
    unique_hglobal buffer(Sys().GlobalAlloc(GPTR, kEnumBufferSize));
    if (!buffer) {
        ReasonCall("GlobalAlloc", nullptr, Sys().GetLastError());
        return 0;
    }
    const DWORD nMaxEntries = kEnumBufferSize / sizeof(NETRESOURCEA);
    DWORD nCount = 0xFFFFFFFF;  // as many as fit; then as many as the last batch held
    for (;;) {
        std::memset(buffer.get(), 0, kEnumBufferSize);
        DWORD cbBuffer = kEnumBufferSize;
        if (NetEnum().WNetEnumResourceA(hEnum.get(), &nCount, buffer.get(), &cbBuffer) != NO_ERROR)
            return 0;  // no more entries, or a failure part way (a larger buffer is not tried)
        LPNETRESOURCEA pEntries = static_cast<LPNETRESOURCEA>(buffer.get());
        for (DWORD i = 0; i < nCount && i < nMaxEntries; ++i) {
            NETRESOURCEA& resource = pEntries[i];
            if (resource.lpRemoteName != nullptr) {
                char szComponent[kRemoteNameChars];
                if (GetLastComponent(resource.lpRemoteName, szComponent) &&
                    std::strncmp(szComponent, kReplSharePrefix, sizeof kReplSharePrefix - 1) == 0) {
                    std::memcpy(pszOut, resource.lpRemoteName, std::strlen(resource.lpRemoteName) + 1);
                    return 1;
                }
            }
            if (resource.dwUsage & RESOURCEUSAGE_CONTAINER) {
                if (int nFound = SearchReplShare(&resource, pszOut))
                    return nFound;
            }
        }
    }
}

}  // namespace qx
