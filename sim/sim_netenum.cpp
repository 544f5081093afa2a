#include "sim/sim_netenum.h"

#include <algorithm>
#include <cstring>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {

const char kEnumKind[] = "wnet enum";

size_t TextBytes(const CSimNetResource& resource)
{
    size_t cb = resource.strComment.size() + 1 + resource.strProvider.size() + 1;
    if (resource.bHasRemoteName)
        cb += resource.strRemoteName.size() + 1;
    return cb;
}

CSimNetResource Node(DWORD dwType, DWORD dwDisplayType, DWORD dwUsage, const std::string& strRemoteName,
                     const std::string& strProvider = "Microsoft Windows Network")
{
    CSimNetResource node;
    node.dwType = dwType;
    node.dwDisplayType = dwDisplayType;
    node.dwUsage = dwUsage;
    node.strRemoteName = strRemoteName;
    node.strProvider = strProvider;
    return node;
}

}  // namespace

CSimNetResource& CSimNetResource::Add(const CSimNetResource& child)
{
    children.push_back(child);
    return children.back();
}

CSimNetResource NetProviderNode(const std::string& strName)
{
    return Node(RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_GENERIC, RESOURCEUSAGE_CONTAINER, strName, strName);
}

CSimNetResource NetDomainNode(const std::string& strName)
{
    return Node(RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER, strName);
}

CSimNetResource NetServerNode(const std::string& strName)
{
    return Node(RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER, "\\\\" + strName);
}

CSimNetResource NetShareNode(const std::string& strRemoteName)
{
    return Node(RESOURCETYPE_DISK, RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE, strRemoteName);
}

const CSimNetResource* CSimNetEnum::FindContainer(const CSimNetResource& node, const std::string& strRemoteName) const
{
    for (const CSimNetResource& child : node.children) {
        if (child.bHasRemoteName && AnsiUpper(child.strRemoteName) == AnsiUpper(strRemoteName))
            return &child;
        if (const CSimNetResource* pFound = FindContainer(child, strRemoteName))
            return pFound;
    }
    return nullptr;
}

DWORD CSimNetEnum::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA pResource, LPHANDLE phEnum)
{
    COpen open;
    open.dwScope = dwScope;
    open.dwType = dwType;
    open.dwUsage = dwUsage;
    if (pResource != nullptr && pResource->lpRemoteName != nullptr)
        open.strContainer = pResource->lpRemoteName;
    auto result = [&](DWORD dwResult) {
        open.dwResult = dwResult;
        m_opens.push_back(open);
        return dwResult;
    };
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("WNetOpenEnumA", &dwError))
        return result(dwError);
    if (phEnum == nullptr)
        return result(ERROR_INVALID_PARAMETER);
    if (m_dwNoNetworkError != 0)
        return result(m_dwNoNetworkError);
    if (dwScope != RESOURCE_GLOBALNET)
        return result(ERROR_INVALID_PARAMETER);
    const CSimNetResource* pContainer = &m_root;
    if (pResource != nullptr) {
        if (!(pResource->dwUsage & RESOURCEUSAGE_CONTAINER))
            return result(ERROR_NOT_CONTAINER);
        if (pResource->lpRemoteName == nullptr)
            return result(ERROR_BAD_NET_NAME);
        pContainer = FindContainer(m_root, pResource->lpRemoteName);
        if (pContainer == nullptr)
            return result(ERROR_BAD_NET_NAME);
        if (!(pContainer->dwUsage & RESOURCEUSAGE_CONTAINER))
            return result(ERROR_NOT_CONTAINER);
    }
    if (pContainer->dwOpenError != 0)
        return result(pContainer->dwOpenError);
    HANDLE hEnum = m_kernel.NewHandle();
    m_enums[hEnum] = {pContainer, 0};
    m_kernel.Acquire(kEnumKind, hEnum);
    *phEnum = hEnum;
    return result(NO_ERROR);
}

DWORD CSimNetEnum::WNetEnumResourceA(HANDLE hEnum, LPDWORD pcCount, LPVOID pBuffer, LPDWORD pcbBuffer)
{
    auto it = m_enums.find(hEnum);
    if (it == m_enums.end())
        return ERROR_INVALID_HANDLE;
    if (pcCount == nullptr || pBuffer == nullptr || pcbBuffer == nullptr || *pcCount == 0)
        return ERROR_INVALID_PARAMETER;
    m_countsAsked.push_back(*pcCount);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("WNetEnumResourceA", &dwError))
        return dwError;
    CEnumeration& enumeration = it->second;
    const CSimNetResource& container = *enumeration.pContainer;
    if (container.dwEnumError != 0 && enumeration.nNext >= container.nEnumErrorAfter)
        return container.dwEnumError;
    if (enumeration.nNext >= container.children.size())
        return ERROR_NO_MORE_ITEMS;

    // Records from the front, texts from the back, as many whole entries as fit and were asked for.
    BYTE* pBlock = static_cast<BYTE*>(pBuffer);
    size_t cbBuffer = *pcbBuffer;
    size_t cbRecords = 0;
    size_t nTextAt = cbBuffer;
    DWORD nMax = *pcCount;
    DWORD nDone = 0;
    size_t nLimit = container.children.size();
    if (container.dwEnumError != 0)
        nLimit = std::min(nLimit, container.nEnumErrorAfter);
    while (enumeration.nNext < nLimit && nDone < nMax) {
        const CSimNetResource& child = container.children[enumeration.nNext];
        size_t cbNeeded = sizeof(NETRESOURCEA) + TextBytes(child);
        if (cbRecords + cbNeeded > nTextAt) {
            if (nDone == 0) {
                *pcbBuffer = static_cast<DWORD>(cbNeeded);
                return ERROR_MORE_DATA;
            }
            break;
        }
        auto put = [&](const std::string& strText) {
            nTextAt -= strText.size() + 1;
            std::memcpy(pBlock + nTextAt, strText.c_str(), strText.size() + 1);
            return reinterpret_cast<LPSTR>(pBlock + nTextAt);
        };
        NETRESOURCEA record {};
        record.dwScope = child.dwScope;
        record.dwType = child.dwType;
        record.dwDisplayType = child.dwDisplayType;
        record.dwUsage = child.dwUsage;
        record.lpLocalName = nullptr;
        record.lpRemoteName = child.bHasRemoteName ? put(child.strRemoteName) : nullptr;
        record.lpComment = put(child.strComment);
        record.lpProvider = put(child.strProvider);
        std::memcpy(pBlock + cbRecords, &record, sizeof record);
        cbRecords += sizeof record;
        ++enumeration.nNext;
        ++nDone;
    }
    if (nDone == 0)  // the injected error comes with the next call
        return container.dwEnumError != 0 ? container.dwEnumError : ERROR_NO_MORE_ITEMS;
    *pcCount = nDone;
    return NO_ERROR;
}

DWORD CSimNetEnum::WNetCloseEnum(HANDLE hEnum)
{
    auto it = m_enums.find(hEnum);
    if (it == m_enums.end()) {
        m_kernel.RecordMisuse("WNetCloseEnum of a handle that is not open");
        return ERROR_INVALID_HANDLE;
    }
    m_enums.erase(it);
    m_kernel.Release(kEnumKind, hEnum);
    return NO_ERROR;
}

}  // namespace qx::sim
