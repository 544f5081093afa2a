#include "sim/sim_lsa.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {
const char kPolicyKind[] = "lsa";
}

NTSTATUS CSimLsa::InjectedStatus(const char* pszCall, DWORD dwError)
{
    // The policy calls return NTSTATUS values, never Win32 codes: a test that injects one of those
    // would make the call look successful to NT_SUCCESS.
    if ((dwError & 0xC0000000u) != 0xC0000000u)
        m_kernel.RecordMisuse(std::string(pszCall) + ": an injected failure must be an NTSTATUS error");
    return static_cast<NTSTATUS>(dwError);
}

std::string SidFromString(const std::string& strSid)
{
    std::vector<unsigned long long> parts;
    size_t nPos = 2;  // after "S-"
    while (nPos <= strSid.size()) {
        size_t nEnd = strSid.find('-', nPos);
        if (nEnd == std::string::npos)
            nEnd = strSid.size();
        parts.push_back(std::strtoull(strSid.substr(nPos, nEnd - nPos).c_str(), nullptr, 10));
        nPos = nEnd + 1;
    }
    std::string sid;
    sid += static_cast<char>(parts.at(0));  // revision
    sid += static_cast<char>(parts.size() - 2);  // sub-authority count
    for (int i = 5; i >= 0; --i)  // authority, big-endian
        sid += static_cast<char>((parts.at(1) >> (8 * i)) & 0xFF);
    for (size_t i = 2; i < parts.size(); ++i) {  // sub-authorities, little-endian
        for (int b = 0; b < 4; ++b)
            sid += static_cast<char>((parts[i] >> (8 * b)) & 0xFF);
    }
    return sid;
}

CSimLsa::CSimLsa(CSimKernel& kernel, const std::string& strComputerName)
    : m_kernel(kernel), m_strLocalDomain(strComputerName)
{
    CAccount everyone;
    everyone.strName = "Everyone";
    everyone.sid = SidFromString("S-1-1-0");
    everyone.eUse = SidTypeWellKnownGroup;
    m_accounts.push_back(everyone);
}

bool CSimLsa::MayLogOnAsService(const std::string& strAccount, const std::string& strPassword) const
{
    std::string strUpper = AnsiUpper(strAccount);
    if (strUpper == "LOCALSYSTEM" || strUpper == "NT AUTHORITY\\LOCALSERVICE" ||
        strUpper == "NT AUTHORITY\\NETWORKSERVICE")
        return true;
    DWORD dwError = 0;
    const CAccount* pAccount = Find("", strAccount, &dwError);
    if (pAccount == nullptr || (pAccount->bHasPassword && pAccount->strPassword != strPassword))
        return false;
    for (const CGrant& grant : m_grants) {
        if (grant.sid != pAccount->sid)
            continue;
        for (const std::wstring& wstrRight : grant.rights) {
            if (wstrRight == L"SeServiceLogonRight")
                return true;
        }
    }
    return false;
}

void CSimLsa::AddAccount(const std::string& strDomain, const std::string& strName, const std::string& strSid,
                         SID_NAME_USE eUse)
{
    CAccount account;
    account.strDomain = strDomain.empty() ? m_strLocalDomain : strDomain;
    account.strName = strName;
    account.sid = SidFromString(strSid);
    account.eUse = eUse;
    m_accounts.push_back(account);
}

const CSimLsa::CAccount* CSimLsa::Find(const std::string& strSystem, const std::string& strAccount,
                                       DWORD* pdwError) const
{
    std::string strSys = AnsiUpper(strSystem);
    if (strSys.rfind("\\\\", 0) == 0)
        strSys = strSys.substr(2);
    if (!strSys.empty() && strSys != "." && strSys != AnsiUpper(m_strLocalDomain)) {
        *pdwError = m_dwRemoteLookupError;
        return nullptr;
    }
    std::string strDomain;
    std::string strName = strAccount;
    size_t nSlash = strAccount.find('\\');
    if (nSlash != std::string::npos) {
        strDomain = AnsiUpper(strAccount.substr(0, nSlash));
        strName = strAccount.substr(nSlash + 1);
        if (strDomain == ".")
            strDomain = AnsiUpper(m_strLocalDomain);
    }
    for (const CAccount& account : m_accounts) {
        if (AnsiUpper(account.strName) == AnsiUpper(strName) &&
            (strDomain.empty() || AnsiUpper(account.strDomain) == strDomain))
            return &account;
    }
    *pdwError = ERROR_NONE_MAPPED;
    return nullptr;
}

BOOL CSimLsa::Lookup(const char* pszCall, const std::string& strSystem, const std::string& strAccount, PSID pSid,
                     LPDWORD pcbSid, std::string* pstrDomain, LPDWORD pcchDomain, SID_NAME_USE* peUse)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail(pszCall, &dwError))
        return m_kernel.Fail(dwError);
    const CAccount* pAccount = Find(strSystem, strAccount, &dwError);
    if (pAccount == nullptr)
        return m_kernel.Fail(dwError);
    DWORD cbSid = static_cast<DWORD>(pAccount->sid.size());
    DWORD cchDomain = static_cast<DWORD>(pAccount->strDomain.size());
    if (*pcbSid < cbSid || *pcchDomain < cchDomain + 1 || pSid == nullptr) {
        *pcbSid = cbSid;
        *pcchDomain = cchDomain + 1;
        return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(pSid, pAccount->sid.data(), cbSid);
    *pstrDomain = pAccount->strDomain;
    *pcbSid = cbSid;
    *pcchDomain = cchDomain;
    if (peUse != nullptr)
        *peUse = pAccount->eUse;
    return TRUE;
}

