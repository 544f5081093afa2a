// The DACL merge over any access-list bytes inside a share's descriptor, for one or two accounts,
// with and without inheritance, and with a failing call now and then. A list whose entries do not lie
// within it is refused with 13 without a read past it; a list that cannot be merged, or a failed
// step, leaves the share exactly as it was; a merged list keeps every other entry in its order, gives
// the accounts GENERIC_ALL and is a well-formed list of the size the merge computed. Nothing is left
// held afterwards.
//
// Input: a flags byte (bit 0 inheritance; bit 1 two accounts; bits 2-3 the first account; bit 4 which
// second one; bits 5-7 a call to fail), a byte choosing which call of it fails, then the DACL: none
// at all gives a share with default security, 1 to 7 bytes a null DACL, more the list itself (its
// AclSize is made to match the bytes given when it claims more).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/acl_bytes.h"
#include "shares/share_security.h"
#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"
#include "sim/sim_platform.h"

namespace {

using qx::acl::ReadWord;

void Require(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

struct CAccount {
    const char* pszName;
    const WCHAR* pwszName;
    const char* pszSid;
};
const CAccount kAccounts[] = {
    {"qxoperators", L"qxoperators", "S-1-5-21-3623811015-3361044348-30300820-1013"},
    {"Everyone", L"Everyone", "S-1-1-0"},
    {"Administrators", L"Administrators", "S-1-5-32-544"},
};
const char* const kFaultCalls[] = {
    nullptr, "LocalAlloc", "AddAce", "InitializeAcl", "NetShareSetInfo", "GetSecurityDescriptorDacl", nullptr, nullptr};

struct CEntry {
    BYTE nType;
    BYTE nFlags;
    ACCESS_MASK dwMask;
    std::string sid;  // the SID's bytes (its length from its sub-authority count)
    std::string bytes;  // the whole entry
};

// The entries of a list, walked within its AclSize on their own terms; false when one does not fit.
bool ParseList(const std::string& dacl, std::vector<CEntry>* pEntries)
{
    size_t cbList = ReadWord(&dacl[2]);
    if (cbList < 8)
        return false;
    size_t nAt = 8;
    for (size_t i = 0, n = ReadWord(&dacl[4]); i < n; ++i) {
        if (nAt + 4 > cbList)
            return false;
        size_t cbAce = ReadWord(&dacl[nAt + 2]);
        if (cbAce < 16 || nAt + cbAce > cbList)
            return false;
        size_t cbSid = 8 + 4 * static_cast<BYTE>(dacl[nAt + 9]);
        if (8 + cbSid > cbAce)
            return false;
        CEntry entry {static_cast<BYTE>(dacl[nAt]), static_cast<BYTE>(dacl[nAt + 1]),
                      qx::acl::ReadDword(&dacl[nAt + 4]), dacl.substr(nAt + 8, cbSid), dacl.substr(nAt, cbAce)};
        pEntries->push_back(entry);
        nAt += cbAce;
    }
    return true;
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
            bool bValid = entry.sid[0] == 1 && static_cast<BYTE>(entry.sid[1]) <= 15;
            if (!bValid || entry.sid != sid)
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 2 || cb > 0x8000)
        return 0;
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

    qx::sim::CSimPlatform sim;
    std::vector<std::string> sids;
    for (const CAccount& account : kAccounts)
        sim.m_lsa.AddAccount("", account.pszName, account.pszSid);
    for (size_t n : accounts)
        sids.push_back(qx::sim::SidFromString(kAccounts[n].pszSid));

    // The descriptor ends with the list, so that a read past the list is a read past the record.
    std::string sd;
    if (!dacl.empty()) {
        qx::sim::CSdParts parts;
        parts.owner = qx::sim::SidFromString("S-1-5-32-544");
        parts.group = qx::sim::SidFromString("S-1-5-18");
        parts.bDaclPresent = true;
        parts.dacl = dacl.size() >= 8 ? dacl : std::string();
        sd = qx::sim::MakeSelfRelativeSd(parts);
    }
    sim.m_netShare.PutShare("", "DATA", "C:\\Data", sd);

    DWORD dwResult = 0;
    bool bFired = false;
    {
        static WCHAR s_wszLocal[] = {'.', 0};
        WCHAR wszShare[] = {'D', 'A', 'T', 'A', 0};
        WCHAR wszServer[] = {0};
        qx::CTrusteeList list;
        for (size_t n : accounts)
            Require(list.Add(s_wszLocal, kAccounts[n].pwszName, GENERIC_ALL) == 0);
        int nCallsBefore = pszFault != nullptr ? sim.m_kernel.Calls(pszFault) : 0;
        if (pszFault != nullptr)
            sim.m_kernel.FailCall(pszFault, ERROR_NOT_ENOUGH_MEMORY, nFaultNth);
        qx::CShareSecurity security(wszShare);
        dwResult = security.Apply(wszServer, list, bInherit);
        bFired = pszFault != nullptr && sim.m_kernel.Calls(pszFault) - nCallsBefore >= nFaultNth;
    }

    std::vector<std::string> expected;
    size_t cbExpected = 0;
    bool bFromNothing = dacl.size() < 8 || (bFired && std::string(pszFault) == "GetSecurityDescriptorDacl");
    DWORD dwExpected = ExpectedMerge(bFromNothing ? nullptr : &dacl, sids, bInherit, &expected, &cbExpected);
    if (bFired && std::string(pszFault) != "GetSecurityDescriptorDacl")
        Require(dwResult != 0);
    else
        Require(dwResult == dwExpected);

    const std::string& stored = sim.m_netShare.FindShare("", "DATA")->sd;
    if (dwResult != 0) {
        Require(stored == sd);
    } else {
        qx::sim::CSdParts parts;
        Require(qx::sim::ReadSelfRelativeSd(stored, &parts));
        Require(parts.wControl == 0 && parts.bDaclPresent);
        Require(parts.owner == (sd.empty() ? "" : qx::sim::SidFromString("S-1-5-32-544")));
        Require(parts.group == (sd.empty() ? "" : qx::sim::SidFromString("S-1-5-18")));
        std::string list;
        for (const std::string& entry : expected)
            list += entry;
        Require(parts.dacl.size() == cbExpected && ReadWord(&parts.dacl[2]) == cbExpected);
        Require(parts.dacl[0] == ACL_REVISION && ReadWord(&parts.dacl[4]) == expected.size());
        Require(parts.dacl.compare(8, list.size(), list) == 0);
        Require(parts.dacl.find_first_not_of('\0', 8 + list.size()) == std::string::npos);
        Require(qx::sim::IsWellFormedAcl(reinterpret_cast<const ACL*>(parts.dacl.data())));
    }
    Require(sim.Clean());
    return 0;
}
