// Simulated network shares: the share tables of this machine and of other servers, read and changed
// through NetShareAdd/Del/GetInfo/SetInfo at levels 2 and 502 with the NERR and Win32 codes. A share
// keeps its security descriptor as real self-relative bytes (none: the server's default security).
// Every buffer handed out is accounted for until NetApiBufferFree.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_files.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

class CSimNetShare final : public INetShare {
public:
    CSimNetShare(CSimKernel& kernel, CSimFiles& files, const std::string& strComputerName)
        : m_kernel(kernel), m_files(files), m_strComputerName(strComputerName)
    {
    }
    ~CSimNetShare();
    CSimNetShare(const CSimNetShare&) = delete;
    CSimNetShare& operator=(const CSimNetShare&) = delete;

    struct CShare {
        std::wstring wstrName;
        DWORD dwType = STYPE_DISKTREE;
        std::wstring wstrRemark;
        DWORD dwPermissions = 0;
        DWORD dwMaxUses = SHI_USES_UNLIMITED;
        DWORD dwCurrentUses = 0;
        std::wstring wstrPath;
        bool bHasPassword = false;
        std::wstring wstrPassword;
        std::string sd;  // self-relative descriptor bytes; empty: the server's default security
    };
    struct CServer {
        bool bReachable = true;
        DWORD dwUnreachableError = ERROR_BAD_NETPATH;
        bool bCallerIsAdmin = true;  // may add, delete, read (levels 2, 502) and set
        std::set<std::string> folders;  // other servers: their folders (upper case)
        std::set<char> redirectedDrives;  // drive letters mapped to network shares (upper case)
        std::vector<CShare> shares;
    };

    // ---- set-up and inspection ----
    // The server of that name ("" or this computer's name, with or without "\\": this machine, whose
    // folders are those of the simulated files). Other servers exist once named here.
    CServer& Server(const std::string& strServer = "");
    // Puts a share into a server's table (no checks); sd as MakeSelfRelativeSd gives it.
    CShare& PutShare(const std::string& strServer, const std::string& strName, const std::string& strPath,
                     const std::string& sd = {});
    const CShare* FindShare(const std::string& strServer, const std::string& strName) const;

    // ---- INetShare ----
    NET_API_STATUS NetShareAdd(LMSTR pwszServer, DWORD dwLevel, LPBYTE pBuf, LPDWORD pdwParmErr) override;
    NET_API_STATUS NetShareDel(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwReserved) override;
    NET_API_STATUS NetShareGetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE* ppBuf) override;
    NET_API_STATUS NetShareSetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE pBuf,
                                   LPDWORD pdwParmErr) override;
    NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) override;

private:
    std::string ServerKey(const std::string& strServer) const;
    // The server a call names, or null with the code of the failure (an injected one first).
    CServer* Reach(const char* pszCall, LMSTR pwszServer, DWORD* pdwError);
    static CShare* Find(CServer& server, const std::wstring& wstrName);
    bool FolderExists(const std::string& strServerKey, const CServer& server, const std::string& strPath);
    NET_API_STATUS Fail(LPDWORD pdwParmErr, DWORD dwParm, NET_API_STATUS nStatus);

    CSimKernel& m_kernel;
    CSimFiles& m_files;
    const std::string& m_strComputerName;
    std::map<std::string, CServer> m_servers;  // by upper-case name; "" is this machine
    std::map<void*, size_t> m_buffers;
};

}  // namespace qx::sim
