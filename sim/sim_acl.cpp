#include "sim/sim_acl.h"

#include <cstring>

namespace qx::sim {

namespace {

// The byte layouts as Windows documents them, read here on their own (the library has its own
// readers: the two are never the same code). Fields are little-endian and may be unaligned.
constexpr size_t kAclHeaderSize = 8;  // revision, filler, AclSize, AceCount, filler
constexpr size_t kAceHeaderSize = 4;  // type, flags, size
constexpr size_t kRelativeHeader = 20;  // SECURITY_DESCRIPTOR_RELATIVE

WORD ReadWord(const void* p)
{
    const BYTE* pb = static_cast<const BYTE*>(p);
    return static_cast<WORD>(pb[0] | (pb[1] << 8));
}

DWORD ReadDword(const void* p)
{
    const BYTE* pb = static_cast<const BYTE*>(p);
    return pb[0] | (pb[1] << 8) | (pb[2] << 16) | (static_cast<DWORD>(pb[3]) << 24);
}

void WriteWord(void* p, WORD w)
{
    BYTE* pb = static_cast<BYTE*>(p);
    pb[0] = static_cast<BYTE>(w);
    pb[1] = static_cast<BYTE>(w >> 8);
}

void WriteDword(void* p, DWORD dw)
{
    WriteWord(p, static_cast<WORD>(dw));
    WriteWord(static_cast<BYTE*>(p) + 2, static_cast<WORD>(dw >> 16));
}

void PutWord(std::string* pBytes, size_t nAt, WORD w) { WriteWord(&(*pBytes)[nAt], w); }

void PutDword(std::string* pBytes, size_t nAt, DWORD dw) { WriteDword(&(*pBytes)[nAt], dw); }

// A SID's length: its 8-byte header and 4 bytes per sub-authority (the count is its second byte).
DWORD SidLength(const void* pSid) { return 8 + 4 * static_cast<DWORD>(static_cast<const BYTE*>(pSid)[1]); }

// The bytes an access list's header and AceCount entries take within its AclSize, each entry at
// least a header long; 0 when one does not fit.
size_t UsedAclBytes(const BYTE* pAcl)
{
    size_t cbAcl = ReadWord(pAcl + 2);
    size_t nAt = kAclHeaderSize;
    if (cbAcl < kAclHeaderSize)
        return 0;
    for (size_t i = 0, n = ReadWord(pAcl + 4); i < n; ++i) {
        if (nAt + kAceHeaderSize > cbAcl)
            return 0;
        size_t cbAce = ReadWord(pAcl + nAt + 2);
        if (cbAce < kAceHeaderSize || nAt + cbAce > cbAcl)
            return 0;
        nAt += cbAce;
    }
    return nAt;
}

// A part of a descriptor in either form (the offset field of the self-relative form names it).
const BYTE* PartOf(PSECURITY_DESCRIPTOR pSd, size_t nOffsetField)
{
    const BYTE* p = static_cast<const BYTE*>(pSd);
    if (ReadWord(p + 2) & SE_SELF_RELATIVE) {
        DWORD dwOffset = ReadDword(p + nOffsetField);
        return dwOffset != 0 ? p + dwOffset : nullptr;
    }
    const SECURITY_DESCRIPTOR* pAbsolute = static_cast<const SECURITY_DESCRIPTOR*>(pSd);
    switch (nOffsetField) {
    case 4:
        return static_cast<const BYTE*>(pAbsolute->Owner);
    case 8:
        return static_cast<const BYTE*>(pAbsolute->Group);
    case 12:
        return reinterpret_cast<const BYTE*>(pAbsolute->Sacl);
    default:
        return reinterpret_cast<const BYTE*>(pAbsolute->Dacl);
    }
}

}  // namespace

// ---- the primitives ----

BOOL CSimAcl::InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, DWORD dwRevision)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("InitializeSecurityDescriptor", &dwError))
        return m_kernel.Fail(dwError);
    if (dwRevision != SECURITY_DESCRIPTOR_REVISION)
        return m_kernel.Fail(ERROR_UNKNOWN_REVISION);
    std::memset(pSd, 0, sizeof(SECURITY_DESCRIPTOR));
    static_cast<BYTE*>(pSd)[0] = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL CSimAcl::GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSd, LPBOOL pbDaclPresent, PACL* ppDacl,
                                        LPBOOL pbDaclDefaulted)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetSecurityDescriptorDacl", &dwError))
        return m_kernel.Fail(dwError);
    if (static_cast<const BYTE*>(pSd)[0] != SECURITY_DESCRIPTOR_REVISION)
        return m_kernel.Fail(ERROR_UNKNOWN_REVISION);
    WORD wControl = ReadWord(static_cast<const BYTE*>(pSd) + 2);
    *pbDaclPresent = (wControl & SE_DACL_PRESENT) ? TRUE : FALSE;
    if (!(wControl & SE_DACL_PRESENT)) {
        *ppDacl = nullptr;
        *pbDaclDefaulted = FALSE;
        return TRUE;
    }
    *ppDacl = reinterpret_cast<PACL>(const_cast<BYTE*>(PartOf(pSd, 16)));
    *pbDaclDefaulted = (wControl & SE_DACL_DEFAULTED) ? TRUE : FALSE;
    return TRUE;
}

