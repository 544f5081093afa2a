// MakeManagerINI: the file's path, the three keys and their order, the merge with an existing
// qxmgr.ini, and every way it can fail without touching the file.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "manager/manager_ini.h"
#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

constexpr char kFolder[] = "C:\\Qorvex";
constexpr char kIni[] = "C:\\Qorvex\\qxmgr.ini";
constexpr char kFresh[] =
    "[File Locations]\r\n"
    "Logs=D:\\Logs\r\n"
    "Scripts=\\\\QXSERVER\\QXscripts$\r\n"
    "[Replication]\r\n"
    "Editor=notepad.exe\r\n";

class ConfigManagerTest : public test::SimTest {
protected:
    void SetUp() override { sim.m_files.AddFolder(kFolder); }

    QXBOOL Make(const char* pszFolder = kFolder, const char* pszShare = "QXscripts$",
                const char* pszLogs = "D:\\Logs", const char* pszEditor = "notepad.exe")
    {
        return MakeManagerINI(pszFolder, pszShare, pszLogs, pszEditor);
    }

    std::string Ini() const { return sim.m_files.GetFile(kIni).value_or("<no file>"); }
    std::vector<std::string> FolderEntries() const { return sim.m_files.List(kFolder); }
};

// ---- the file's path ----------------------------------------------------------------------------

TEST_F(ConfigManagerTest, ANewFileHoldsTheFiveLinesWithLogsAboveScripts)
{
    EXPECT_EQ(Make(), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), kFresh);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
}

TEST_F(ConfigManagerTest, TheFolderWithOrWithoutItsBackslashGivesTheSameFile)
{
    EXPECT_EQ(Make("C:\\Qorvex\\"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), kFresh);
    EXPECT_EQ(Make("C:\\Qorvex", "Other$"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
    EXPECT_NE(Ini().find("Scripts=\\\\QXSERVER\\Other$\r\n"), std::string::npos) << Ini();
}

TEST_F(ConfigManagerTest, AFolderWithoutBackslashGetsOneAndAnEmptyFolderMeansTheCurrentDirectory)
{
    sim.m_files.AddFolder("D:\\");
    EXPECT_EQ(Make("D:"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_files.GetFile("D:\\qxmgr.ini").value_or(""), kFresh);

    ASSERT_TRUE(Files().SetCurrentDirectoryA("C:\\Qorvex"));
    EXPECT_EQ(Make(""), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), kFresh);
    sim.m_files.DeleteFileA(kIni);
    EXPECT_EQ(Make(nullptr), 1);  // a null folder is the empty one
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), kFresh);
}

TEST_F(ConfigManagerTest, NullTextsAreEmptyValues)
{
    EXPECT_EQ(Make(kFolder, "S", nullptr, nullptr), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), "[File Locations]\r\nLogs=\r\nScripts=\\\\QXSERVER\\S\r\n[Replication]\r\nEditor=\r\n");
}

// ---- the merge ----------------------------------------------------------------------------------

TEST_F(ConfigManagerTest, AnExistingSectionGainsLogsThenScriptsAboveItsOlderLines)
{
    sim.m_files.SetFile(kIni, "; Qorvex manager\r\n[File Locations]\r\nUsers=U:\\\r\n\r\n[View]\r\nWide=1\r\n");
    EXPECT_EQ(Make(), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(),
              "; Qorvex manager\r\n"
              "[File Locations]\r\n"
              "Logs=D:\\Logs\r\n"
              "Scripts=\\\\QXSERVER\\QXscripts$\r\n"
              "Users=U:\\\r\n"
              "[View]\r\n"
              "Wide=1\r\n"
              "[Replication]\r\n"
              "Editor=notepad.exe\r\n");
}

TEST_F(ConfigManagerTest, KeysInOtherSectionsOrLetterCasesAreChangedWhereTheyStand)
{
    sim.m_files.SetFile(kIni,
                        "[Old]\r\n"
                        "  scripts = \\\\OLD\\x\r\n"
                        "  ;kept comment\r\n"
                        "[ file locations ]\r\n"
                        "LOGS\t=C:\\old logs  \r\n"
                        "[Misc]\r\n"
                        "editor=edit.com\r\n");
    EXPECT_EQ(Make(), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(),
              "[Old]\r\n"
              "Scripts=\\\\QXSERVER\\QXscripts$\r\n"
              ";kept comment\r\n"
              "[ file locations ]\r\n"
              "Logs=D:\\Logs\r\n"
              "[Misc]\r\n"
              "Editor=notepad.exe\r\n");
}

