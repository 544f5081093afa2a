// MakeManagerINI: the file it writes byte for byte wherever the folder points, the merge with an
// existing qxmgr.ini, what it refuses, and every failure, which leaves the file as it was.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "manager/manager_ini.h"
#include "rewrite_fixture.h"

namespace qx::test {
namespace {

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

// An empty last line (empty lines at the end, a zero-byte file, a last line of blanks, the line end
// of a header last) is written where it stands, before the sections appended. The next call drops
// it, as it drops every empty line between lines, and the call after that changes no byte.
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
        {"x=1\r\n\r\n\r\n", "x=1\r\n\r\n" + strTail, "x=1\r\n" + strTail},
        {"", "\r\n" + strTail, strTail},
        {"x=1\r\n  \t", "x=1\r\n\r\n" + strTail, "x=1\r\n" + strTail},
        {"[Other]\r\n", "[Other]\r\n\r\n" + strTail, "[Other]\r\n" + strTail},
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
    const std::string strIni = "[File Locations]\r\n  Logs=old\r\n", s256(256, 'x');
    struct {
        const char* pszWhat;
        const char* pszPath;
        std::string strStart;
        std::function<QXBOOL()> make;
    } cases[] = {
        {"no share", kIni, strIni, [&] { return MakeIni(kFolder, nullptr); }},
        {"a computer name of 260", kIni, strIni,
         [&] {
             sim.m_system.m_strComputerName.assign(260, 'C');
             return MakeIni();
         }},
        {"a Scripts value of 256", kIni, strIni, [&] { return MakeIni(kFolder, std::string(245, 's').c_str()); }},
        {"a Logs value of 256", kIni, strIni, [&] { return MakeIni(kFolder, "S", s256.c_str()); }},
        {"an Editor value of 256", kIni, strIni, [&] { return MakeIni(kFolder, "S", "L", s256.c_str()); }},
        {"a line end in a value", kIni, strIni, [&] { return MakeIni(kFolder, "S", "a\r\n[Evil]"); }},
        {"257 lines", kIni, Numbered("k", 1, 257, "=v\r\n"), [&] { return MakeIni(); }},
        {"no room for the sections", kIni, Numbered("k", 1, 255, "=v\r\n"), [&] { return MakeIni(); }},
        {"read-only", kIni, strIni,
         [&] {
             sim.m_files.SetAttributes(kIni, FILE_ATTRIBUTE_READONLY);
             return MakeIni();
         }},
        {"a full disk", kIni, strIni,
         [&] {
             sim.m_files.SetFreeBytes(20);
             return MakeIni();
         }},
        {"a missing folder", kIni, kNoFile, [&] { return MakeIni("C:\\Missing"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszPath + 10) + ": " + c.pszWhat);
        Put(c.pszPath, c.strStart);
        EXPECT_EQ(c.make(), 0);
        EXPECT_EQ(File(c.pszPath), c.strStart);
        ExpectAlone(c.pszPath);
        EXPECT_FALSE(sim.m_files.Exists("C:\\Missing"));
        sim.m_kernel.ClearFaults();
        sim.m_files.SetFreeBytes(-1);
        sim.m_system.m_strComputerName = "QXSERVER";
        if (sim.m_files.Exists(c.pszPath))
            sim.m_files.SetAttributes(c.pszPath, 0);
        Put(c.pszPath, kNoFile);
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
