#include "sim/sim_netshare.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "sim/sim_acl.h"
#include "sim/sim_text.h"

namespace qx::sim {

namespace {

const char kBufferKind[] = "netapi share buffer";

std::wstring Upper(const std::wstring& wstr)
{
    std::wstring wstrUpper = wstr;
    for (wchar_t& c : wstrUpper)
        c = WideUpper(c);
    return wstrUpper;
}

std::wstring WideOf(LMSTR pwsz) { return pwsz != nullptr ? std::wstring(pwsz) : std::wstring(); }

// The share of that name in a table (names match without regard to case), or its end.
template <typename Shares> auto Position(Shares& shares, const std::wstring& wstrName)
{
    std::wstring wstrUpper = Upper(wstrName);
    return std::find_if(shares.begin(), shares.end(),
                        [&](const auto& share) { return Upper(share.wstrName) == wstrUpper; });
}

bool IsValidShareName(const std::wstring& wstrName)
{
    if (wstrName.empty() || wstrName.size() > NNLEN)
        return false;
    for (wchar_t c : wstrName) {
        if (c < 0x20 || std::wcschr(L"\\/[]:|<>+;,?*=\"", c) != nullptr)
            return false;
    }
    return true;
}

// Lays out a record and its texts in one block, as the network library hands them out.
class CBlockWriter {
public:
    explicit CBlockWriter(size_t cbFixed) : m_nAt(cbFixed) { }
    size_t Text(const std::wstring& wstr)
    {
        size_t nAt = Align(m_nAt, sizeof(WCHAR));
        m_texts.push_back({nAt, wstr});
        m_nAt = nAt + (wstr.size() + 1) * sizeof(WCHAR);
        return nAt;
    }
    size_t Bytes(const std::string& bytes)
    {
        size_t nAt = Align(m_nAt, 8);
        m_bytes.push_back({nAt, bytes});
        m_nAt = nAt + bytes.size();
        return nAt;
    }
    size_t Size() const { return m_nAt; }
    void Fill(BYTE* pBlock) const
    {
        for (const auto& text : m_texts) {
            WCHAR* pwsz = reinterpret_cast<WCHAR*>(pBlock + text.first);
            std::copy(text.second.c_str(), text.second.c_str() + text.second.size() + 1, pwsz);
        }
        for (const auto& bytes : m_bytes)
            std::memcpy(pBlock + bytes.first, bytes.second.data(), bytes.second.size());
    }

private:
    static size_t Align(size_t n, size_t nAlign) { return (n + nAlign - 1) / nAlign * nAlign; }
    size_t m_nAt;
    std::vector<std::pair<size_t, std::wstring>> m_texts;
    std::vector<std::pair<size_t, std::string>> m_bytes;
};

}  // namespace

CSimNetShare::~CSimNetShare()
{
    for (const auto& buffer : m_buffers)
        std::free(buffer.first);  // leaked by the code under test; the accounting has reported them
}

std::string CSimNetShare::ServerKey(const std::string& strServer) const
{
    UINT nCodePage = m_kernel.m_nAnsiCodePage;
    std::string strKey = Narrow(Upper(Widen(strServer, nCodePage)), nCodePage);
    if (strKey.rfind("\\\\", 0) == 0)
        strKey.erase(0, 2);
    if (strKey == Narrow(Upper(Widen(m_strComputerName, nCodePage)), nCodePage))
        strKey.clear();
    return strKey;
}

CSimNetShare::CServer& CSimNetShare::Server(const std::string& strServer) { return m_servers[ServerKey(strServer)]; }

CSimNetShare::CShare& CSimNetShare::PutShare(const std::string& strServer, const std::string& strName,
                                             const std::string& strPath, const std::string& sd)
{
    CServer& server = Server(strServer);
    CShare share;
    share.wstrName = Widen(strName, m_kernel.m_nAnsiCodePage);
    share.wstrPath = Widen(strPath, m_kernel.m_nAnsiCodePage);
    share.sd = sd;
    if (CShare* pOld = Find(server, share.wstrName)) {
        *pOld = share;
        return *pOld;
    }
    server.shares.push_back(share);
    return server.shares.back();
}

const CSimNetShare::CShare* CSimNetShare::FindShare(const std::string& strServer, const std::string& strName) const
{
    auto it = m_servers.find(ServerKey(strServer));
    if (it == m_servers.end())
        return nullptr;
    auto share = Position(it->second.shares, Widen(strName, m_kernel.m_nAnsiCodePage));
    return share != it->second.shares.end() ? &*share : nullptr;
}

CSimNetShare::CShare* CSimNetShare::Find(CServer& server, const std::wstring& wstrName)
{
    auto it = Position(server.shares, wstrName);
    return it != server.shares.end() ? &*it : nullptr;
}

CSimNetShare::CServer* CSimNetShare::Reach(const char* pszCall, LMSTR pwszServer, DWORD* pdwError)
{
    if (m_kernel.ShouldFail(pszCall, pdwError))
        return nullptr;
    std::string strKey = ServerKey(Narrow(WideOf(pwszServer), m_kernel.m_nAnsiCodePage));
    if (strKey.empty())
        m_servers[strKey];  // this machine always exists
    auto it = m_servers.find(strKey);
    if (it == m_servers.end()) {
        *pdwError = ERROR_BAD_NETPATH;
        return nullptr;
    }
    if (!it->second.bReachable) {
        *pdwError = it->second.dwUnreachableError;
        return nullptr;
    }
    if (!it->second.bCallerIsAdmin) {
        *pdwError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return &it->second;
}

bool CSimNetShare::FolderExists(const std::string& strServerKey, const CServer& server, const std::string& strPath)
{
    if (!strServerKey.empty())
        return server.folders.count(AnsiUpper(strPath)) != 0;
    DWORD dwSavedError = m_kernel.m_dwLastError;
    DWORD dwAttrs = m_files.GetFileAttributesA(strPath.c_str());
    m_kernel.m_dwLastError = dwSavedError;
    return dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

NET_API_STATUS CSimNetShare::Fail(LPDWORD pdwParmErr, DWORD dwParm, NET_API_STATUS nStatus)
{
    if (pdwParmErr != nullptr)
        *pdwParmErr = dwParm;
    return nStatus;
}

NET_API_STATUS CSimNetShare::NetShareAdd(LMSTR pwszServer, DWORD dwLevel, LPBYTE pBuf, LPDWORD pdwParmErr)
{
    DWORD dwError = 0;
    CServer* pServer = Reach("NetShareAdd", pwszServer, &dwError);
    if (pServer == nullptr)
        return dwError;
    if (dwLevel != 2 && dwLevel != 502)
        return ERROR_INVALID_LEVEL;
    if (pBuf == nullptr)
        return ERROR_INVALID_PARAMETER;
    // Levels 2 and 502 begin alike; 502 adds the reserved field and the descriptor.
    const SHARE_INFO_2* pInfo = reinterpret_cast<const SHARE_INFO_2*>(pBuf);
    CShare share;
    share.wstrName = WideOf(pInfo->shi2_netname);
    share.dwType = pInfo->shi2_type;
    share.wstrRemark = WideOf(pInfo->shi2_remark);
    share.dwPermissions = pInfo->shi2_permissions;
    share.dwMaxUses = pInfo->shi2_max_uses;
    share.wstrPath = WideOf(pInfo->shi2_path);
    share.bHasPassword = pInfo->shi2_passwd != nullptr;
    share.wstrPassword = WideOf(pInfo->shi2_passwd);
    if (!IsValidShareName(share.wstrName))
        return Fail(pdwParmErr, SHARE_NETNAME_PARMNUM, ERROR_INVALID_NAME);
    if ((share.dwType & ~STYPE_SPECIAL) > STYPE_IPC)
        return Fail(pdwParmErr, SHARE_TYPE_PARMNUM, ERROR_INVALID_PARAMETER);
    if (share.wstrRemark.size() > MAXCOMMENTSZ)
        return Fail(pdwParmErr, SHARE_REMARK_PARMNUM, ERROR_INVALID_PARAMETER);
    if (dwLevel == 502) {
        PSECURITY_DESCRIPTOR pSd = reinterpret_cast<const SHARE_INFO_502*>(pBuf)->shi502_security_descriptor;
        if (pSd != nullptr && !ToSelfRelativeSd(pSd, &share.sd))
            return Fail(pdwParmErr, SHARE_FILE_SD_PARMNUM, ERROR_INVALID_PARAMETER);
    }
    if (Find(*pServer, share.wstrName) != nullptr)
        return NERR_DuplicateShare;
    if ((share.dwType & ~STYPE_SPECIAL) == STYPE_DISKTREE) {
        // The simulated files are named in the ANSI code page: a folder it cannot name is not found.
        std::string strPath = Narrow(share.wstrPath, m_kernel.m_nAnsiCodePage);
        bool bAbsolute = strPath.size() >= 3 && strPath[1] == ':' && strPath[2] == '\\';
        char cDrive = bAbsolute ? static_cast<char>(AnsiUpper(static_cast<unsigned char>(strPath[0]))) : '\0';
        if (bAbsolute && pServer->redirectedDrives.count(cDrive) != 0)
            return NERR_RedirectedPath;
        if (!bAbsolute ||
            !FolderExists(ServerKey(Narrow(WideOf(pwszServer), m_kernel.m_nAnsiCodePage)), *pServer, strPath))
            return NERR_UnknownDevDir;
    }
    pServer->shares.push_back(share);
    return NERR_Success;
}

NET_API_STATUS CSimNetShare::NetShareDel(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwReserved)
{
    DWORD dwError = 0;
    CServer* pServer = Reach("NetShareDel", pwszServer, &dwError);
    if (pServer == nullptr)
        return dwError;
    if (dwReserved != 0)
        return ERROR_INVALID_PARAMETER;
    auto it = Position(pServer->shares, WideOf(pwszNetName));
    if (it == pServer->shares.end())
        return NERR_NetNameNotFound;
    pServer->shares.erase(it);
    return NERR_Success;
}

NET_API_STATUS CSimNetShare::NetShareGetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE* ppBuf)
{
    DWORD dwError = 0;
    if (ppBuf == nullptr)
        return ERROR_INVALID_PARAMETER;
    CServer* pServer = Reach("NetShareGetInfo", pwszServer, &dwError);
    if (pServer == nullptr)
        return dwError;
    if (dwLevel != 2 && dwLevel != 502)
        return ERROR_INVALID_LEVEL;
    const CShare* pShare = Find(*pServer, WideOf(pwszNetName));
    if (pShare == nullptr)
        return NERR_NetNameNotFound;

    size_t cbFixed = dwLevel == 2 ? sizeof(SHARE_INFO_2) : sizeof(SHARE_INFO_502);
    CBlockWriter writer(cbFixed);
    size_t nName = writer.Text(pShare->wstrName);
    size_t nRemark = writer.Text(pShare->wstrRemark);
    size_t nPath = writer.Text(pShare->wstrPath);
    size_t nPassword = pShare->bHasPassword ? writer.Text(pShare->wstrPassword) : 0;
    size_t nSd = dwLevel == 502 && !pShare->sd.empty() ? writer.Bytes(pShare->sd) : 0;
    BYTE* pBlock = static_cast<BYTE*>(std::calloc(1, writer.Size()));
    if (pBlock == nullptr)
        return ERROR_NOT_ENOUGH_MEMORY;
    writer.Fill(pBlock);
    auto text = [pBlock](size_t nAt) { return reinterpret_cast<LMSTR>(pBlock + nAt); };
    // Level 2 is the first part of level 502.
    static_assert(offsetof(SHARE_INFO_2, shi2_passwd) == offsetof(SHARE_INFO_502, shi502_passwd));
    SHARE_INFO_502 info {};
    info.shi502_netname = text(nName);
    info.shi502_type = pShare->dwType;
    info.shi502_remark = text(nRemark);
    info.shi502_permissions = pShare->dwPermissions;
    info.shi502_max_uses = pShare->dwMaxUses;
    info.shi502_current_uses = pShare->dwCurrentUses;
    info.shi502_path = text(nPath);
    info.shi502_passwd = pShare->bHasPassword ? text(nPassword) : nullptr;
    info.shi502_reserved = static_cast<DWORD>(pShare->sd.size());  // the descriptor's length on the wire
    info.shi502_security_descriptor = nSd != 0 ? static_cast<PSECURITY_DESCRIPTOR>(pBlock + nSd) : nullptr;
    std::memcpy(pBlock, &info, cbFixed);
    m_buffers[pBlock] = writer.Size();
    m_kernel.Acquire(kBufferKind, pBlock);
    *ppBuf = pBlock;
    return NERR_Success;
}

NET_API_STATUS CSimNetShare::NetShareSetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE pBuf,
                                             LPDWORD pdwParmErr)
{
    DWORD dwError = 0;
    CServer* pServer = Reach("NetShareSetInfo", pwszServer, &dwError);
    if (pServer == nullptr)
        return dwError;
    if (dwLevel != 502)
        return ERROR_INVALID_LEVEL;
    if (pBuf == nullptr)
        return ERROR_INVALID_PARAMETER;
    CShare* pShare = Find(*pServer, WideOf(pwszNetName));
    if (pShare == nullptr)
        return NERR_NetNameNotFound;
    const SHARE_INFO_502* pInfo = reinterpret_cast<const SHARE_INFO_502*>(pBuf);
    std::string sd = pShare->sd;
    if (pInfo->shi502_security_descriptor != nullptr && !ToSelfRelativeSd(pInfo->shi502_security_descriptor, &sd))
        return Fail(pdwParmErr, SHARE_FILE_SD_PARMNUM, ERROR_INVALID_PARAMETER);
    std::wstring wstrRemark = pInfo->shi502_remark != nullptr ? pInfo->shi502_remark : pShare->wstrRemark;
    if (wstrRemark.size() > MAXCOMMENTSZ)
        return Fail(pdwParmErr, SHARE_REMARK_PARMNUM, ERROR_INVALID_PARAMETER);
    pShare->wstrRemark = wstrRemark;
    pShare->dwMaxUses = pInfo->shi502_max_uses;
    pShare->sd = sd;
    return NERR_Success;
}

NET_API_STATUS CSimNetShare::NetApiBufferFree(LPVOID pBuffer)
{
    if (pBuffer == nullptr)
        return NERR_Success;
    auto it = m_buffers.find(pBuffer);
    if (it == m_buffers.end()) {
        m_kernel.RecordMisuse("NetApiBufferFree of a share buffer that is not held");
        return ERROR_INVALID_PARAMETER;
    }
    m_buffers.erase(it);
    m_kernel.Release(kBufferKind, pBuffer);
    std::free(pBuffer);
    return NERR_Success;
}

}  // namespace qx::sim
