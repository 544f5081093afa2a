#include "services/logon_right.h"

#include <cstring>
#include <cwchar>

#include "frame/text_fit.h"
#include "platform/platform.h"

namespace qx {

namespace {

const WCHAR kServiceLogonRight[] = L"SeServiceLogonRight";
constexpr ACCESS_MASK kPolicyAccess = POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES;

}  // namespace

void MakeLsaString(PLSA_UNICODE_STRING pString, const WCHAR* pwszText)
{
    pString->Length = 0;
    pString->MaximumLength = 0;
    pString->Buffer = nullptr;
    if (pwszText == nullptr)
        return;
    size_t cchText = std::wcslen(pwszText);
    if ((cchText + 1) * sizeof(WCHAR) > 0xFFFF)
        return;
    pString->Length = static_cast<USHORT>(cchText * sizeof(WCHAR));
    pString->MaximumLength = static_cast<USHORT>((cchText + 1) * sizeof(WCHAR));
    pString->Buffer = const_cast<PWSTR>(pwszText);
}

NTSTATUS OpenLocalPolicy(const WCHAR* pwszSystem, ACCESS_MASK dwAccess, unique_lsa_handle* pPolicy)
{
    LSA_OBJECT_ATTRIBUTES attributes;
    std::memset(&attributes, 0, sizeof attributes);
    LSA_UNICODE_STRING system;
    MakeLsaString(&system, pwszSystem);
    LSA_HANDLE hPolicy = nullptr;
    NTSTATUS status = Lsa().LsaOpenPolicy(&system, &attributes, dwAccess, &hPolicy);
    if (status == STATUS_SUCCESS)
        pPolicy->reset(hPolicy);
    return status;
}

unique_process_heap FindAccountSid(const char* pszSystem, const char* pszAccount)
{
    HANDLE hHeap = Sys().GetProcessHeap();
    DWORD cbSid = kInitialSidSize;
    DWORD cchDomain = kInitialDomainSize;
    unique_process_heap sid(Sys().HeapAlloc(hHeap, 0, cbSid));
    unique_process_heap domain(Sys().HeapAlloc(hHeap, 0, cchDomain));
    if (!sid || !domain)
        return unique_process_heap();
    for (;;) {
        DWORD cbWanted = cbSid;
        DWORD cchWanted = cchDomain;
        SID_NAME_USE eUse = SidTypeUnknown;
        if (Lsa().LookupAccountNameA(pszSystem, pszAccount, sid.get(), &cbWanted, static_cast<LPSTR>(domain.get()),
                                     &cchWanted, &eUse))
            return sid;
        if (Sys().GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return unique_process_heap();
        // A lookup that asks for no more than it had would only ask again.
        if (cbWanted <= cbSid && cchWanted <= cchDomain)
            return unique_process_heap();
        LPVOID pSid = Sys().HeapReAlloc(hHeap, 0, sid.get(), cbWanted);
        if (pSid == nullptr)
            return unique_process_heap();  // the old block is still the owner's
        sid.release();
        sid.reset(pSid);
        cbSid = cbWanted;
        LPVOID pDomain = Sys().HeapReAlloc(hHeap, 0, domain.get(), cchWanted);
        if (pDomain == nullptr)
            return unique_process_heap();
        domain.release();
        domain.reset(pDomain);
        cchDomain = cchWanted;
    }
}

void GrantServiceLogonRight(const char* pszAccount)
{
    if (pszAccount == nullptr || !TextFits(pszAccount, kAccountBufferSize))
        return;
    char szAccount[kAccountBufferSize];
    std::memcpy(szAccount, pszAccount, std::strlen(pszAccount) + 1);

    unique_lsa_handle policy;
    if (OpenLocalPolicy(L"", kPolicyAccess, &policy) != STATUS_SUCCESS)
        return;
    unique_process_heap sid = FindAccountSid(nullptr, szAccount);
    if (!sid)
        return;
    LSA_UNICODE_STRING right;
    MakeLsaString(&right, kServiceLogonRight);
    Lsa().LsaAddAccountRights(policy.get(), sid.get(), &right, 1);
    policy.reset();  // the policy is closed first, then the identifier goes back to the heap
}

}  // namespace qx
