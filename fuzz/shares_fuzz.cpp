// The shares code over any bytes; the first byte picks what is fuzzed, the rest is its input.
// 0, a share value: two bytes (little endian) give the length of the share argument (modulo 1100,
//    so that arguments of 1024 characters and more occur), then the argument (NUL stands for 'A'),
//    then the value's data. GetPathFromShareValue reads only the data it is given, and GetSharePath
//    writes exactly what the path-entry rules give, within the caller's 1024 bytes, nothing else.
// 1, a descriptor: a flags byte (bit 0 mode 1; bit 1 Everyone rather than qxoperators), then the
//    bytes the server hands back as the share's descriptor (none: default security). Nothing is read
//    outside it; one whose owner, group, DACL or an entry does not lie within it gives 0 with nothing
//    written; one written back keeps the owner and group read.
// 2, a DACL merge: a flags byte (bit 0 inheritance; bit 1 two accounts; bits 2-3 the first; bit 4
//    which second; bits 5-7 a call to fail), a byte choosing which call of it fails, then the DACL:
//    none gives default security, 1 to 7 bytes a null DACL, more the list (its AclSize cut to the
//    bytes given). A list whose entries do not lie within it is refused with 13 without a read past
//    it; one that cannot be merged, or a failed step, leaves the share as it was; a merged list keeps
//    every other entry in its order, gives the accounts GENERIC_ALL and is well formed, of the size
//    the merge computed.
// Each leaves nothing held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/acl_bytes.h"
#include "qxinst.h"
#include "shares/share_path.h"
#include "shares/share_security.h"
#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"
#include "sim/sim_platform.h"
#include "sim/sim_text.h"

