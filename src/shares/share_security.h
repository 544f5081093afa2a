// One share's security descriptor, read from its server at level 502, merged with a trustee list and
// written back.
#pragma once

#include "platform/unique.h"
#include "shares/trustee.h"

namespace qx {

constexpr size_t kPermissionNameChars = 260;  // share and server, terminator included
constexpr size_t kPermissionAccountChars = 1024;  // account, terminator included

class CShareSecurity {
public:
    // pwszShare stays owned by the caller and must outlive the object.
    explicit CShareSecurity(LPWSTR pwszShare) : m_pwszShare(pwszShare) { }
    CShareSecurity(const CShareSecurity&) = delete;
    CShareSecurity& operator=(const CShareSecurity&) = delete;

    // Reads the share from pwszServer, builds its new DACL from the list (see CTrusteeList::BuildDacl)
    // and writes the share back with a descriptor that holds the new DACL and the old owner and group.
    // 0 when NetShareSetInfo took it; otherwise the first failure's code and nothing is written.
    DWORD Apply(LPWSTR pwszServer, CTrusteeList& list, bool bInherit);

private:
    unique_share_buffer m_info;  // the SHARE_INFO_502 record
    PSECURITY_DESCRIPTOR m_pSd = nullptr;
    unique_hlocal m_ownSd;  // the empty descriptor made when the share has none
    LPWSTR m_pwszShare;
};

// 0 when a self-relative descriptor of cbSd bytes, as NetShareGetInfo gives it at level 502 (its
// length in shi502_reserved), holds its owner, group and present DACL within those bytes, and each of
// the DACL's entries within the DACL; ERROR_INVALID_SECURITY_DESCR or ERROR_INVALID_DATA otherwise.
// The SACL is never read and not checked.
DWORD CheckDescriptorBounds(PSECURITY_DESCRIPTOR pSd, DWORD cbSd);

// Gives pwszAccount (looked up on ".") GENERIC_ALL on the share: 0 when the new descriptor was written.
DWORD GrantShareFullAccess(LPWSTR pwszShare, LPWSTR pwszServer, LPCWSTR pwszAccount, bool bInherit);

}  // namespace qx
