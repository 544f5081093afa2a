#include "sim/sim_netserver.h"

#include <cstring>
#include <cwctype>
#include <new>

namespace qx::sim {

namespace {
const char kBufferKind[] = "netbuffer";

bool SameName(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t n = 0; n < a.size(); ++n) {
        if (std::towupper(a[n]) != std::towupper(b[n]))
            return false;
    }
    return true;
}
}  // namespace

void CSimNetServer::AddServer(const std::wstring& wstrName, DWORD dwType, const std::wstring& wstrDomain)
{
    CServer server;
    server.wstrName = wstrName;
    server.dwType = dwType;
    server.wstrDomain = wstrDomain;
    m_servers.push_back(server);
}

NET_API_STATUS CSimNetServer::NetServerEnum(LMCSTR pwszServer, DWORD dwLevel, LPBYTE* ppBuf, DWORD dwPrefMaxLen,
                                            LPDWORD pdwEntriesRead, LPDWORD pdwTotalEntries, DWORD dwServerType,
                                            LMCSTR pwszDomain, LPDWORD pdwResumeHandle)
{
    CSimCodeScope own(false);
    CEnumCall call;
    call.bServerGiven = pwszServer != nullptr;
    call.dwLevel = dwLevel;
    call.dwPrefMaxLen = dwPrefMaxLen;
    call.dwServerType = dwServerType;
    call.bDomainGiven = pwszDomain != nullptr;
    call.bResumeGiven = pdwResumeHandle != nullptr;
    m_calls.push_back(call);

    DWORD dwError = 0;
    if (m_kernel.ShouldFail("NetServerEnum", &dwError))
        return dwError;
    if (ppBuf == nullptr || pdwEntriesRead == nullptr || pdwTotalEntries == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (dwLevel != 100 && dwLevel != 101)
        return ERROR_INVALID_LEVEL;
    if (dwLevel == 101)
        return ERROR_NOT_SUPPORTED;  // the model answers level 100 only
    // No server announced at all: no browser answers, as on a machine outside any network.
    if (m_servers.empty())
        return ERROR_NO_BROWSER_SERVERS_FOUND;

    std::wstring wstrDomain = pwszDomain != nullptr && *pwszDomain != 0 ? pwszDomain : m_wstrPrimaryDomain;
    std::vector<const CServer*> matching;
    for (const CServer& server : m_servers) {
        const std::wstring& wstrServerDomain = server.wstrDomain.empty() ? m_wstrPrimaryDomain : server.wstrDomain;
        if (SameName(wstrServerDomain, wstrDomain) && (server.dwType & dwServerType) != 0)
            matching.push_back(&server);
    }

    // What fits: the browser's own limit, and the caller's preferred length unless it is unlimited.
    size_t nHanded = matching.size();
    if (m_nBrowseListLimit != 0 && nHanded > m_nBrowseListLimit)
        nHanded = m_nBrowseListLimit;
    if (dwPrefMaxLen != MAX_PREFERRED_LENGTH) {
        size_t cbUsed = 0;
        size_t nFit = 0;
        for (; nFit < nHanded; ++nFit) {
            size_t cbEntry = sizeof(SERVER_INFO_100) + (matching[nFit]->wstrName.size() + 1) * sizeof(WCHAR);
            if (cbUsed + cbEntry > dwPrefMaxLen)
                break;
            cbUsed += cbEntry;
        }
        nHanded = nFit;
    }

    size_t cbBuffer = sizeof(SERVER_INFO_100) * nHanded;
    for (size_t n = 0; n < nHanded; ++n)
        cbBuffer += (matching[n]->wstrName.size() + 1) * sizeof(WCHAR);
    auto* pBlock = new (std::nothrow) BYTE[cbBuffer == 0 ? 1 : cbBuffer]();
    if (pBlock == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    auto* pInfo = reinterpret_cast<SERVER_INFO_100*>(pBlock);
    auto* pwszNames = reinterpret_cast<WCHAR*>(pBlock + sizeof(SERVER_INFO_100) * nHanded);
    for (size_t n = 0; n < nHanded; ++n) {
        const std::wstring& wstrName = matching[n]->wstrName;
        std::memcpy(pwszNames, wstrName.c_str(), (wstrName.size() + 1) * sizeof(WCHAR));
        pInfo[n].sv100_platform_id = matching[n]->dwPlatformId;
        pInfo[n].sv100_name = pwszNames;
        pwszNames += wstrName.size() + 1;
    }
    m_buffers[pBlock] = cbBuffer;
    m_kernel.Acquire(kBufferKind, pBlock);
    *ppBuf = pBlock;
    *pdwEntriesRead = static_cast<DWORD>(nHanded);
    *pdwTotalEntries = static_cast<DWORD>(matching.size());
    if (pdwResumeHandle != nullptr)
        *pdwResumeHandle = 0;
    return nHanded < matching.size() ? static_cast<NET_API_STATUS>(ERROR_MORE_DATA) : NERR_Success;
}

NET_API_STATUS CSimNetServer::NetApiBufferFree(LPVOID pBuffer)
{
    CSimCodeScope own(false);
    if (pBuffer == nullptr)
        return NERR_Success;
    auto it = m_buffers.find(pBuffer);
    if (it == m_buffers.end()) {
        m_kernel.RecordMisuse("NetApiBufferFree of a buffer NetServerEnum did not hand out");
        return ERROR_INVALID_PARAMETER;
    }
    m_buffers.erase(it);
    m_kernel.Release(kBufferKind, pBuffer);
    delete[] static_cast<BYTE*>(pBuffer);
    return NERR_Success;
}

}  // namespace qx::sim
