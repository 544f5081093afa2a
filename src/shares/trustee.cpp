#include "shares/trustee.h"

#include <algorithm>

#include "platform/acl_bytes.h"

namespace qx {

namespace {

using acl::kAceFixedSize;
using acl::ReadWord;

ACCESS_MASK ReadMask(const BYTE* pAce) { return acl::ReadDword(pAce + 4); }

void WriteMask(BYTE* pAce, ACCESS_MASK dwMask) { acl::WriteDword(pAce + 4, dwMask); }

// The last error of a failed call, never 0 (a failure must not read as success).
DWORD LastErrorOr(DWORD dwFallback)
{
    DWORD dwError = Sys().GetLastError();
    return dwError != 0 ? dwError : dwFallback;
}

// Calls fn(pAce) for each entry of a DACL that passed CheckDaclBounds; stops at the first non-zero code.
template <typename Fn> DWORD ForEachAce(PACL pDacl, Fn&& fn)
{
    BYTE* pAcl = reinterpret_cast<BYTE*>(pDacl);
    BYTE* pAce = pAcl + acl::kAclHeaderSize;
    for (WORD i = 0, n = ReadWord(pAcl + 4); i < n; ++i) {
        if (DWORD dwError = fn(pAce))
            return dwError;
        pAce += ReadWord(pAce + 2);
    }
    return 0;
}

// The inheritance aspects an allowed entry with these flags covers.
BYTE CoverageOf(BYTE nFlags)
{
    if (nFlags & NO_PROPAGATE_INHERIT_ACE)
        return 0;
    BYTE nInherit = nFlags & (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE);
    if (nFlags & INHERIT_ONLY_ACE)
        return nInherit;
    return static_cast<BYTE>(kCoversObject | nInherit);
}

}  // namespace

// ---- CTrustee ----

CTrustee::CTrustee(LPCWSTR pwszSystemName, LPCWSTR pwszAccountName, ACCESS_MASK dwRights)
    : m_pwszSystemName(pwszSystemName),
      m_pwszAccountName(pwszAccountName),
      m_dwRequestedRights(dwRights),
      m_dwCurrentRights(dwRights)
{
}

DWORD CTrustee::ResolveSid()
{
    if (m_pSid)
        return 0;
    DWORD cbSid = 0;
    DWORD cchDomain = 0;
    SID_NAME_USE eUse = SidTypeUnknown;
    if (!Lsa().LookupAccountNameW(m_pwszSystemName, m_pwszAccountName, nullptr, &cbSid, nullptr, &cchDomain, &eUse)) {
        DWORD dwError = LastErrorOr(ERROR_NONE_MAPPED);
        if (dwError != ERROR_INSUFFICIENT_BUFFER)
            return dwError;
    }
    if (cbSid < acl::kSidHeaderSize)
        return ERROR_NONE_MAPPED;
    unique_hlocal sid(Sys().LocalAlloc(LMEM_FIXED, cbSid));
    unique_hlocal domain(Sys().LocalAlloc(LMEM_FIXED, std::max<DWORD>(cchDomain, 1) * sizeof(WCHAR)));
    if (!sid || !domain)
        return ERROR_NOT_ENOUGH_MEMORY;
    DWORD cbSidBuffer = cbSid;
    if (!Lsa().LookupAccountNameW(m_pwszSystemName, m_pwszAccountName, sid.get(), &cbSid,
                                  static_cast<LPWSTR>(domain.get()), &cchDomain, &eUse))
        return LastErrorOr(ERROR_NONE_MAPPED);
    if (Acl().GetLengthSid(sid.get()) > cbSidBuffer)
        return ERROR_INVALID_SID;
    m_pSid = std::move(sid);
    m_pwszDomain = std::move(domain);
    return 0;
}

// ---- bounds of a DACL read from a share ----

DWORD CheckDaclBounds(const ACL* pDacl)
{
    return acl::UsedAclBytes(pDacl, kAceFixedSize + acl::kSidHeaderSize, true) != 0 ? 0 : ERROR_INVALID_DATA;
}

// ---- CTrusteeList ----

DWORD CTrusteeList::Add(LPCWSTR pwszSystemName, LPCWSTR pwszAccountName, ACCESS_MASK dwRights)
{
    if (m_nCount >= kMaxTrustees)
        return ERROR_BUFFER_OVERFLOW;
    auto trustee = std::make_unique<CTrustee>(pwszSystemName, pwszAccountName, dwRights);
    if (DWORD dwError = trustee->ResolveSid())
        return dwError;
    for (int i = 0; i < m_nCount; ++i) {
        if (Acl().EqualSid(m_trustees[i]->Sid(), trustee->Sid()))
            return ERROR_BAD_ARGUMENTS;
    }
    m_trustees[m_nCount++] = std::move(trustee);
    return 0;
}

DWORD CTrusteeList::BuildDacl(PACL pCurrentDacl, bool bInherit, unique_hlocal* pNewDacl)
{
    if (pCurrentDacl != nullptr) {
        if (DWORD dwError = CheckDaclBounds(pCurrentDacl))
            return dwError;
    }
    DWORD cbDacl = 0;
    if (DWORD dwError = SizePass(pCurrentDacl, bInherit, &cbDacl))
        return dwError;
    unique_hlocal newDacl(Sys().LocalAlloc(LPTR, cbDacl));
    if (!newDacl)
        return ERROR_NOT_ENOUGH_MEMORY;
    PACL pDacl = static_cast<PACL>(newDacl.get());
    if (!Acl().InitializeAcl(pDacl, cbDacl, ACL_REVISION))
        return LastErrorOr(ERROR_INVALID_ACL);
    if (DWORD dwError = FillPass(pCurrentDacl, bInherit, pDacl))
        return dwError;
    *pNewDacl = std::move(newDacl);
    return 0;
}

DWORD CTrusteeList::SizePass(PACL pCurrentDacl, bool bInherit, DWORD* pcbDacl)
{
    DWORD cbDacl = acl::kAclHeaderSize;
    for (int i = 0; i < m_nCount; ++i) {
        m_trustees[i]->m_dwCurrentRights = m_trustees[i]->m_dwRequestedRights;
        m_trustees[i]->m_nInheritCoverage = 0;
    }
    if (pCurrentDacl == nullptr) {
        for (int i = 0; i < m_nCount; ++i)
            cbDacl += kAceFixedSize + Acl().GetLengthSid(m_trustees[i]->Sid());
        *pcbDacl = cbDacl;
        return 0;
    }
    for (int i = 0; i < m_nCount; ++i) {
        CTrustee& trustee = *m_trustees[i];
        bool bFound = false;
        DWORD dwError = ForEachAce(pCurrentDacl, [&](BYTE* pAce) -> DWORD {
            if (!Acl().EqualSid(pAce + kAceFixedSize, trustee.Sid()))
                return 0;
            BYTE nType = pAce[0];
            if (nType == trustee.m_nAceType) {
                bFound = true;
                if (bInherit)
                    trustee.m_nInheritCoverage |= CoverageOf(pAce[1]);
            }
            if (nType == ACCESS_ALLOWED_ACE_TYPE)
                WriteMask(pAce, ReadMask(pAce) | trustee.m_dwCurrentRights);
            else if (nType == ACCESS_DENIED_ACE_TYPE)
                WriteMask(pAce, ReadMask(pAce) & ~trustee.m_dwCurrentRights);
            else
                return ERROR_INVALID_DATA;  // an entry of another kind for this account
            return 0;
        });
        if (dwError)
            return dwError;
        if (bFound && bInherit && trustee.m_nInheritCoverage != kCoversAll)
            return ERROR_INVALID_DATA;  // allowed already, but not for everything below the share
        if (bFound)
            trustee.m_dwCurrentRights = 0;
        else
            cbDacl += kAceFixedSize + Acl().GetLengthSid(trustee.Sid());
    }
    ForEachAce(pCurrentDacl, [&](BYTE* pAce) -> DWORD {
        cbDacl += ReadWord(pAce + 2);
        return 0;
    });
    *pcbDacl = cbDacl;
    return 0;
}

DWORD CTrusteeList::FillPass(PACL pCurrentDacl, bool bInherit, PACL pNewDacl)
{
    if (pCurrentDacl == nullptr) {
        for (int i = 0; i < m_nCount; ++i) {
            if (DWORD dwError = AppendNewEntry(pNewDacl, *m_trustees[i], bInherit))
                return dwError;
        }
        return 0;
    }
    bool bSeenAllowed = false;
    DWORD dwError = ForEachAce(pCurrentDacl, [&](BYTE* pAce) -> DWORD {
        BYTE nType = pAce[0];
        if (nType == ACCESS_DENIED_ACE_TYPE && bSeenAllowed)
            return ERROR_INVALID_DATA;  // not in canonical order
        if (nType == ACCESS_ALLOWED_ACE_TYPE)
            bSeenAllowed = true;
        if (ReadMask(pAce) == 0)
            return 0;  // a denial with nothing left to deny
        BYTE nRevision = reinterpret_cast<const BYTE*>(pNewDacl)[0];
        if (!Acl().AddAce(pNewDacl, nRevision, MAXDWORD, pAce, ReadWord(pAce + 2)))
            return LastErrorOr(ERROR_INVALID_ACL);
        return 0;
    });
    if (dwError)
        return dwError;
    for (int i = 0; i < m_nCount; ++i) {
        if (m_trustees[i]->m_dwCurrentRights == 0)
            continue;
        if (DWORD dwAddError = AppendNewEntry(pNewDacl, *m_trustees[i], bInherit))
            return dwAddError;
    }
    return 0;
}

DWORD CTrusteeList::AppendNewEntry(PACL pNewDacl, const CTrustee& trustee, bool bInherit)
{
    BYTE abAce[kAceBufferSize];
    DWORD cbSid = Acl().GetLengthSid(trustee.Sid());
    DWORD cbAce = kAceFixedSize + cbSid;
    if (cbAce > sizeof abAce)
        return ERROR_INVALID_SID;
    BYTE nFlags = bInherit ? static_cast<BYTE>(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0;
    acl::PutAce(abAce, ACCESS_ALLOWED_ACE_TYPE, nFlags, trustee.m_dwCurrentRights, trustee.Sid(), cbSid);
    BYTE nRevision = reinterpret_cast<const BYTE*>(pNewDacl)[0];
    if (!Acl().AddAce(pNewDacl, nRevision, MAXDWORD, abAce, cbAce))
        return LastErrorOr(ERROR_INVALID_ACL);
    return 0;
}

}  // namespace qx
