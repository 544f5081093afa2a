#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32NetShare final : public INetShare {
public:
    NET_API_STATUS NetShareAdd(LMSTR pwszServer, DWORD dwLevel, LPBYTE pBuf, LPDWORD pdwParmErr) override
    {
        return ::NetShareAdd(pwszServer, dwLevel, pBuf, pdwParmErr);
    }
    NET_API_STATUS NetShareDel(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwReserved) override
    {
        return ::NetShareDel(pwszServer, pwszNetName, dwReserved);
    }
    NET_API_STATUS NetShareGetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE* ppBuf) override
    {
        return ::NetShareGetInfo(pwszServer, pwszNetName, dwLevel, ppBuf);
    }
    NET_API_STATUS NetShareSetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE pBuf,
                                   LPDWORD pdwParmErr) override
    {
        return ::NetShareSetInfo(pwszServer, pwszNetName, dwLevel, pBuf, pdwParmErr);
    }
    NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) override { return ::NetApiBufferFree(pBuffer); }
};

class CWin32NetServer final : public INetServer {
public:
    NET_API_STATUS NetServerEnum(LMCSTR pwszServer, DWORD dwLevel, LPBYTE* ppBuf, DWORD dwPrefMaxLen,
                                 LPDWORD pdwEntriesRead, LPDWORD pdwTotalEntries, DWORD dwServerType, LMCSTR pwszDomain,
                                 LPDWORD pdwResumeHandle) override
    {
        return ::NetServerEnum(pwszServer, dwLevel, ppBuf, dwPrefMaxLen, pdwEntriesRead, pdwTotalEntries, dwServerType,
                               pwszDomain, pdwResumeHandle);
    }
    NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) override { return ::NetApiBufferFree(pBuffer); }
};

class CWin32NetEnum final : public INetEnum {
public:
    DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA pResource, LPHANDLE phEnum) override
    {
        return ::WNetOpenEnumA(dwScope, dwType, dwUsage, pResource, phEnum);
    }
    DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD pcCount, LPVOID pBuffer, LPDWORD pcbBuffer) override
    {
        return ::WNetEnumResourceA(hEnum, pcCount, pBuffer, pcbBuffer);
    }
    DWORD WNetCloseEnum(HANDLE hEnum) override { return ::WNetCloseEnum(hEnum); }
};

}  // namespace

INetShare& Win32NetShare()
{
    static CWin32NetShare s_netShare;
    return s_netShare;
}

INetServer& Win32NetServer()
{
    static CWin32NetServer s_netServer;
    return s_netServer;
}

INetEnum& Win32NetEnum()
{
    static CWin32NetEnum s_netEnum;
    return s_netEnum;
}

}  // namespace qx
