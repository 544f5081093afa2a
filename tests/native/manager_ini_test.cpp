// MakeManagerINI: the file it writes byte for byte wherever the folder points, the merge with an
// existing qxmgr.ini, what it refuses, and every failure, which leaves the file as it was.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

// No share, a computer name of 260, a value of 256 or holding a line end, 257 lines or no room for
// the sections, a read-only file, a full disk, a missing folder: 0 and the file as it was.
TEST_F(ManagerIniTest, RefusalsLeaveTheFileAsItWas)
{
    const std::string strIni = "[File Locations]\r\n  Logs=old\r\n", s256(256, 'x'), s245(245, 's');
    const std::string str257 = Numbered("k", 1, 257, "=v\r\n"), str255 = Numbered("k", 1, 255, "=v\r\n");
    enum { kPlain, kLongComputer, kReadOnly, kFull };
    // The file before, the folder, the share, the logs folder, the editor, the platform's set-up.
    const std::tuple<std::string, const char*, const char*, const char*, const char*, int> cases[] = {
        {strIni, kFolder, nullptr, "L", "E", kPlain},      {strIni, kFolder, "S", "L", "E", kLongComputer},
        {strIni, kFolder, s245.c_str(), "L", "E", kPlain}, {strIni, kFolder, "S", s256.c_str(), "E", kPlain},
        {strIni, kFolder, "S", "L", s256.c_str(), kPlain}, {strIni, kFolder, "a\r\n[Evil]", "L", "E", kPlain},
        {str257, kFolder, "S", "L", "E", kPlain},          {str255, kFolder, "S", "L", "E", kPlain},
        {strIni, kFolder, "S", "L", "E", kReadOnly},       {strIni, kFolder, "S", "L", "E", kFull},
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
