// SetSharePermissions and the access-list toolkit on the simulated share table: every DACL shape that
// changes the outcome with the exact bytes written, what is refused, and release on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "platform/acl_bytes.h"
#include "shares/trustee.h"
#include "shares_fixture.h"

namespace qx {
namespace {

using namespace test;
using sim::MakeAcl;

constexpr ACCESS_MASK kRead = 0x001200A9;
constexpr BYTE kAllow = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDeny = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr BYTE kInheritOnly = INHERIT_ONLY_ACE;
const WCHAR kLocal[] = {'.', 0};

class SharePermissions : public SharesTest {
protected:
    // Puts SCRIPTS on this machine with this descriptor (empty: default security).
    void PutScripts(const std::string& sd) { sim.m_netShare.PutShare("", "SCRIPTS", "C:\\Qorvex\\Scripts", sd); }
    QXBOOL Grant(int nMode, const char* pszServer = "")
    {
        return Settle(SetSharePermissions, "SCRIPTS", nMode, pszServer, "qxservice", "qxoperators");
    }
};

TEST_F(SharePermissions, EachDaclShapeMergesToTheseExactBytes)
{
    std::string everyone = Ace(kAllow, 0, kRead, kEveryoneSid);
    std::string admins = Ace(kAllow, 0, 0x001F01FF, kAdminsSid);
    std::string denyOperatorsAll = Ace(kDeny, 0, GENERIC_ALL, kOperatorsSid);
    std::string denyOperatorsRw = Ace(kDeny, 0, GENERIC_READ | GENERIC_WRITE, kOperatorsSid);
    std::string audit = Ace(SYSTEM_AUDIT_ACE_TYPE, 0x40, kRead, kEveryoneSid);
    std::string inherited = Ace(kAllow, INHERITED_ACE | kInherit, kRead, kAdminsSid);
    auto operators = [](BYTE nFlags, ACCESS_MASK dwMask) { return Ace(kAllow, nFlags, dwMask, kOperatorsSid); };
    auto mode1Entries = [&](std::vector<BYTE> flags, ACCESS_MASK dwMask) {
        std::vector<std::string> aces;
        for (BYTE nFlags : flags)
            aces.push_back(operators(nFlags, dwMask));
        return MakeAcl(aces);
    };
    const std::vector<BYTE> eachAspect = {0, kInheritOnly | CONTAINER_INHERIT_ACE, kInheritOnly | OBJECT_INHERIT_ACE};
    // What, the mode, the starting descriptor ("": default security; a DACL of no bytes: a null DACL)
    // and the DACL after.
    const std::tuple<const char*, int, std::string, std::string> cases[] = {
        {"default security, mode 0", 0, "", MakeAcl({operators(0, GENERIC_ALL)})},
        {"default security, mode 1", 1, "", MakeAcl({operators(kInherit, GENERIC_ALL)})},
        {"default security, mode 2", 2, "", MakeAcl({Ace(kAllow, 0, GENERIC_ALL, kServiceSid)})},
        {"null DACL, mode 1", 1, Descriptor(""), MakeAcl({operators(kInherit, GENERIC_ALL)})},
        {"empty DACL", 0, Descriptor(MakeAcl({})), MakeAcl({operators(0, GENERIC_ALL)})},
        {"allowed entry gains in place; unused room is not carried", 0,
         Descriptor(MakeAcl({everyone, operators(0, 0x001301BF), admins}, ACL_REVISION, 40)),
         MakeAcl({everyone, operators(0, 0x001301BF | GENERIC_ALL), admins})},
        {"denial of exactly GENERIC_ALL vanishes, its room stays", 0, Descriptor(MakeAcl({denyOperatorsAll, everyone})),
         MakeAcl({everyone, operators(0, GENERIC_ALL)}, ACL_REVISION, denyOperatorsAll.size())},
        {"denial of other rights stays; DACL laid out first", 0, Descriptor(MakeAcl({denyOperatorsRw, everyone}), true),
         MakeAcl({denyOperatorsRw, everyone, operators(0, GENERIC_ALL)})},
        {"denial keeps its other rights", 0, Descriptor(MakeAcl({Ace(kDeny, 0, GENERIC_ALL | DELETE, kOperatorsSid)})),
         MakeAcl({Ace(kDeny, 0, DELETE, kOperatorsSid), operators(0, GENERIC_ALL)})},
        {"other accounts' entries of any kind are copied", 2, Descriptor(MakeAcl({audit, inherited})),
         MakeAcl({audit, inherited, Ace(kAllow, 0, GENERIC_ALL, kServiceSid)})},
        {"mode 1, one entry covering all", 1, Descriptor(mode1Entries({kInherit}, kRead)),
         mode1Entries({kInherit}, kRead | GENERIC_ALL)},
        {"mode 1, object entry plus inherit-only", 1, Descriptor(mode1Entries({0, kInheritOnly | kInherit}, kRead)),
         mode1Entries({0, kInheritOnly | kInherit}, kRead | GENERIC_ALL)},
        {"mode 1, one aspect per entry", 1, Descriptor(mode1Entries(eachAspect, kRead)),
         mode1Entries(eachAspect, kRead | GENERIC_ALL)},
    };
    for (const auto& [pszName, nMode, before, after] : cases) {
        SCOPED_TRACE(pszName);
        PutScripts(before);
        EXPECT_EQ(Grant(nMode), 1);
        sim::CSdParts sd = StoredSd("SCRIPTS");
        EXPECT_EQ(sd.dacl, after);
        // SE_DACL_PRESENT alone (and the self-relative flag of the stored form)
        EXPECT_TRUE(sd.bDaclPresent && sd.wControl == 0);
        EXPECT_EQ(sd.owner + sd.group, before.empty() ? "" : Sid(kAdminsSid) + Sid(kSystemSid));
    }
}

TEST_F(SharePermissions, WhatCannotBeGrantedOrMergedReturnsZeroUnwrittenAndOtherModesAskNothing)
{
    std::string everyone = Ace(kAllow, 0, kRead, kEveryoneSid);
    std::string operators = Ace(kAllow, 0, kRead, kOperatorsSid);
    auto withSize = [](std::string ace, size_t cb) {
        acl::WriteWord(&ace[2], static_cast<WORD>(cb));
        return ace;
    };
    std::string plain = MakeAcl({everyone});
    std::string wrongCount = MakeAcl({everyone, operators});
    wrongCount[4] = 3;
    std::string tinyList = plain;
    tinyList[2] = 4;
    std::string strLongShare(260, 'S');
    std::string strLongAccount(1024, 'a');
    sim.m_netShare.Server("\\\\GONE").bReachable = false;
    struct Case {
        const char* pszName;
        int nMode;
        std::string dacl;
        const char *pszShare = "SCRIPTS", *pszServer = "", *pszAlt = "qxservice", *pszAccount = "qxoperators";
    } cases[] = {
        {"a denial after a grant", 0, MakeAcl({everyone, Ace(kDeny, 0, DELETE, kAdminsSid)})},
        {"an audit entry for the account", 0, MakeAcl({Ace(SYSTEM_AUDIT_ACE_TYPE, 0, kRead, kOperatorsSid)})},
        {"an object entry for the account", 0, MakeAcl({Ace(5, 0, kRead, kOperatorsSid)})},
        {"mode 1, a plain entry", 1, MakeAcl({operators})},
        {"mode 1, no-propagate", 1, MakeAcl({Ace(kAllow, NO_PROPAGATE_INHERIT_ACE | kInherit, kRead, kOperatorsSid)})},
        {"mode 1, inherit-only", 1, MakeAcl({Ace(kAllow, kInheritOnly | kInherit, kRead, kOperatorsSid)})},
        {"mode 1, files but not folders", 1, MakeAcl({Ace(kAllow, OBJECT_INHERIT_ACE, kRead, kOperatorsSid)})},
        {"an entry of size 0", 0, MakeAcl({withSize(everyone, 0), operators})},
        {"an entry shorter than its SID", 0, MakeAcl({everyone, withSize(operators, 20)})},
        {"an entry shorter than a SID header", 0, MakeAcl({withSize(everyone, 12), operators})},
        {"an entry running past the list", 0, MakeAcl({everyone, withSize(operators, operators.size() + 8)})},
        {"more entries than the list holds", 0, wrongCount},
        {"a list smaller than its header", 0, tinyList},
        {"unknown account", 0, plain, "SCRIPTS", "", "qxservice", "nobody"},
        {"unknown alternate account", 2, plain, "SCRIPTS", "", "nobody"},
        {"unknown share", 0, plain, "NOSUCH"},
        {"unreachable server", 0, plain, "SCRIPTS", "\\\\GONE"},
        {"unknown server", 0, plain, "SCRIPTS", "\\\\NOWHERE"},
        {"null share", 0, plain, nullptr},
        {"null server", 0, plain, "SCRIPTS", nullptr},
        {"null account", 1, plain, "SCRIPTS", "", "qxservice", nullptr},
        {"null alternate account", 2, plain, "SCRIPTS", "", nullptr},
        {"share name of 260 characters", 0, plain, strLongShare.c_str()},
        {"account of 1024 characters", 0, plain, "SCRIPTS", "", "qxservice", strLongAccount.c_str()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        std::string sd = Descriptor(c.dacl);
        PutScripts(sd);
        EXPECT_EQ(Settle(SetSharePermissions, c.pszShare, c.nMode, c.pszServer, c.pszAlt, c.pszAccount), 0);
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd);
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareSetInfo"), 0);
    sim.m_kernel.ResetCalls();
    for (int nMode : {3, -1, 100})
        EXPECT_EQ(Settle(SetSharePermissions, "SCRIPTS", nMode, "", nullptr, nullptr), 1)
            << "asks for nothing: " << nMode;
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW") + sim.m_kernel.Calls("NetShareGetInfo"), 0);
    EXPECT_EQ(Settle(SetSharePermissions, "SCRIPTS", 0, "", nullptr, "qxoperators"), 1)
        << "an unused account may be null";
}

TEST_F(SharePermissions, AFailureAtAnyStepWritesNothingAndReleasesEverything)
{
    std::string sd = Descriptor(MakeAcl({Ace(kAllow, 0, kRead, kEveryoneSid)}));
    // The call failing at its nth use (LocalAlloc: SID, domain, new DACL), over a descriptor or none.
    const std::pair<const char*, int> faults[] = {{"LookupAccountNameW", 1},
                                                  {"LookupAccountNameW", 2},
                                                  {"NetShareGetInfo", 1},
                                                  {"LocalAlloc", 1},
                                                  {"LocalAlloc", 2},
                                                  {"LocalAlloc", 3},
                                                  {"InitializeAcl", 1},
                                                  {"AddAce", 1},
                                                  {"AddAce", 2},
                                                  {"NetShareSetInfo", 1}};
    std::vector<std::tuple<const char*, int, std::string>> cases = {{"LocalAlloc", 3, ""},
                                                                    {"InitializeSecurityDescriptor", 1, ""}};
    for (auto [pszCall, nNth] : faults)
        cases.emplace_back(pszCall, nNth, sd);
    for (const auto& [pszCall, nNth, before] : cases) {
        SCOPED_TRACE(std::string(pszCall) + " #" + std::to_string(nNth));
        PutScripts(before);
        sim.m_kernel.ClearFaults();
        sim.m_kernel.FailCall(pszCall, RPC_S_SERVER_UNAVAILABLE, nNth);
        EXPECT_EQ(Grant(0), 0);
        EXPECT_EQ(StoredBytes("SCRIPTS"), before);
    }
    sim.m_kernel.ClearFaults();
    PutScripts(sd);
    sim.m_kernel.FailCall("GetSecurityDescriptorDacl", ERROR_UNKNOWN_REVISION);
    EXPECT_EQ(Grant(0), 1) << "a descriptor whose DACL cannot be read starts from none";
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({Ace(kAllow, 0, GENERIC_ALL, kOperatorsSid)}));
    EXPECT_EQ(StoredSd("SCRIPTS").owner, Sid(kAdminsSid));
}

TEST_F(SharePermissions, ADescriptorReadBackThatLeavesItsOwnBytesIsRefusedUnwritten)
{
    // Owner (16 bytes) at 20, group (12 bytes) at 36, DACL at 48, 76 bytes in all.
    const std::string sd = Descriptor(MakeAcl({Ace(kAllow, 0, kRead, kEveryoneSid)}));
    ASSERT_EQ(sd.size(), 76u);
    auto with = [&sd](size_t nAt, DWORD dw, size_t cb = 4, std::string bytes = {}) {
        bytes = bytes.empty() ? sd : bytes;
        std::memcpy(&bytes[nAt], &dw, cb);
        return bytes;
    };
    const std::pair<const char*, std::string> cases[] = {
        {"shorter than its header", sd.substr(0, 19)},
        {"revision 2", with(0, 2, 1)},
        {"absolute form", with(2, SE_DACL_PRESENT, 2)},
        {"owner past the end", with(4, 76)},
        {"owner's header across the end", with(4, 72)},
        {"owner inside the header", with(4, 12, 4, with(12, 1))},  // a SID of no sub-authority at 12
        {"group's sub-authorities past the end", with(37, 10, 1)},
        {"group of revision 0", with(36, 0, 1)},
        {"DACL past the end", with(16, 76)},
        {"DACL header across the end", with(16, 72)},
        {"DACL's size past the end", with(50, 29, 2)},
        {"entry past the DACL", with(58, 21, 2)},
        {"more entries than bytes", with(52, 2, 2)},
    };
    for (const auto& [pszName, bytes] : cases) {
        SCOPED_TRACE(pszName);
        PutScripts(bytes);
        EXPECT_EQ(Grant(0), 0);
        EXPECT_EQ(StoredBytes("SCRIPTS"), bytes);
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareSetInfo"), 0);
    // An owner or group laid over an entry's mask (01 01 00 00, then the entry's SID) is written as it
    // was read, though the merge changes that mask in place.
    for (size_t nOffsetAt : {4u, 8u}) {
        SCOPED_TRACE(nOffsetAt == 4 ? "owner over the mask" : "group over the mask");
        std::string overlaid = Descriptor(MakeAcl({Ace(kAllow, 0, 0x0101, kOperatorsSid)}));
        const DWORD dwMaskAt = 48 + 8 + 4;
        std::memcpy(&overlaid[nOffsetAt], &dwMaskAt, 4);
        std::string laidOver = overlaid.substr(dwMaskAt, 12);
        PutScripts(overlaid);
        EXPECT_EQ(Grant(0), 1);
        EXPECT_EQ(nOffsetAt == 4 ? StoredSd("SCRIPTS").owner : StoredSd("SCRIPTS").group, laidOver);
        EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({Ace(kAllow, 0, 0x0101 | GENERIC_ALL, kOperatorsSid)}));
    }

    // What is never read is not checked: the offset of an absent DACL, and the SACL's.
    std::string absentDacl = with(2, SE_SELF_RELATIVE, 2);
    std::memset(&absentDacl[16], 0xFF, 4);
    // A group that is the last entry's SID ends exactly where the descriptor ends.
    for (const std::string& accepted : {absentDacl, with(12, 1000), with(8, 64)}) {
        PutScripts(accepted);
        EXPECT_EQ(Grant(0), 1);
    }
}

TEST_F(SharePermissions, TheListHoldsSixtyFourDistinctTrusteesAndMergesEachInOrder)
{
    std::vector<std::wstring> names;
    for (int i = 0; i <= kMaxTrustees; ++i) {
        sim.m_lsa.AddAccount("", "user" + std::to_string(i), "S-1-5-21-1-2-3-" + std::to_string(2000 + i));
        names.push_back(L"user" + std::to_wstring(i));
    }
    std::string dacl = MakeAcl({Ace(kDeny, 0, GENERIC_ALL, kServiceSid), Ace(kAllow, 0, kRead, kOperatorsSid)});
    {
        CTrusteeList full;
        for (int i = 0; i < kMaxTrustees; ++i)
            ASSERT_EQ(full.Add(kLocal, names[i].c_str(), GENERIC_ALL), 0u) << i;
        EXPECT_EQ(full.Add(kLocal, names[kMaxTrustees].c_str(), GENERIC_ALL),
                  static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
        EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW"), 2 * kMaxTrustees) << "refused before the lookup";
        CTrusteeList list;
        EXPECT_EQ(list.Add(kLocal, L"qxoperators", GENERIC_ALL), 0u);
        EXPECT_EQ(list.Add(kLocal, L"QXSERVER\\qxoperators", GENERIC_ALL), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
        EXPECT_EQ(list.Add(kLocal, L"qxservice", GENERIC_ALL), 0u);
        EXPECT_EQ(full.Count() + list.Count(), kMaxTrustees + 2);
        unique_hlocal newDacl;
        ASSERT_EQ(list.BuildDacl(reinterpret_cast<PACL>(&dacl[0]), false, &newDacl), 0u);
        const BYTE* p = static_cast<const BYTE*>(newDacl.get());
        EXPECT_EQ(
            std::string(reinterpret_cast<const char*>(p), p[2] | (p[3] << 8)),
            MakeAcl({Ace(kAllow, 0, kRead | GENERIC_ALL, kOperatorsSid), Ace(kAllow, 0, GENERIC_ALL, kServiceSid)},
                    ACL_REVISION, 36));
    }
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
