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
    sim.m_netShare.PutShare("\\\\QXDC2", "EURO", "").wstrPath = L"E:\\\x20AC";  // 0x80 in the ANSI code page
    sim.m_netShare.PutShare("\\\\QXDC2", "CYRILLIC", "").wstrPath = L"E:\\\x0414";  // not in code page 1252
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
        {"\\\\QXDC2", "EURO", "EURO", "E:\\\x80"},
        {"\\\\QXDC2", "CYRILLIC", "CYRILLIC", ""},
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

TEST_F(RemoteSharePath, ServerShareAndFolderCrossInTheSystemsAnsiCodePage)
{
    struct Case {
        UINT nCodePage;
        std::string strServer, strShare, strPath;
        std::wstring wstrPathHeld;  // the folder as the server holds it
        bool bFound;
    } cases[] = {
        {1251, "\\\\\xD1\xC5\xD0\xC2\xC5\xD0", "\xCE\xE1\xF9\xE8\xE5", "E:\\\xC4\xE0\xED\xED\xFB\xE5",
         L"E:\\\u0414\u0430\u043D\u043D\u044B\u0435", true},
        {932, "\\\\\x83\x54\x81\x5B\x83\x6F", "\x8B\xA4\x97\x4C", "E:\\\x83\x66\x81\x5B\x83\x5E",
         L"E:\\\u30C7\u30FC\u30BF", true},
        {932, "\\\\QXDC2", "DATA", "", L"E:\\\u00E9", false},  // a folder code page 932 cannot name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nCodePage);
        sim.m_system.SetAnsiCodePage(c.nCodePage);
        sim.m_netShare.PutShare(c.strServer, c.strShare, "").wstrPath = c.wstrPathHeld;
        char szShare[300];
        char szPath[300] = "untouched";
        std::snprintf(szShare, sizeof szShare, "%s\\%s", c.strServer.c_str(), c.strShare.c_str());
        EXPECT_EQ(Settle(GetSharePathRemote, c.strServer.c_str(), szShare, szPath), c.bFound ? 1 : 0);
        EXPECT_EQ(szShare, c.strShare);
        EXPECT_EQ(szPath, c.bFound ? c.strPath : "untouched");
    }
}

}  // namespace
}  // namespace qx
