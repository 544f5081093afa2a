// GetSharePathRemote on the simulated share table: the in-place UNC rewrite, the server asked, the
// folder handed back within its buffer, refusals before any call, and release on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shares_fixture.h"

namespace qx {
namespace {

using RemoteSharePath = test::SharesTest;

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
    sim.m_netShare.PutShare("\\\\QXDC2", "EURO", "").wstrPath = L"E:\\\x20AC";  // no ANSI form in the C locale
    sim.m_netShare.Server("\\\\QXDOWN").bReachable = false;
    sim.m_netShare.PutShare("\\\\QXLOCKED", "NETLOGON", "E:\\x");
    sim.m_netShare.Server("\\\\QXLOCKED").bCallerIsAdmin = false;
    std::string strLongShare = "\\\\QXDC2\\" + std::string(256, 's');
    std::string strLongServer = "\\\\" + std::string(254, 'S');  // 256 characters
    // An empty path: 0 returned and the path untouched.
    struct Case {
        const char* pszServer;
        std::string strIn, strShare, strPath;
    } cases[] = {
        {"\\\\QXDC2", "NETLOGON", "NETLOGON", strNetlogon},
        {"\\\\QXDC2", "\\\\ANYSERVER\\NETLOGON", "NETLOGON", strNetlogon},  // the named server is not asked
        {"\\\\QXDC2", "\\\\QXDC2\\DATA\\SUB", "DATA\\SUB", ""},  // a share name with a backslash
        {"\\\\QXDC2", "\\\\QXDC2", "", ""},
        {"\\\\QXDC2", "\\\\QXDC2\\", "", ""},
        {"\\\\QXDC2", "NOSUCH", "NOSUCH", ""},
        {"\\\\NOWHERE", "NETLOGON", "NETLOGON", ""},
        {"\\\\QXDOWN", "NETLOGON", "NETLOGON", ""},
        {"\\\\QXLOCKED", "NETLOGON", "NETLOGON", ""},
        {nullptr, "QXLOGS", "QXLOGS", "D:\\Logs"},
        {"", "\\\\QXSERVER\\QXLOGS", "QXLOGS", "D:\\Logs"},
        {"\\\\QXDC2", "LONG", "LONG", strLongest},
        {"\\\\QXDC2", "LONGER", "LONGER", ""},
        {"\\\\QXDC2", "EURO", "EURO", ""},
        {"\\\\QXDC2", strLongShare, strLongShare, ""},  // refused whole: not even the server part is cut
        {strLongServer.c_str(), "\\\\QXDC2\\NETLOGON", "\\\\QXDC2\\NETLOGON", ""},
    };
    for (const Case& c : cases) {
        std::strcpy(szShare, c.strIn.c_str());
        std::strcpy(szPath, "untouched");
        EXPECT_EQ(Settle(GetSharePathRemote, c.pszServer, szShare, szPath), c.strPath.empty() ? 0 : 1) << c.strIn;
        EXPECT_EQ(szShare, c.strShare) << c.strIn;
        EXPECT_EQ(szPath, c.strPath.empty() ? "untouched" : c.strPath) << c.strIn;
    }
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", nullptr, szPath), 0);
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", szShare, nullptr), 0);
}

}  // namespace
}  // namespace qx
