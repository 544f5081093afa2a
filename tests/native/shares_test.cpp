// The shares exports (SetSharePermissions, AddShare, GetSharePath, GetSharePathRemote) on the
// simulated share table and registry.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/acl_bytes.h"
#include "qxinst.h"
#include "shares/share_path.h"
#include "shares/trustee.h"
#include "sim/sim_acl.h"
#include "sim/sim_text.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using sim::MakeAcl;
using test::SimTest;

const std::string kOperatorsSid = "S-1-5-21-3623811015-3361044348-30300820-1013";  // QXSERVER\qxoperators
const std::string kServiceSid = "S-1-5-21-3623811015-3361044348-30300820-1014";  // QXSERVER\qxservice
const std::string kEveryoneSid = "S-1-1-0";
const std::string kAdminsSid = "S-1-5-32-544";
const std::string kSystemSid = "S-1-5-18";

class SharesTest : public SimTest {
protected:
    SharesTest()
    {
        sim.m_lsa.AddAccount("", "qxoperators", kOperatorsSid, SidTypeAlias);
        sim.m_lsa.AddAccount("", "qxservice", kServiceSid);
        sim.m_lsa.AddAccount("BUILTIN", "Administrators", kAdminsSid, SidTypeAlias);
        sim.m_files.AddFolder("C:\\Qorvex\\Scripts");
        sim.m_files.AddFolder("D:\\Logs");
    }

    static std::string Sid(const std::string& strSid) { return sim::SidFromString(strSid); }
    static std::string Ace(BYTE nType, BYTE nFlags, ACCESS_MASK dwMask, const std::string& strSid)
    {
        return sim::MakeAce(nType, nFlags, dwMask, Sid(strSid));
    }
    // A self-relative descriptor owned by Administrators, group SYSTEM, with this DACL.
    static std::string Descriptor(const std::string& dacl, bool bDaclFirst = false)
    {
        return sim::MakeSelfRelativeSd(
            {SECURITY_DESCRIPTOR_REVISION, 0, Sid(kAdminsSid), Sid(kSystemSid), true, dacl, bDaclFirst});
    }
    // A share of this machine as text (its descriptor by length), and its descriptor's bytes.
    std::string Record(const std::string& strName)
    {
        const sim::CSimNetShare::CShare* p = sim.m_netShare.FindShare("", strName);
        if (p == nullptr)
            return "<no share>";
        return sim::Narrow(p->wstrName) + " type " + std::to_string(p->dwType) + " remark '" +
               sim::Narrow(p->wstrRemark) + "' permissions " + std::to_string(p->dwPermissions) + " uses " +
               std::to_string(p->dwMaxUses) + " path " + sim::Narrow(p->wstrPath) +
               (p->bHasPassword ? " password" : "") + " sd " + std::to_string(p->sd.size());
    }
    std::string StoredBytes(const std::string& strName)
    {
        const sim::CSimNetShare::CShare* p = sim.m_netShare.FindShare("", strName);
        return p != nullptr ? p->sd : "<no share>";
    }
    sim::CSdParts StoredSd(const std::string& strShare)
    {
        sim::CSdParts parts;
        EXPECT_TRUE(sim::ReadSelfRelativeSd(StoredBytes(strShare), &parts)) << strShare;
        return parts;
    }
};

constexpr ACCESS_MASK kRead = 0x001200A9;
constexpr BYTE kAllow = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDeny = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr BYTE kInheritOnly = INHERIT_ONLY_ACE;
const WCHAR kLocal[] = {'.', 0};

class SharePermissions : public SharesTest {
protected:
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
    // What, the mode, the descriptor before ("": default security) and the DACL after.
    const std::tuple<const char*, int, std::string, std::string> cases[] = {
        {"default security, mode 0", 0, "", MakeAcl({operators(0, GENERIC_ALL)})},
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
        {"mode 1, one aspect per entry", 1, Descriptor(mode1Entries(eachAspect, kRead)),
         mode1Entries(eachAspect, kRead | GENERIC_ALL)},
    };
    for (const auto& [pszName, nMode, before, after] : cases) {
        SCOPED_TRACE(pszName);
        PutScripts(before);
        EXPECT_EQ(Grant(nMode), 1);
        sim::CSdParts sd = StoredSd("SCRIPTS");
        EXPECT_EQ(sd.dacl, after);
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
        {"an entry running past the list", 0, MakeAcl({everyone, withSize(operators, operators.size() + 8)})},
        {"more entries than the list holds", 0, wrongCount},
        {"unknown account", 0, plain, "SCRIPTS", "", "qxservice", "nobody"},
        {"unknown alternate account", 2, plain, "SCRIPTS", "", "nobody"},
        {"unknown share", 0, plain, "NOSUCH"},
        {"unreachable server", 0, plain, "SCRIPTS", "\\\\GONE"},
        {"null account", 1, plain, "SCRIPTS", "", "qxservice", nullptr},
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
    // An owner or group laid over an entry's mask is written as read, though the merge changes the mask.
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

    std::string absentDacl = with(2, SE_SELF_RELATIVE, 2);
    std::memset(&absentDacl[16], 0xFF, 4);
    // Never read, never checked: an absent DACL's offset, the SACL's; a group ending at the very end.
    for (const std::string& accepted : {absentDacl, with(12, 1000), with(8, 64)}) {
        PutScripts(accepted);
        EXPECT_EQ(Grant(0), 1);
    }
}

TEST_F(SharePermissions, TheListHoldsSixtyFourDistinctTrustees)
{
    std::vector<std::wstring> names;
    for (int i = 0; i <= kMaxTrustees; ++i) {
        sim.m_lsa.AddAccount("", "user" + std::to_string(i), "S-1-5-21-1-2-3-" + std::to_string(2000 + i));
        names.push_back(L"user" + std::to_wstring(i));
    }
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
    }
    EXPECT_TRUE(Settled());
}

