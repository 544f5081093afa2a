// GetSharePath against share values in the simulated registry: name and UNC forms, the PATH= scan
// within the first 256 bytes, what gives 2 and 3, refusals, and the key closed on every path.
#include <gtest/gtest.h>

#include <cstring>

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
    struct Case {
        const char* pszName;
        std::string strIn, data;  // data: the value SHARE, set when not empty
        int nResult;
        std::string strShare, strPath;
    } cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        if (!c.data.empty())
            sim.m_registry.SetValue(kSharesKey, "SHARE", REG_MULTI_SZ, c.data);
        EXPECT_EQ(Call(c.strIn), c.nResult);
        EXPECT_EQ(m_szShare, c.strShare);
        EXPECT_EQ(m_szPath, c.nResult == 1 ? c.strPath : "untouched");
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

}  // namespace
}  // namespace qx
