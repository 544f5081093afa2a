// Simulated accounts and local security policy: an account database (domain, name, SID) answering
// LookupAccountName with its size-probing protocol, and a policy that records the rights granted.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

// The bytes of a SID written as "S-1-5-21-...".
std::string SidFromString(const std::string& strSid);

class CSimLsa final : public ILsa {
public:
    CSimLsa(CSimKernel& kernel, const std::string& strComputerName);

    struct CAccount {
        std::string strDomain;  // empty for the well-known groups (Everyone)
        std::string strName;
        std::string sid;  // SID bytes
        SID_NAME_USE eUse = SidTypeUser;
        bool bHasPassword = false;  // false: any password is taken (the model does not check it)
        std::string strPassword;
    };
    struct CPolicyOpen {
        std::wstring wstrSystem;
        USHORT nSystemLength = 0;
        USHORT nSystemMaximumLength = 0;
        ACCESS_MASK dwAccess = 0;
        bool bAttributesZero = false;
    };
    struct CGrant {
        std::string sid;
        std::vector<std::wstring> rights;
        std::vector<USHORT> lengths;  // Length of each counted string
        std::vector<USHORT> maximumLengths;  // MaximumLength of each counted string
    };

    // Adds an account; strDomain empty means an account of this machine.
    void AddAccount(const std::string& strDomain, const std::string& strName, const std::string& strSid,
                    SID_NAME_USE eUse = SidTypeUser);
    // Whether this machine knows the account: a bare name, domain\name, or .\name for this machine.
    bool Knows(const std::string& strAccount) const
    {
        DWORD dwError = 0;
        return Find("", strAccount, &dwError) != nullptr;
    }

    // Whether a service may log on as strAccount with this password: the account is known, holds
    // SeServiceLogonRight in this policy (m_grants) and the password is its own. The local system
    // account and NT AUTHORITY's service accounts always may.
    bool MayLogOnAsService(const std::string& strAccount, const std::string& strPassword) const;

    // The accounts; at first only the well-known group Everyone (S-1-1-0).
    std::vector<CAccount> m_accounts;
    // Whether the caller is an administrator: without it LsaOpenPolicy grants no more than looking up
    // names and reading the policy.
    bool m_bAdministrator = true;
    std::vector<CPolicyOpen> m_policyOpens;
    std::vector<CGrant> m_grants;
    // Systems other than the local machine ("", "." or the computer name) fail with this code.
    DWORD m_dwRemoteLookupError = RPC_S_SERVER_UNAVAILABLE;

    NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING pSystemName, PLSA_OBJECT_ATTRIBUTES pAttributes, ACCESS_MASK dwAccess,
                           PLSA_HANDLE phPolicy) override;
    NTSTATUS LsaAddAccountRights(LSA_HANDLE hPolicy, PSID pAccountSid, PLSA_UNICODE_STRING pRights,
                                 ULONG nRights) override;
    NTSTATUS LsaClose(LSA_HANDLE hObject) override;
    BOOL LookupAccountNameA(LPCSTR pszSystem, LPCSTR pszAccount, PSID pSid, LPDWORD pcbSid, LPSTR pszDomain,
                            LPDWORD pcchDomain, SID_NAME_USE* peUse) override;
    BOOL LookupAccountNameW(LPCWSTR pwszSystem, LPCWSTR pwszAccount, PSID pSid, LPDWORD pcbSid, LPWSTR pwszDomain,
                            LPDWORD pcchDomain, SID_NAME_USE* peUse) override;

private:
    NTSTATUS InjectedStatus(const char* pszCall, DWORD dwError);
    const CAccount* Find(const std::string& strSystem, const std::string& strAccount, DWORD* pdwError) const;
    BOOL Lookup(const char* pszCall, const std::string& strSystem, const std::string& strAccount, PSID pSid,
                LPDWORD pcbSid, std::string* pstrDomain, LPDWORD pcchDomain, SID_NAME_USE* peUse);

    CSimKernel& m_kernel;
    std::string m_strLocalDomain;
    std::vector<LSA_HANDLE> m_policies;
};

}  // namespace qx::sim
