// SetSharePermissions and the access-list toolkit on the simulated share table: every DACL shape that
// changes the outcome, the exact bytes written, what is refused, and release on every path.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sim/sim_text.h"
#include "qxinst.h"
#include "shares/share_security.h"
#include "shares/trustee.h"
#include "shares_fixture.h"

namespace qx {
namespace {

using sim::CAceView;
using sim::MakeAcl;

constexpr ACCESS_MASK kRead = 0x001200A9;
constexpr ACCESS_MASK kChange = 0x001301BF;
constexpr BYTE kAllow = ACCESS_ALLOWED_ACE_TYPE;
constexpr BYTE kDeny = ACCESS_DENIED_ACE_TYPE;
constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

class SharePermissions : public test::SharesTest {
protected:
    // Puts SCRIPTS on this machine with this descriptor (empty: default security).
    void PutScripts(const std::string& sd) { sim.m_netShare.PutShare("", "SCRIPTS", "C:\\Qorvex\\Scripts", sd); }
    QXBOOL Grant(int nMode, const char* pszServer = "")
    {
        return SetSharePermissions("SCRIPTS", nMode, pszServer, "qxservice", "qxoperators");
    }
    std::string OperatorsGetAll(BYTE nFlags) { return Ace(kAllow, nFlags, GENERIC_ALL, test::kOperatorsSid); }
};

// ---- shares with default security, an empty DACL or a null DACL ----

TEST_F(SharePermissions, DefaultSecurityEndsWithOneEntryForTheModesAccount)
{
    struct Case {
        int nMode;
        BYTE nFlags;
        std::string strSid;
    } cases[] = {{0, 0, test::kOperatorsSid}, {1, kInherit, test::kOperatorsSid}, {2, 0, test::kServiceSid}};
    for (const Case& c : cases) {
        PutScripts("");
        EXPECT_EQ(Grant(c.nMode), 1) << c.nMode;
        EXPECT_TRUE(Settled());
        sim::CSdParts sd = StoredSd("SCRIPTS");
        EXPECT_TRUE(sd.bDaclPresent);
        EXPECT_EQ(sd.wControl, 0) << "only SE_DACL_PRESENT (and the self-relative flag of the stored form)";
        EXPECT_TRUE(sd.owner.empty());
        EXPECT_TRUE(sd.group.empty());
        EXPECT_EQ(sd.dacl, MakeAcl({Ace(kAllow, c.nFlags, GENERIC_ALL, c.strSid)})) << c.nMode;
    }
}

TEST_F(SharePermissions, EmptyAndNullDaclsEndWithTheSameSingleEntry)
{
    PutScripts(Descriptor(MakeAcl({})));
    EXPECT_EQ(Grant(0), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({OperatorsGetAll(0)}));

    sim::CSdParts nullDacl;
    nullDacl.owner = Sid(test::kAdminsSid);
    nullDacl.bDaclPresent = true;  // present, offset 0: a null DACL (everyone has access)
    PutScripts(sim::MakeSelfRelativeSd(nullDacl));
    EXPECT_EQ(Grant(1), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({OperatorsGetAll(kInherit)}));
    EXPECT_EQ(StoredSd("SCRIPTS").owner, Sid(test::kAdminsSid));
}

// ---- merging into an existing DACL ----

TEST_F(SharePermissions, AnExistingAllowedEntryGainsGenericAllInPlace)
{
    std::string everyone = Ace(kAllow, 0, kRead, test::kEveryoneSid);
    std::string admins = Ace(kAllow, 0, 0x001F01FF, test::kAdminsSid);
    PutScripts(Descriptor(MakeAcl({everyone, Ace(kAllow, 0, kChange, test::kOperatorsSid), admins})));
    EXPECT_EQ(Grant(0), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(StoredSd("SCRIPTS").dacl,
              MakeAcl({everyone, Ace(kAllow, 0, kChange | GENERIC_ALL, test::kOperatorsSid), admins}));
}

TEST_F(SharePermissions, ADenialOfExactlyGenericAllVanishesAndTheGrantIsAppended)
{
    std::string denial = Ace(kDeny, 0, GENERIC_ALL, test::kOperatorsSid);
    std::string everyone = Ace(kAllow, 0, kRead, test::kEveryoneSid);
    PutScripts(Descriptor(MakeAcl({denial, everyone})));
    EXPECT_EQ(Grant(0), 1);
    EXPECT_TRUE(Settled());
    // The list keeps the room the dropped denial took: AclSize counts it, its bytes are zero.
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({everyone, OperatorsGetAll(0)}, ACL_REVISION, denial.size()));
}

TEST_F(SharePermissions, ADenialOfOtherRightsStaysAndStillTakesEffect)
{
    std::string denial = Ace(kDeny, 0, GENERIC_READ | GENERIC_WRITE, test::kOperatorsSid);
    std::string everyone = Ace(kAllow, 0, kRead, test::kEveryoneSid);
    PutScripts(Descriptor(MakeAcl({denial, everyone})));
    EXPECT_EQ(Grant(0), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({denial, everyone, OperatorsGetAll(0)}));
}

TEST_F(SharePermissions, ADenialMixingGenericAllWithOtherRightsKeepsTheOthers)
{
    PutScripts(Descriptor(MakeAcl({Ace(kDeny, 0, GENERIC_ALL | DELETE, test::kOperatorsSid)})));
    EXPECT_EQ(Grant(0), 1);
    EXPECT_EQ(StoredSd("SCRIPTS").dacl,
              MakeAcl({Ace(kDeny, 0, DELETE, test::kOperatorsSid), OperatorsGetAll(0)}));
}

TEST_F(SharePermissions, EntriesOfOtherKindsForOtherAccountsAreCopiedUnchanged)
{
    std::string audit = Ace(SYSTEM_AUDIT_ACE_TYPE, 0x40, kRead, test::kEveryoneSid);
    std::string inherited = Ace(kAllow, INHERITED_ACE | kInherit, kRead, test::kAdminsSid);
    PutScripts(Descriptor(MakeAcl({audit, inherited})));
    EXPECT_EQ(Grant(2), 1);
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({audit, inherited, Ace(kAllow, 0, GENERIC_ALL, test::kServiceSid)}));
}

TEST_F(SharePermissions, OwnerAndGroupAreKeptWhereverTheOldDescriptorHeldThem)
{
    for (bool bDaclFirst : {false, true}) {
        PutScripts(Descriptor(MakeAcl({Ace(kAllow, 0, kRead, test::kEveryoneSid)}), bDaclFirst));
        EXPECT_EQ(Grant(0), 1);
        sim::CSdParts sd = StoredSd("SCRIPTS");
        EXPECT_EQ(sd.owner, Sid(test::kAdminsSid)) << bDaclFirst;
        EXPECT_EQ(sd.group, Sid(test::kSystemSid)) << bDaclFirst;
        EXPECT_EQ(sim::ReadAcl(sd.dacl).size(), 2u);
    }
}

TEST_F(SharePermissions, TheShareOnTheNamedServerIsChanged)
{
    sim.m_netShare.Server("\\\\QXDC2");
    sim.m_netShare.PutShare("\\\\QXDC2", "SCRIPTS", "E:\\Scripts");
    PutScripts("");
    EXPECT_EQ(Grant(0, "\\\\QXDC2"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(sim.m_netShare.FindShare("QXDC2", "SCRIPTS")->sd.empty());
    EXPECT_TRUE(sim.m_netShare.FindShare("", "SCRIPTS")->sd.empty());
}

// ---- inheritance coverage (mode 1) ----

TEST_F(SharePermissions, ModeOneMergesWhenTheAccountsEntriesCoverEverything)
{
    struct Case {
        const char* pszName;
        std::vector<BYTE> flags;
    } cases[] = {
        {"one entry for object, folders and files", {kInherit}},
        {"object entry plus inherit-only entry", {0, INHERIT_ONLY_ACE | kInherit}},
        {"three entries, one aspect each", {0, INHERIT_ONLY_ACE | CONTAINER_INHERIT_ACE, INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> before;
        std::vector<std::string> after;
        for (BYTE nFlags : c.flags) {
            before.push_back(Ace(kAllow, nFlags, kRead, test::kOperatorsSid));
            after.push_back(Ace(kAllow, nFlags, kRead | GENERIC_ALL, test::kOperatorsSid));
        }
        PutScripts(Descriptor(MakeAcl(before)));
        EXPECT_EQ(Grant(1), 1) << c.pszName;
        EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl(after)) << c.pszName;
        EXPECT_TRUE(Settled());
    }
}

TEST_F(SharePermissions, ModeOneRefusesEntriesThatLeaveAnAspectUncovered)
{
    struct Case {
        const char* pszName;
        std::vector<BYTE> flags;
    } cases[] = {
        {"a plain entry, the usual form on shares", {0}},
        {"no-propagate entries add nothing", {NO_PROPAGATE_INHERIT_ACE | kInherit}},
        {"inherit-only entries leave the object", {INHERIT_ONLY_ACE | kInherit}},
        {"files but not folders", {OBJECT_INHERIT_ACE}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> aces;
        for (BYTE nFlags : c.flags)
            aces.push_back(Ace(kAllow, nFlags, kRead, test::kOperatorsSid));
        std::string sd = Descriptor(MakeAcl(aces));
        PutScripts(sd);
        EXPECT_EQ(Grant(1), 0) << c.pszName;
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd) << c.pszName;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Grant(0), 1) << "mode 0 has no coverage rule: " << c.pszName;
    }
}

// ---- DACLs that cannot be merged: refused, nothing written ----

TEST_F(SharePermissions, NonCanonicalOrderAndForeignEntryTypesAreRefused)
{
    struct Case {
        const char* pszName;
        std::vector<std::string> aces;
    } cases[] = {
        {"a denial after a grant", {Ace(kAllow, 0, kRead, test::kEveryoneSid), Ace(kDeny, 0, DELETE, test::kAdminsSid)}},
        {"an audit entry for the account", {Ace(SYSTEM_AUDIT_ACE_TYPE, 0, kRead, test::kOperatorsSid)}},
        {"an object entry for the account", {Ace(5, 0, kRead, test::kOperatorsSid)}},
    };
    for (const Case& c : cases) {
        std::string sd = Descriptor(MakeAcl(c.aces));
        PutScripts(sd);
        EXPECT_EQ(Grant(0), 0) << c.pszName;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd) << c.pszName;
        EXPECT_EQ(sim.m_kernel.Calls("NetShareSetInfo"), 0) << c.pszName;
    }
}

TEST_F(SharePermissions, MalformedDaclsFailTheBuildWithoutReadingPastThem)
{
    std::string everyone = Ace(kAllow, 0, kRead, test::kEveryoneSid);
    std::string operators = Ace(kAllow, 0, kRead, test::kOperatorsSid);
    auto withSize = [](std::string ace, WORD wSize) {
        std::memcpy(&ace[2], &wSize, sizeof wSize);
        return ace;
    };
    std::string wrongCount = MakeAcl({everyone, operators});
    wrongCount[4] = 3;  // three entries claimed, two present
    struct Case {
        const char* pszName;
        std::string dacl;
    } cases[] = {
        {"an entry of size 0", MakeAcl({withSize(everyone, 0), operators})},
        {"an entry shorter than its SID", MakeAcl({everyone, withSize(operators, 20)})},
        {"an entry shorter than a SID header", MakeAcl({withSize(everyone, 12), operators})},
        {"an entry running past the list", MakeAcl({everyone, withSize(operators, static_cast<WORD>(operators.size() + 8))})},
        {"more entries than the list holds", wrongCount},
    };
    for (const Case& c : cases) {
        std::string sd = Descriptor(c.dacl);
        PutScripts(sd);
        EXPECT_EQ(Grant(0), 0) << c.pszName;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd) << c.pszName;
    }
}

// ---- what is not asked for, and what cannot be granted ----

TEST_F(SharePermissions, OtherModesTouchNothingAndReportSuccess)
{
    PutScripts("");
    for (int nMode : {3, -1, 100}) {
        EXPECT_EQ(SetSharePermissions("SCRIPTS", nMode, "", nullptr, nullptr), 1) << nMode;
        EXPECT_TRUE(Settled());
    }
    EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW"), 0);
    EXPECT_EQ(sim.m_kernel.Calls("NetShareGetInfo"), 0);
    EXPECT_TRUE(sim.m_netShare.FindShare("", "SCRIPTS")->sd.empty());
}

TEST_F(SharePermissions, WhatCannotBeGrantedReturnsZeroAndLeavesTheShare)
{
    std::string sd = Descriptor(MakeAcl({Ace(kAllow, 0, kRead, test::kEveryoneSid)}));
    PutScripts(sd);
    sim.m_netShare.Server("\\\\GONE").bReachable = false;
    std::string strLongShare(260, 'S');
    std::string strLongAccount(1024, 'a');
    struct Case {
        const char* pszName;
        const char* pszShare;
        int nMode;
        const char* pszServer;
        const char* pszAlt;
        const char* pszAccount;
    } cases[] = {
        {"unknown account", "SCRIPTS", 0, "", "qxservice", "nobody"},
        {"unknown alternate account", "SCRIPTS", 2, "", "nobody", "qxoperators"},
        {"unknown share", "NOSUCH", 0, "", "qxservice", "qxoperators"},
        {"unreachable server", "SCRIPTS", 0, "\\\\GONE", "qxservice", "qxoperators"},
        {"unknown server", "SCRIPTS", 0, "\\\\NOWHERE", "qxservice", "qxoperators"},
        {"null share", nullptr, 0, "", "qxservice", "qxoperators"},
        {"null server", "SCRIPTS", 0, nullptr, "qxservice", "qxoperators"},
        {"null account", "SCRIPTS", 1, "", "qxservice", nullptr},
        {"null alternate account", "SCRIPTS", 2, "", nullptr, "qxoperators"},
        {"share name of 260 characters", strLongShare.c_str(), 0, "", "qxservice", "qxoperators"},
        {"account of 1024 characters", "SCRIPTS", 0, "", "qxservice", strLongAccount.c_str()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetSharePermissions(c.pszShare, c.nMode, c.pszServer, c.pszAlt, c.pszAccount), 0) << c.pszName;
        EXPECT_TRUE(Settled()) << c.pszName;
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd) << c.pszName;
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareSetInfo"), 0);
    // The account the mode does not use may be null.
    EXPECT_EQ(SetSharePermissions("SCRIPTS", 0, "", nullptr, "qxoperators"), 1);
    EXPECT_TRUE(Settled());
}

TEST_F(SharePermissions, AFailureAtAnyStepWritesNothingAndReleasesEverything)
{
    struct Case {
        const char* pszCall;
        int nNth;
        DWORD dwError;
    } cases[] = {
        {"LookupAccountNameW", 1, RPC_S_SERVER_UNAVAILABLE},
        {"LookupAccountNameW", 2, ERROR_NONE_MAPPED},
        {"LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY},  // the SID
        {"LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY},  // the domain
        {"LocalAlloc", 3, ERROR_NOT_ENOUGH_MEMORY},  // the new DACL
        {"NetShareGetInfo", 1, ERROR_ACCESS_DENIED},
        {"InitializeAcl", 1, ERROR_INVALID_PARAMETER},
        {"AddAce", 1, ERROR_INVALID_PARAMETER},
        {"AddAce", 2, ERROR_INVALID_PARAMETER},
        {"NetShareSetInfo", 1, ERROR_ACCESS_DENIED},
    };
    std::string sd = Descriptor(MakeAcl({Ace(kAllow, 0, kRead, test::kEveryoneSid)}));
    for (const Case& c : cases) {
        PutScripts(sd);
        sim.m_kernel.ClearFaults();
        sim.m_kernel.FailCall(c.pszCall, c.dwError, c.nNth);
        EXPECT_EQ(Grant(0), 0) << c.pszCall << " #" << c.nNth;
        EXPECT_TRUE(Settled()) << c.pszCall << " #" << c.nNth;
        EXPECT_EQ(StoredBytes("SCRIPTS"), sd) << c.pszCall << " #" << c.nNth;
    }
    sim.m_kernel.ClearFaults();
    EXPECT_EQ(Grant(0), 1);
    EXPECT_NE(StoredBytes("SCRIPTS"), sd);
}

TEST_F(SharePermissions, AShareWithoutDescriptorReleasesTheOneItMade)
{
    for (const char* pszCall : {"LocalAlloc", "InitializeSecurityDescriptor"}) {
        PutScripts("");
        sim.m_kernel.ClearFaults();
        sim.m_kernel.FailCall(pszCall, ERROR_NOT_ENOUGH_MEMORY, std::string(pszCall) == "LocalAlloc" ? 3 : 1);
        EXPECT_EQ(Grant(0), 0) << pszCall;
        EXPECT_TRUE(Settled()) << pszCall;
        EXPECT_TRUE(sim.m_netShare.FindShare("", "SCRIPTS")->sd.empty()) << pszCall;
    }
}

TEST_F(SharePermissions, AnUnreadableDescriptorStartsFromNoDacl)
{
    PutScripts(Descriptor(MakeAcl({Ace(kAllow, 0, kRead, test::kEveryoneSid)})));
    sim.m_kernel.FailCall("GetSecurityDescriptorDacl", ERROR_UNKNOWN_REVISION);
    EXPECT_EQ(Grant(0), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(StoredSd("SCRIPTS").dacl, MakeAcl({OperatorsGetAll(0)}));
    EXPECT_EQ(StoredSd("SCRIPTS").owner, Sid(test::kAdminsSid));
}

// ---- the toolkit itself ----

TEST_F(SharePermissions, ATrusteeLooksItsSidUpOnceWithTheSizeProbe)
{
    static const WCHAR kLocal[] = {'.', 0};
    static const WCHAR kAccount[] = {'q', 'x', 's', 'e', 'r', 'v', 'i', 'c', 'e', 0};
    {
        CTrustee trustee(kLocal, kAccount, GENERIC_ALL);
        EXPECT_EQ(trustee.ResolveSid(), 0u);
        EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW"), 2);
        EXPECT_EQ(std::string(static_cast<const char*>(trustee.Sid()), 28), Sid(test::kServiceSid));
        EXPECT_EQ(std::wstring(trustee.Domain()), L"QXSERVER");
        EXPECT_EQ(trustee.ResolveSid(), 0u);
        EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW"), 2);
        EXPECT_EQ(trustee.RequestedRights(), static_cast<ACCESS_MASK>(GENERIC_ALL));
        EXPECT_EQ(trustee.AceType(), kAllow);
    }
    EXPECT_TRUE(Settled());
}

TEST_F(SharePermissions, TheListRefusesASixtyFifthTrusteeAndARepeatedSid)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < kMaxTrustees + 1; ++i) {
        std::string strName = "user" + std::to_string(i);
        sim.m_lsa.AddAccount("", strName, "S-1-5-21-1-2-3-" + std::to_string(2000 + i));
        names.push_back(sim::Widen(strName));
    }
    static const WCHAR kLocal[] = {'.', 0};
    {
        CTrusteeList list;
        for (int i = 0; i < kMaxTrustees; ++i)
            ASSERT_EQ(list.Add(kLocal, names[i].c_str(), GENERIC_ALL), 0u) << i;
        int nLookups = sim.m_kernel.Calls("LookupAccountNameW");
        EXPECT_EQ(list.Add(kLocal, names[kMaxTrustees].c_str(), GENERIC_ALL), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
        EXPECT_EQ(sim.m_kernel.Calls("LookupAccountNameW"), nLookups);
        EXPECT_EQ(list.Count(), kMaxTrustees);
    }
    EXPECT_TRUE(Settled());
    {
        static const WCHAR kQualified[] = {'Q', 'X', 'S', 'E', 'R', 'V', 'E', 'R', '\\', 'u', 's', 'e', 'r', '0', 0};
        CTrusteeList list;
        EXPECT_EQ(list.Add(kLocal, names[0].c_str(), GENERIC_ALL), 0u);
        EXPECT_EQ(list.Add(kLocal, kQualified, GENERIC_ALL), static_cast<DWORD>(ERROR_BAD_ARGUMENTS));
        EXPECT_EQ(list.Count(), 1);
    }
    EXPECT_TRUE(Settled());
}

TEST_F(SharePermissions, AListOfSeveralTrusteesMergesEachInOrder)
{
    static const WCHAR kLocal[] = {'.', 0};
    std::wstring operators = L"qxoperators";
    std::wstring service = L"qxservice";
    std::string dacl = MakeAcl({Ace(kDeny, 0, GENERIC_ALL, test::kServiceSid), Ace(kAllow, 0, kRead, test::kOperatorsSid)});
    {
        CTrusteeList list;
        ASSERT_EQ(list.Add(kLocal, operators.c_str(), GENERIC_ALL), 0u);
        ASSERT_EQ(list.Add(kLocal, service.c_str(), GENERIC_ALL), 0u);
        unique_hlocal newDacl;
        ASSERT_EQ(list.BuildDacl(reinterpret_cast<PACL>(&dacl[0]), false, &newDacl), 0u);
        const BYTE* p = static_cast<const BYTE*>(newDacl.get());
        std::string built(reinterpret_cast<const char*>(p), p[2] | (p[3] << 8));
        EXPECT_EQ(built, MakeAcl({Ace(kAllow, 0, kRead | GENERIC_ALL, test::kOperatorsSid),
                                  Ace(kAllow, 0, GENERIC_ALL, test::kServiceSid)},
                                 ACL_REVISION, 36));
        EXPECT_EQ(list.At(0).CurrentRights(), 0u) << "merged into its existing entry";
        EXPECT_EQ(list.At(1).CurrentRights(), static_cast<ACCESS_MASK>(GENERIC_ALL)) << "appended";
    }
    EXPECT_TRUE(Settled());
}

TEST_F(SharePermissions, CheckDaclBoundsAcceptsUnusedRoomAfterTheEntries)
{
    std::string dacl = MakeAcl({Ace(kAllow, 0, kRead, test::kEveryoneSid)}, ACL_REVISION, 40);
    EXPECT_EQ(CheckDaclBounds(reinterpret_cast<const ACL*>(dacl.data())), 0u);
    std::string tooSmall = dacl;
    tooSmall[2] = 4;
    tooSmall[3] = 0;
    EXPECT_EQ(CheckDaclBounds(reinterpret_cast<const ACL*>(tooSmall.data())), static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
}  // namespace qx
