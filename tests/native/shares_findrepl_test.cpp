// FindRepl over the simulated network tree: the depth-first walk in the platform's order, the exact
// "REPL$" prefix, containers that fail being passed over, batches of the 16384-byte buffer, long
// names, and every level's handle and buffer released.
#include <gtest/gtest.h>

#include <cstring>

#include "qxinst.h"
#include "replication/find_repl.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using sim::NetDomainNode;
using sim::NetProviderNode;
using sim::NetServerNode;
using sim::NetShareNode;

class FindReplTest : public test::SimTest {
protected:
    FindReplTest()
    {
        sim::CSimNetResource& network = sim.m_netEnum.m_root.Add(NetProviderNode("Microsoft Windows Network"));
        sim::CSimNetResource& domain = network.Add(NetDomainNode("QXDOMAIN"));
        sim::CSimNetResource& dc1 = domain.Add(NetServerNode("QXDC1"));
        dc1.Add(NetShareNode("\\\\QXDC1\\NETLOGON"));
        dc1.Add(NetShareNode("\\\\QXDC1\\repl$"));
        sim::CSimNetResource& dc2 = domain.Add(NetServerNode("QXDC2"));
        dc2.Add(NetShareNode("\\\\QXDC2\\SYSVOL"));
        dc2.Add(NetShareNode("\\\\QXDC2\\REPL$"));
        network.Add(NetDomainNode("LATER")).Add(NetServerNode("QXDC3")).Add(NetShareNode("\\\\QXDC3\\REPL$"));
        sim.m_netEnum.m_root.Add(NetProviderNode("Web Client Network"));
    }
    sim::CSimNetResource& Domain() { return sim.m_netEnum.m_root.children[0].children[0]; }
    sim::CSimNetResource& Server(int n) { return Domain().children[n]; }
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> opened;
        for (const auto& open : sim.m_netEnum.m_opens)
            opened.push_back(open.strContainer);
        return opened;
    }
    int Call()
    {
        std::strcpy(m_szName, "untouched");
        int nResult = FindRepl(m_szName);
        EXPECT_TRUE(Settled());
        return nResult;
    }
    char m_szName[256] = {};
};

TEST_F(FindReplTest, WalksDepthFirstAndStopsAtTheFirstMatch)
{
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\QXDC2\\REPL$");
    EXPECT_EQ(Opened(), (std::vector<std::string>{"", "Microsoft Windows Network", "QXDOMAIN", "\\\\QXDC1",
                                                  "\\\\QXDC2"}));
    for (const auto& open : sim.m_netEnum.m_opens) {
        EXPECT_EQ(open.dwScope, static_cast<DWORD>(RESOURCE_GLOBALNET));
        EXPECT_EQ(open.dwType, static_cast<DWORD>(RESOURCETYPE_ANY));
        EXPECT_EQ(open.dwUsage, 0u);
    }
    EXPECT_EQ(sim.m_netEnum.m_countsAsked.front(), 0xFFFFFFFFu);
}

TEST_F(FindReplTest, TheNameIsComparedInCapitalsAsAPrefix)
{
    Server(1).children[1].strRemoteName = "\\\\QXDC2\\Repl$";
    sim.m_netEnum.m_root.children[0].children.pop_back();  // without the LATER domain
    EXPECT_EQ(Call(), 0) << "repl$ and Repl$ are not REPL$";
    EXPECT_STREQ(m_szName, "untouched");
    EXPECT_EQ(Opened().size(), 6u) << "the whole network was walked";

    Server(1).children[1].strRemoteName = "\\\\QXDC2\\REPL$OLD";
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\QXDC2\\REPL$OLD");
}

TEST_F(FindReplTest, AnyEntryCountsNotOnlyShares)
{
    Domain().children.insert(Domain().children.begin(), NetServerNode("REPL$HOST"));
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\REPL$HOST") << "the last component of a server name is the name itself";
}

TEST_F(FindReplTest, ContainersThatFailArePassedOver)
{
    Server(0).dwOpenError = ERROR_BAD_NETPATH;
    Domain().dwEnumError = ERROR_NO_NETWORK;  // hands out QXDC1, then fails before QXDC2
    Domain().nEnumErrorAfter = 1;
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\QXDC3\\REPL$");
    EXPECT_EQ(Opened(), (std::vector<std::string>{"", "Microsoft Windows Network", "QXDOMAIN", "\\\\QXDC1", "LATER",
                                                  "\\\\QXDC3"}));
    EXPECT_EQ(sim.m_netEnum.m_opens[3].dwResult, static_cast<DWORD>(ERROR_BAD_NETPATH));
}

