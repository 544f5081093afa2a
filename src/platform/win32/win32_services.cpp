#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32Scm final : public IScm {
public:
    SC_HANDLE OpenSCManagerA(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwAccess) override
    {
        return ::OpenSCManagerA(pszMachine, pszDatabase, dwAccess);
    }
    SC_HANDLE OpenServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, DWORD dwAccess) override
    {
        return ::OpenServiceA(hManager, pszServiceName, dwAccess);
    }
    SC_HANDLE CreateServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, LPCSTR pszDisplayName, DWORD dwDesiredAccess,
                             DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCSTR pszBinaryPathName,
                             LPCSTR pszLoadOrderGroup, LPDWORD pdwTagId, LPCSTR pszDependencies,
                             LPCSTR pszServiceStartName, LPCSTR pszPassword) override
    {
        return ::CreateServiceA(hManager, pszServiceName, pszDisplayName, dwDesiredAccess, dwServiceType, dwStartType,
                                dwErrorControl, pszBinaryPathName, pszLoadOrderGroup, pdwTagId, pszDependencies,
                                pszServiceStartName, pszPassword);
    }
    BOOL DeleteService(SC_HANDLE hService) override { return ::DeleteService(hService); }
    BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumArgs, LPCSTR* ppszArgs) override
    {
        return ::StartServiceA(hService, dwNumArgs, ppszArgs);
    }
    BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* pStatus) override
    {
        return ::ControlService(hService, dwControl, pStatus);
    }
    BOOL QueryServiceStatus(SC_HANDLE hService, SERVICE_STATUS* pStatus) override
    {
        return ::QueryServiceStatus(hService, pStatus);
    }
    BOOL GetServiceKeyNameA(SC_HANDLE hManager, LPCSTR pszDisplayName, LPSTR pszServiceName,
                            LPDWORD pcchBuffer) override
    {
        return ::GetServiceKeyNameA(hManager, pszDisplayName, pszServiceName, pcchBuffer);
    }
    BOOL CloseServiceHandle(SC_HANDLE hSCObject) override { return ::CloseServiceHandle(hSCObject); }
};

class CWin32Lsa final : public ILsa {
public:
    NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING pSystemName, PLSA_OBJECT_ATTRIBUTES pAttributes, ACCESS_MASK dwAccess,
                           PLSA_HANDLE phPolicy) override
    {
        return ::LsaOpenPolicy(pSystemName, pAttributes, dwAccess, phPolicy);
    }
    NTSTATUS LsaAddAccountRights(LSA_HANDLE hPolicy, PSID pAccountSid, PLSA_UNICODE_STRING pRights,
                                 ULONG nRights) override
    {
        return ::LsaAddAccountRights(hPolicy, pAccountSid, pRights, nRights);
    }
    NTSTATUS LsaClose(LSA_HANDLE hObject) override { return ::LsaClose(hObject); }
    BOOL LookupAccountNameA(LPCSTR pszSystem, LPCSTR pszAccount, PSID pSid, LPDWORD pcbSid, LPSTR pszDomain,
                            LPDWORD pcchDomain, SID_NAME_USE* peUse) override
    {
        return ::LookupAccountNameA(pszSystem, pszAccount, pSid, pcbSid, pszDomain, pcchDomain, peUse);
    }
    BOOL LookupAccountNameW(LPCWSTR pwszSystem, LPCWSTR pwszAccount, PSID pSid, LPDWORD pcbSid, LPWSTR pwszDomain,
                            LPDWORD pcchDomain, SID_NAME_USE* peUse) override
    {
        return ::LookupAccountNameW(pwszSystem, pwszAccount, pSid, pcbSid, pwszDomain, pcchDomain, peUse);
    }
};

class CWin32Acl final : public IAcl {
public:
    BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, DWORD dwRevision) override
    {
        return ::InitializeSecurityDescriptor(pSd, dwRevision);
    }
    BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSd, LPBOOL pbDaclPresent, PACL* ppDacl,
                                   LPBOOL pbDaclDefaulted) override
    {
        return ::GetSecurityDescriptorDacl(pSd, pbDaclPresent, ppDacl, pbDaclDefaulted);
    }
    BOOL InitializeAcl(PACL pAcl, DWORD cbAcl, DWORD dwRevision) override
    {
        return ::InitializeAcl(pAcl, cbAcl, dwRevision);
    }
    BOOL AddAce(PACL pAcl, DWORD dwRevision, DWORD dwStartIndex, LPVOID pAceList, DWORD cbAceList) override
    {
        return ::AddAce(pAcl, dwRevision, dwStartIndex, pAceList, cbAceList);
    }
    DWORD GetLengthSid(PSID pSid) override { return ::GetLengthSid(pSid); }
    BOOL EqualSid(PSID pSid1, PSID pSid2) override { return ::EqualSid(pSid1, pSid2); }
};

}  // namespace

IScm& Win32Scm()
{
    static CWin32Scm s_scm;
    return s_scm;
}

ILsa& Win32Lsa()
{
    static CWin32Lsa s_lsa;
    return s_lsa;
}

IAcl& Win32Acl()
{
    static CWin32Acl s_acl;
    return s_acl;
}

}  // namespace qx
