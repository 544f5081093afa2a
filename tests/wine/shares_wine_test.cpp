// The shares area under Wine: the simulated security primitives against the real advapi32 on the same
// inputs, and GetSharePath against share values written into the prefix's registry. No test reaches
// NetShareSetInfo, a Wine stub that raises.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host/dll_host.h"
#include "platform/platform.h"
#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"

namespace qx::host {
namespace {

// ---- the security primitives: simulated and real, byte for byte ----

class SharesAclPrimitives : public ::testing::Test {
protected:
    using Call = std::function<BOOL(IAcl&, BYTE*)>;
    // Runs call on a fresh copy of input with both implementations: the same result, the same last
    // error (read on failure, or always with bAlwaysError), the same bytes after.
    void Compare(const std::string& strWhat, const std::string& input, const Call& call, bool bAlwaysError = false)
    {
        std::string outcomes[2];
        for (int nImpl = 0; nImpl < 2; ++nImpl) {
            std::string buffer = input;
            SetLastError(0xdeadbeef);
            m_kernel.m_dwLastError = 0xdeadbeef;
            BOOL bResult = call(nImpl == 0 ? *Win32Platform().pAcl : static_cast<IAcl&>(m_sim),
                                reinterpret_cast<BYTE*>(&buffer[0]));
            DWORD dwError = !bResult || bAlwaysError ? (nImpl == 0 ? GetLastError() : m_kernel.m_dwLastError) : 0;
            outcomes[nImpl] = std::to_string(!!bResult) + " " + std::to_string(dwError) + " " + buffer;
        }
        EXPECT_EQ(outcomes[1], outcomes[0]) << strWhat;
    }
    static std::string Sid(const char* pszSid) { return sim::SidFromString(pszSid); }

