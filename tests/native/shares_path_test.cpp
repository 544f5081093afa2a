// GetSharePath against share values in the simulated registry: name and UNC forms, the PATH= scan
// within the first 256 bytes, what gives 2 and 3, refusals, and the key closed on every path.
#include <gtest/gtest.h>

#include <cstring>

#include "qxinst.h"
#include "replication/share_path.h"
#include "sim_fixture.h"

namespace qx {
namespace {

class SharePath : public test::SimTest {
protected:
    SharePath()
    {
        SetShare("SCRIPTS", {"CSCFlags=0", "MaxUses=4294967295", "Path=C:\\Qorvex\\Scripts", "Permissions=0",
                             "Remark=Qorvex login scripts", "Type=0"});
    }
    void SetShare(const std::string& strName, const std::vector<std::string>& entries)
    {
        sim.m_registry.SetMultiString(kSharesKey, strName, entries);
    }
    int Call(const char* pszShare)
    {
        std::strcpy(m_szShare, pszShare);
        std::strcpy(m_szPath, "untouched");
        int nResult = GetSharePath(m_szShare, m_szPath);
        EXPECT_TRUE(Settled());
        return nResult;
    }
    char m_szShare[1100] = {};
    char m_szPath[1100] = {};
};

TEST_F(SharePath, ABareNameGivesTheFolderInCapitals)
{
    EXPECT_EQ(Call("SCRIPTS"), 1);
    EXPECT_STREQ(m_szShare, "SCRIPTS");
    EXPECT_STREQ(m_szPath, "C:\\QORVEX\\SCRIPTS");
    EXPECT_EQ(Call("scripts"), 1) << "value names are matched without regard to case";
    EXPECT_STREQ(m_szShare, "scripts");
}

TEST_F(SharePath, AUncPathGivesTheFolderAndItsRestInItsOwnCase)
{
    struct Case {
        const char* pszIn;
        const char* pszPath;
    } cases[] = {
        {"\\\\QXSERVER\\SCRIPTS\\Logon\\Users", "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {"\\\\ELSEWHERE\\SCRIPTS\\sub", "C:\\QORVEX\\SCRIPTS\\sub"},  // the server plays no part
        {"\\\\QXSERVER\\SCRIPTS", "C:\\QORVEX\\SCRIPTS"},
        {"\\\\QXSERVER\\SCRIPTS\\", "C:\\QORVEX\\SCRIPTS\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Call(c.pszIn), 1) << c.pszIn;
        EXPECT_STREQ(m_szShare, "SCRIPTS") << c.pszIn;
        EXPECT_STREQ(m_szPath, c.pszPath) << c.pszIn;
    }
}

TEST_F(SharePath, ThePathEntryIsFoundInAnyCaseAndPosition)
{
    SetShare("A", {"path=c:\\lower"});
    SetShare("B", {"Remark=first", "Type=0", "pAtH=c:\\mixed\\\xE9t\xE9"});
    SetShare("C", {"Remark=PATH=not this one", "PATH=D:\\Real"});
    EXPECT_EQ(Call("A"), 1);
    EXPECT_STREQ(m_szPath, "C:\\LOWER");
    EXPECT_EQ(Call("B"), 1);
    EXPECT_STREQ(m_szPath, "C:\\MIXED\\\xC9T\xC9") << "upper-cased in the ANSI code page";
    EXPECT_EQ(Call("C"), 1);
    EXPECT_STREQ(m_szPath, "D:\\REAL");
}

TEST_F(SharePath, OnlyEntriesStartingInTheFirst256BytesCount)
{
    std::string strFiller(240, 'x');  // "Remark=" + 240 + NUL = 248 bytes
    SetShare("CROSSING", {"Remark=" + strFiller, "Path=D:\\" + std::string(300, 'p')});
    EXPECT_EQ(Call("CROSSING"), 1) << "an entry that starts before byte 256 is taken whole";
    EXPECT_EQ(std::string(m_szPath), "D:\\" + std::string(300, 'P'));

    SetShare("LATE", {"Remark=" + std::string(249, 'x'), "Path=D:\\Late"});  // starts at byte 257
    EXPECT_EQ(Call("LATE"), 3);
    EXPECT_STREQ(m_szPath, "untouched");

    SetShare("GAPS", {"Remark=x"});
    std::string data = std::string("Remark=x") + std::string(10, '\0') + "Path=E:\\Gaps" + std::string(2, '\0');
    sim.m_registry.SetValue(kSharesKey, "GAPS", REG_MULTI_SZ, data);
    EXPECT_EQ(Call("GAPS"), 1) << "runs of NULs between entries are passed over";
    EXPECT_STREQ(m_szPath, "E:\\GAPS");
}

TEST_F(SharePath, AValueWithoutPathGivesThreeAndWritesNothing)
{
    SetShare("NOPATH", {"Remark=none", "Type=0"});
    EXPECT_EQ(Call("\\\\QXSERVER\\NOPATH\\sub"), 3);
    EXPECT_STREQ(m_szPath, "untouched") << "not even the rest is appended";
    EXPECT_STREQ(m_szShare, "NOPATH");
    sim.m_registry.SetValue(kSharesKey, "EMPTY", REG_MULTI_SZ, std::string());
    EXPECT_EQ(Call("EMPTY"), 3);
    sim.m_registry.SetValue(kSharesKey, "UNENDED", REG_BINARY, "Path=F:\\NoNul");
    EXPECT_EQ(Call("UNENDED"), 1) << "an entry without its NUL ends with the data";
    EXPECT_STREQ(m_szPath, "F:\\NONUL");
}

TEST_F(SharePath, MissingSharesKeysAndOversizeValues)
{
    EXPECT_EQ(Call("NOSUCH"), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    sim.m_registry.SetValue(kSharesKey, "HUGE", REG_MULTI_SZ, "Path=C:\\x" + std::string(1100, '\0'));
    EXPECT_EQ(Call("HUGE"), 3) << "data longer than 1024 bytes cannot be read";
    sim.m_kernel.FailCall("RegQueryValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(Call("SCRIPTS"), 3);
    sim.m_registry.RemoveKey(kSharesKey);
    EXPECT_EQ(Call("\\\\SRV\\SCRIPTS"), 2);
    EXPECT_STREQ(m_szShare, "SCRIPTS") << "cut down before the key is opened";
    EXPECT_STREQ(m_szPath, "untouched");
    sim.m_registry.DenyKey(kSharesKey);
    EXPECT_EQ(Call("SCRIPTS"), 2);
}

TEST_F(SharePath, AUncNameWithoutShareGivesThree)
{
    for (const char* pszIn : {"\\\\QXSERVER", "\\\\QXSERVER\\", "\\\\"}) {
        sim.m_registry.SetString(kSharesKey, "", "Path=C:\\Default");  // the key's default value
        EXPECT_EQ(Call(pszIn), 3) << pszIn;
        EXPECT_STREQ(m_szShare, "") << pszIn;
        EXPECT_STREQ(m_szPath, "untouched") << pszIn;
    }
    EXPECT_EQ(sim.m_kernel.Calls("RegOpenKeyExA"), 0);
}

TEST_F(SharePath, InputsAndResultsLongerThanTheBuffersAreRefused)
{
    std::string strLong = "\\\\SRV\\SCRIPTS\\" + std::string(1010, 'r');  // 1024 characters
    EXPECT_EQ(Call(strLong.c_str()), 3);
    EXPECT_EQ(std::string(m_szShare), strLong) << "refused untouched";
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_EQ(sim.m_kernel.Calls("RegOpenKeyExA"), 0);

    std::string strFits = "\\\\SRV\\SCRIPTS\\" + std::string(1009, 'r');  // 1023: fits, but folder + rest do not
    EXPECT_EQ(Call(strFits.c_str()), 3);
    EXPECT_STREQ(m_szPath, "untouched");
    std::string strJustFits = "\\\\SRV\\SCRIPTS\\" + std::string(1005, 'r');  // folder 17 + rest 1006
    EXPECT_EQ(Call(strJustFits.c_str()), 1);
    EXPECT_EQ(std::strlen(m_szPath), 1023u);

    char szPath[8] = "x";
    EXPECT_EQ(GetSharePath(nullptr, szPath), 3);
    EXPECT_EQ(GetSharePath(m_szShare, nullptr), 3);
    EXPECT_STREQ(szPath, "x");
}

TEST(SharePathValue, GetPathFromShareValuePicksTheFirstPathEntry)
{
    sim::CSimPlatform sim;
    auto pick = [](const std::string& data, std::string* pstrPath) {
        return GetPathFromShareValue(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()),
                                     pstrPath);
    };
    std::string strPath;
    EXPECT_TRUE(pick(std::string("Path=a\0Path=b\0", 14), &strPath));
    EXPECT_EQ(strPath, "A");
    EXPECT_TRUE(pick(std::string("PATH=\0", 6), &strPath));
    EXPECT_EQ(strPath, "") << "an empty path is a path";
    EXPECT_FALSE(pick(std::string("PATH\0=x\0", 8), &strPath));
    EXPECT_FALSE(pick(std::string("PAT", 3), &strPath));
    EXPECT_FALSE(pick(std::string(), &strPath));
    EXPECT_TRUE(sim.Clean());
}

}  // namespace
}  // namespace qx