namespace {

using qx::acl::ReadDword;
using qx::acl::ReadWord;

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

struct CAccount {
    const char* pszName;
    const WCHAR* pwszName;
    const char* pszSid;
};
const CAccount kAccounts[] = {{"qxoperators", L"qxoperators", "S-1-5-21-3623811015-3361044348-30300820-1013"},
                              {"Everyone", L"Everyone", "S-1-1-0"},
                              {"Administrators", L"Administrators", "S-1-5-32-544"}};
const char* const kFaultCalls[] = {
    nullptr, "LocalAlloc", "AddAce", "InitializeAcl", "NetShareSetInfo", "GetSecurityDescriptorDacl", nullptr, nullptr};

// ---- share values ----

// The first entry that starts before byte 256 (at the start, or after a NUL, with a byte other than
// NUL) and reads "PATH=" in capitals gives the rest of that entry, in capitals.
bool ExpectedPath(const std::string& data, std::string* pstrPath)
{
    for (size_t i = 0; i < data.size() && i < qx::kShareValueScan; ++i) {
        if (i > 0 && !(data[i - 1] == '\0' && data[i] != '\0'))
            continue;
        std::string strEntry = qx::sim::AnsiUpper(data.substr(i, data.find('\0', i) - i));
        if (strEntry.compare(0, 5, "PATH=") == 0) {
            *pstrPath = strEntry.substr(5);
            return true;
        }
    }
    return false;
}

void FuzzShareValue(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    if (cb < 2)
        return;
    size_t cchArg = std::min<size_t>((pData[0] | (pData[1] << 8)) % 1100, cb - 2);
    std::string strArg(reinterpret_cast<const char*>(pData + 2), cchArg);
    for (char& c : strArg)
        c = c == '\0' ? 'A' : c;
    std::string data(reinterpret_cast<const char*>(pData + 2 + cchArg), cb - 2 - cchArg);

    // The picker alone, on a copy of exactly the data's size: any read past it is caught.
    std::string strExpected;
    bool bExpected = ExpectedPath(data, &strExpected);
    std::unique_ptr<BYTE[]> copy(new BYTE[data.size() + 1]);
    std::memcpy(copy.get(), data.data(), data.size());
    std::string strPath = "unset";
    bool bFound = qx::GetPathFromShareValue(copy.get(), static_cast<DWORD>(data.size()), &strPath);
    Check(bFound == bExpected && (!bFound || strPath == strExpected));

    // The export: the share name and the rest of a UNC argument, and the outcome the rules give.
    std::string strName = strArg;
    std::string strRest;
    bool bUnc = strArg.compare(0, 2, "\\\\") == 0;
    if (bUnc) {
        size_t nServerEnd = strArg.find('\\', 2);
        size_t nShare = nServerEnd == std::string::npos ? strArg.size() : nServerEnd + 1;
        size_t nShareEnd = std::min(strArg.find('\\', nShare), strArg.size());
        strName = strArg.substr(nShare, nShareEnd - nShare);
        strRest = strArg.substr(nShareEnd);
    }
    if (!(bUnc && strName.empty()))
        sim.m_registry.SetValue(qx::kSharesKey, strName, REG_MULTI_SZ, data);
    bool bRefused = strArg.size() >= qx::kShareArgChars;
    std::string strOut = strExpected + strRest;
    bool bDone = !bRefused && !(bUnc && strName.empty()) && data.size() <= qx::kShareValueBytes && bExpected &&
                 strOut.size() < qx::kSharePathBytes;

    // Caller buffers of exactly the documented sizes, so that any write past them is caught.
    std::unique_ptr<char[]> share(new char[strArg.size() + 1]);
    std::memcpy(share.get(), strArg.c_str(), strArg.size() + 1);
    std::unique_ptr<char[]> path(new char[qx::kSharePathBytes]);
    std::memset(path.get(), 0x5A, qx::kSharePathBytes);
    Check(GetSharePath(share.get(), path.get()) == (bDone ? 1 : 3));
    Check(std::string(share.get()) == (bRefused ? strArg : strName));
    size_t nWritten = bDone ? strOut.size() + 1 : 0;
    Check(!bDone || std::memcmp(path.get(), strOut.c_str(), nWritten) == 0);
    for (size_t i = nWritten; i < qx::kSharePathBytes; ++i)
        Check(path[i] == 0x5A);
}

// ---- descriptors and their lists ----

struct CEntry {
    BYTE nType;
    BYTE nFlags;
    ACCESS_MASK dwMask;
    std::string sid;  // the SID's bytes (its length from its sub-authority count)
    std::string bytes;  // the whole entry
};

// The entries of a list (at least 8 bytes), walked within its AclSize on their own terms; false
// when the list or one of its entries does not fit.
bool ParseList(const std::string& dacl, std::vector<CEntry>* pEntries)
{
    size_t cbList = ReadWord(&dacl[2]);
    if (cbList < 8 || cbList > dacl.size())
        return false;
    size_t nAt = 8;
    for (size_t i = 0, n = ReadWord(&dacl[4]); i < n; ++i) {
        if (nAt + 4 > cbList)
            return false;
        size_t cbAce = ReadWord(&dacl[nAt + 2]);
        if (cbAce < 16 || nAt + cbAce > cbList ||
            16 + 4 * static_cast<size_t>(static_cast<BYTE>(dacl[nAt + 9])) > cbAce)
            return false;
        size_t cbSid = 8 + 4 * static_cast<size_t>(static_cast<BYTE>(dacl[nAt + 9]));
        pEntries->push_back({static_cast<BYTE>(dacl[nAt]), static_cast<BYTE>(dacl[nAt + 1]), ReadDword(&dacl[nAt + 4]),
                             dacl.substr(nAt + 8, cbSid), dacl.substr(nAt, cbAce)});
        nAt += cbAce;
    }
    return true;
}

// The SID at an offset of the descriptor ("" for none); false when it does not lie within it.
bool SidAt(const std::string& sd, size_t nOffset, std::string* pSid)
{
    if (nOffset == 0)
        return true;
    if (nOffset < 20 || nOffset + 8 > sd.size() || sd[nOffset] != 1 || static_cast<BYTE>(sd[nOffset + 1]) > 15)
        return false;
    size_t cbSid = 8 + 4 * static_cast<size_t>(static_cast<BYTE>(sd[nOffset + 1]));
    *pSid = sd.substr(nOffset, cbSid);
    return nOffset + cbSid <= sd.size();
}

// Whether every part that is read lies within the descriptor, with its owner and group.
bool WithinItself(const std::string& sd, std::string* pOwner, std::string* pGroup)
{
    if (sd.size() < 20 || sd[0] != 1 || !(ReadWord(&sd[2]) & SE_SELF_RELATIVE))
        return false;
    if (!SidAt(sd, ReadDword(&sd[4]), pOwner) || !SidAt(sd, ReadDword(&sd[8]), pGroup))
        return false;
    size_t nDacl = ReadDword(&sd[16]);
    std::vector<CEntry> entries;
    return !(ReadWord(&sd[2]) & SE_DACL_PRESENT) || nDacl == 0 ||
           (nDacl >= 20 && nDacl + 8 <= sd.size() && ParseList(sd.substr(nDacl), &entries));
}

void FuzzDescriptor(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    if (cb < 1 || cb > 0x10000)
        return;
    std::string sd(reinterpret_cast<const char*>(pData + 1), cb - 1);
    sim.m_files.AddFolder("C:\\Data");
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);
    QXBOOL bResult = SetSharePermissions("DATA", pData[0] & 1, "", "", kAccounts[(pData[0] >> 1) & 1].pszName);
    const std::string& stored = sim.m_netShare.FindShare("", "DATA")->sd;
    std::string owner;
    std::string group;
    bool bWithin = sd.empty() || WithinItself(sd, &owner, &group);
    Check(bWithin || (bResult == 0 && sim.m_kernel.Calls("NetShareSetInfo") == 0));
    qx::sim::CSdParts parts;
    Check(bResult == 1 ? bWithin && qx::sim::ReadSelfRelativeSd(stored, &parts) && parts.owner == owner &&
                             parts.group == group && parts.bDaclPresent
                       : stored == sd);
}

