// The machine's role from the registry's product type, and the system language table.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "domain/domain.h"
#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::SimTest;

const char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

class DomainRoleTest : public SimTest {
protected:
    int RoleFor(const std::string& strValue)
    {
        sim.m_registry.SetString(kKey, "ProductType", strValue);
        return IsDomainController();
    }
};

TEST_F(DomainRoleTest, ProductTypesGiveTheirRoles)
{
    struct Case {
        const char* pszValue;
        int nRole;
    } cases[] = {
        {"LanmanNT", 1}, {"LANMANNT", 1}, {"lanmannt", 1},  // any letter case after upper-casing
        {"ServerNT", 2}, {"SERVERNT", 2}, {"servernt", 2},
        {"WinNT", 3},    {"WINNT", 3},    {"winnt", 3},
        {"ServerNT Enterprise", 2},  // the case-sensitive prefix alone decides
        {"ServerNTx", 2},
        {"SERVERNTX", 0},  // the prefix test is case-sensitive, the whole value then differs
        {"serverNTx", 0},
        {"WINNTX", 0},     // whole-value comparison: more characters give nothing
        {"WinNT ", 0},
        {"LanmanNT2", 0},
        {"Server", 0},
        {"", 0},
        {"Workstation", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RoleFor(c.pszValue), c.nRole) << '"' << c.pszValue << '"';
        EXPECT_TRUE(Settled());
    }
}

TEST_F(DomainRoleTest, TheValueIsReadFromItsKeyWithQueryAccess)
{
    EXPECT_EQ(RoleFor("LanmanNT"), 1);
    EXPECT_EQ(sim.m_kernel.Calls("RegOpenKeyExA"), 1);
    EXPECT_EQ(sim.m_kernel.Calls("RegQueryValueExA"), 1);
    EXPECT_TRUE(Settled());
    // The same value under another key means nothing.
    sim.m_registry.RemoveKey(kKey);
    sim.m_registry.SetString("SYSTEM\\CurrentControlSet\\Control\\Other", "ProductType", "LanmanNT");
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(DomainRoleTest, AnUnreadableProductTypeGivesNoRole)
{
    // No key at all.
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
    // A key without the value.
    sim.m_registry.AddKey(kKey);
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
    // A key that may not be opened.
    sim.m_registry.SetString(kKey, "ProductType", "WinNT");
    sim.m_registry.DenyKey(kKey);
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(DomainRoleTest, AFailedReadClosesTheKeyAndGivesNoRole)
{
    sim.m_registry.SetString(kKey, "ProductType", "LanmanNT");
    sim.m_kernel.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
    sim.m_kernel.FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(IsDomainController(), 1);  // the faults were one call each
    EXPECT_TRUE(Settled());
}

TEST_F(DomainRoleTest, ValuesThatFillOrOverflowTheBufferAreReadSafely)
{
    // More than 1024 bytes: the read fails (more data), so no role.
    EXPECT_EQ(RoleFor("ServerNT" + std::string(2000, 'x')), 0);
    EXPECT_TRUE(Settled());
    // Exactly 1024 bytes and no terminator: only the bytes read are looked at (the sanitizer build
    // catches a read past the buffer).
    sim.m_registry.SetValue(kKey, "ProductType", REG_SZ, "ServerNT" + std::string(1016, 'x'));
    EXPECT_EQ(IsDomainController(), 2);
    EXPECT_TRUE(Settled());
    sim.m_registry.SetValue(kKey, "ProductType", REG_SZ, "WINNT" + std::string(1019, ' '));
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(DomainRoleTest, TheValueTypeIsNotTested)
{
    sim.m_registry.SetMultiString(kKey, "ProductType", {"WinNT"});
    EXPECT_EQ(IsDomainController(), 3);
    sim.m_registry.SetValue(kKey, "ProductType", REG_BINARY, std::string("LanmanNT"));  // no terminator
    EXPECT_EQ(IsDomainController(), 1);
    sim.m_registry.SetValue(kKey, "ProductType", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(IsDomainController(), 0);
    EXPECT_TRUE(Settled());
}

// The identifiers of the suite's four languages, written out as the product lists them.
const std::set<LANGID> kEnglish = {0x0409, 0x0809, 0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09,
                                   0x2009, 0x2409, 0x2809, 0x2C09, 0x3009, 0x3409};
const std::set<LANGID> kGerman = {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407};
const std::set<LANGID> kSpanish = {0x040A, 0x080A, 0x0C0A, 0x100A, 0x140A, 0x180A, 0x1C0A,
                                   0x200A, 0x240A, 0x280A, 0x2C0A, 0x300A, 0x340A, 0x380A,
                                   0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A, 0x500A};
const std::set<LANGID> kFrench = {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C};

TEST_F(SimTest, EveryLanguageIdentifierGivesItsCodeMatchedWhole)
{
    EXPECT_EQ(kEnglish.size() + kGerman.size() + kSpanish.size() + kFrench.size(), 44u);
    int nCounts[5] = {};
    for (unsigned nId = 0; nId <= 0xFFFF; ++nId) {
        LANGID langId = static_cast<LANGID>(nId);
        int nExpected = kEnglish.count(langId) ? 1 : kGerman.count(langId) ? 2 : kSpanish.count(langId) ? 3
                                                   : kFrench.count(langId) ? 4 : 0;
        sim.m_system.m_langId = langId;
        int nCode = GetSystemLanguage();
        ASSERT_EQ(nCode, nExpected) << std::hex << "identifier 0x" << nId;
        ++nCounts[nCode];
    }
    EXPECT_EQ(nCounts[1], 13);
    EXPECT_EQ(nCounts[4], 6);
    // The edges, by name: English sublanguage 14 and the neutral one, the sublanguage after the
    // last of each language, and sublanguage 1 of another primary language.
    for (LANGID langId : {0x3809, 0x0009, 0x1807, 0x540A, 0x1C0C, 0x0000, 0x0489}) {
        sim.m_system.m_langId = langId;
        EXPECT_EQ(GetSystemLanguage(), 0) << std::hex << langId;
    }
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