BOOL CSimAcl::InitializeAcl(PACL pAcl, DWORD cbAcl, DWORD dwRevision)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("InitializeAcl", &dwError))
        return m_kernel.Fail(dwError);
    if (dwRevision < MIN_ACL_REVISION || dwRevision > MAX_ACL_REVISION)
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    if (cbAcl < kAclHeaderSize)
        return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
    if (cbAcl > 0xFFFF)
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    BYTE* p = reinterpret_cast<BYTE*>(pAcl);
    std::memset(p, 0, kAclHeaderSize);
    p[0] = static_cast<BYTE>(dwRevision);
    WriteWord(p + 2, static_cast<WORD>(cbAcl));
    return TRUE;
}

BOOL CSimAcl::AddAce(PACL pAcl, DWORD dwRevision, DWORD dwStartIndex, LPVOID pAceList, DWORD cbAceList)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("AddAce", &dwError))
        return m_kernel.Fail(dwError);
    BYTE* p = reinterpret_cast<BYTE*>(pAcl);
    if (!IsWellFormedAcl(pAcl))
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    BYTE* pFree = p + UsedAclBytes(p);
    // Count the entries of the list.
    const BYTE* pList = static_cast<const BYTE*>(pAceList);
    WORD nNew = 0;
    for (DWORD nAt = 0; nAt < cbAceList; ++nNew) {
        WORD wSize = ReadWord(pList + nAt + 2);
        if (wSize == 0)
            return m_kernel.Fail(ERROR_INVALID_PARAMETER);
        nAt += wSize;
    }
    WORD wAclSize = ReadWord(p + 2);
    size_t cbUsed = static_cast<size_t>(pFree - p);
    if (cbUsed + cbAceList > wAclSize)
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    // Find the insertion point: before entry dwStartIndex, or at the end.
    WORD nCount = ReadWord(p + 4);
    BYTE* pAt = p + kAclHeaderSize;
    for (DWORD i = 0; i < dwStartIndex && i < nCount; ++i)
        pAt += ReadWord(pAt + 2);
    std::memmove(pAt + cbAceList, pAt, static_cast<size_t>(pFree - pAt));
    std::memcpy(pAt, pList, cbAceList);
    WriteWord(p + 4, static_cast<WORD>(nCount + nNew));
    if (dwRevision > p[0])
        p[0] = static_cast<BYTE>(dwRevision);
    return TRUE;
}

DWORD CSimAcl::GetLengthSid(PSID pSid) { return pSid == nullptr ? 0 : SidLength(pSid); }

BOOL CSimAcl::EqualSid(PSID pSid1, PSID pSid2)
{
    m_kernel.m_dwLastError = ERROR_SUCCESS;
    if (!IsValidSidBytes(pSid1) || !IsValidSidBytes(pSid2))
        return FALSE;
    DWORD cb = SidLength(pSid1);
    return cb == SidLength(pSid2) && std::memcmp(pSid1, pSid2, cb) == 0;
}

// ---- byte-level helpers ----

bool IsValidSidBytes(const void* pSid)
{
    const BYTE* p = static_cast<const BYTE*>(pSid);
    return p != nullptr && p[0] == SID_REVISION && p[1] <= SID_MAX_SUB_AUTHORITIES;
}

bool IsWellFormedAcl(const ACL* pAcl)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(pAcl);
    return p != nullptr && p[0] >= MIN_ACL_REVISION && p[0] <= MAX_ACL_REVISION && UsedAclBytes(p) != 0;
}

std::string MakeAce(BYTE nType, BYTE nFlags, ACCESS_MASK dwMask, const std::string& sid)
{
    std::string ace(8 + sid.size(), '\0');
    ace[0] = static_cast<char>(nType);
    ace[1] = static_cast<char>(nFlags);
    PutWord(&ace, 2, static_cast<WORD>(ace.size()));
    PutDword(&ace, 4, dwMask);
    ace.replace(8, sid.size(), sid);
    return ace;
}

std::string MakeAcl(const std::vector<std::string>& aces, BYTE nRevision, size_t cbSlack)
{
    std::string acl(kAclHeaderSize, '\0');
    for (const std::string& ace : aces)
        acl += ace;
    acl.append(cbSlack, '\0');
    acl[0] = static_cast<char>(nRevision);
    PutWord(&acl, 2, static_cast<WORD>(acl.size()));
    PutWord(&acl, 4, static_cast<WORD>(aces.size()));
    return acl;
}

std::string MakeSelfRelativeSd(const CSdParts& parts)
{
    std::string sd(kRelativeHeader, '\0');
    sd[0] = static_cast<char>(parts.nRevision);
    WORD wControl = static_cast<WORD>(parts.wControl | SE_SELF_RELATIVE | (parts.bDaclPresent ? SE_DACL_PRESENT : 0));
    PutWord(&sd, 2, wControl);
    auto place = [&sd](const std::string& part, size_t nOffsetField) {
        if (part.empty())
            return;
        PutDword(&sd, nOffsetField, static_cast<DWORD>(sd.size()));
        sd += part;
    };
    if (parts.bDaclFirst && parts.bDaclPresent)
        place(parts.dacl, 16);
    place(parts.owner, 4);
    place(parts.group, 8);
    if (!parts.bDaclFirst && parts.bDaclPresent)
        place(parts.dacl, 16);
    return sd;
}

