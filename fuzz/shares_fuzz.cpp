// The shares code over any bytes (the first byte picks the part): a share value read, a DACL merge and
// a share's whole descriptor, never past the bytes or buffers given; a failure leaves the share as it was.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/acl_bytes.h"
#include "qxinst.h"
#include "shares/share_path.h"
#include "shares/share_security.h"
#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"
#include "sim/sim_platform.h"
#include "sim/sim_text.h"

namespace {

using qx::acl::ReadWord;

const char* const kAccounts[][2] = {{"qxoperators", "S-1-5-21-3623811015-3361044348-30300820-1013"},
                                    {"Everyone", "S-1-1-0"},
                                    {"Administrators", "S-1-5-32-544"}};  // name, SID
const char* const kFaultCalls[] = {
    nullptr, "LocalAlloc", "AddAce", "InitializeAcl", "NetShareSetInfo", "GetSecurityDescriptorDacl", nullptr, nullptr};

// Two bytes give the share argument's length (mod 1100; NUL stands for 'A'), the rest is the value.
void FuzzShareValue(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    if (cb < 2)
        return;
    size_t cchArg = std::min<size_t>((pData[0] | (pData[1] << 8)) % 1100, cb - 2);
    std::string strArg(reinterpret_cast<const char*>(pData + 2), cchArg);
    std::replace(strArg.begin(), strArg.end(), '\0', 'A');
    std::string data(reinterpret_cast<const char*>(pData + 2 + cchArg), cb - 2 - cchArg);

    // The picker on a copy of exactly the data's size: the rest of the first entry that starts before
    // byte 256 and reads "PATH=" in capitals.
    std::vector<BYTE> copy(data.begin(), data.end());
    std::string strPicked;
    bool bFound = qx::GetPathFromShareValue(copy.data(), static_cast<DWORD>(data.size()), &strPicked);
    std::string strUpper = qx::sim::AnsiUpper(data);
    size_t nEntry = ('\0' + strUpper).find(std::string("\0PATH=", 6));  // at 0 or after a NUL
    Check(bFound == (nEntry < std::min(data.size(), qx::kShareValueScan)));
    Check(!bFound || strPicked == strUpper.substr(nEntry + 5, data.find('\0', nEntry) - nEntry - 5));

    // The export with caller buffers of exactly their documented sizes: the picked path, or nothing.
    bool bUnc = strArg.compare(0, 2, "\\\\") == 0;
    std::string strName = strArg;
    if (bUnc) {
        size_t nShare = std::min(strArg.find('\\', 2), strArg.size() - 1) + 1;
        strName = strArg.substr(nShare, strArg.find('\\', nShare) - nShare);
    }
    if (!(bUnc && strName.empty()))
        sim.m_registry.SetValue(qx::kSharesKey, strName, REG_MULTI_SZ, data);
    bool bRefused = strArg.size() >= qx::kShareArgChars;
    std::vector<char> share(strArg.c_str(), strArg.c_str() + strArg.size() + 1), path(qx::kSharePathBytes, 0x5A);
    int nResult = GetSharePath(share.data(), path.data());
    bool bSimple = !bUnc && !bRefused && !strName.empty() && data.size() <= qx::kShareValueBytes;
    Check(nResult == 1 ? bFound && !bRefused && data.size() <= qx::kShareValueBytes
                       : nResult == 3 && !(bSimple && bFound && strPicked.size() < 1024));
    size_t nWritten = nResult == 1 ? std::strlen(path.data()) + 1 : 0;
    Check(nWritten == 0 || std::string(path.data()).compare(0, strPicked.size(), strPicked) == 0);
    Check(std::count(path.begin() + nWritten, path.end(), 0x5A) + nWritten == path.size());
}

// Whether the entry is for the SID (which may leave room after it).
bool IsFor(const qx::sim::CAceView& ace, const std::string& sid) { return ace.sid.compare(0, sid.size(), sid) == 0; }

// The entries of the list (as the system reads it) for none of the SIDs that grant or deny something.
std::vector<std::string> Others(const std::string& dacl, const std::vector<std::string>& sids)
{
    std::vector<std::string> others;
    for (const qx::sim::CAceView& ace : qx::sim::ReadAcl(dacl))
        if (ace.dwMask != 0 && std::none_of(sids.begin(), sids.end(), [&](auto& sid) { return IsFor(ace, sid); }))
            others.push_back(qx::sim::MakeAce(ace.nType, ace.nFlags, ace.dwMask, ace.sid));
    return others;
}

// A flags byte (bit 0 inheritance; bit 1 two accounts; bits 2-3 the first; bit 4 which second; bits
// 5-7 a call to fail), the failing call's number, then the DACL, its AclSize cut to the bytes given.
void FuzzMerge(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    if (cb < 2 || cb > 0x8000)
        return;
    bool bInherit = pData[0] & 1;
    size_t nFirst = ((pData[0] >> 2) & 3) % 3;
    std::vector<size_t> accounts = {nFirst};
    if (pData[0] & 2)
        accounts.push_back((nFirst + ((pData[0] & 0x10) ? 2 : 1)) % 3);
    const char* pszFault = kFaultCalls[pData[0] >> 5];
    std::string dacl(reinterpret_cast<const char*>(pData + 2), cb - 2);
    if (dacl.size() >= 8) {
        size_t cbClaimed = ReadWord(&dacl[2]);
        if (cbClaimed > dacl.size())
            qx::acl::WriteWord(&dacl[2], static_cast<WORD>(dacl.size()));
        else
            dacl.resize(std::max<size_t>(cbClaimed, 8));
    }

    // The descriptor ends with the list, so that a read past the list is a read past the record.
    std::string sd;
    if (!dacl.empty())
        sd = qx::sim::MakeSelfRelativeSd({SECURITY_DESCRIPTOR_REVISION, 0, qx::sim::SidFromString("S-1-5-32-544"),
                                          qx::sim::SidFromString("S-1-5-18"), true,
                                          dacl.size() >= 8 ? dacl : std::string()});
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);
    static WCHAR s_wszLocal[] = {'.', 0};
    WCHAR wszShare[] = {'D', 'A', 'T', 'A', 0}, wszServer[] = {0};
    qx::CTrusteeList list;
    std::vector<std::string> sids;
    for (size_t n : accounts) {
        std::vector<WCHAR> name(kAccounts[n][0], kAccounts[n][0] + std::strlen(kAccounts[n][0]) + 1);
        Check(list.Add(s_wszLocal, name.data(), GENERIC_ALL) == 0);
        sids.push_back(qx::sim::SidFromString(kAccounts[n][1]));
    }
    int nFaultNth = 1 + pData[1] % 4, nCallsBefore = pszFault != nullptr ? sim.m_kernel.Calls(pszFault) : 0;
    if (pszFault != nullptr)
        sim.m_kernel.FailCall(pszFault, ERROR_NOT_ENOUGH_MEMORY, nFaultNth);
    DWORD dwResult = qx::CShareSecurity(wszShare).Apply(wszServer, list, bInherit);
    bool bFired = pszFault != nullptr && sim.m_kernel.Calls(pszFault) - nCallsBefore >= nFaultNth;
    sim.m_kernel.ClearFaults();  // a fault the merge did not reach goes with it
    const std::string stored = sim.m_netShare.FindShare("", "DATA")->sd;
    std::string read = dacl;  // the list as the merge reads it: its own revision is no concern of the merge
    if (read.size() >= 8)
        read[0] = ACL_REVISION;
    bool bWellFormed = read.size() < 8 || qx::sim::IsWellFormedAcl(reinterpret_cast<const ACL*>(read.data()));
    bool bDaclFailed = bFired && std::string(pszFault) == "GetSecurityDescriptorDacl";
    Check(bFired && !bDaclFailed
              ? dwResult != 0
              : dwResult == 0 || dwResult == ERROR_INVALID_DATA || dwResult == ERROR_INVALID_PARAMETER);
    Check(bWellFormed || bFired || dwResult == ERROR_INVALID_DATA);
    if (dwResult != 0) {
        Check(stored == sd);
        return;
    }
    // Well formed, of its stated size, owner and group kept, the accounts allowed, the rest kept in order.
    qx::sim::CSdParts parts, before, again;
    Check(qx::sim::ReadSelfRelativeSd(stored, &parts) && parts.bDaclPresent && parts.dacl.size() >= 8);
    Check(sd.empty()
              ? parts.owner.empty() && parts.group.empty()
              : qx::sim::ReadSelfRelativeSd(sd, &before) && parts.owner == before.owner && parts.group == before.group);
    Check(parts.wControl == 0 && ReadWord(&parts.dacl[2]) == parts.dacl.size() &&
          qx::sim::IsWellFormedAcl(reinterpret_cast<const ACL*>(parts.dacl.data())));
    for (const std::string& sid : sids) {
        bool bAllowed = false;
        for (const qx::sim::CAceView& ace : qx::sim::ReadAcl(parts.dacl)) {
            bAllowed =
                bAllowed || (IsFor(ace, sid) && ace.nType == ACCESS_ALLOWED_ACE_TYPE && (ace.dwMask & GENERIC_ALL));
            Check(ace.dwMask != 0 &&
                  !(IsFor(ace, sid) && ace.nType == ACCESS_DENIED_ACE_TYPE && (ace.dwMask & GENERIC_ALL)));
        }
        Check(bAllowed);
    }
    Check(bDaclFailed || dacl.size() < 8 || Others(parts.dacl, sids) == Others(read, sids));
    Check(qx::CShareSecurity(wszShare).Apply(wszServer, list, bInherit) == 0 &&  // again: the same entries
          qx::sim::ReadSelfRelativeSd(sim.m_netShare.FindShare("", "DATA")->sd, &again) &&
          Others(again.dacl, {}) == Others(parts.dacl, {}));
}