class ShareCreate : public SharesTest {
protected:
    QXBOOL Add(const char* pszName, const char* pszPath) { return Settle(AddShare, pszName, pszPath); }
};

TEST_F(ShareCreate, CreatesADiskShareWithTheLevelTwoRecordAndReplacesIt)
{
    EXPECT_EQ(Add("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 1);
    EXPECT_EQ(Record("QXSCRIPTS"),
              "QXSCRIPTS type 0 remark '' permissions 0 uses 4294967295 path C:\\Qorvex\\Scripts sd 0");
    EXPECT_EQ(Add("qxscripts", "D:\\Logs"), 1);
    EXPECT_EQ(Record("QXSCRIPTS"), "qxscripts type 0 remark '' permissions 0 uses 4294967295 path D:\\Logs sd 0");
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 1) << "only a share that exists is deleted";
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ShareCreate, EachKnownFailureShowsItsBoxAndWhatDoesNotFitIsRefusedFirst)
{
    static const char* pszScripts = "C:\\Qorvex\\Scripts";
    std::string strLong(260, 'X');
    std::string strLongPath = "C:\\" + std::string(257, 'p');
    std::string strLongest(259, 'X');  // fits: the server refuses the name, not the library
    // The code NetShareAdd is made to give (0: none), the box shown ("": none), and the arguments.
    const std::tuple<NET_API_STATUS, const char*, const char*, const char*> cases[] = {
        {ERROR_ACCESS_DENIED, "Access Denied to Create Share", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_LEVEL, "Incorrect OS (Paramaters)", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_NAME, "Invalid Name", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_PARAMETER, "Invalid Param", "QXSCRIPTS", pszScripts},
        {NERR_DuplicateShare, "Share name already in use.", "QXSCRIPTS", pszScripts},
        {NERR_RedirectedPath, "Path is a redirect", "QXSCRIPTS", pszScripts},
        {NERR_UnknownDevDir, "Invalid Path.", "QXSCRIPTS", pszScripts},
        {ERROR_NOT_SUPPORTED, "", "QXSCRIPTS", pszScripts},
        {0, "Invalid Name", strLongest.c_str(), pszScripts},
        {0, "", strLong.c_str(), pszScripts},
        {0, "", "QXSCRIPTS", strLongPath.c_str()},
        {0, "", nullptr, pszScripts},
        {0, "", "QXSCRIPTS", nullptr}};
    for (const auto& [nStatus, pszBox, pszName, pszPath] : cases) {
        SCOPED_TRACE(nStatus);
        if (nStatus != 0)
            sim.m_kernel.FailCall("NetShareAdd", nStatus);
        EXPECT_EQ(Add(pszName, pszPath), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>(*pszBox != 0, pszBox + std::string("|Share Failure|48")));
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareGetInfo") + sim.m_kernel.Calls("NetShareAdd"), 2 * 9)
        << "what does not fit reaches no network call";
    EXPECT_EQ(Record("QXSCRIPTS"), "<no share>");
}

TEST_F(ShareCreate, TheShareReplacedIsNeverLost)
{
    std::string sd = Descriptor(sim::MakeAcl({Ace(ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, kOperatorsSid)}));
    sim::CSimNetShare::CShare& old = sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts", sd);
    old.wstrRemark = L"Qorvex login scripts";
    old.dwMaxUses = 10;
    std::string strOld = Record("QXSCRIPTS");
    EXPECT_EQ(Add("QXSCRIPTS", "C:\\Qorvex\\Missing"), 0);
    EXPECT_EQ(TakeBoxes(), std::vector<std::string> {"Invalid Path.|Share Failure|48"});
    EXPECT_EQ(Record("QXSCRIPTS"), strOld) << "the old share is never lost";
    EXPECT_EQ(StoredBytes("QXSCRIPTS"), sd);
    // A share that cannot be read is not deleted; one that cannot be deleted stays.
    for (const char* pszCall : {"NetShareGetInfo", "NetShareDel"}) {
        sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts");
        sim.m_kernel.FailCall(pszCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(Add("QXSCRIPTS", "D:\\Logs"), 0) << pszCall;
        EXPECT_EQ(Record("QXSCRIPTS"),
                  "QXSCRIPTS type 0 remark '' permissions 0 uses 4294967295 path C:\\Qorvex\\Scripts sd 0")
            << pszCall;
        EXPECT_EQ(TakeBoxes(), std::vector<std::string> {"Share name already in use.|Share Failure|48"}) << pszCall;
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 2) << "the first replacement and the refused delete, no more";
}

TEST_F(ShareCreate, NamesAndPathsReachTheServerInTheSystemsAnsiCodePage)
{
    sim.m_system.SetAnsiCodePage(932);
    sim.m_files.AddFolder("C:\\\x83\x66\x81\x5B");
    EXPECT_EQ(Add("\x8B\xA4\x97\x4C", "C:\\\x83\x66\x81\x5B"), 1);
    const sim::CSimNetShare::CShare* pShare = sim.m_netShare.FindShare("", "\x8B\xA4\x97\x4C");
    EXPECT_TRUE(pShare && pShare->wstrName == L"\u5171\u6709" && pShare->wstrPath == L"C:\\\u30C7\u30FC");
    EXPECT_EQ(Add("\x83", "C:\\Qorvex\\Scripts"), 0) << "a lead byte without its second byte";
    EXPECT_EQ(sim.m_kernel.Calls("NetShareAdd"), 1);
    EXPECT_TRUE(TakeBoxes().empty());
}

std::string Multi(const std::vector<std::string>& entries)
{
    std::string data;
    for (const std::string& strEntry : entries)
        data += strEntry + std::string(1, '\0');
    return data + std::string(1, '\0');
}

class SharePath : public SharesTest {
protected:
    SharePath()
    {
        sim.m_registry.SetMultiString(
            kSharesKey, "SCRIPTS",
            {"CSCFlags=0", "MaxUses=4294967295", "Path=C:\\Qorvex\\Scripts", "Permissions=0", "Type=0"});
    }
    int Call(const std::string& strShare)
    {
        std::strcpy(m_szShare, strShare.c_str());
        std::strcpy(m_szPath, "untouched");
        return Settle(GetSharePath, m_szShare, m_szPath);
    }
    char m_szShare[1100] = {};
    char m_szPath[1100] = {};
};

TEST_F(SharePath, TheShareNameAndItsValueGiveTheFolder)
{
    const char* pszScripts = "C:\\QORVEX\\SCRIPTS";
    std::string strLong = "\\\\SRV\\SCRIPTS\\" + std::string(1010, 'r');  // 1024 characters
    std::string strFits = "\\\\SRV\\SCRIPTS\\" + std::string(1005, 'r');  // folder 17 + rest 1006
    // What, the argument, the value SHARE (set when not empty), the result, the share name and path after.
    const std::tuple<const char*, std::string, std::string, int, std::string, std::string> cases[] = {
        {"a bare name", "SCRIPTS", "", 1, "SCRIPTS", pszScripts},
        {"UNC with a rest in its own case", "\\\\QXSERVER\\SCRIPTS\\Logon\\Users", "", 1, "SCRIPTS",
         "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {"small letters, ANSI capitals", "SHARE", Multi({"path=c:\\mixed\\\xE9t\xE9"}), 1, "SHARE",
         "C:\\MIXED\\\xC9T\xC9"},
        {"a later entry", "SHARE", Multi({"Remark=PATH=not this", "Type=0", "pAtH=D:\\Real"}), 1, "SHARE", "D:\\REAL"},
        {"starting at byte 255, taken whole", "SHARE",
         Multi({"Remark=" + std::string(247, 'x'), "Path=D:\\" + std::string(300, 'p')}), 1, "SHARE",
         "D:\\" + std::string(300, 'P')},
        {"starting at byte 256", "SHARE", Multi({"Remark=" + std::string(248, 'x'), "Path=D:\\Late"}), 3, "SHARE", ""},
        {"without its NUL", "SHARE", "Path=F:\\NoNul", 1, "SHARE", "F:\\NONUL"},
        {"no path entry, UNC rest not appended", "\\\\SRV\\SHARE\\sub", Multi({"Remark=none", "PATH", "=x"}), 3,
         "SHARE", ""},
        {"data of 1024 bytes", "SHARE", "Path=C:\\x" + std::string(1015, '\0'), 1, "SHARE", "C:\\X"},
        {"data over 1024 bytes", "SHARE", "Path=C:\\x" + std::string(1016, '\0'), 3, "SHARE", ""},
        {"no such share", "NOSUCH", "", 3, "NOSUCH", ""},
        {"UNC without share", "\\\\QXSERVER", "", 3, "", ""},
        {"an argument of 1024 characters, refused whole", strLong, "", 3, strLong, ""},
        {"a result of 1023 characters", strFits, "", 1, "SCRIPTS", pszScripts + strFits.substr(13)},
        {"a result of 1024 characters", strFits + "r", "", 3, "SCRIPTS", ""},
    };
    sim.m_registry.SetString(kSharesKey, "", "Path=C:\\Default");  // the key's default value
    for (const auto& [pszName, strIn, data, nResult, strShare, strPath] : cases) {
        SCOPED_TRACE(pszName);
        if (!data.empty())
            sim.m_registry.SetValue(kSharesKey, "SHARE", REG_MULTI_SZ, data);
        EXPECT_EQ(Call(strIn), nResult);
        EXPECT_EQ(m_szShare, strShare);
        EXPECT_EQ(m_szPath, nResult == 1 ? strPath : "untouched");
    }
}

TEST_F(SharePath, AnUnreadableKeyGivesTwoAndAnUnreadableValueThree)
{
    sim.m_kernel.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Call("SCRIPTS"), 3);
    sim.m_registry.DenyKey(kSharesKey);
    EXPECT_EQ(Call("SCRIPTS"), 2);
    EXPECT_STREQ(m_szPath, "untouched");
}

using RemoteSharePath = SharesTest;

TEST_F(RemoteSharePath, CutsTheNameBehindItsServerAndTheServerAskedGivesTheFolder)
{
    char szShare[300];
    char szPath[300];
    std::string strNetlogon = "E:\\WINNT\\sysvol\\domain\\scripts";
    sim.m_netShare.PutShare("\\\\QXDC2", "NETLOGON", strNetlogon);
    sim.m_netShare.PutShare("", "QXLOGS", "D:\\Logs");
    std::string strLongest = "E:\\" + std::string(256, 'd');  // 259 characters fit
    sim.m_netShare.PutShare("\\\\QXDC2", "LONG", strLongest);
    sim.m_netShare.PutShare("\\\\QXDC2", "LONGER", strLongest + "d");
    sim.m_netShare.PutShare("\\\\QXDC2", "CYRILLIC", "").wstrPath = L"E:\\\x0414";  // not in code page 1252
    sim.m_netShare.Server("\\\\QXDOWN").bReachable = false;
    std::string strLongShare = "\\\\QXDC2\\" + std::string(256, 's');
    std::string strLongServer = "\\\\" + std::string(254, 'S');  // 256 characters
    // The server, the argument, the share name after, and the path (empty: 0 returned, the path untouched).
    const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
        {"\\\\QXDC2", "NETLOGON", "NETLOGON", strNetlogon},
        {"\\\\QXDC2", "\\\\ANYSERVER\\NETLOGON", "NETLOGON", strNetlogon},  // the named server is not asked
        {"\\\\QXDC2", "\\\\QXDC2\\DATA\\SUB", "DATA\\SUB", ""},  // a share name with a backslash
        {"\\\\QXDC2", "\\\\QXDC2", "", ""},
        {"\\\\QXDC2", "NOSUCH", "NOSUCH", ""},
        {"\\\\QXDOWN", "NETLOGON", "NETLOGON", ""},
        {nullptr, "QXLOGS", "QXLOGS", "D:\\Logs"},
        {"", "\\\\QXSERVER\\QXLOGS", "QXLOGS", "D:\\Logs"},
        {"\\\\QXDC2", "LONG", "LONG", strLongest},
        {"\\\\QXDC2", "LONGER", "LONGER", ""},
        {"\\\\QXDC2", "CYRILLIC", "CYRILLIC", ""},
        {"\\\\QXDC2", strLongShare, strLongShare, ""},  // refused whole: not even the server part is cut
        {strLongServer.c_str(), "\\\\QXDC2\\NETLOGON", "\\\\QXDC2\\NETLOGON", ""},
    };
    for (const auto& [pszServer, strIn, strShare, strPath] : cases) {
        SCOPED_TRACE(strIn);
        std::strcpy(szShare, strIn.c_str());
        std::strcpy(szPath, "untouched");
        EXPECT_EQ(Settle(GetSharePathRemote, pszServer, szShare, szPath), strPath.empty() ? 0 : 1);
        EXPECT_EQ(szShare, strShare);
        EXPECT_EQ(szPath, strPath.empty() ? "untouched" : strPath);
    }
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", nullptr, szPath), 0);
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", szShare, nullptr), 0);
}

}  // namespace
}  // namespace qx