TEST_F(FindReplTest, FailuresOfTheCallsThemselvesEndOnlyTheirLevel)
{
    struct Case {
        const char* pszCall;
        int nNth;
        const char* pszFound;
    } cases[] = {
        {"WNetOpenEnumA", 3, "\\\\QXDC3\\REPL$"},       // QXDOMAIN cannot be opened
        {"WNetEnumResourceA", 4, "\\\\QXDC2\\REPL$"},   // QXDC1's first batch fails
        {"GlobalAlloc", 5, "\\\\QXDC3\\REPL$"},         // QXDC2's buffer cannot be had
        {"WNetOpenEnumA", 1, nullptr},                  // the top of the network
        {"GlobalAlloc", 1, nullptr},
    };
    for (const Case& c : cases) {
        sim.m_kernel.ClearFaults();
        sim.m_kernel.FailCall(c.pszCall, ERROR_NOT_ENOUGH_MEMORY, c.nNth);
        EXPECT_EQ(Call(), c.pszFound != nullptr ? 1 : 0) << c.pszCall << " #" << c.nNth;
        EXPECT_STREQ(m_szName, c.pszFound != nullptr ? c.pszFound : "untouched") << c.pszCall << " #" << c.nNth;
    }
}

TEST_F(FindReplTest, WithoutANetworkNothingIsWritten)
{
    sim.m_netEnum.m_dwNoNetworkError = ERROR_NO_NETWORK;
    EXPECT_EQ(Call(), 0);
    EXPECT_STREQ(m_szName, "untouched");
    EXPECT_EQ(FindRepl(nullptr), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(FindReplTest, LongLevelsComeInSeveralBatchesOfTheSameBuffer)
{
    sim::CSimNetResource& big = Domain().children.insert(Domain().children.begin(), NetServerNode("BIG"))[0];
    for (int i = 0; i < 400; ++i)
        big.Add(NetShareNode("\\\\BIG\\SHARE" + std::to_string(i) + std::string(40, '_')));
    big.Add(NetShareNode("\\\\BIG\\REPL$"));
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\BIG\\REPL$");
    // The level's first call asks for as many as fit; later ones for as many as the last batch held.
    const std::vector<DWORD>& counts = sim.m_netEnum.m_countsAsked;
    ASSERT_GE(counts.size(), 6u);
    EXPECT_EQ(counts[3], 0xFFFFFFFFu);
    EXPECT_LT(counts[4], 400u);
    EXPECT_GT(counts[4], 100u);
}

TEST_F(FindReplTest, NamesOf256CharactersOrMoreAreSkippedButTheirContainersSearched)
{
    std::string strLongServer = "\\\\" + std::string(260, 'L');
    sim::CSimNetResource longServer = NetServerNode(std::string(260, 'L'));
    longServer.Add(NetShareNode(strLongServer + "\\REPL$"));  // too long to test
    sim::CSimNetResource inner = NetDomainNode("REPL");
    inner.Add(NetShareNode("\\\\QXIN\\REPL$"));
    longServer.Add(inner);
    Domain().children.insert(Domain().children.begin(), longServer);
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\QXIN\\REPL$");
    EXPECT_EQ(Opened()[3], strLongServer);
}

TEST_F(FindReplTest, EntriesWithoutRemoteNamesAreOnlySearched)
{
    sim::CSimNetResource unnamed = NetProviderNode("");
    unnamed.bHasRemoteName = false;
    sim.m_netEnum.m_root.children.insert(sim.m_netEnum.m_root.children.begin(), unnamed);
    EXPECT_EQ(Call(), 1);
    EXPECT_STREQ(m_szName, "\\\\QXDC2\\REPL$");
    EXPECT_EQ(sim.m_netEnum.m_opens[1].dwResult, static_cast<DWORD>(ERROR_BAD_NET_NAME));
}

TEST(FindReplComponent, GetLastComponentTakesThePartAfterTheLastBackslash)
{
    char szOut[kRemoteNameChars];
    EXPECT_TRUE(GetLastComponent("\\\\SRV\\REPL$", szOut));
    EXPECT_STREQ(szOut, "REPL$");
    EXPECT_TRUE(GetLastComponent("WORKGROUP", szOut));
    EXPECT_STREQ(szOut, "WORKGROUP");
    EXPECT_TRUE(GetLastComponent("\\\\SRV\\", szOut));
    EXPECT_STREQ(szOut, "");
    std::string strLongest(255, 'n');
    EXPECT_TRUE(GetLastComponent(strLongest.c_str(), szOut));
    EXPECT_EQ(std::string(szOut), strLongest);
    std::string strTooLong(256, 'n');
    EXPECT_FALSE(GetLastComponent(strTooLong.c_str(), szOut));
    EXPECT_STREQ(szOut, "");
}

}  // namespace
}  // namespace qx
