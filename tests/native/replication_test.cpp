// Replication: FindRepl over the simulated network tree, and MakeReplBat's REPL.BAT.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "qxinst.h"
#include "replication/repl_bat.h"
#include "rewrite_fixture.h"

namespace qx::test {
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
    // "result name"; the containers opened go to m_strOpened.
    std::string Found()
    {
        char szName[256] = "untouched";
        sim.m_netEnum.m_opens.clear();
        std::string strFound = std::to_string(Settle(FindRepl, szName)) + " " + szName;
        m_strOpened.clear();
        for (const auto& open : sim.m_netEnum.m_opens) {
            m_strOpened += "|" + open.strContainer;
            EXPECT_TRUE(open.dwScope == RESOURCE_GLOBALNET && open.dwType == RESOURCETYPE_ANY && open.dwUsage == 0);
        }
        return strFound;
    }
    std::string m_strOpened;
};

TEST_F(FindReplTest, TheLastComponentMustBeginWithCapitalReplDollar)
{
    Domain().children[1].children[1].strRemoteName = "\\\\QXDC2\\Repl$";
    sim.m_netEnum.m_root.children[0].children.pop_back();  // without the LATER domain
    EXPECT_EQ(Found(), "0 untouched") << "repl$ and Repl$ are not REPL$";
    Domain().children[1].children[0].strRemoteName = "\\\\QXDC2\\REPLICA";
    EXPECT_EQ(Found(), "0 untouched") << "REPL without its $ is not REPL$";
    EXPECT_EQ(m_strOpened, "||Microsoft Windows Network|QXDOMAIN|\\\\QXDC1|\\\\QXDC2|Web Client Network");
    Domain().children[1].children[1].strRemoteName = "\\\\QXDC2\\REPL$OLD";
    EXPECT_EQ(Found(), "1 \\\\QXDC2\\REPL$OLD");
    Domain().children.insert(Domain().children.begin(), NetServerNode("REPL$HOST"));
    EXPECT_EQ(Found(), "1 \\\\REPL$HOST") << "any entry counts; a name without a backslash is its own component";
}

// In code page 932 ソ (83 5C) is one character: ソREPL$ is not REPL$; in 1252 it ends in a backslash.
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
    EXPECT_EQ(Settle(FindRepl, nullptr), 0);
}

