// FindRepl over the simulated network tree: the depth-first walk in the platform's order, the exact
// "REPL$" prefix, containers that fail being passed over, batches of the 16384-byte buffer, long
// names, and every level's handle and buffer released.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using sim::NetDomainNode;
using sim::NetServerNode;
using sim::NetShareNode;

class FindReplTest : public test::SimTest {
protected:
    FindReplTest()
    {
        sim::CSimNetResource& network = sim.m_netEnum.m_root.Add(sim::NetProviderNode("Microsoft Windows Network"));
        sim::CSimNetResource& domain = network.Add(NetDomainNode("QXDOMAIN"));
        sim::CSimNetResource& dc1 = domain.Add(NetServerNode("QXDC1"));
        dc1.Add(NetShareNode("\\\\QXDC1\\NETLOGON"));
        dc1.Add(NetShareNode("\\\\QXDC1\\repl$"));
        sim::CSimNetResource& dc2 = domain.Add(NetServerNode("QXDC2"));
        dc2.Add(NetShareNode("\\\\QXDC2\\SYSVOL"));
        dc2.Add(NetShareNode("\\\\QXDC2\\REPL$"));
        network.Add(NetDomainNode("LATER")).Add(NetServerNode("QXDC3")).Add(NetShareNode("\\\\QXDC3\\REPL$"));
        sim.m_netEnum.m_root.Add(sim::NetProviderNode("Web Client Network"));
    }
    sim::CSimNetResource& Domain() { return sim.m_netEnum.m_root.children[0].children[0]; }
    // FindRepl's result and its buffer, as "result name"; the containers it opened go to m_strOpened.
    std::string Found()
    {
        char szName[256] = "untouched";
        sim.m_netEnum.m_opens.clear();
        std::string strFound = std::to_string(FindRepl(szName)) + " " + szName;
        EXPECT_TRUE(Settled());
        m_strOpened.clear();
        for (const auto& open : sim.m_netEnum.m_opens) {
            m_strOpened += "|" + open.strContainer;
            EXPECT_TRUE(open.dwScope == RESOURCE_GLOBALNET && open.dwType == RESOURCETYPE_ANY && open.dwUsage == 0);
        }
        return strFound;
    }
    std::string m_strOpened;
};

TEST_F(FindReplTest, WalksDepthFirstAndStopsAtTheFirstMatch)
{
    EXPECT_EQ(Found(), "1 \\\\QXDC2\\REPL$");
    EXPECT_EQ(m_strOpened, "||Microsoft Windows Network|QXDOMAIN|\\\\QXDC1|\\\\QXDC2");
    EXPECT_EQ(sim.m_netEnum.m_countsAsked.front(), 0xFFFFFFFFu);
}

TEST_F(FindReplTest, TheLastComponentMustBeginWithCapitalReplDollar)
{
    Domain().children[1].children[1].strRemoteName = "\\\\QXDC2\\Repl$";
    sim.m_netEnum.m_root.children[0].children.pop_back();  // without the LATER domain
    EXPECT_EQ(Found(), "0 untouched") << "repl$ and Repl$ are not REPL$";
    Domain().children[1].children[0].strRemoteName = "\\\\QXDC2\\REPLICA";
    EXPECT_EQ(Found(), "0 untouched") << "REPL without its $ is not REPL$";
    EXPECT_EQ(m_strOpened, "||Microsoft Windows Network|QXDOMAIN|\\\\QXDC1|\\\\QXDC2|Web Client Network")
        << "the whole network was walked";
    Domain().children[1].children[1].strRemoteName = "\\\\QXDC2\\REPL$OLD";
    EXPECT_EQ(Found(), "1 \\\\QXDC2\\REPL$OLD");
    Domain().children.insert(Domain().children.begin(), NetServerNode("REPL$HOST"));
    EXPECT_EQ(Found(), "1 \\\\REPL$HOST") << "any entry counts; a name without a backslash is its own component";
}

