// EnumServers: the walk over the domain's controllers, index by index, on the simulated browser.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::SimTest;

class DomainServersTest : public SimTest {
protected:
    void SetUp() override { sim.m_system.m_strComputerName = "QxServer"; }

    // One call with a buffer full of a marker and guard bytes beyond its 260 bytes.
    int Call(unsigned int nIndex)
    {
        std::memset(m_szBuffer, '#', sizeof m_szBuffer);
        m_szBuffer[sizeof m_szBuffer - 1] = '\0';
        return EnumServers(m_szBuffer, nIndex);
    }
    std::string Output() const { return m_szBuffer; }
    bool GuardIntact() const
    {
        for (size_t n = 261; n < sizeof m_szBuffer - 1; ++n) {
            if (m_szBuffer[n] != '#')
                return false;
        }
        return true;
    }
    // The whole walk as the host makes it: (result, output) until the first 0.
    std::vector<std::pair<int, std::string>> Walk()
    {
        std::vector<std::pair<int, std::string>> seen;
        for (unsigned int n = 0; n < 100; ++n) {
            int nResult = Call(n);
            EXPECT_TRUE(Settled()) << "index " << n;
            seen.emplace_back(nResult, Output());
            if (nResult == 0)
                break;
        }
        return seen;
    }

    char m_szBuffer[300];
};

using Walked = std::vector<std::pair<int, std::string>>;

TEST_F(DomainServersTest, AnEmptyListStillGivesThisMachineFirst)
{
    EXPECT_EQ(Walk(), (Walked{{1, "QxServer"}, {0, ""}}));  // the local name keeps its letter case
}

TEST_F(DomainServersTest, ControllersComeUpperCasedAndThisMachineIsSkipped)
{
    sim.m_netServer.AddPrimaryController(L"pdc-main");
    sim.m_netServer.AddBackupController(L"QXSERVER");  // this machine, as the browser spells it
    sim.m_netServer.AddBackupController(L"Bdc2");
    sim.m_netServer.AddServer(L"ws17", 0x00000001);  // a workstation: not a controller
    sim.m_netServer.AddServer(L"OTHERDC", SV_TYPE_DOMAIN_CTRL, L"OTHERDOMAIN");
    EXPECT_EQ(Walk(), (Walked{{1, "QxServer"}, {1, "PDC-MAIN"}, {2, ""}, {1, "BDC2"}, {0, ""}}));
}

TEST_F(DomainServersTest, TheBrowserIsAskedForAllControllersOfThePrimaryDomain)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    EXPECT_EQ(Call(1), 1);
    ASSERT_EQ(sim.m_netServer.m_calls.size(), 1u);
    const auto& call = sim.m_netServer.m_calls[0];
    EXPECT_FALSE(call.bServerGiven);
    EXPECT_EQ(call.dwLevel, 100u);
    EXPECT_EQ(call.dwPrefMaxLen, MAX_PREFERRED_LENGTH);
    EXPECT_EQ(call.dwServerType, 0x18u);
    EXPECT_FALSE(call.bDomainGiven);
    EXPECT_FALSE(call.bResumeGiven);
    EXPECT_TRUE(Settled());
}

TEST_F(DomainServersTest, TheIndexEqualToTheCountIsTheLastEntry)
{
    sim.m_netServer.AddPrimaryController(L"a");
    sim.m_netServer.AddBackupController(L"b");
    EXPECT_EQ(Call(2), 1);
    EXPECT_EQ(Output(), "B");
    EXPECT_EQ(Call(3), 0);
    EXPECT_EQ(Output(), "");
    EXPECT_EQ(Call(0xFFFFFFFFu), 0);
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(Settled());
}

TEST_F(DomainServersTest, AFailedEnumerationCountsAsAnEmptyList)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND, 0);
    EXPECT_EQ(Walk(), (Walked{{1, "QxServer"}, {0, ""}}));
}

TEST_F(DomainServersTest, APartialAnswerCountsAsFailedAndItsBufferIsFreed)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    sim.m_netServer.AddBackupController(L"BDC1");
    sim.m_netServer.AddBackupController(L"BDC2");
    sim.m_netServer.m_nBrowseListLimit = 1;  // ERROR_MORE_DATA with one entry handed out
    EXPECT_EQ(Walk(), (Walked{{1, "QxServer"}, {0, ""}}));
}

TEST_F(DomainServersTest, EveryCallAsksAfresh)
{
    sim.m_netServer.AddPrimaryController(L"first");
    EXPECT_EQ(Call(1), 1);
    EXPECT_EQ(Output(), "FIRST");
    sim.m_netServer.m_servers.clear();
    sim.m_netServer.AddPrimaryController(L"second");
    EXPECT_EQ(Call(1), 1);
    EXPECT_EQ(Output(), "SECOND");
    EXPECT_EQ(sim.m_netServer.m_calls.size(), 2u);
    EXPECT_TRUE(Settled());
}

TEST_F(DomainServersTest, NamesAreUpperCasedInTheAnsiCodePage)
{
    sim.m_netServer.AddPrimaryController(L"s\u00e9rver");  // e acute, 0xE9 in code page 1252
    EXPECT_EQ(Call(1), 1);
    EXPECT_EQ(Output(), "S\xC9RVER");
    EXPECT_TRUE(Settled());
}

TEST_F(DomainServersTest, NamesAreBoundedByTheirBufferAndAlwaysTerminated)
{
    std::wstring wstrLongest(259, L'n');
    sim.m_netServer.AddPrimaryController(wstrLongest);
    sim.m_netServer.AddBackupController(std::wstring(260, L'x'));  // no room for its terminator
    sim.m_netServer.AddBackupController(std::wstring(1000, L'y'));
    EXPECT_EQ(Call(1), 1);
    EXPECT_EQ(Output(), std::string(259, 'N'));
    EXPECT_TRUE(GuardIntact());
    EXPECT_EQ(Call(2), 2);  // cannot be handed on whole: skipped, nothing written
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(GuardIntact());
    EXPECT_EQ(Call(3), 2);
    EXPECT_EQ(Output(), "");
    EXPECT_TRUE(GuardIntact());
    EXPECT_TRUE(Settled());
}

TEST_F(DomainServersTest, ANameWithoutAnAnsiFormIsSkipped)
{
    sim.m_netServer.AddPrimaryController(L"SRV\u4e2d");
    sim.m_netServer.AddBackupController(L"BDC");
    EXPECT_EQ(Walk(), (Walked{{1, "QxServer"}, {2, ""}, {1, "BDC"}, {0, ""}}));
}

TEST_F(DomainServersTest, WithoutItsOwnNameThisMachineIsSkipped)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    sim.m_kernel.FailCall("GetComputerNameA", ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(Walk(), (Walked{{2, ""}, {1, "PDC"}, {0, ""}}));
}

TEST_F(DomainServersTest, ANullBufferIsRefused)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    EXPECT_EQ(EnumServers(nullptr, 0), 0);
    EXPECT_EQ(EnumServers(nullptr, 1), 0);
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