BYTE Coverage(BYTE nFlags)
{
    if (nFlags & NO_PROPAGATE_INHERIT_ACE)
        return 0;
    BYTE nInherit = nFlags & 3;
    return (nFlags & INHERIT_ONLY_ACE) ? nInherit : static_cast<BYTE>(4 | nInherit);
}

// What the merge must give: 0 and the new list's entries and size, ERROR_INVALID_DATA for a list that
// cannot be merged, or InitializeAcl's ERROR_INVALID_PARAMETER for a new list above 64 KB.
DWORD ExpectedMerge(const std::string* pDacl, const std::vector<std::string>& sids, bool bInherit,
                    std::vector<std::string>* pEntries, size_t* pcbList)
{
    std::vector<CEntry> entries;
    if (pDacl != nullptr && !ParseList(*pDacl, &entries))
        return ERROR_INVALID_DATA;
    size_t cbList = 8;
    std::vector<const std::string*> added;
    for (const std::string& sid : sids) {
        bool bFound = false;
        BYTE nCoverage = 0;
        for (CEntry& entry : entries) {
            if (entry.sid[0] != 1 || static_cast<BYTE>(entry.sid[1]) > 15 || entry.sid != sid)
                continue;
            if (entry.nType == ACCESS_ALLOWED_ACE_TYPE) {
                bFound = true;
                nCoverage |= Coverage(entry.nFlags);
                entry.dwMask |= GENERIC_ALL;
            } else if (entry.nType == ACCESS_DENIED_ACE_TYPE) {
                entry.dwMask &= ~static_cast<ACCESS_MASK>(GENERIC_ALL);
            } else {
                return ERROR_INVALID_DATA;
            }
        }
        if (bFound && bInherit && nCoverage != 7)
            return ERROR_INVALID_DATA;
        if (!bFound) {
            added.push_back(&sid);
            cbList += 8 + sid.size();
        }
    }
    for (const CEntry& entry : entries)
        cbList += entry.bytes.size();
    if (cbList > 0xFFFF)
        return ERROR_INVALID_PARAMETER;
    bool bSeenAllowed = false;
    for (const CEntry& entry : entries) {
        if (entry.nType == ACCESS_DENIED_ACE_TYPE && bSeenAllowed)
            return ERROR_INVALID_DATA;
        bSeenAllowed = bSeenAllowed || entry.nType == ACCESS_ALLOWED_ACE_TYPE;
        if (entry.dwMask == 0)
            continue;
        std::string bytes = entry.bytes;
        qx::acl::WriteDword(&bytes[4], entry.dwMask);
        pEntries->push_back(bytes);
    }
    for (const std::string* pSid : added)
        pEntries->push_back(qx::sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, bInherit ? 3 : 0, GENERIC_ALL, *pSid));
    *pcbList = cbList;
    return 0;
}

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
    int nFaultNth = 1 + pData[1] % 4;
    std::string dacl(reinterpret_cast<const char*>(pData + 2), cb - 2);
    if (dacl.size() >= 8) {
        size_t cbClaimed = ReadWord(&dacl[2]);
        if (cbClaimed > dacl.size())
            qx::acl::WriteWord(&dacl[2], static_cast<WORD>(dacl.size()));
        else
            dacl.resize(std::max<size_t>(cbClaimed, 8));
    }
    std::vector<std::string> sids;
    for (size_t n : accounts)
        sids.push_back(qx::sim::SidFromString(kAccounts[n].pszSid));

    // The descriptor ends with the list, so that a read past the list is a read past the record.
    const std::string admins = qx::sim::SidFromString("S-1-5-32-544");
    const std::string system = qx::sim::SidFromString("S-1-5-18");
    std::string sd;
    if (!dacl.empty())
        sd = qx::sim::MakeSelfRelativeSd(
            {SECURITY_DESCRIPTOR_REVISION, 0, admins, system, true, dacl.size() >= 8 ? dacl : std::string()});
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);

    DWORD dwResult = 0;
    bool bFired = false;
    {
        static WCHAR s_wszLocal[] = {'.', 0};
        WCHAR wszShare[] = {'D', 'A', 'T', 'A', 0};
        WCHAR wszServer[] = {0};
        qx::CTrusteeList list;
        for (size_t n : accounts)
            Check(list.Add(s_wszLocal, kAccounts[n].pwszName, GENERIC_ALL) == 0);
        int nCallsBefore = pszFault != nullptr ? sim.m_kernel.Calls(pszFault) : 0;
        if (pszFault != nullptr)
            sim.m_kernel.FailCall(pszFault, ERROR_NOT_ENOUGH_MEMORY, nFaultNth);
        qx::CShareSecurity security(wszShare);
        dwResult = security.Apply(wszServer, list, bInherit);
        bFired = pszFault != nullptr && sim.m_kernel.Calls(pszFault) - nCallsBefore >= nFaultNth;
    }

    std::vector<std::string> expected;
    size_t cbExpected = 0;
    bool bDaclFailed = bFired && std::string(pszFault) == "GetSecurityDescriptorDacl";
    DWORD dwExpected =
        ExpectedMerge(dacl.size() < 8 || bDaclFailed ? nullptr : &dacl, sids, bInherit, &expected, &cbExpected);
    Check(bFired && !bDaclFailed ? dwResult != 0 : dwResult == dwExpected);
    const std::string& stored = sim.m_netShare.FindShare("", "DATA")->sd;
    if (dwResult != 0) {
        Check(stored == sd);
        return;
    }
    qx::sim::CSdParts parts;
    Check(qx::sim::ReadSelfRelativeSd(stored, &parts) && parts.wControl == 0 && parts.bDaclPresent);
    Check(parts.owner == (sd.empty() ? "" : admins) && parts.group == (sd.empty() ? "" : system));
    std::string list;
    for (const std::string& entry : expected)
        list += entry;
    Check(parts.dacl.size() == cbExpected && ReadWord(&parts.dacl[2]) == cbExpected);
    Check(parts.dacl[0] == ACL_REVISION && ReadWord(&parts.dacl[4]) == expected.size());
    Check(parts.dacl.compare(8, list.size(), list) == 0);
    Check(parts.dacl.find_first_not_of('\0', 8 + list.size()) == std::string::npos);
    Check(qx::sim::IsWellFormedAcl(reinterpret_cast<const ACL*>(parts.dacl.data())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    for (const CAccount& account : kAccounts)
        sim.m_lsa.AddAccount("", account.pszName, account.pszSid);
    void (*const kTargets[])(qx::sim::CSimPlatform&, const uint8_t*, size_t) = {FuzzShareValue, FuzzDescriptor,
                                                                                FuzzMerge};
    kTargets[pData[0] % 3](sim, pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