// A flags byte (bit 0 mode 1; bit 1 Everyone rather than qxoperators), then the share's descriptor as
// NetShareGetInfo gives it back: one written keeps its owner and group and gives the account its entry.
void FuzzDescriptor(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    if (cb < 1 || cb > 0x10000)
        return;
    std::string sd(reinterpret_cast<const char*>(pData + 1), cb - 1);
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);
    const char* const* pAccount = kAccounts[(pData[0] >> 1) & 1];
    QXBOOL bResult = SetSharePermissions("DATA", pData[0] & 1, "", "", pAccount[0]);
    const std::string& stored = sim.m_netShare.FindShare("", "DATA")->sd;
    qx::sim::CSdParts parts, before;
    if (bResult != 1)
        return Check(stored == sd);
    Check(qx::sim::ReadSelfRelativeSd(stored, &parts) && parts.bDaclPresent &&
          (sd.empty() ||
           (qx::sim::ReadSelfRelativeSd(sd, &before) && parts.owner == before.owner && parts.group == before.group)));
    bool bAllowed = false;
    for (const qx::sim::CAceView& ace : qx::sim::ReadAcl(parts.dacl))
        if (IsFor(ace, qx::sim::SidFromString(pAccount[1])) && (ace.dwMask & GENERIC_ALL)) {
            Check(ace.nType != ACCESS_DENIED_ACE_TYPE);
            bAllowed = bAllowed || ace.nType == ACCESS_ALLOWED_ACE_TYPE;
        }
    Check(bAllowed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    for (const auto& account : kAccounts)
        sim.m_lsa.AddAccount("", account[0], account[1]);
    void (*const kTargets[])(qx::sim::CSimPlatform&, const uint8_t*, size_t) = {FuzzShareValue, FuzzMerge,
                                                                                FuzzDescriptor};
    kTargets[pData[0] % 3](sim, pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
