// Simulated security descriptors, access lists and SIDs: the advapi32 primitives over the Windows
// byte layouts, with the same results, bytes and last-error codes, plus byte-level helpers that the
// simulated share table and the tests use to build and read descriptors.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

class CSimAcl final : public IAcl {
public:
    explicit CSimAcl(CSimKernel& kernel) : m_kernel(kernel) { }

    BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, DWORD dwRevision) override;
    BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSd, LPBOOL pbDaclPresent, PACL* ppDacl,
                                   LPBOOL pbDaclDefaulted) override;
    BOOL InitializeAcl(PACL pAcl, DWORD cbAcl, DWORD dwRevision) override;
    // Inserts the entries before entry dwStartIndex (MAXDWORD or any index past the last: at the end).
    BOOL AddAce(PACL pAcl, DWORD dwRevision, DWORD dwStartIndex, LPVOID pAceList, DWORD cbAceList) override;
    DWORD GetLengthSid(PSID pSid) override;
    BOOL EqualSid(PSID pSid1, PSID pSid2) override;

private:
    CSimKernel& m_kernel;
};

// ---- byte-level helpers (no platform calls, no last error) ----

// A SID is valid with revision 1 and at most 15 sub-authorities.
bool IsValidSidBytes(const void* pSid);

// An access list whose revision is 2..4 and whose AceCount entries (each at least a 4-byte header,
// none of size 0) lie within AclSize.
bool IsWellFormedAcl(const ACL* pAcl);

// One access-control entry as bytes: header, mask, SID.
std::string MakeAce(BYTE nType, BYTE nFlags, ACCESS_MASK dwMask, const std::string& sid);
// An access list: header of revision nRevision, the entries in order, and cbSlack unused bytes (zero).
std::string MakeAcl(const std::vector<std::string>& aces, BYTE nRevision = ACL_REVISION, size_t cbSlack = 0);

// The parts of a descriptor. An empty owner or group is none; bDaclPresent with an empty dacl is a
// present but null DACL.
struct CSdParts {
    BYTE nRevision = SECURITY_DESCRIPTOR_REVISION;
    SECURITY_DESCRIPTOR_CONTROL wControl = 0;  // without SE_SELF_RELATIVE and SE_DACL_PRESENT
    std::string owner;
    std::string group;
    bool bDaclPresent = false;
    std::string dacl;
    bool bDaclFirst = false;  // lay the DACL out before the owner and group (as Windows often does)
};
// The self-relative descriptor of these parts.
std::string MakeSelfRelativeSd(const CSdParts& parts);
// The parts of a self-relative descriptor (false when it is not one or its offsets leave its bytes).
bool ReadSelfRelativeSd(const std::string& sd, CSdParts* pParts);
// The self-relative form of a descriptor given in either form, laid out owner, group, SACL, DACL.
// False when the descriptor is not revision 1, a SID is invalid or a present DACL or SACL is not
// well formed.
bool ToSelfRelativeSd(PSECURITY_DESCRIPTOR pSd, std::string* pBytes);

// One entry of an access list, read back.
struct CAceView {
    BYTE nType = 0;
    BYTE nFlags = 0;
    WORD nSize = 0;
    ACCESS_MASK dwMask = 0;
    std::string sid;
};
// The entries of a well-formed access list (empty when it is not well formed).
std::vector<CAceView> ReadAcl(const std::string& acl);

}  // namespace qx::sim
