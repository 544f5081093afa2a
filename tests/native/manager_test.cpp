// The manager file: the INI document model and MakeManagerINI.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "manager/ini_document.h"
#include "manager/manager_ini.h"
#include "rewrite_fixture.h"

namespace qx::test {
namespace {

constexpr char kCfg[] = "C:\\cfg\\test.ini";

using CLineCase = std::tuple<int32_t, std::string, std::string>;  // the type, the name, the value

struct CChange {
    std::string strKey, strValue, strSection;
    bool bAccepted;
};

class ConfigIniTest : public test::SimTest {
protected:
    void SetUp() override { sim.m_files.AddFolder("C:\\cfg"); }

    // Loads kCfg (raw, or none), checks the lines when given, makes the changes, and gives the file written back.
    std::optional<std::string> Rewrite(const std::optional<std::string>& raw, const std::vector<CLineCase>* pLines,
                                       const std::vector<CChange>& changes = {})
    {
        if (raw)
            sim.m_files.SetFile(kCfg, *raw);
        {
            auto pDoc = std::make_unique<CIniDocument>(kCfg);
            std::vector<CLineCase> lines;
            for (int i = 0; i < pDoc->Count(); ++i)
                lines.emplace_back(pDoc->Line(i).m_nType, pDoc->Line(i).m_szName, pDoc->Line(i).m_szValue);
            EXPECT_TRUE(pLines == nullptr || lines == *pLines) << ::testing::PrintToString(lines);
            for (const CChange& c : changes) {
                SCOPED_TRACE("set " + c.strKey.substr(0, 20));
                int nBefore = pDoc->Count();
                EXPECT_EQ(pDoc->SetValue(c.strKey, c.strValue, c.strSection), c.bAccepted);
                EXPECT_TRUE(c.bAccepted || (pDoc->Refused() && pDoc->Count() == nBefore));
            }
        }
        EXPECT_TRUE(Settled());
        EXPECT_LE(sim.m_files.List("C:\\cfg").size(), 1u);  // no temporary file left
        return sim.m_files.GetFile(kCfg);
    }
};

TEST_F(ConfigIniTest, EachKindOfLineLoadsAndIsWrittenBackInCleanedForm)
{
    const std::string n255(255, 'n'), v255(255, 'v');
    const std::string l255 = "[" + n255 + "]\r\n" + n255 + "=" + v255 + "\r\n;" + n255 + "\r\n";
    const int32_t S = INI_SECTION, K = INI_KEY, T = INI_TEXT, C = INI_COMMENT;
    struct {
        std::string strRaw;
        std::vector<CLineCase> lines;
        std::string strWritten, strSettled = {};
    } cases[] = {
        {"[Main]\r\nName=Value\r\n", {{S, "Main", ""}, {K, "Name", "Value"}}, "[Main]\r\nName=Value\r\n"},
        {"  Name \t=  \tv  \r\nE=   \r\n", {{K, "Name \t", "v  "}, {K, "E", ""}}, "Name \t=v  \r\nE=\r\n"},
        {"=plain\r\n=a=b\r\nk=x=y==\r\n]x=1\r\n",
         {{T, "=plain", ""}, {K, "=a", "b"}, {K, "k", "x=y=="}, {K, "]x", "1"}},
         "=plain\r\n=a=b\r\nk=x=y==\r\n]x=1\r\n"},  // the first = and ] are name characters
        {"  ; a = b  \r\n;\r\n", {{C, " a = b  ", ""}, {C, "", ""}}, "; a = b  \r\n;\r\n"},
        {"[ Main ]  k = v\r\n", {{S, " Main ", ""}, {K, "k ", "v"}}, "[ Main ]\r\nk =v\r\n"},
        {"k=v\r\n[Last]\r\n", {{K, "k", "v"}, {S, "Last", ""}, {T, "", ""}}, "k=v\r\n[Last]\r\n\r\n"},
        {"[Last]", {{S, "Last", ""}}, "[Last]\r\n", "[Last]\r\n\r\n"},
        {"[", {{S, "", ""}}, "[]\r\n", "[]\r\n\r\n"},
        {"a=1\r\n[open\r\nb=2\r\n",
         {{K, "a", "1"}, {S, "open\nb=2\n", ""}},
         "a=1\r\n[open\r\nb=2\r\n]\r\n",
         "a=1\r\n[open\r\nb=2\r\n]\r\n\r\n"},
        {"a\r\n\r\n   \r\n\t\r\nb\r\n\r\n\r\n\r\n", {{T, "a", ""}, {T, "b", ""}, {T, "", ""}}, "a\r\nb\r\n\r\n"},
        {"", {{T, "", ""}}, "\r\n"},
        {"[s]\nk=v\nlast", {{S, "s", ""}, {K, "k", "v"}, {T, "last", ""}}, "[s]\r\nk=v\r\nlast\r\n"},
        {"a\rb\r\n", {{T, "a\rb", ""}}, "a\rb\r\n"},
        {l255, {{S, n255, ""}, {K, n255, v255}, {C, n255, ""}}, l255},  // 255 characters fit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strRaw.substr(0, 40));
        const std::string& strSettled = c.strSettled.empty() ? c.strWritten : c.strSettled;
        EXPECT_EQ(Rewrite(c.strRaw, &c.lines), c.strWritten);
        EXPECT_EQ(Rewrite(c.strWritten, nullptr), strSettled);
        EXPECT_EQ(Rewrite(strSettled, nullptr), strSettled);  // settled after two rewrites
    }
    EXPECT_EQ(Rewrite(Numbered("  line", 1, kMaxIniLines, "\r\n"), nullptr),
              Numbered("line", 1, kMaxIniLines, "\r\n"));  // 256 lines fit
}

TEST_F(ConfigIniTest, NamesMatchInAnyLetterCaseAndBlanksAtTheirEndsOnLinesOfTheirKind)
{
    sim.m_files.SetFile(kCfg, "[ File Locations\t]\r\nlogs  =x\r\nLogsX=y\r\n[Schl\374ssel]\r\n\377ber=1\r\n"
                              "Stra\337e=2\r\n;Editor=1\r\nEditor\r\n[Editor]\r\n");
    CIniDocument doc(kCfg);
    const std::tuple<const char*, int, int> cases[] = {{"file locations", 0, -1}, {"  FILE LOCATIONS \r\n", 0, -1},
                                                       {"FileLocations", -1, -1}, {"LOGS", -1, 1},
                                                       {"\tLogs ", -1, 1},        {"Log", -1, -1},
                                                       {"SCHL\334SSEL", 3, -1},   {"\237BER", -1, 4},
                                                       {"STRA\337E", -1, 5},      {"STRASSE", -1, -1},
                                                       {"Editor", 8, -1}};
    for (const auto& [pszName, nSection, nKey] : cases) {
        EXPECT_EQ(doc.FindSection(pszName), nSection) << pszName;
        EXPECT_EQ(doc.FindKey(pszName), nKey) << pszName;
    }
    EXPECT_STREQ(doc.Line(0).m_szName, " File Locations\t");  // a search changes no stored text
}

TEST_F(ConfigIniTest, NewKeysGoUnderTheirHeaderOrAreAppendedAndWhatDoesNotFitIsRefusedWhole)
{
    const std::string strS = "[S]\r\nk=1\r\n", strFull = "[S]\r\n" + Numbered("line", 1, kMaxIniLines - 2, "\r\n"),
                      s255(255, 's');
    const std::string strS255 = "[s]\r\n" + s255 + "n=1\r\n", strV255 = "k=" + s255 + "v\r\n";
    const std::string strNul("k=a\0b\r\n", 7);
    const std::string strAll = Numbered("line", 1, kMaxIniLines, "\r\n"), strOver = strAll + "one more\r\n",
                      strEmpty = strAll + "\r\n";
    const CChange y2 = {"y", "2", "New", true}, kv = {"k", "v", "", false};
    struct {
        std::optional<std::string> raw;
        std::vector<CChange> changes;
        std::optional<std::string> written;
    } cases[] = {
        {"[A]\r\n  sCRIPTS  = old\r\n[B]\r\nx=1\r\n",
         {{"Scripts", "new", "B", true}},
         "[A]\r\nScripts=new\r\n[B]\r\nx=1\r\n"},
        {"[S]\r\nold=0\r\n[T]\r\nt=1\r\n",
         {{"first", "1", "s", true}, {"second", "2", "S", true}},
         "[S]\r\nsecond=2\r\nfirst=1\r\nold=0\r\n[T]\r\nt=1\r\n"},
        {"[A]\r\na=1\r\n", {{"b", "2", "B", true}, {"c", "3", "", true}}, "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=3\r\n"},
        {"x=1\r\n\r\n\r\n", {y2}, "x=1\r\n\r\n[New]\r\ny=2\r\n"},
        {"", {y2}, "\r\n[New]\r\ny=2\r\n"},
        {"[S]\r\n", {{"k", "1", "S", true}, y2}, "[S]\r\nk=1\r\n\r\n[New]\r\ny=2\r\n"},
        {std::nullopt, {{"k", "v", "S", true}}, "[S]\r\nk=v\r\n"},
        {std::nullopt, {}, std::nullopt},
        {strS, {{"o", "1", "S", true}, {"k", std::string(256, 'v'), "S", false}, {"k", "2", "S", false}}, strS},
        {strS, {{std::string(256, 'k'), "v", "S", false}}, strS},
        {strS, {{"new", "v", s255 + "s", false}}, strS},
        {strS, {{"k", "a\nb", "S", false}}, strS},
        {strS, {{"n", "v", "a]b", false}}, strS},
        {strFull, {{"k", "v", "New", false}}, strFull},  // no room for a section
        {strFull, {{"k", "v", "S", true}, {"K", "in place", "New", true}, {"k2", "v", "S", false}}, strFull},
        {strFull + "k=v\r\n", {{"k2", "v", "", false}}, strFull + "k=v\r\n"},
        {strFull, {{"k", "v", "", true}}, strFull + "k=v\r\n"},  // room at the end
        {strAll, {{"line7", "v", "", false}}, strAll},  // a text line is no key
        {strOver, {kv}, strOver},
        {strEmpty, {kv}, strEmpty},
        {strS255, {kv}, strS255},
        {strV255, {kv}, strV255},
        {strNul, {kv}, strNul},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw.value_or("no file").substr(0, 40));
        if (sim.m_files.Exists(kCfg))
            sim.m_files.DeleteFileA(kCfg);
        EXPECT_EQ(Rewrite(c.raw, nullptr, c.changes), c.written);
    }
    // Keys that would read back as another line or another key.
    for (const char* pszKey : {"a\nb", "a=b", ";k", "[k", " k", "\tk", ""}) {
        SCOPED_TRACE(pszKey);
        EXPECT_EQ(Rewrite(strS, nullptr, {{pszKey, "v", "S", false}}), strS);
    }
}

constexpr char kFresh[] = "[File Locations]\r\nLogs=D:\\Logs\r\nScripts=\\\\QXSERVER\\QXscripts$\r\n"
                          "[Replication]\r\nEditor=notepad.exe\r\n";

using ManagerIniTest = RewriteTest;

TEST_F(ManagerIniTest, ManagerIniHoldsFiveLinesWhereverTheFolderPoints)
{
    sim.m_files.AddFolder("D:\\");
    ASSERT_TRUE(Files().SetCurrentDirectoryA(kFolder));
    using CPaths = std::pair<const char*, const char*>;  // the folder passed, the file's path
    for (auto [pszFolder, pszPath] :
         {CPaths {kFolder, kIni}, CPaths {"C:\\Qorvex\\", kIni}, CPaths {"D:", "D:\\qxmgr.ini"},
          CPaths {"", "qxmgr.ini"}, CPaths {nullptr, "qxmgr.ini"}}) {
        SCOPED_TRACE(pszFolder != nullptr ? pszFolder : "null");
        std::string strPath;
        EXPECT_TRUE(CManagerIniBuilder::BuildPath(pszFolder, strPath));
        EXPECT_EQ(strPath, pszPath);
        Put(kIni, kNoFile);
        EXPECT_EQ(MakeIni(pszFolder), 1);
        EXPECT_EQ(File(pszPath[0] == 'q' ? kIni : pszPath), kFresh);
        ExpectAlone(kIni);
    }
    EXPECT_EQ(MakeIni(kFolder, "S", nullptr, nullptr), 1);
    EXPECT_EQ(File(kIni), "[File Locations]\r\nLogs=\r\nScripts=\\\\QXSERVER\\S\r\n[Replication]\r\nEditor=\r\n");
    EXPECT_EQ(MakeIni(kFolder, std::string(244, 's').c_str()), 1);  // "\\QXSERVER\" and 244: a value of 255
    EXPECT_NE(File(kIni).find("Scripts=\\\\QXSERVER\\" + std::string(244, 's') + "\r\n"), std::string::npos);
    // The path buffer holds 511 characters: "C:\" and 498 more, "\qxmgr.ini"; one more is refused.
    std::string strPath, strFolder = "C:\\" + std::string(498, 'd');
    EXPECT_TRUE(CManagerIniBuilder::BuildPath(strFolder.c_str(), strPath));
    EXPECT_FALSE(CManagerIniBuilder::BuildPath((strFolder + "d").c_str(), strPath));
}

// An empty last line is written where it stands; the next call drops it; the third changes no byte.
TEST_F(ManagerIniTest, ManagerIniMergesAndSettlesByTheSecondCall)
{
    const std::string strKeys = "Logs=D:\\Logs\r\nScripts=\\\\QXSERVER\\QXscripts$\r\n";
    const std::string strTail = "[File Locations]\r\n" + strKeys + "[Replication]\r\nEditor=notepad.exe\r\n";
    struct {
        std::string strStart, strMerged;
        std::string strSettled = {};  // what the second call writes, when it differs
    } cases[] = {
        {"; Qorvex manager\r\n[File Locations]\r\nUsers=U:\\\r\n\r\n[View]\r\nWide=1\r\n",
         "; Qorvex manager\r\n[File Locations]\r\n" + strKeys +
             "Users=U:\\\r\n[View]\r\nWide=1\r\n[Replication]\r\n"
             "Editor=notepad.exe\r\n"},
        {"[Old]\r\n  scripts = \\\\OLD\\x\r\n  ;kept\r\n[ file locations ]\r\nLOGS\t=C:\\old  "
         "\r\n[Misc]\r\neditor=e\r\n",
         "[Old]\r\nScripts=\\\\QXSERVER\\QXscripts$\r\n;kept\r\n[ file locations ]\r\nLogs=D:\\Logs\r\n[Misc]\r\n"
         "Editor=notepad.exe\r\n"},
        {"[Replication]\r\nx=1\r\n", "[Replication]\r\nEditor=notepad.exe\r\nx=1\r\n[File Locations]\r\n" + strKeys},
        {"[File Locations]\r\n", "[File Locations]\r\n" + strKeys + "\r\n[Replication]\r\nEditor=notepad.exe\r\n",
         strTail},
        {"Scripts=a\r\nLogs=b\r\nEditor=c\r\n[Other]",
         "Scripts=\\\\QXSERVER\\QXscripts$\r\nLogs=D:\\Logs\r\nEditor=notepad.exe\r\n[Other]\r\n",
         "Scripts=\\\\QXSERVER\\QXscripts$\r\nLogs=D:\\Logs\r\nEditor=notepad.exe\r\n[Other]\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strStart);
        sim.m_files.SetFile(kIni, c.strStart);
        sim.m_files.SetAttributes(kIni, FILE_ATTRIBUTE_HIDDEN);
        const std::string& strSettled = c.strSettled.empty() ? c.strMerged : c.strSettled;
        for (const std::string* pExpected : {&c.strMerged, &strSettled, &strSettled}) {
            EXPECT_EQ(MakeIni(), 1);
            EXPECT_EQ(File(kIni), *pExpected);
        }
        EXPECT_EQ(Files().GetFileAttributesA(kIni), DWORD(FILE_ATTRIBUTE_HIDDEN));  // kept by the replacement
        ExpectAlone(kIni);
    }
}

TEST_F(ManagerIniTest, RefusalsLeaveTheFileAsItWas)
{
    const std::string strIni = "[File Locations]\r\n  Logs=old\r\n", s256(256, 'x'), s245(245, 's');
    const std::string str257 = Numbered("k", 1, 257, "=v\r\n"), str255 = Numbered("k", 1, 255, "=v\r\n");
    enum { kPlain, kLongComputer, kReadOnly, kFull };
    // The file before, the folder, the share, the logs folder, the editor, the platform's set-up.
    const std::tuple<std::string, const char*, const char*, const char*, const char*, int> cases[] = {
        {strIni, kFolder, nullptr, "L", "E", kPlain},
        {strIni, kFolder, "S", "L", "E", kLongComputer},
        {strIni, kFolder, s245.c_str(), "L", "E", kPlain},
        {strIni, kFolder, "S", s256.c_str(), "E", kPlain},
        {strIni, kFolder, "a\r\n[Evil]", "L", "E", kPlain},
        {str257, kFolder, "S", "L", "E", kPlain},
        {str255, kFolder, "S", "L", "E", kPlain},
        {strIni, kFolder, "S", "L", "E", kReadOnly},
        {strIni, kFolder, "S", "L", "E", kFull},
        {kNoFile, "C:\\Missing", "S", "L", "E", kPlain}};
    for (const auto& [strStart, pszFolder, pszShare, pszLogs, pszEditor, nSetup] : cases) {
        SCOPED_TRACE(strStart.substr(0, 20) + " " + (pszShare ? pszShare : "null") + " " + std::to_string(nSetup));
        Put(kIni, strStart);
        sim.m_system.m_strComputerName = nSetup == kLongComputer ? std::string(260, 'C') : "QXSERVER";
        if (nSetup == kReadOnly)
            sim.m_files.SetAttributes(kIni, FILE_ATTRIBUTE_READONLY);
        sim.m_files.SetFreeBytes(nSetup == kFull ? 20 : -1);
        EXPECT_EQ(MakeIni(pszFolder, pszShare, pszLogs, pszEditor), 0);
        EXPECT_EQ(File(kIni), strStart);
        ExpectAlone(kIni);
        EXPECT_FALSE(sim.m_files.Exists("C:\\Missing"));
        if (sim.m_files.Exists(kIni))
            sim.m_files.SetAttributes(kIni, 0);
    }
}

TEST_F(ManagerIniTest, EveryPlatformFailureLeavesTheOldFileOrTheNewOne)
{
    ExpectEachFailureKeepsOldOrNew(
        kIni,
        {"GetComputerNameA", "CreateFileA", "GetFileSize", "ReadFile", "WriteFile", "GetTempFileNameA", "CloseHandle",
         "GetFileAttributesA", "ReplaceFileA", "MoveFileExA", "SetFileAttributesA"},
        [&] { return MakeIni(); }, "[Replication]\r\n Editor=vi\r\n",
        "[Replication]\r\nEditor=notepad.exe\r\n[File Locations]\r\nLogs=D:\\Logs\r\n"
        "Scripts=\\\\QXSERVER\\QXscripts$\r\n",
        kFresh);
}

}  // namespace
}  // namespace qx::test