TEST_F(ConfigManagerTest, ASecondCallLeavesTheFileAFirstCallWroteByteIdentical)
{
    const char* starts[] = {nullptr, "  ;c\r\n\r\n[Other]\r\n a = b \r\n", "[Replication]\r\nx=1\r\n"};
    for (const char* pszStart : starts) {
        SCOPED_TRACE(pszStart != nullptr ? pszStart : "no file");
        if (pszStart != nullptr)
            sim.m_files.SetFile(kIni, pszStart);
        else if (sim.m_files.Exists(kIni))
            sim.m_files.DeleteFileA(kIni);
        EXPECT_EQ(Make(), 1);
        EXPECT_TRUE(Settled());
        std::string strFirst = Ini();
        EXPECT_EQ(Make(), 1);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Ini(), strFirst);
    }
    EXPECT_EQ(Ini(), "[Replication]\r\nEditor=notepad.exe\r\nx=1\r\n[File Locations]\r\nLogs=D:\\Logs\r\n"
                     "Scripts=\\\\QXSERVER\\QXscripts$\r\n");
}

TEST_F(ConfigManagerTest, AHiddenTargetKeepsItsAttributesWhenReplaced)
{
    sim.m_files.SetFile(kIni, "[File Locations]\r\n");
    sim.m_files.SetAttributes(kIni, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(Make(), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Files().GetFileAttributesA(kIni), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
}

// ---- failures: 0 and the file as it was -------------------------------------------------------

TEST_F(ConfigManagerTest, ArgumentsAndNamesThatCannotBeUsedWriteNothing)
{
    const std::string strOriginal = "[File Locations]\r\n  Logs=old\r\n";
    sim.m_files.SetFile(kIni, strOriginal);

    EXPECT_EQ(Make(kFolder, nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);

    sim.m_kernel.FailCall("GetComputerNameA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Make(), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);

    // A computer name that does not fit the name buffer is a failure too, not a cut name.
    sim.m_system.m_strComputerName = std::string(260, 'C');
    EXPECT_EQ(Make(), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);
    sim.m_system.m_strComputerName = "QXSERVER";

    // "\\QXSERVER\" is 11 characters: a share of 245 makes a value of 256, one too many.
    EXPECT_EQ(Make(kFolder, std::string(245, 's').c_str()), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);
    EXPECT_EQ(Make(kFolder, std::string(244, 's').c_str()), 1);
    EXPECT_TRUE(Settled());
    EXPECT_NE(Ini().find("Scripts=\\\\QXSERVER\\" + std::string(244, 's') + "\r\n"), std::string::npos);

    sim.m_files.SetFile(kIni, strOriginal);
    EXPECT_EQ(Make(kFolder, "S", std::string(256, 'L').c_str()), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);
    EXPECT_EQ(Make(kFolder, "S", "L", std::string(256, 'E').c_str()), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), strOriginal);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
}

TEST_F(ConfigManagerTest, APathOf512OrMoreIsRefusedBeforeAnyFileIsTouched)
{
    // The folder plus "\qxmgr.ini" (10 characters) must stay below 512.
    std::string strFolder = "C:\\" + std::string(499, 'd');  // 502 characters: a path of 512
    sim.m_kernel.ResetCalls();
    EXPECT_EQ(Make(strFolder.c_str()), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_kernel.Calls("CreateFileA"), 0);
    EXPECT_EQ(sim.m_kernel.Calls("GetTempFileNameA"), 0);

    std::string strPath;
    EXPECT_FALSE(CManagerIniBuilder::BuildPath(strFolder.c_str(), strPath));
    strFolder.pop_back();
    EXPECT_TRUE(CManagerIniBuilder::BuildPath(strFolder.c_str(), strPath));
    EXPECT_EQ(strPath.size(), 511u);
    EXPECT_EQ(strPath.substr(strPath.size() - 11), "d\\qxmgr.ini");
}

TEST_F(ConfigManagerTest, FilesThatDoNotFitTheDocumentAreLeftAsTheyAre)
{
    std::string strLines;
    for (int i = 0; i < 257; ++i)
        strLines += "k" + std::to_string(i) + "=v\r\n";
    std::string strFull;  // 255 lines without the sections: the new ones would make 259
    for (int i = 0; i < 255; ++i)
        strFull += "k" + std::to_string(i) + "=v\r\n";
    const std::string cases[] = {
        strLines,
        "[File Locations]\r\nLogs=" + std::string(256, 'x') + "\r\n",
        "[File Locations\r\n" + std::string(300, 'x'),
        strFull,
    };
    for (const std::string& strOriginal : cases) {
        SCOPED_TRACE(strOriginal.substr(0, 40));
        sim.m_files.SetFile(kIni, strOriginal);
        EXPECT_EQ(Make(), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Ini(), strOriginal);
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
    }
}

TEST_F(ConfigManagerTest, AFileThatCannotBeWrittenGivesZero)
{
    EXPECT_EQ(Make("C:\\Missing"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(sim.m_files.Exists("C:\\Missing"));

    sim.m_files.SetFile(kIni, "[File Locations]\r\n");
    sim.m_files.SetAttributes(kIni, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Make(), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), "[File Locations]\r\n");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
    sim.m_files.SetAttributes(kIni, 0);

    sim.m_files.SetFreeBytes(20);
    EXPECT_EQ(Make(), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Ini(), "[File Locations]\r\n");
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"qxmgr.ini"});
}

// Every call the export makes into the platform, failed in turn at each of its uses, with and
// without a file to merge: the result is 1 with the merged file, or 0 with the file as it was and
// nothing else in the folder; nothing is left held either way.
TEST_F(ConfigManagerTest, EveryPlatformFailureLeavesTheOldFileOrTheNewOne)
{
    const std::string strOriginal = "[Replication]\r\n Editor=vi\r\n";
    const std::string strMerged = "[Replication]\r\nEditor=notepad.exe\r\n[File Locations]\r\nLogs=D:\\Logs\r\n"
                                  "Scripts=\\\\QXSERVER\\QXscripts$\r\n";
    const char* calls[] = {"GetComputerNameA", "CreateFileA",        "GetFileSizeEx", "ReadFile",
                           "WriteFile",        "GetTempFileNameA",   "CloseHandle",   "GetFileAttributesA",
                           "ReplaceFileA",     "MoveFileExA"};
    std::map<std::string, int> reached;
    for (bool bExisting : {true, false}) {
        auto start = [&] {
            if (bExisting)
                sim.m_files.SetFile(kIni, strOriginal);
            else if (sim.m_files.Exists(kIni))
                sim.m_files.DeleteFileA(kIni);
        };
        const std::string strBefore = bExisting ? strOriginal : "<no file>";
        const std::string strAfter = bExisting ? strMerged : kFresh;
        for (const char* pszCall : calls) {
            start();
            sim.m_kernel.ResetCalls();
            ASSERT_EQ(Make(), 1);
            int nUses = sim.m_kernel.Calls(pszCall);
            reached[pszCall] += nUses;
            for (int nNth = 1; nNth <= nUses; ++nNth) {
                SCOPED_TRACE(std::string(bExisting ? "existing, " : "new, ") + pszCall + " #" + std::to_string(nNth));
                start();
                sim.m_kernel.FailCall(pszCall, ERROR_ACCESS_DENIED, nNth);
                QXBOOL bResult = Make();
                sim.m_kernel.ClearFaults();
                EXPECT_TRUE(Settled());
                EXPECT_EQ(Ini(), bResult ? strAfter : strBefore);
                EXPECT_EQ(FolderEntries(), bResult || bExisting ? std::vector<std::string>{"qxmgr.ini"}
                                                                : std::vector<std::string>{});
            }
        }
    }
    for (const char* pszCall : calls)
        EXPECT_GT(reached[pszCall], 0) << pszCall << " was never made";
}

}  // namespace
}  // namespace qx