    sim::CSimKernel m_kernel;
    sim::CSimAcl m_sim {m_kernel};
};

TEST_F(SharesAclPrimitives, InitializersAndSidsAgree)
{
    for (DWORD dwRevision : {1u, 0u, 2u})
        Compare("descriptor revision " + std::to_string(dwRevision),
                std::string(sizeof(SECURITY_DESCRIPTOR) + 8, '\xAB'),
                [dwRevision](IAcl& acl, BYTE* p) { return acl.InitializeSecurityDescriptor(p, dwRevision); });
    struct Case {
        DWORD cbAcl, dwRevision;
    } cases[] = {
        {64, ACL_REVISION}, {64, ACL_REVISION_DS},   {8, ACL_REVISION},     {64, 1}, {64, 5}, {7, ACL_REVISION},
        {0, ACL_REVISION},  {0x10000, ACL_REVISION}, {0xFFFF, ACL_REVISION}};
    for (const Case& c : cases)
        Compare("list size " + std::to_string(c.cbAcl) + " revision " + std::to_string(c.dwRevision),
                std::string(80, '\xCD'), [c](IAcl& acl, BYTE* p) {
                    return acl.InitializeAcl(reinterpret_cast<PACL>(p), c.cbAcl, c.dwRevision);
                });
    // SIDs: lengths, and comparisons of valid and invalid ones.
    std::vector<std::string> sids = {Sid("S-1-1-0"),
                                     Sid("S-1-5-32-544"),
                                     Sid("S-1-5-21-3623811015-3361044348-30300820-1013"),
                                     Sid("S-1-5-21-3623811015-3361044348-30300820-1014"),
                                     Sid("S-1-5-18"),
                                     Sid("S-1-5-18")};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(m_sim.GetLengthSid(&sids[i][0]), Win32Platform().pAcl->GetLengthSid(&sids[i][0])) << i;
    sids[4][0] = 2;  // an unknown revision
    sids[5][1] = 16;  // too many sub-authorities
    sids[5].resize(80, '\0');
    for (size_t i = 0; i < sids.size(); ++i) {
        for (std::string other : sids)
            Compare(
                "EqualSid " + std::to_string(i), sids[i],
                [other](IAcl& acl, BYTE* p) mutable { return acl.EqualSid(p, &other[0]); }, true);
    }
}

TEST_F(SharesAclPrimitives, AddAceAppendsTheSameBytesAndRefusesAlike)
{
    std::string everyone = sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x001200A9, Sid("S-1-1-0"));
    std::string user = sim::MakeAce(ACCESS_DENIED_ACE_TYPE, 3, GENERIC_ALL, Sid("S-1-5-21-1-2-3-1013"));
    std::string both = everyone + user;
    auto add = [](std::string aces, DWORD dwRevision, DWORD dwIndex) -> Call {
        return [aces, dwRevision, dwIndex](IAcl& acl, BYTE* p) mutable {
            return acl.AddAce(reinterpret_cast<PACL>(p), dwRevision, dwIndex, &aces[0],
                              static_cast<DWORD>(aces.size()));
        };
    };
    std::string roomy = sim::MakeAcl({}, ACL_REVISION, both.size() + 16);
    std::string holding = sim::MakeAcl({everyone}, ACL_REVISION, user.size());
    std::string overfull = sim::MakeAcl({everyone, user});
    overfull[2] = 20;  // the entries claim more than the list holds
    Compare("one entry at the end", roomy, add(everyone, ACL_REVISION, MAXDWORD));
    Compare("two entries at once", roomy, add(both, ACL_REVISION, MAXDWORD));
    Compare("a later revision", roomy, add(everyone, ACL_REVISION_DS, MAXDWORD));
    Compare("an index past the last entry", roomy, add(everyone, ACL_REVISION, 5));
    Compare("after an entry, filling the list", holding, add(user, ACL_REVISION, MAXDWORD));
    Compare("no room", holding, add(both, ACL_REVISION, MAXDWORD));
    Compare("exactly full", sim::MakeAcl({everyone}), add(user, ACL_REVISION, MAXDWORD));
    Compare("a bad list revision", sim::MakeAcl({}, 9, 56), add(everyone, ACL_REVISION, MAXDWORD));
    Compare("entries past the list", overfull, add(everyone, ACL_REVISION, MAXDWORD));
}

TEST_F(SharesAclPrimitives, GetSecurityDescriptorDaclReadsBothForms)
{
    std::string dacl = sim::MakeAcl({sim::MakeAce(0, 0, GENERIC_ALL, Sid("S-1-1-0"))});
    // Reads the descriptor at the start and writes what it gave behind it: present, defaulted and the
    // DACL's offset from the start (the flags are not defined after a failure).
    auto read = [](size_t cbSd) -> Call {
        return [cbSd](IAcl& acl, BYTE* p) {
            BOOL ab[2] = {7, 7};  // present, defaulted
            PACL pDacl = reinterpret_cast<PACL>(1);
            if (!acl.GetSecurityDescriptorDacl(p, &ab[0], &pDacl, &ab[1]))
                return FALSE;
            DWORD adw[3] = {static_cast<DWORD>(ab[0]), static_cast<DWORD>(ab[1]),
                            pDacl ? static_cast<DWORD>(reinterpret_cast<BYTE*>(pDacl) - p) : MAXDWORD};
            std::memcpy(p + cbSd, adw, sizeof adw);
            return TRUE;
        };
    };
    auto sd = [](bool bPresent, const std::string& dacl, bool bDaclFirst, SECURITY_DESCRIPTOR_CONTROL wControl) {
        sim::CSdParts parts {
            SECURITY_DESCRIPTOR_REVISION, wControl, Sid("S-1-5-32-544"), Sid("S-1-5-18"), bPresent, dacl, bDaclFirst};
        return sim::MakeSelfRelativeSd(parts);
    };
    std::pair<const char*, std::string> cases[] = {
        {"DACL after owner and group", sd(true, dacl, false, 0)},
        {"DACL first, defaulted", sd(true, dacl, true, SE_DACL_DEFAULTED)},
        {"null DACL", sd(true, "", true, 0)},
        {"no DACL", sd(false, dacl, false, 0)},
        {"unknown revision", "\x02" + sd(true, dacl, false, 0).substr(1)},
    };
    for (const auto& c : cases)
        Compare(c.first, c.second + std::string(12, '\0'), read(c.second.size()));
    // The absolute form the library makes for a share without a descriptor: no DACL.
    Compare("absolute, no DACL", std::string(sizeof(SECURITY_DESCRIPTOR) + 12, '\0'), [&](IAcl& acl, BYTE* p) {
        return acl.InitializeSecurityDescriptor(p, SECURITY_DESCRIPTOR_REVISION) &&
               read(sizeof(SECURITY_DESCRIPTOR))(acl, p);
    });
}

// ---- GetSharePath against the prefix's registry ----

TEST(SharesPath, ReadsShareValuesOfTheRealRegistry)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    std::string strName = "QXWT" + std::to_string(GetCurrentProcessId()) + "_SCRIPTS";
    std::string strHuge = strName + "_HUGE";
    std::string strLower = strName;
    CharLowerA(&strLower[0]);
    auto set = [hKey](const std::string& strValue, const std::string& data) {
        EXPECT_EQ(RegSetValueExA(hKey, strValue.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    };
    set(strName, std::string("CSCFlags=0\0MaxUses=4294967295\0Path=C:\\Qorvex\\Scripts\0Type=0\0\0", 61));
    set(strHuge, "Path=C:\\x" + std::string(1100, '\0'));
    struct Case {
        std::string strIn;
        int nResult;
        std::string strShare;
        const char* pszPath;
    } cases[] = {
        {strName, 1, strName, "C:\\QORVEX\\SCRIPTS"},
        {"\\\\ANYSERVER\\" + strLower + "\\Logon\\Users", 1, strLower, "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {strHuge, 3, strHuge, "untouched"},  // more than 1024 bytes
        {strName + "_NOSUCH", 3, strName + "_NOSUCH", "untouched"},
    };
    CDllHost host;
    for (const Case& c : cases) {
        char szShare[1100];
        char szPath[1100] = "untouched";
        std::strcpy(szShare, c.strIn.c_str());
        EXPECT_EQ(QX_EXPORT(host, GetSharePath)(szShare, szPath), c.nResult) << c.strIn;
        EXPECT_EQ(szShare, c.strShare) << c.strIn;
        EXPECT_STREQ(szPath, c.pszPath) << c.strIn;
    }
    RegDeleteValueA(hKey, strName.c_str());
    RegDeleteValueA(hKey, strHuge.c_str());
    RegCloseKey(hKey);
}

}  // namespace
}  // namespace qx::host
