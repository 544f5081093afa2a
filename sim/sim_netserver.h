// Simulated server browsing: the servers the network announces, each with its domain and its server
// type bits, answered by NetServerEnum at information level 100 the way the browser service does.
// Every buffer handed out is one block (the SERVER_INFO_100 array followed by the names), accounted
// for until NetApiBufferFree.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

class CSimNetServer final : public INetServer {
public:
    explicit CSimNetServer(CSimKernel& kernel) : m_kernel(kernel) { }

    struct CServer {
        std::wstring wstrName;
        DWORD dwType = 0;  // SV_TYPE_* bits
        std::wstring wstrDomain;  // empty: the primary domain
        DWORD dwPlatformId = PLATFORM_ID_NT;
    };

    // ---- set-up for tests ----
    // A server of the primary domain, listed in the order added (the browser's order).
    void AddServer(const std::wstring& wstrName, DWORD dwType, const std::wstring& wstrDomain = L"");
    void AddPrimaryController(const std::wstring& wstrName) { AddServer(wstrName, SV_TYPE_DOMAIN_CTRL); }
    void AddBackupController(const std::wstring& wstrName) { AddServer(wstrName, SV_TYPE_DOMAIN_BAKCTRL); }

    // Empty: no browser in reach, and NetServerEnum fails with ERROR_NO_BROWSER_SERVERS_FOUND.
    std::vector<CServer> m_servers;
    std::wstring m_wstrPrimaryDomain = L"QORVEX";
    // The browser hands out at most this many entries (0: all); beyond it the call reports
    // ERROR_MORE_DATA with the entries it did hand out, in a buffer the caller must still free.
    DWORD m_nBrowseListLimit = 0;
    // Every enumeration, as asked: the server type mask and level.
    struct CEnumCall {
        bool bServerGiven = false;
        DWORD dwLevel = 0;
        DWORD dwPrefMaxLen = 0;
        DWORD dwServerType = 0;
        bool bDomainGiven = false;
        bool bResumeGiven = false;
    };
    std::vector<CEnumCall> m_calls;

    // ---- INetServer ----
    NET_API_STATUS NetServerEnum(LMCSTR pwszServer, DWORD dwLevel, LPBYTE* ppBuf, DWORD dwPrefMaxLen,
                                 LPDWORD pdwEntriesRead, LPDWORD pdwTotalEntries, DWORD dwServerType, LMCSTR pwszDomain,
                                 LPDWORD pdwResumeHandle) override;
    NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) override;

private:
    CSimKernel& m_kernel;
    std::map<void*, size_t> m_buffers;
};

}  // namespace qx::sim
