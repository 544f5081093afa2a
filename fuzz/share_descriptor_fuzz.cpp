// SetSharePermissions on a share whose server hands back any bytes as its security descriptor, of any
// length. Nothing is read outside the descriptor (it ends the network buffer, so ASan sees any read
// past it); a descriptor whose owner, group or present DACL, or one of the DACL's entries, does not
// lie within its bytes gives 0 with nothing written; a descriptor written back keeps the owner and
// group read. Nothing is left held afterwards.
//
// Input: a flags byte (bit 0: mode 1, inheritable; bit 1: the account is Everyone rather than
// qxoperators), then the descriptor's bytes (none: a share with default security).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qxinst.h"
#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"
#include "sim/sim_platform.h"

namespace {

void Require(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

DWORD Dword(const std::string& bytes, size_t nAt)
{
    DWORD dw = 0;
    std::memcpy(&dw, bytes.data() + nAt, sizeof dw);
    return dw;
}

WORD Word(const std::string& bytes, size_t nAt)
{
    WORD w = 0;
    std::memcpy(&w, bytes.data() + nAt, sizeof w);
    return w;
}

// The SID at an offset of the descriptor ("" for none); false when it does not lie within it.
bool SidAt(const std::string& sd, size_t nOffset, std::string* pSid)
{
    pSid->clear();
    if (nOffset == 0)
        return true;
    if (nOffset < 20 || nOffset + 8 > sd.size() || sd[nOffset] != 1 || static_cast<BYTE>(sd[nOffset + 1]) > 15)
        return false;
    size_t cbSid = 8 + 4 * static_cast<size_t>(static_cast<BYTE>(sd[nOffset + 1]));
    if (nOffset + cbSid > sd.size())
        return false;
    *pSid = sd.substr(nOffset, cbSid);
    return true;
}

// Whether every part that is read lies within the descriptor, with its owner and group.
bool WithinItself(const std::string& sd, std::string* pOwner, std::string* pGroup)
{
    if (sd.size() < 20 || sd[0] != 1 || !(Word(sd, 2) & SE_SELF_RELATIVE))
        return false;
    if (!SidAt(sd, Dword(sd, 4), pOwner) || !SidAt(sd, Dword(sd, 8), pGroup))
        return false;
    size_t nDacl = Dword(sd, 16);
    if (!(Word(sd, 2) & SE_DACL_PRESENT) || nDacl == 0)
        return true;
    if (nDacl < 20 || nDacl + 8 > sd.size() || nDacl + Word(sd, nDacl + 2) > sd.size())
        return false;
    size_t nEnd = nDacl + Word(sd, nDacl + 2);
    size_t nAt = nDacl + 8;
    for (size_t i = 0, n = Word(sd, nDacl + 4); i < n; ++i) {
        if (nAt + 4 > nEnd)
            return false;
        size_t cbAce = Word(sd, nAt + 2);
        if (cbAce < 16 || nAt + cbAce > nEnd || 16 + 4 * static_cast<size_t>(static_cast<BYTE>(sd[nAt + 9])) > cbAce)
            return false;
        nAt += cbAce;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1 || cb > 0x10000)
        return 0;
    int nMode = pData[0] & 1;
    const char* pszAccount = (pData[0] & 2) ? "Everyone" : "qxoperators";
    std::string sd(reinterpret_cast<const char*>(pData + 1), cb - 1);

    qx::sim::CSimPlatform sim;
    sim.m_lsa.AddAccount("", "qxoperators", "S-1-5-21-3623811015-3361044348-30300820-1013");
    sim.m_lsa.AddAccount("", "Everyone", "S-1-1-0");
    sim.m_files.AddFolder("C:\\Data");
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);

    QXBOOL bResult = SetSharePermissions("DATA", nMode, "", "", pszAccount);
    const std::string& stored = sim.m_netShare.FindShare("", "DATA")->sd;
    std::string owner;
    std::string group;
    bool bWithin = sd.empty() || WithinItself(sd, &owner, &group);
    if (!bWithin) {
        Require(bResult == 0 && stored == sd);
        Require(sim.m_kernel.Calls("NetShareSetInfo") == 0);
    }
    if (bResult == 1) {
        qx::sim::CSdParts parts;
        Require(bWithin && qx::sim::ReadSelfRelativeSd(stored, &parts));
        Require(parts.owner == owner && parts.group == group && parts.bDaclPresent);
    } else {
        Require(stored == sd);
    }
    Require(sim.Clean());
    return 0;
}
