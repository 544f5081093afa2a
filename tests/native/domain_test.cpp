// The machine's role from the registry, the system language, and the walk over the domain's controllers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

const char kKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
using Walked = std::vector<std::pair<int, std::string>>;

class DomainTest : public test::SimTest {
protected:
    void SetUp() override { sim.m_system.m_strComputerName = "QxServer"; }

    int Role() { return Settle(IsDomainController); }
    // One EnumServers call into a 260-byte buffer full of a marker, with guard bytes beyond it.
    int Call(unsigned int nIndex)
    {
        std::memset(m_szBuffer, '#', sizeof m_szBuffer - 1);
        int nResult = Settle(EnumServers, m_szBuffer, nIndex);
        EXPECT_EQ(std::string(m_szBuffer + 261), std::string(sizeof m_szBuffer - 262, '#')) << "index " << nIndex;
        return nResult;
    }
    // The walk as the host makes it: (result, output) for the indexes 0, 1, ... until the first 0.
    Walked Walk()
    {
        Walked seen;
        for (unsigned int n = 0; n < 20 && (seen.empty() || seen.back().first != 0); ++n)
            seen.emplace_back(Call(n), m_szBuffer);
        return seen;
    }

    char m_szBuffer[300] = {};
};

// The case-sensitive prefix or the whole value in any case decides, whatever the value's type.
TEST_F(DomainTest, ProductTypesGiveTheirRoles)
{
    constexpr DWORD kBare = 0;  // REG_SZ stored without a terminator
    const std::string x2000(2000, 'x'), x1016(1016, 'x'), s1019(1019, ' ');
    const std::pair<const char*, int> strings[] = {
        {"LanmanNT", 1},   {"lanmannt", 1},  {"ServerNT", 2}, {"servernt", 2}, {"WinNT", 3},     {"winnt", 3},
        {"ServerNT E", 2}, {"SERVERNTX", 0}, {"WINNTX", 0},   {"WinNT ", 0},   {"LanmanNT2", 0}, {"", 0}};
    // The bytes stored (a REG_SZ with its terminator), the type, the role.
    std::vector<std::tuple<std::string, DWORD, int>> cases = {
        {"ServerNT" + x2000, REG_SZ, 0}, {"ServerNT" + x1016, kBare, 2},
        {"WINNT" + s1019, kBare, 0},     {std::string("WinNT\0\0", 7), REG_MULTI_SZ, 3},
        {"LanmanNT", REG_BINARY, 1},     {std::string("\x01\0\0\0", 4), REG_DWORD, 0}};
    for (auto [pszValue, nRole] : strings)
        cases.emplace_back(pszValue, REG_SZ, nRole);
    EXPECT_EQ(Role(), 0);  // no key
    sim.m_registry.AddKey(kKey);
    EXPECT_EQ(Role(), 0);  // no value
    for (const auto& [value, dwType, nRole] : cases) {
        if (dwType == REG_SZ)
            sim.m_registry.SetString(kKey, "ProductType", value);
        else
            sim.m_registry.SetValue(kKey, "ProductType", dwType == kBare ? REG_SZ : dwType, value);
        EXPECT_EQ(Role(), nRole) << '"' << value.substr(0, 30) << "\" type " << dwType;
    }
    sim.m_registry.SetString(kKey, "ProductType", "LanmanNT");
    for (const char* pszCall : {"RegQueryValueExA", "RegOpenKeyExA"}) {
        sim.m_kernel.FailCall(pszCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(Role(), 0) << pszCall;
    }
    EXPECT_EQ(Role(), 1);  // the faults were one call each
    sim.m_registry.DenyKey(kKey);
    EXPECT_EQ(Role(), 0);
}

TEST_F(DomainTest, EveryLanguageIdentifierGivesItsCodeMatchedWhole)
{
    const std::set<LANGID> kLanguages[5] = {
        {},
        {0x0409, 0x0809, 0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09, 0x2009, 0x2409, 0x2809, 0x2C09, 0x3009, 0x3409},
        {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407},
        {0x040A, 0x080A, 0x0C0A, 0x100A, 0x140A, 0x180A, 0x1C0A, 0x200A, 0x240A, 0x280A,
         0x2C0A, 0x300A, 0x340A, 0x380A, 0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A, 0x500A},
        {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C},
    };
    for (unsigned nId = 0; nId <= 0xFFFF; ++nId) {
        int nExpected = 0;
        for (int nCode = 1; nCode < 5; ++nCode)
            nExpected = kLanguages[nCode].count(static_cast<LANGID>(nId)) ? nCode : nExpected;
        sim.m_system.m_langId = static_cast<LANGID>(nId);
        ASSERT_EQ(GetSystemLanguage(), nExpected) << std::hex << "identifier 0x" << nId;
        ASSERT_TRUE(Settled());
    }
}

// This machine first, each controller once; names the code page cannot hold or too long give 2.
TEST_F(DomainTest, TheWalkNamesThisMachineThenTheControllersUpperCased)
{
    auto& net = sim.m_netServer;
    const std::string n259(259, 'N');
    struct Case {
        std::function<void()> setUp;
        Walked expected;
    } cases[] = {
        {[] {}, {{1, "QxServer"}, {0, ""}}},
        {[&] {
             net.AddPrimaryController(L"pdc-main");
             net.AddBackupController(L"QXSERVER");  // this machine, as the browser spells it
             net.AddBackupController(L"Bdc2");
             net.AddServer(L"ws17", 0x00000001);  // a workstation: not a controller
             net.AddServer(L"OTHERDC", SV_TYPE_DOMAIN_CTRL, L"OTHERDOMAIN");
         },
         {{1, "QxServer"}, {1, "PDC-MAIN"}, {2, ""}, {1, "BDC2"}, {0, ""}}},
        {[&] { sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND, 0); },
         {{1, "QxServer"}, {0, ""}}},
        {[&] { net.AddBackupController(L"BDC1"), net.m_nBrowseListLimit = 1; }, {{1, "QxServer"}, {0, ""}}},
        {[&] { net.AddBackupController(L"s\u00e9rver"), net.AddBackupController(L"SRV\u4e2d"); },
         {{1, "QxServer"}, {1, "PDC"}, {1, "S\xC9RVER"}, {2, ""}, {0, ""}}},
        {[&] {
             net.AddBackupController(std::wstring(259, L'n'));
             net.AddBackupController(std::wstring(260, L'x'));  // no room for its terminator
             net.AddBackupController(std::wstring(1000, L'y'));
         },
         {{1, "QxServer"}, {1, "PDC"}, {1, n259}, {2, ""}, {2, ""}, {0, ""}}},
        {[&] { sim.m_kernel.FailCall("GetComputerNameA", ERROR_ACCESS_DENIED, 0); }, {{2, ""}, {1, "PDC"}, {0, ""}}},
    };
    for (Case& c : cases) {
        net.m_servers.clear();
        net.m_nBrowseListLimit = 0;
        sim.m_kernel.ClearFaults();
        if (&c != cases && &c != cases + 1)
            net.AddPrimaryController(L"PDC");
        c.setUp();
        EXPECT_EQ(Walk(), c.expected) << &c - cases;
    }
}

}  // namespace
}  // namespace qx