bool ReadSelfRelativeSd(const std::string& sd, CSdParts* pParts)
{
    if (sd.size() < kRelativeHeader)
        return false;
    const BYTE* p = reinterpret_cast<const BYTE*>(sd.data());
    WORD wControl = ReadWord(p + 2);
    if (!(wControl & SE_SELF_RELATIVE))
        return false;
    CSdParts parts;
    parts.nRevision = p[0];
    parts.wControl = static_cast<SECURITY_DESCRIPTOR_CONTROL>(wControl & ~(SE_SELF_RELATIVE | SE_DACL_PRESENT));
    parts.bDaclPresent = (wControl & SE_DACL_PRESENT) != 0;
    auto sid = [&](size_t nField, std::string* pOut) {
        DWORD dwOffset = ReadDword(p + nField);
        if (dwOffset == 0)
            return true;
        if (dwOffset + 8 > sd.size() || dwOffset + SidLength(p + dwOffset) > sd.size())
            return false;
        pOut->assign(sd, dwOffset, SidLength(p + dwOffset));
        return true;
    };
    if (!sid(4, &parts.owner) || !sid(8, &parts.group))
        return false;
    DWORD dwDacl = ReadDword(p + 16);
    if (parts.bDaclPresent && dwDacl != 0) {
        if (dwDacl + kAclHeaderSize > sd.size() || dwDacl + ReadWord(p + dwDacl + 2) > sd.size())
            return false;
        parts.dacl.assign(sd, dwDacl, ReadWord(p + dwDacl + 2));
    }
    *pParts = parts;
    return true;
}

bool ToSelfRelativeSd(PSECURITY_DESCRIPTOR pSd, std::string* pBytes)
{
    const BYTE* p = static_cast<const BYTE*>(pSd);
    if (p == nullptr || p[0] != SECURITY_DESCRIPTOR_REVISION)
        return false;
    WORD wControl = ReadWord(p + 2);
    const BYTE* pOwner = PartOf(pSd, 4);
    const BYTE* pGroup = PartOf(pSd, 8);
    const BYTE* pSacl = PartOf(pSd, 12);
    const BYTE* pDacl = PartOf(pSd, 16);
    if (!(wControl & SE_SACL_PRESENT))
        pSacl = nullptr;
    if (!(wControl & SE_DACL_PRESENT))
        pDacl = nullptr;
    if ((pOwner != nullptr && !IsValidSidBytes(pOwner)) || (pGroup != nullptr && !IsValidSidBytes(pGroup)))
        return false;
    if ((pSacl != nullptr && !IsWellFormedAcl(reinterpret_cast<const ACL*>(pSacl))) ||
        (pDacl != nullptr && !IsWellFormedAcl(reinterpret_cast<const ACL*>(pDacl))))
        return false;
    std::string sd(kRelativeHeader, '\0');
    sd[0] = static_cast<char>(p[0]);
    PutWord(&sd, 2, static_cast<WORD>(wControl | SE_SELF_RELATIVE));
    auto place = [&sd](const BYTE* pPart, size_t cb, size_t nField) {
        if (pPart == nullptr)
            return;
        PutDword(&sd, nField, static_cast<DWORD>(sd.size()));
        sd.append(reinterpret_cast<const char*>(pPart), cb);
    };
    place(pOwner, pOwner ? SidLength(pOwner) : 0, 4);
    place(pGroup, pGroup ? SidLength(pGroup) : 0, 8);
    place(pSacl, pSacl ? ReadWord(pSacl + 2) : 0, 12);
    place(pDacl, pDacl ? ReadWord(pDacl + 2) : 0, 16);
    *pBytes = sd;
    return true;
}

std::vector<CAceView> ReadAcl(const std::string& acl)
{
    std::vector<CAceView> aces;
    if (acl.size() < kAclHeaderSize)
        return aces;
    const BYTE* p = reinterpret_cast<const BYTE*>(acl.data());
    if (ReadWord(p + 2) > acl.size() || !IsWellFormedAcl(reinterpret_cast<const ACL*>(p)))
        return aces;
    size_t nAt = kAclHeaderSize;
    for (WORD i = 0, n = ReadWord(p + 4); i < n; ++i) {
        CAceView ace;
        ace.nType = p[nAt];
        ace.nFlags = p[nAt + 1];
        ace.nSize = ReadWord(p + nAt + 2);
        if (ace.nSize >= 8)
            ace.dwMask = ReadDword(p + nAt + 4);
        if (ace.nSize > 8)
            ace.sid.assign(acl, nAt + 8, ace.nSize - 8u);
        aces.push_back(ace);
        nAt += ace.nSize;
    }
    return aces;
}

}  // namespace qx::sim
