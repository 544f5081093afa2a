// The shares area under wine64: the simulated security primitives against the real advapi32 on the
// same inputs, GetSharePath against share values written into the prefix's registry, and the failure
// paths that Wine's network library really offers (it creates no shares, reads none, enumerates no
// network, and resolves no account on "."). No test reaches NetShareSetInfo, a Wine stub.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "box_hook.h"
#include "host/dll_host.h"
#include "platform/platform.h"
#include "platform/sim/sim_acl.h"
#include "platform/sim/sim_lsa.h"

namespace qx::host {
namespace {

// ---- the security primitives: simulated and real, byte for byte ----

class SharesAclPrimitives : public ::testing::Test {
protected:
    struct COutcome {
        BOOL bResult = FALSE;
        DWORD dwError = 0;
        std::string bytes;
    };
    // Runs call on a fresh copy of input with one implementation; the error is read only on failure
    // unless bAlwaysError.
    COutcome Run(IAcl& acl, bool bSim, const std::string& input,
                 const std::function<BOOL(IAcl&, BYTE*)>& call, bool bAlwaysError = false)
    {
        std::string buffer = input;
        if (bSim)
            m_kernel.m_dwLastError = 0xdeadbeef;
        else
            SetLastError(0xdeadbeef);
        COutcome outcome;
        outcome.bResult = call(acl, reinterpret_cast<BYTE*>(&buffer[0]));
        if (!outcome.bResult || bAlwaysError)
            outcome.dwError = bSim ? m_kernel.m_dwLastError : GetLastError();
        outcome.bytes = buffer;
        return outcome;
    }
    void Compare(const char* pszWhat, const std::string& input, const std::function<BOOL(IAcl&, BYTE*)>& call,
                 bool bAlwaysError = false)
    {
        COutcome real = Run(*Win32Platform().pAcl, false, input, call, bAlwaysError);
        COutcome simulated = Run(m_sim, true, input, call, bAlwaysError);
        EXPECT_EQ(!!simulated.bResult, !!real.bResult) << pszWhat;
        EXPECT_EQ(simulated.dwError, real.dwError) << pszWhat;
        EXPECT_EQ(simulated.bytes, real.bytes) << pszWhat;
    }
    static std::string Sid(const char* pszSid) { return sim::SidFromString(pszSid); }

