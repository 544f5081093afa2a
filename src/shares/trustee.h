// The access-list toolkit: accounts with the rights to merge into a discretionary access list.
//
// A CTrustee is one account, its SID looked up once by name. A CTrusteeList holds up to 64 of them
// (no two with the same SID) and builds a new DACL from a current one in three steps: a size pass
// that also merges each trustee's rights into the entries it already has (allowed entries gain them,
// denied entries lose them), the allocation, and a fill pass that copies the current entries in
// their order (dropping denied entries left with no rights) and appends one allowed entry for each
// trustee that had none. Every operation returns a Win32 code, 0 for success; ERROR_INVALID_DATA
// marks a DACL that cannot be merged.
#pragma once

#include <memory>

#include "platform/unique.h"

namespace qx {

constexpr int kMaxTrustees = 64;
constexpr size_t kAceBufferSize = 1024;  // a new entry is assembled here; a SID is at most 68 bytes

// Inheritance aspects that a trustee's allowed entries cover.
constexpr BYTE kCoversObject = 4;
constexpr BYTE kCoversContainers = CONTAINER_INHERIT_ACE;
constexpr BYTE kCoversObjects = OBJECT_INHERIT_ACE;
constexpr BYTE kCoversAll = kCoversObject | kCoversContainers | kCoversObjects;

class CTrustee {
public:
    // pwszSystemName and pwszAccountName stay owned by the caller and must outlive the trustee.
    CTrustee(LPCWSTR pwszSystemName, LPCWSTR pwszAccountName, ACCESS_MASK dwRights);

    // Looks the account's SID up (once; later calls keep it): a first LookupAccountNameW asks for the
    // sizes, a second fills the SID and the domain.
    DWORD ResolveSid();

    PSID Sid() const { return m_pSid.get(); }
    LPCWSTR Domain() const { return static_cast<LPCWSTR>(m_pwszDomain.get()); }
    ACCESS_MASK RequestedRights() const { return m_dwRequestedRights; }
    ACCESS_MASK CurrentRights() const { return m_dwCurrentRights; }
    BYTE AceType() const { return m_nAceType; }
    BYTE InheritCoverage() const { return m_nInheritCoverage; }

private:
    friend class CTrusteeList;

    unique_hlocal m_pSid;
    LPCWSTR m_pwszSystemName;
    LPCWSTR m_pwszAccountName;
    unique_hlocal m_pwszDomain;
    ACCESS_MASK m_dwRequestedRights;
    ACCESS_MASK m_dwCurrentRights;
    BYTE m_nAceType = ACCESS_ALLOWED_ACE_TYPE;
    BYTE m_nInheritCoverage = 0;
};

// 0 when every one of the DACL's AceCount entries lies within its AclSize and is at least as long as
// its header, mask and the SID that starts 8 bytes in; ERROR_INVALID_DATA otherwise.
DWORD CheckDaclBounds(const ACL* pDacl);

class CTrusteeList {
public:
    CTrusteeList() = default;
    CTrusteeList(const CTrusteeList&) = delete;
    CTrusteeList& operator=(const CTrusteeList&) = delete;

    // Adds an account with the rights to merge: ERROR_BUFFER_OVERFLOW when the list is full, the
    // lookup's code when the account cannot be resolved, ERROR_BAD_ARGUMENTS when its SID is listed.
    DWORD Add(LPCWSTR pwszSystemName, LPCWSTR pwszAccountName, ACCESS_MASK dwRights);

    int Count() const { return m_nCount; }
    const CTrustee& At(int nIndex) const { return *m_trustees[nIndex]; }

    // Builds the DACL that merges the list into pCurrentDacl (null: none) into *pNewDacl. With
    // bInherit the new entries are inheritable and a trustee's existing allowed entries must cover
    // the object, its containers and its objects. Entries of pCurrentDacl change in place.
    DWORD BuildDacl(PACL pCurrentDacl, bool bInherit, unique_hlocal* pNewDacl);

private:
    DWORD SizePass(PACL pCurrentDacl, bool bInherit, DWORD* pcbDacl);
    DWORD FillPass(PACL pCurrentDacl, bool bInherit, PACL pNewDacl);
    DWORD AppendNewEntry(PACL pNewDacl, const CTrustee& trustee, bool bInherit);

    std::unique_ptr<CTrustee> m_trustees[kMaxTrustees];
    int m_nCount = 0;
};

}  // namespace qx
