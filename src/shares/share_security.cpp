#include "shares/share_security.h"

#include <cstring>

#include "platform/acl_bytes.h"

namespace qx {

namespace {

constexpr DWORD kRelativeSdSize = 20;  // SECURITY_DESCRIPTOR_RELATIVE: the header and four offsets
constexpr size_t kMaxSidSize = acl::kSidHeaderSize + 4 * SID_MAX_SUB_AUTHORITIES;

// Whether the SID at dwOffset (0: none) lies within the descriptor's cbSd bytes, after its header.
bool SidInside(const BYTE* pSd, DWORD cbSd, DWORD dwOffset)
{
    if (dwOffset == 0)
        return true;
    if (dwOffset < kRelativeSdSize || dwOffset > cbSd || cbSd - dwOffset < acl::kSidHeaderSize)
        return false;
    const BYTE* pSid = pSd + dwOffset;
    return pSid[0] == SID_REVISION && pSid[1] <= SID_MAX_SUB_AUTHORITIES && acl::SidLength(pSid) <= cbSd - dwOffset;
}

// A copy of a SID that CheckDescriptorBounds passed (null: none) in a buffer of kMaxSidSize bytes.
PSID CopySid(const BYTE* pSid, BYTE* pCopy)
{
    if (pSid == nullptr)
        return nullptr;
    std::memcpy(pCopy, pSid, acl::SidLength(pSid));
    return pCopy;
}

}  // namespace

DWORD CheckDescriptorBounds(PSECURITY_DESCRIPTOR pSd, DWORD cbSd)
{
    const BYTE* p = static_cast<const BYTE*>(pSd);
    if (cbSd < kRelativeSdSize || p[0] != SECURITY_DESCRIPTOR_REVISION)
        return ERROR_INVALID_SECURITY_DESCR;
    WORD wControl = acl::ReadWord(p + 2);
    if (!(wControl & SE_SELF_RELATIVE) || !SidInside(p, cbSd, acl::ReadDword(p + 4)) ||
        !SidInside(p, cbSd, acl::ReadDword(p + 8)))
        return ERROR_INVALID_SECURITY_DESCR;
    DWORD dwDacl = acl::ReadDword(p + 16);
    if (!(wControl & SE_DACL_PRESENT) || dwDacl == 0)
        return 0;  // no DACL, or a null one: nothing of it is read
    if (dwDacl < kRelativeSdSize || dwDacl > cbSd || cbSd - dwDacl < acl::kAclHeaderSize ||
        acl::ReadWord(p + dwDacl + 2) > cbSd - dwDacl)
        return ERROR_INVALID_SECURITY_DESCR;
    return CheckDaclBounds(reinterpret_cast<const ACL*>(p + dwDacl));
}

DWORD CShareSecurity::Apply(LPWSTR pwszServer, CTrusteeList& list, bool bInherit)
{
    NET_API_STATUS nStatus = NetShare().NetShareGetInfo(pwszServer, m_pwszShare, 502, m_info.put());
    if (nStatus != NERR_Success)
        return nStatus;
    if (!m_info)
        return ERROR_INVALID_DATA;
    SHARE_INFO_502* pInfo = reinterpret_cast<SHARE_INFO_502*>(m_info.get());

    m_pSd = pInfo->shi502_security_descriptor;
    if (m_pSd != nullptr) {
        // The record carries its descriptor's length; nothing is read outside it.
        if (DWORD dwError = CheckDescriptorBounds(m_pSd, pInfo->shi502_reserved))
            return dwError;
    } else {
        m_ownSd.reset(Sys().LocalAlloc(LMEM_FIXED, SECURITY_DESCRIPTOR_MIN_LENGTH));
        if (!m_ownSd)
            return ERROR_NOT_ENOUGH_MEMORY;
        if (!Acl().InitializeSecurityDescriptor(m_ownSd.get(), SECURITY_DESCRIPTOR_REVISION)) {
            DWORD dwError = Sys().GetLastError();
            return dwError != 0 ? dwError : ERROR_INVALID_SECURITY_DESCR;
        }
        m_pSd = m_ownSd.get();
    }

    BOOL bPresent = FALSE;
    BOOL bDefaulted = FALSE;
    PACL pDacl = nullptr;
    if (!Acl().GetSecurityDescriptorDacl(m_pSd, &bPresent, &pDacl, &bDefaulted) || !bPresent)
        pDacl = nullptr;

    // The owner and group as read: the merge changes the DACL's entries in place, and where a
    // descriptor lays its parts over one another that would change them too.
    BYTE abOwner[kMaxSidSize];
    BYTE abGroup[kMaxSidSize];
    PSID pOwner = CopySid(acl::SdPartOf(m_pSd, acl::SdPart::kOwner), abOwner);
    PSID pGroup = CopySid(acl::SdPartOf(m_pSd, acl::SdPart::kGroup), abGroup);

    unique_hlocal newDacl;
    if (DWORD dwError = list.BuildDacl(pDacl, bInherit, &newDacl))
        return dwError;

    SECURITY_DESCRIPTOR sdNew {};
    sdNew.Revision = static_cast<const BYTE*>(m_pSd)[0];
    sdNew.Control = SE_DACL_PRESENT;
    sdNew.Owner = pOwner;
    sdNew.Group = pGroup;
    sdNew.Sacl = nullptr;
    sdNew.Dacl = static_cast<PACL>(newDacl.get());

    PSECURITY_DESCRIPTOR pOldSd = pInfo->shi502_security_descriptor;
    pInfo->shi502_security_descriptor = &sdNew;
    DWORD dwParmErr = 0;
    nStatus = NetShare().NetShareSetInfo(pwszServer, m_pwszShare, 502, m_info.get(), &dwParmErr);
    pInfo->shi502_security_descriptor = pOldSd;
    return nStatus;
}

DWORD GrantShareFullAccess(LPWSTR pwszShare, LPWSTR pwszServer, LPCWSTR pwszAccount, bool bInherit)
{
    static const WCHAR s_wszLocalSystem[] = {'.', 0};
    CTrusteeList list;
    if (DWORD dwError = list.Add(s_wszLocalSystem, pwszAccount, GENERIC_ALL))
        return dwError;
    CShareSecurity security(pwszShare);
    return security.Apply(pwszServer, list, bInherit);
}

}  // namespace qx