    sim::CSimKernel m_kernel;
    sim::CSimAcl m_sim{m_kernel};
};

TEST_F(SharesAclPrimitives, InitializeSecurityDescriptorWritesTheSameBytes)
{
    std::string filled(sizeof(SECURITY_DESCRIPTOR) + 8, '\xAB');
    for (DWORD dwRevision : {1u, 0u, 2u}) {
        Compare(("revision " + std::to_string(dwRevision)).c_str(), filled, [dwRevision](IAcl& acl, BYTE* p) {
            return acl.InitializeSecurityDescriptor(p, dwRevision);
        });
    }
}

TEST_F(SharesAclPrimitives, InitializeAclAcceptsAndRefusesAlike)
{
    struct Case {
        DWORD cbAcl;
        DWORD dwRevision;
    } cases[] = {{64, ACL_REVISION}, {64, ACL_REVISION_DS}, {8, ACL_REVISION}, {64, 1}, {64, 5},
                 {7, ACL_REVISION}, {0, ACL_REVISION}, {0x10000, ACL_REVISION}, {0xFFFF, ACL_REVISION}};
    std::string filled(80, '\xCD');
    for (const Case& c : cases) {
        Compare(("size " + std::to_string(c.cbAcl) + " revision " + std::to_string(c.dwRevision)).c_str(), filled,
                [c](IAcl& acl, BYTE* p) { return acl.InitializeAcl(reinterpret_cast<PACL>(p), c.cbAcl, c.dwRevision); });
    }
}

TEST_F(SharesAclPrimitives, AddAceAppendsTheSameBytesAndRefusesAlike)
{
    std::string everyone = sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x001200A9, Sid("S-1-1-0"));
    std::string user = sim::MakeAce(ACCESS_DENIED_ACE_TYPE, 3, GENERIC_ALL, Sid("S-1-5-21-1-2-3-1013"));
    std::string both = everyone + user;
    auto initialized = [](size_t cb, BYTE nRevision) {
        std::string acl(cb, '\xEE');
        acl[0] = static_cast<char>(nRevision);
        acl[1] = 0;
        acl[2] = static_cast<char>(cb & 0xFF);
        acl[3] = static_cast<char>(cb >> 8);
        acl[4] = acl[5] = acl[6] = acl[7] = 0;
        return acl;
    };
    auto add = [](const std::string& aces, DWORD dwRevision, DWORD dwIndex) {
        return [aces, dwRevision, dwIndex](IAcl& acl, BYTE* p) {
            std::string copy = aces;
            return acl.AddAce(reinterpret_cast<PACL>(p), dwRevision, dwIndex, &copy[0], static_cast<DWORD>(copy.size()));
        };
    };
    std::string roomy = initialized(8 + both.size() + 16, ACL_REVISION);
    Compare("one entry at the end", roomy, add(everyone, ACL_REVISION, MAXDWORD));
    Compare("two entries at once", roomy, add(both, ACL_REVISION, MAXDWORD));
    Compare("a later revision", roomy, add(everyone, ACL_REVISION_DS, MAXDWORD));
    Compare("an index past the last entry", roomy, add(everyone, ACL_REVISION, 5));
    std::string holding = sim::MakeAcl({everyone}, ACL_REVISION, user.size());
    Compare("after an entry, filling the list", holding, add(user, ACL_REVISION, MAXDWORD));
    Compare("no room", holding, add(both, ACL_REVISION, MAXDWORD));
    Compare("exactly full", sim::MakeAcl({everyone}), add(user, ACL_REVISION, MAXDWORD));
    Compare("a bad list revision", initialized(64, 9), add(everyone, ACL_REVISION, MAXDWORD));
    std::string overfull = sim::MakeAcl({everyone, user});
    overfull[2] = 20;  // the entries claim more than the list holds
    Compare("entries past the list", overfull, add(everyone, ACL_REVISION, MAXDWORD));
}

TEST_F(SharesAclPrimitives, SidLengthsAndComparisonsAgree)
{
    const char* sids[] = {"S-1-1-0", "S-1-5-32-544", "S-1-5-21-3623811015-3361044348-30300820-1013",
                          "S-1-5-21-3623811015-3361044348-30300820-1014"};
    for (const char* pszSid : sids) {
        std::string sid = Sid(pszSid);
        EXPECT_EQ(m_sim.GetLengthSid(&sid[0]), Win32Platform().pAcl->GetLengthSid(&sid[0])) << pszSid;
        EXPECT_EQ(m_sim.GetLengthSid(&sid[0]), sid.size()) << pszSid;
    }
    std::string badRevision = Sid("S-1-5-18");
    badRevision[0] = 2;
    std::string tooMany = Sid("S-1-5-18");
    tooMany[1] = 16;
    std::vector<std::string> all = {Sid(sids[0]), Sid(sids[1]), Sid(sids[2]), Sid(sids[3]), badRevision, tooMany};
    all[4].resize(80, '\0');
    all[5].resize(80, '\0');
    for (size_t i = 0; i < all.size(); ++i) {
        for (size_t j = 0; j < all.size(); ++j) {
            std::string other = all[j];
            Compare(("EqualSid " + std::to_string(i) + "," + std::to_string(j)).c_str(), all[i],
                    [&other](IAcl& acl, BYTE* p) { return acl.EqualSid(p, &other[0]); }, true);
        }
    }
}

TEST_F(SharesAclPrimitives, GetSecurityDescriptorDaclReadsBothForms)
{
    std::string dacl = sim::MakeAcl({sim::MakeAce(0, 0, GENERIC_ALL, Sid("S-1-1-0"))});
    sim::CSdParts parts;
    parts.owner = Sid("S-1-5-32-544");
    parts.group = Sid("S-1-5-18");
    parts.bDaclPresent = true;
    parts.dacl = dacl;
    struct Case {
        const char* pszName;
        std::string sd;
    };
    std::vector<Case> cases;
    cases.push_back({"self-relative, DACL after owner and group", sim::MakeSelfRelativeSd(parts)});
    parts.bDaclFirst = true;
    parts.wControl = SE_DACL_DEFAULTED;
    cases.push_back({"self-relative, DACL first, defaulted", sim::MakeSelfRelativeSd(parts)});
    parts.dacl.clear();
    cases.push_back({"self-relative, null DACL", sim::MakeSelfRelativeSd(parts)});
    parts.bDaclPresent = false;
    cases.push_back({"self-relative, no DACL", sim::MakeSelfRelativeSd(parts)});
    std::string badRevision = cases[0].sd;
    badRevision[0] = 2;
    cases.push_back({"unknown revision", badRevision});
    struct CRead {
        BOOL bResult = FALSE;
        DWORD dwError = 0;
        BOOL bPresent = FALSE;
        BOOL bDefaulted = FALSE;
        ptrdiff_t nDaclOffset = -1;  // from the descriptor's start; -1 for none
    };
    auto read = [this](IAcl& acl, bool bSim, std::string sd) {
        CRead result;
        BOOL bPresent = 7;
        BOOL bDefaulted = 7;
        PACL pDacl = reinterpret_cast<PACL>(1);
        SetLastError(0xdeadbeef);
        m_kernel.m_dwLastError = 0xdeadbeef;
        result.bResult = acl.GetSecurityDescriptorDacl(&sd[0], &bPresent, &pDacl, &bDefaulted);
        if (!result.bResult) {  // the flags are not defined after a failure
            result.dwError = bSim ? m_kernel.m_dwLastError : GetLastError();
            return result;
        }
        result.bPresent = bPresent;
        result.bDefaulted = bDefaulted;
        if (pDacl != nullptr)
            result.nDaclOffset = reinterpret_cast<BYTE*>(pDacl) - reinterpret_cast<BYTE*>(&sd[0]);
        return result;
    };
    for (const Case& c : cases) {
        CRead real = read(*Win32Platform().pAcl, false, c.sd);
        CRead simulated = read(m_sim, true, c.sd);
        EXPECT_EQ(!!simulated.bResult, !!real.bResult) << c.pszName;
        EXPECT_EQ(simulated.dwError, real.dwError) << c.pszName;
        EXPECT_EQ(simulated.bPresent, real.bPresent) << c.pszName;
        EXPECT_EQ(simulated.bDefaulted, real.bDefaulted) << c.pszName;
        EXPECT_EQ(simulated.nDaclOffset, real.nDaclOffset) << c.pszName;
    }
    // The absolute form: the DACL pointer as stored.
    for (int nImpl = 0; nImpl < 2; ++nImpl) {
        IAcl& acl = nImpl == 0 ? *Win32Platform().pAcl : static_cast<IAcl&>(m_sim);
        SECURITY_DESCRIPTOR sd{};
        ASSERT_TRUE(acl.InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
        BOOL bPresent = 7;
        BOOL bDefaulted = 7;
        PACL pDacl = reinterpret_cast<PACL>(1);
        ASSERT_TRUE(acl.GetSecurityDescriptorDacl(&sd, &bPresent, &pDacl, &bDefaulted));
        EXPECT_FALSE(bPresent) << nImpl;
        EXPECT_EQ(pDacl, nullptr) << nImpl;
        sd.Control = SE_DACL_PRESENT;
        sd.Dacl = reinterpret_cast<PACL>(&dacl[0]);
        ASSERT_TRUE(acl.GetSecurityDescriptorDacl(&sd, &bPresent, &pDacl, &bDefaulted));
        EXPECT_TRUE(bPresent) << nImpl;
        EXPECT_FALSE(bDefaulted) << nImpl;
        EXPECT_EQ(pDacl, reinterpret_cast<PACL>(&dacl[0])) << nImpl;
    }
}

// ---- GetSharePath against the prefix's registry ----

class SharesPath : public ::testing::Test {
protected:
    static constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
    void SetUp() override
    {
        m_strPrefix = "QXWT" + std::to_string(GetCurrentProcessId()) + "_";
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        for (const std::string& strName : m_names)
            RegDeleteValueA(m_hKey, strName.c_str());
        RegCloseKey(m_hKey);
    }
    std::string Put(const std::string& strShare, const std::string& data, DWORD dwType = REG_MULTI_SZ)
    {
        std::string strName = m_strPrefix + strShare;
        RegDeleteValueA(m_hKey, strName.c_str());  // pre-clean
        EXPECT_EQ(RegSetValueExA(m_hKey, strName.c_str(), 0, dwType, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        m_names.push_back(strName);
        return strName;
    }
    static std::string Multi(const std::vector<std::string>& entries)
    {
        std::string data;
        for (const std::string& strEntry : entries)
            data += strEntry + std::string(1, '\0');
        return data + std::string(1, '\0');
    }
    int Call(const std::string& strShare)
    {
        std::strcpy(m_szShare, strShare.c_str());
        std::strcpy(m_szPath, "untouched");
        return QX_EXPORT(m_host, GetSharePath)(m_szShare, m_szPath);
    }

    CDllHost m_host;
    HKEY m_hKey = nullptr;
    std::string m_strPrefix;
    std::vector<std::string> m_names;
    char m_szShare[1100] = {};
    char m_szPath[1100] = {};
};

TEST_F(SharesPath, ReadsTheFolderOfAShareValue)
{
    std::string strName = Put("SCRIPTS", Multi({"CSCFlags=0", "MaxUses=4294967295", "Path=C:\\Qorvex\\Scripts",
                                                "Permissions=0", "Type=0"}));
    EXPECT_EQ(Call(strName), 1);
    EXPECT_STREQ(m_szPath, "C:\\QORVEX\\SCRIPTS");
    EXPECT_EQ(std::string(m_szShare), strName);

    std::string strLower = strName;
    for (char& c : strLower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(Call("\\\\ANYSERVER\\" + strLower + "\\Logon\\Users"), 1);
    EXPECT_STREQ(m_szPath, "C:\\QORVEX\\SCRIPTS\\Logon\\Users");
    EXPECT_EQ(std::string(m_szShare), strLower);
    EXPECT_EQ(Call("\\\\ANYSERVER\\" + strName + "\\"), 1);
    EXPECT_STREQ(m_szPath, "C:\\QORVEX\\SCRIPTS\\");
}

TEST_F(SharesPath, ThePathEntryMustStartInTheFirst256Bytes)
{
    std::string strCrossing = Put("CROSSING", Multi({"Remark=" + std::string(240, 'x'), "path=d:\\" + std::string(300, 'p')}));
    EXPECT_EQ(Call(strCrossing), 1);
    EXPECT_EQ(std::string(m_szPath), "D:\\" + std::string(300, 'P'));
    std::string strLate = Put("LATE", Multi({"Remark=" + std::string(249, 'x'), "Path=D:\\Late"}));
    EXPECT_EQ(Call(strLate), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    std::string strNoPath = Put("NOPATH", Multi({"Remark=none", "Type=0"}));
    EXPECT_EQ(Call("\\\\SRV\\" + strNoPath + "\\sub"), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_EQ(std::string(m_szShare), strNoPath);
}

TEST_F(SharesPath, MissingOrOversizeValuesGiveThree)
{
    EXPECT_EQ(Call(m_strPrefix + "NOSUCH"), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    std::string strHuge = Put("HUGE", "Path=C:\\x" + std::string(1100, '\0'));
    EXPECT_EQ(Call(strHuge), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_EQ(Call("\\\\SRV"), 3);
    EXPECT_STREQ(m_szShare, "");
}

// ---- what Wine's network library offers: failures ----

class SharesNetwork : public ::testing::Test {
protected:
    void SetUp() override
    {
        CBoxHook::SetAnswerAtOnce(true);
        CBoxHook::Take();
    }
    CDllHost m_host;
};

TEST_F(SharesNetwork, AddShareFailsQuietlyWhereSharesCannotBeCreated)
{
    // Wine reads no share (2310, so nothing is deleted) and creates none (ERROR_NOT_SUPPORTED, which
    // has no message).
    EXPECT_EQ(QX_EXPORT(m_host, AddShare)("QXWTSHARE", "C:\\windows") & 0xFF, 0);
    EXPECT_TRUE(CBoxHook::Take().empty());
    std::string strLong(260, 'N');
    EXPECT_EQ(QX_EXPORT(m_host, AddShare)(strLong.c_str(), "C:\\windows") & 0xFF, 0);
    EXPECT_EQ(QX_EXPORT(m_host, AddShare)(nullptr, "C:\\windows") & 0xFF, 0);
    EXPECT_TRUE(CBoxHook::Take().empty());
}

TEST_F(SharesNetwork, GetSharePathRemoteCutsTheNameAndLeavesThePath)
{
    char szComputer[MAX_COMPUTERNAME_LENGTH + 3] = "\\\\";
    DWORD cch = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameA(szComputer + 2, &cch));
    for (const char* pszServer : {static_cast<const char*>(nullptr), "", static_cast<const char*>(szComputer)}) {
        char szShare[300] = "\\\\QXDC2\\NETLOGON";
        char szPath[300] = "untouched";
        EXPECT_EQ(QX_EXPORT(m_host, GetSharePathRemote)(pszServer, szShare, szPath), 0);
        EXPECT_STREQ(szShare, "NETLOGON");
        EXPECT_STREQ(szPath, "untouched");
    }
    std::string strLong = "\\\\QXDC2\\" + std::string(256, 's');
    std::vector<char> share(strLong.begin(), strLong.end());
    share.push_back('\0');
    char szPath[300] = "untouched";
    EXPECT_EQ(QX_EXPORT(m_host, GetSharePathRemote)(nullptr, share.data(), szPath), 0);
    EXPECT_EQ(std::string(share.data()), strLong);
}

TEST_F(SharesNetwork, FindReplFindsNothingWithoutANetwork)
{
    char szName[256] = "untouched";
    EXPECT_EQ(QX_EXPORT(m_host, FindRepl)(szName), 0);
    EXPECT_STREQ(szName, "untouched");
    EXPECT_EQ(QX_EXPORT(m_host, FindRepl)(nullptr), 0);
}

TEST_F(SharesNetwork, SetSharePermissionsGrantsNothingItCannotResolve)
{
    // Wine resolves no account on "." (and would read no share), so NetShareSetInfo is never reached.
    EXPECT_EQ(QX_EXPORT(m_host, SetSharePermissions)("QXWTSHARE", 0, "", "Guest", "Administrators") & 0xFF, 0);
    EXPECT_EQ(QX_EXPORT(m_host, SetSharePermissions)("QXWTSHARE", 3, "", "Guest", "Administrators") & 0xFF, 1);
    EXPECT_EQ(QX_EXPORT(m_host, SetSharePermissions)(nullptr, 1, "", "Guest", "Administrators") & 0xFF, 0);
    EXPECT_TRUE(CBoxHook::Take().empty());
}

}  // namespace
}  // namespace qx::host