TEST_F(FindReplTest, LongLevelsComeInSeveralBatchesOfTheSameBuffer)
{
    sim::CSimNetResource& big = Domain().children.insert(Domain().children.begin(), NetServerNode("BIG"))[0];
    for (int i = 0; i < 400; ++i)
        big.Add(NetShareNode("\\\\BIG\\SHARE" + std::to_string(i) + std::string(40, '_')));
    big.Add(NetShareNode("\\\\BIG\\REPL$"));
    EXPECT_EQ(Found(), "1 \\\\BIG\\REPL$");
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

std::string ReplBat(const std::string& strSource, const std::vector<std::string>& destinations)
{
    std::string strSets, strCopies;
    for (size_t i = 0; i < destinations.size(); ++i) {
        strSets += "set DestBDC" + std::to_string(i + 2) + "=" + destinations[i] + "\r\n";
        strCopies += "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC" + std::to_string(i + 2) +
                     "%\\%destfolder% %copyflags%\r\n";
    }
    return "@echo off\r\n\r\nrem REPL.BAT\r\n"
           "rem *WARNING* This file is generated by zarizav. DO NOT modify it by hand, your changes may be lost.\r\n"
           "\r\nset SourcePDC=" +
           strSource + "\r\n" + strSets +
           "\r\nset sourcefolder=QXscripts$\r\nset destfolder=NETLOGON\r\nset copyflags=/h /r /c /d /i\r\n"
           "set COPYCMD=/Y\r\n\r\n"
           "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%sourcePDC%\\%destfolder% %copyflags%\r\n" +
           strCopies;
}

using ReplBatTest = RewriteTest;

TEST_F(ReplBatTest, ReplBatHoldsItsLinesForEveryShapeOfTheList)
{
    const std::string strList = "PDC" + Numbered(",B", 2, kMaxReplServers, "");
    std::vector<std::string> all;
    for (int i = 2; i <= kMaxReplServers; ++i)
        all.push_back("B" + std::to_string(i));
    const std::string n259(259, 'n');
    struct {
        std::string strServers, strSource;
        std::vector<std::string> destinations;
    } cases[] = {{"PDC01,BDC01,BDC02", "PDC01", {"BDC01", "BDC02"}},
                 {"", "", {}},
                 {"PDC,", "PDC", {}},
                 {",BDC", "", {"BDC"}},
                 {"PDC, BDC1 ,BDC2 ", "PDC", {" BDC1 ", "BDC2 "}},
                 {"PDC,BDC,,", "PDC", {"BDC", ""}},
                 {" PDC ,\xE9t\xE9", " PDC ", {"\xE9t\xE9"}},
                 {strList, "PDC", all},
                 {strList + ",", "PDC", all},
                 {n259 + "," + n259, n259, {n259}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strServers.substr(0, 20));
        sim.m_files.SetFile(kBat, std::string(5000, 'x') + "\r\nold tail\r\n");
        EXPECT_EQ(MakeBat(c.strServers.c_str()), 1);
        EXPECT_EQ(File(kBat), ReplBat(c.strSource, c.destinations));
        ExpectAlone(kBat);
    }
}

TEST_F(ReplBatTest, RefusalsLeaveTheFileAsItWas)
{
    const std::string n260(260, 'n'), strList = "PDC" + Numbered(",B", 2, kMaxReplServers, "");
    const std::string strOver = strList + ",B257", strEmpty = strList + ",,", strFirst = n260 + ",BDC";
    enum { kPlain, kReadOnly, kFull, kReadOnlyNt4 };
    const std::tuple<const char*, const char*, int> cases[] = {{strOver.c_str(), kBat, kPlain},
                                                               {strEmpty.c_str(), kBat, kPlain},
                                                               {strFirst.c_str(), kBat, kPlain},
                                                               {"PDC,BDC\r\necho x", kBat, kPlain},
                                                               {"PDC\r,BDC", kBat, kPlain},
                                                               {nullptr, kBat, kPlain},
                                                               {"PDC", nullptr, kPlain},
                                                               {"P", kBat, kReadOnly},
                                                               {"PDC,BDC", kBat, kFull},
                                                               {"PDC", kFolder, kPlain},
                                                               {"PDC", "C:\\Missing\\REPL.BAT", kPlain},
                                                               {"P", kBat, kReadOnlyNt4}};
    for (const auto& [pszServers, pszFile, nSetup] : cases) {
        SCOPED_TRACE(std::string(pszServers ? pszServers : "null").substr(0, 20) + " " + std::to_string(nSetup));
        Put(kBat, "old");
        sim.m_files.SetAttributes(kBat, nSetup == kReadOnly || nSetup == kReadOnlyNt4 ? FILE_ATTRIBUTE_READONLY : 0);
        if (nSetup == kReadOnlyNt4)
            sim.m_kernel.MakeAbsent("ReplaceFileA");
        sim.m_files.SetFreeBytes(nSetup == kFull ? 100 : -1);
        EXPECT_EQ(MakeBat(pszServers, pszFile), 0);
        EXPECT_EQ(File(kBat), "old");
        ExpectAlone(kBat);
        EXPECT_FALSE(sim.m_files.Exists("C:\\Missing"));
        sim.m_files.SetAttributes(kBat, 0);
    }
}

TEST_F(ReplBatTest, EveryPlatformFailureLeavesTheOldFileOrTheNewOne)
{
    const std::string strNew = ReplBat("PDC", {"BDC"});
    ExpectEachFailureKeepsOldOrNew(
        kBat,
        {"GetFileAttributesA", "GetTempFileNameA", "CreateFileA", "WriteFile", "CloseHandle", "ReplaceFileA",
         "MoveFileExA", "SetFileAttributesA"},
        [&] { return MakeBat("PDC,BDC"); }, "old", strNew, strNew);
}

}  // namespace
}  // namespace qx::test