// In code page 932 ソ (83 5C) ends in a byte that is no backslash: a share named ソREPL$ is not
// REPL$. In code page 1252 the same bytes end in a backslash, and the last component is REPL$.
TEST_F(FindReplTest, TheLastComponentBeginsAfterTheLastBackslashCharacter)
{
    Domain().children[0].children[1].strRemoteName = "\\\\QXDC1\\\x83\\REPL$";
    for (auto [nCodePage, pszFound] : {std::pair {932u, "1 \\\\QXDC2\\REPL$"}, {1252u, "1 \\\\QXDC1\\\x83\\REPL$"}}) {
        sim.m_system.SetAnsiCodePage(nCodePage);
        EXPECT_EQ(Found(), pszFound) << nCodePage;
    }
}

TEST_F(FindReplTest, WhatFailsEndsOnlyItsOwnLevel)
{
    // QXDOMAIN cannot be opened, QXDC1's first batch fails, QXDC2's buffer cannot be had, the top of
    // the network cannot be opened or its buffer had.
    const std::tuple<const char*, int, const char*> cases[] = {{"WNetOpenEnumA", 3, "1 \\\\QXDC3\\REPL$"},
                                                               {"WNetEnumResourceA", 4, "1 \\\\QXDC2\\REPL$"},
                                                               {"GlobalAlloc", 5, "1 \\\\QXDC3\\REPL$"},
                                                               {"WNetOpenEnumA", 1, "0 untouched"},
                                                               {"GlobalAlloc", 1, "0 untouched"}};
    for (const auto& [pszCall, nNth, pszFound] : cases) {
        sim.m_kernel.ClearFaults();
        sim.m_kernel.FailCall(pszCall, ERROR_NOT_ENOUGH_MEMORY, nNth);
        EXPECT_EQ(Found(), pszFound) << pszCall << " #" << nNth;
    }
    sim.m_kernel.ClearFaults();
    Domain().children[0].dwOpenError = ERROR_BAD_NETPATH;
    Domain().dwEnumError = ERROR_NO_NETWORK;  // hands out QXDC1, then fails before QXDC2
    Domain().nEnumErrorAfter = 1;
    EXPECT_EQ(Found(), "1 \\\\QXDC3\\REPL$");
    EXPECT_EQ(m_strOpened, "||Microsoft Windows Network|QXDOMAIN|\\\\QXDC1|LATER|\\\\QXDC3");
    sim.m_netEnum.m_dwNoNetworkError = ERROR_NO_NETWORK;
    EXPECT_EQ(Found(), "0 untouched");
    EXPECT_EQ(FindRepl(nullptr), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(FindReplTest, LongLevelsComeInSeveralBatchesOfTheSameBuffer)
{
    sim::CSimNetResource& big = Domain().children.insert(Domain().children.begin(), NetServerNode("BIG"))[0];
    for (int i = 0; i < 400; ++i)
        big.Add(NetShareNode("\\\\BIG\\SHARE" + std::to_string(i) + std::string(40, '_')));
    big.Add(NetShareNode("\\\\BIG\\REPL$"));
    EXPECT_EQ(Found(), "1 \\\\BIG\\REPL$");
    // The level's first call asks for as many as fit; later ones for as many as the last batch held.
    const std::vector<DWORD>& counts = sim.m_netEnum.m_countsAsked;
    ASSERT_GE(counts.size(), 6u);
    EXPECT_EQ(counts[3], 0xFFFFFFFFu);
    EXPECT_LT(counts[4], 400u);
    EXPECT_GT(counts[4], 100u);
}

TEST_F(FindReplTest, NamesOf256CharactersOrMoreAreSkippedButSearched)
{
    std::string strLong = "\\\\" + std::string(248, 'L') + "\\REPL$";  // 256 characters
    sim::CSimNetResource longServer = NetServerNode(std::string(260, 'L'));
    longServer.Add(NetShareNode(strLong));
    sim::CSimNetResource unnamed = NetDomainNode("");
    unnamed.bHasRemoteName = false;  // searched, though the platform cannot open it by no name
    longServer.Add(unnamed);
    longServer.Add(NetShareNode(strLong.substr(1)));
    Domain().children.insert(Domain().children.begin(), longServer);
    EXPECT_EQ(Found(), "1 " + strLong.substr(1));
    EXPECT_EQ(sim.m_netEnum.m_opens[3].strContainer, longServer.strRemoteName);
    EXPECT_EQ(sim.m_netEnum.m_opens[4].dwResult, static_cast<DWORD>(ERROR_BAD_NET_NAME));
}

}  // namespace
}  // namespace qx
