// The byte layouts of SIDs, access lists, their entries and security descriptors, read and written
// without alignment assumptions. An access list is an 8-byte header (revision, filler, AclSize,
// AceCount, filler) and its entries, each next one at the previous one's start plus its size; an
// allowed or denied entry is type, flags, size, mask and the SID. The library's own readers: the
// simulated security primitives read the same layouts with code of their own.
#pragma once

#include <cstring>

#include "platform/win_types.h"

namespace qx::acl {

constexpr DWORD kAclHeaderSize = 8;
constexpr DWORD kAceHeaderSize = 4;  // type, flags, size
constexpr DWORD kAceFixedSize = 8;  // header and mask: the SID follows
constexpr DWORD kSidHeaderSize = 8;  // revision, sub-authority count, identifier authority

inline WORD ReadWord(const void* p)
{
    WORD w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline DWORD ReadDword(const void* p)
{
    DWORD dw;
    std::memcpy(&dw, p, sizeof dw);
    return dw;
}

inline void WriteWord(void* p, WORD w) { std::memcpy(p, &w, sizeof w); }

inline void WriteDword(void* p, DWORD dw) { std::memcpy(p, &dw, sizeof dw); }

// A SID's length from its sub-authority count (the second byte).
inline DWORD SidLength(const void* pSid)
{
    return kSidHeaderSize + 4 * static_cast<DWORD>(static_cast<const BYTE*>(pSid)[1]);
}

// The bytes that an access list's header and its AceCount entries take, walked in order within its
// AclSize; 0 when an entry's header or body runs past AclSize or the entry is shorter than cbMinAce,
// or, with bSidInside, when the SID that starts 8 bytes into an entry runs past that entry.
inline DWORD UsedAclBytes(const void* pAcl, DWORD cbMinAce, bool bSidInside)
{
    const BYTE* p = static_cast<const BYTE*>(pAcl);
    DWORD cbAcl = ReadWord(p + 2);
    if (cbAcl < kAclHeaderSize)
        return 0;
    DWORD nAt = kAclHeaderSize;
    for (WORD i = 0, n = ReadWord(p + 4); i < n; ++i) {
        if (nAt + kAceHeaderSize > cbAcl)
            return 0;
        DWORD cbAce = ReadWord(p + nAt + 2);
        if (cbAce < cbMinAce || cbAce < kAceHeaderSize || nAt + cbAce > cbAcl)
            return 0;
        if (bSidInside && (cbAce < kAceFixedSize + kSidHeaderSize || kAceFixedSize + SidLength(p + nAt + 8) > cbAce))
            return 0;
        nAt += cbAce;
    }
    return nAt;
}

// Writes an entry (type, flags, size, mask, then cbSid bytes of SID) at pAce; gives its size.
inline DWORD PutAce(void* pAce, BYTE nType, BYTE nFlags, ACCESS_MASK dwMask, const void* pSid, DWORD cbSid)
{
    BYTE* p = static_cast<BYTE*>(pAce);
    DWORD cbAce = kAceFixedSize + cbSid;
    p[0] = nType;
    p[1] = nFlags;
    WriteWord(p + 2, static_cast<WORD>(cbAce));
    WriteDword(p + 4, dwMask);
    std::memcpy(p + kAceFixedSize, pSid, cbSid);
    return cbAce;
}

// The parts of a descriptor, named by their offset fields in the self-relative form.
enum class SdPart : size_t { kOwner = 4, kGroup = 8, kSacl = 12, kDacl = 16 };

// Where a part of a descriptor in either form lies: in the self-relative form at the offset it
// records (0: none), in the absolute form where its pointer points. The control's present flags are
// not consulted.
inline BYTE* SdPartOf(PSECURITY_DESCRIPTOR pSd, SdPart part)
{
    BYTE* p = static_cast<BYTE*>(pSd);
    if (ReadWord(p + 2) & SE_SELF_RELATIVE) {
        DWORD dwOffset = ReadDword(p + static_cast<size_t>(part));
        return dwOffset != 0 ? p + dwOffset : nullptr;
    }
    const SECURITY_DESCRIPTOR* pAbsolute = static_cast<const SECURITY_DESCRIPTOR*>(pSd);
    switch (part) {
    case SdPart::kOwner:
        return static_cast<BYTE*>(pAbsolute->Owner);
    case SdPart::kGroup:
        return static_cast<BYTE*>(pAbsolute->Group);
    case SdPart::kSacl:
        return reinterpret_cast<BYTE*>(pAbsolute->Sacl);
    case SdPart::kDacl:
        return reinterpret_cast<BYTE*>(pAbsolute->Dacl);
    }
    return nullptr;
}

}  // namespace qx::acl