BOOL CSimLsa::LookupAccountNameA(LPCSTR pszSystem, LPCSTR pszAccount, PSID pSid, LPDWORD pcbSid, LPSTR pszDomain,
                                 LPDWORD pcchDomain, SID_NAME_USE* peUse)
{
    std::string strDomain;
    if (!Lookup("LookupAccountNameA", pszSystem ? pszSystem : "", pszAccount ? pszAccount : "", pSid, pcbSid,
                &strDomain, pcchDomain, peUse))
        return FALSE;
    std::memcpy(pszDomain, strDomain.c_str(), strDomain.size() + 1);
    return TRUE;
}

BOOL CSimLsa::LookupAccountNameW(LPCWSTR pwszSystem, LPCWSTR pwszAccount, PSID pSid, LPDWORD pcbSid, LPWSTR pwszDomain,
                                 LPDWORD pcchDomain, SID_NAME_USE* peUse)
{
    // Accounts are held by their names in the ANSI code page: a name it cannot hold is not found.
    UINT nCodePage = m_kernel.m_nAnsiCodePage;
    std::string strDomain;
    if (!Lookup("LookupAccountNameW", pwszSystem ? Narrow(pwszSystem, nCodePage) : "",
                pwszAccount ? Narrow(pwszAccount, nCodePage) : "", pSid, pcbSid, &strDomain, pcchDomain, peUse))
        return FALSE;
    std::wstring wstrDomain = Widen(strDomain, nCodePage);
    std::copy(wstrDomain.c_str(), wstrDomain.c_str() + wstrDomain.size() + 1, pwszDomain);
    return TRUE;
}

NTSTATUS CSimLsa::LsaOpenPolicy(PLSA_UNICODE_STRING pSystemName, PLSA_OBJECT_ATTRIBUTES pAttributes,
                                ACCESS_MASK dwAccess, PLSA_HANDLE phPolicy)
{
    DWORD dwError = 0;
    CPolicyOpen open;
    if (pSystemName != nullptr) {
        open.nSystemLength = pSystemName->Length;
        open.nSystemMaximumLength = pSystemName->MaximumLength;
        if (pSystemName->Buffer != nullptr)
            open.wstrSystem.assign(pSystemName->Buffer, pSystemName->Length / sizeof(WCHAR));
    }
    open.dwAccess = dwAccess;
    if (pAttributes != nullptr) {
        LSA_OBJECT_ATTRIBUTES zero {};
        open.bAttributesZero = std::memcmp(pAttributes, &zero, sizeof zero) == 0;
    }
    m_policyOpens.push_back(open);
    if (m_kernel.ShouldFail("LsaOpenPolicy", &dwError))
        return InjectedStatus("LsaOpenPolicy", dwError);
    if (!m_bAdministrator &&
        (dwAccess & ~static_cast<ACCESS_MASK>(POLICY_LOOKUP_NAMES | POLICY_VIEW_LOCAL_INFORMATION)))
        return STATUS_ACCESS_DENIED;
    LSA_HANDLE hPolicy = m_kernel.NewHandle();
    m_policies.push_back(hPolicy);
    m_kernel.Acquire(kPolicyKind, hPolicy);
    *phPolicy = hPolicy;
    return STATUS_SUCCESS;
}

NTSTATUS CSimLsa::LsaAddAccountRights(LSA_HANDLE hPolicy, PSID pAccountSid, PLSA_UNICODE_STRING pRights, ULONG nRights)
{
    DWORD dwError = 0;
    if (std::find(m_policies.begin(), m_policies.end(), hPolicy) == m_policies.end())
        return STATUS_INVALID_PARAMETER;
    if (m_kernel.ShouldFail("LsaAddAccountRights", &dwError))
        return InjectedStatus("LsaAddAccountRights", dwError);
    const BYTE* pSid = static_cast<const BYTE*>(pAccountSid);
    CGrant grant;
    grant.sid.assign(reinterpret_cast<const char*>(pSid), 8 + 4 * pSid[1]);
    for (ULONG i = 0; i < nRights; ++i) {
        grant.rights.emplace_back(pRights[i].Buffer, pRights[i].Length / sizeof(WCHAR));
        grant.lengths.push_back(pRights[i].Length);
        grant.maximumLengths.push_back(pRights[i].MaximumLength);
    }
    m_grants.push_back(grant);
    return STATUS_SUCCESS;
}

NTSTATUS CSimLsa::LsaClose(LSA_HANDLE hObject)
{
    auto it = std::find(m_policies.begin(), m_policies.end(), hObject);
    if (it == m_policies.end()) {
        m_kernel.RecordMisuse("LsaClose of a handle that is not open");
        return STATUS_INVALID_PARAMETER;
    }
    m_policies.erase(it);
    m_kernel.Release(kPolicyKind, hObject);
    return STATUS_SUCCESS;
}

}  // namespace qx::sim
