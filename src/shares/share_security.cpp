#include "shares/share_security.h"

#include "platform/acl_bytes.h"

namespace qx {

DWORD CShareSecurity::Apply(LPWSTR pwszServer, CTrusteeList& list, bool bInherit)
{
    NET_API_STATUS nStatus = NetShare().NetShareGetInfo(pwszServer, m_pwszShare, 502, m_info.put());
    if (nStatus != NERR_Success)
        return nStatus;
    if (!m_info)
        return ERROR_INVALID_DATA;
    SHARE_INFO_502* pInfo = reinterpret_cast<SHARE_INFO_502*>(m_info.get());

    m_pSd = pInfo->shi502_security_descriptor;
    if (m_pSd == nullptr) {
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

    unique_hlocal newDacl;
    if (DWORD dwError = list.BuildDacl(pDacl, bInherit, &newDacl))
        return dwError;

    SECURITY_DESCRIPTOR sdNew {};
    sdNew.Revision = static_cast<const BYTE*>(m_pSd)[0];
    sdNew.Control = SE_DACL_PRESENT;
    sdNew.Owner = acl::SdPartOf(m_pSd, acl::SdPart::kOwner);
    sdNew.Group = acl::SdPartOf(m_pSd, acl::SdPart::kGroup);
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
