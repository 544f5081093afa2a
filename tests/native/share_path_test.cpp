// GetSharePath against share values in the simulated registry (name and UNC forms, the PATH= scan
// within the first 256 bytes, what gives 2 and 3) and GetSharePathRemote on the simulated share
// table (the in-place UNC rewrite, the server asked, the folder handed back within its buffer):
// refusals before any call, and release on every path.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>

#include "shares/share_path.h"
#include "shares_fixture.h"

namespace qx {
namespace {

std::string Multi(const std::vector<std::string>& entries)
{
    std::string data;
    for (const std::string& strEntry : entries)
        data += strEntry + std::string(1, '\0');
    return data + std::string(1, '\0');
}

class SharePath : public test::SharesTest {
protected:
    SharePath()
    {
        sim.m_registry.SetMultiString(
            kSharesKey, "SCRIPTS",
            {"CSCFlags=0", "MaxUses=4294967295", "Path=C:\\Qorvex\\Scripts", "Permissions=0", "Type=0"});
    }
    int Call(const std::string& strShare)
    {
        std::strcpy(m_szShare, strShare.c_str());
        std::strcpy(m_szPath, "untouched");
        return Settle(GetSharePath, m_szShare, m_szPath);
    }
    char m_szShare[1100] = {};
    char m_szPath[1100] = {};
};

TEST_F(SharePath, TheShareNameAndItsValueGiveTheFolder)
{
    const char* pszScripts = "C:\\QORVEX\\SCRIPTS";
    std::string strLong = "\\\\SRV\\SCRIPTS\\" + std::string(1010, 'r');  // 1024 characters
    std::string strFits = "\\\\SRV\\SCRIPTS\\" + std::string(1005, 'r');  // folder 17 + rest 1006
    // What, the argument, the value SHARE (set when not empty), the result, the share name and path after.
    const std::tuple<const char*, std::string, std::string, int, std::string, std::string> cases[] = {
        {"a bare name", "SCRIPTS", "", 1, "SCRIPTS", pszScripts},
        {"a name in other case", "scripts", "", 1, "scripts", pszScripts},
        {"UNC with a rest in its own case", "\\\\QXSERVER\\SCRIPTS\\Logon\\Users", "", 1, "SCRIPTS",
         "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {"UNC naming another server", "\\\\ELSEWHERE\\SCRIPTS\\sub", "", 1, "SCRIPTS", "C:\\QORVEX\\SCRIPTS\\sub"},
        {"UNC ending after the share", "\\\\QXSERVER\\SCRIPTS", "", 1, "SCRIPTS", pszScripts},
        {"UNC ending with a backslash", "\\\\QXSERVER\\SCRIPTS\\", "", 1, "SCRIPTS", "C:\\QORVEX\\SCRIPTS\\"},
        {"small letters, ANSI capitals", "SHARE", Multi({"path=c:\\mixed\\\xE9t\xE9"}), 1, "SHARE",
         "C:\\MIXED\\\xC9T\xC9"},
        {"a later entry", "SHARE", Multi({"Remark=PATH=not this", "Type=0", "pAtH=D:\\Real"}), 1, "SHARE", "D:\\REAL"},
        {"the first of two", "SHARE", Multi({"Path=a", "Path=b"}), 1, "SHARE", "A"},
        {"an empty path", "SHARE", Multi({"PATH="}), 1, "SHARE", ""},
        {"starting at byte 255, taken whole", "SHARE",
         Multi({"Remark=" + std::string(247, 'x'), "Path=D:\\" + std::string(300, 'p')}), 1, "SHARE",
         "D:\\" + std::string(300, 'P')},
        {"starting at byte 256", "SHARE", Multi({"Remark=" + std::string(248, 'x'), "Path=D:\\Late"}), 3, "SHARE", ""},
        {"after a run of NULs", "SHARE", "Remark=x" + std::string(10, '\0') + "Path=E:\\Gaps" + std::string(2, '\0'), 1,
         "SHARE", "E:\\GAPS"},
        {"without its NUL", "SHARE", "Path=F:\\NoNul", 1, "SHARE", "F:\\NONUL"},
        {"no path entry, UNC rest not appended", "\\\\SRV\\SHARE\\sub", Multi({"Remark=none", "PATH", "=x"}), 3,
         "SHARE", ""},
        {"data of 1024 bytes", "SHARE", "Path=C:\\x" + std::string(1015, '\0'), 1, "SHARE", "C:\\X"},
        {"data over 1024 bytes", "SHARE", "Path=C:\\x" + std::string(1016, '\0'), 3, "SHARE", ""},
        {"no such share", "NOSUCH", "", 3, "NOSUCH", ""},
        {"UNC without share", "\\\\QXSERVER", "", 3, "", ""},
        {"UNC with an empty share", "\\\\QXSERVER\\", "", 3, "", ""},
        {"an argument of 1024 characters, refused whole", strLong, "", 3, strLong, ""},
        {"a result of 1023 characters", strFits, "", 1, "SCRIPTS", pszScripts + strFits.substr(13)},
        {"a result of 1024 characters", strFits + "r", "", 3, "SCRIPTS", ""},
    };
    sim.m_registry.SetString(kSharesKey, "", "Path=C:\\Default");  // the key's default value
    for (const auto& [pszName, strIn, data, nResult, strShare, strPath] : cases) {
        SCOPED_TRACE(pszName);
        if (!data.empty())
            sim.m_registry.SetValue(kSharesKey, "SHARE", REG_MULTI_SZ, data);
        EXPECT_EQ(Call(strIn), nResult);
        EXPECT_EQ(m_szShare, strShare);
        EXPECT_EQ(m_szPath, nResult == 1 ? strPath : "untouched");
    }
}

TEST_F(SharePath, AnUnreadableKeyGivesTwoAndAnUnreadableValueThree)
{
    sim.m_kernel.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Call("SCRIPTS"), 3);
    sim.m_registry.DenyKey(kSharesKey);
    EXPECT_EQ(Call("SCRIPTS"), 2);
    sim.m_registry.RemoveKey(kSharesKey);
    EXPECT_EQ(Call("\\\\SRV\\SCRIPTS"), 2);
    EXPECT_STREQ(m_szShare, "SCRIPTS") << "cut down before the key is opened";
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_EQ(Settle(GetSharePath, nullptr, m_szPath), 3);
    EXPECT_EQ(Settle(GetSharePath, m_szShare, nullptr), 3);
    EXPECT_STREQ(m_szPath, "untouched");
}

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
    // The server, the argument, the share name after, and the path (empty: 0 returned, the path untouched).
    const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
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
    for (const auto& [pszServer, strIn, strShare, strPath] : cases) {
        SCOPED_TRACE(strIn);
        std::strcpy(szShare, strIn.c_str());
        std::strcpy(szPath, "untouched");
        EXPECT_EQ(Settle(GetSharePathRemote, pszServer, szShare, szPath), strPath.empty() ? 0 : 1);
        EXPECT_EQ(szShare, strShare);
        EXPECT_EQ(szPath, strPath.empty() ? "untouched" : strPath);
    }
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", nullptr, szPath), 0);
    EXPECT_EQ(Settle(GetSharePathRemote, "\\\\QXDC2", szShare, nullptr), 0);
}

TEST_F(RemoteSharePath, ServerShareAndFolderCrossInTheSystemsAnsiCodePage)
{
    // The code page, the server, the share, the path given (empty: none) and as the server holds it.
    const std::tuple<UINT, std::string, std::string, std::string, std::wstring> cases[] = {
        {1251, "\\\\\xD1\xC5\xD0", "\xCE\xE1\xF9", "E:\\\xC4\xE0\xED", L"E:\\\u0414\u0430\u043D"},
        {932, "\\\\\x83\x54\x81\x5B", "\x8B\xA4\x97\x4C", "E:\\\x83\x66\x81\x5B", L"E:\\\u30C7\u30FC"},
        {932, "\\\\QXDC2", "DATA", "", L"E:\\\u00E9"}};  // a folder code page 932 cannot name
    for (const auto& [nCodePage, strServer, strShare, strPath, wstrPathHeld] : cases) {
        SCOPED_TRACE(nCodePage);
        sim.m_system.SetAnsiCodePage(nCodePage);
        sim.m_netShare.PutShare(strServer, strShare, "").wstrPath = wstrPathHeld;
        char szShare[300];
        char szPath[300] = "untouched";
        std::snprintf(szShare, sizeof szShare, "%s\\%s", strServer.c_str(), strShare.c_str());
        EXPECT_EQ(Settle(GetSharePathRemote, strServer.c_str(), szShare, szPath), strPath.empty() ? 0 : 1);
        EXPECT_EQ(szShare, strShare);
        EXPECT_EQ(szPath, strPath.empty() ? "untouched" : strPath);
    }
}

}  // namespace
}  // namespace qx
