// The folder picker (GetUNC) on the simulated shell dialog, with scripted answers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx::test {
namespace {

// GetUNC hands on whole paths only, and keeps the current directory (longer than MAX_PATH too).
TEST_F(SimTest, TheFolderPickerHandsOnWholePathsOnlyAndKeepsTheCurrentDirectory)
{
    const std::string strDeep = "C:\\Setup\\" + std::string(150, 'd') + "\\" + std::string(150, 'e');
    sim.m_files.AddFolder(strDeep);
    sim.m_files.AddFolder("C:\\Windows");
    // What, the path chosen, whether it is a file-system item, whether cancelled, and the result.
    const std::tuple<const char*, std::string, bool, bool, int> cases[] = {
        {"a share", "\\\\SRV\\DATA\\Sub", true, false, 1},  // its UNC name
        {"cancelled", "C:\\Qorvex", true, true, 0},
        {"an item without a file-system path", "", false, false, 0},  // not its display name, not ""
        {"a file-system item with an empty path", "", true, false, 0},
        {"a path longer than the buffer", "\\\\SRV\\" + std::string(280, 'q'), true, false, 0},
        {"the longest path", "\\\\SRV\\" + std::string(253, 'p'), true, false, 1},  // 259 characters
    };
    char szBuffer[300];
    for (const std::string& strCurrent : {std::string("C:\\Setup"), strDeep}) {
        ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA(strCurrent.c_str()));
        for (const auto& [pszName, strPath, bFileSystem, bCancel, nResult] : cases) {
            SCOPED_TRACE(pszName);
            std::memset(szBuffer, '#', sizeof szBuffer - 1);
            szBuffer[sizeof szBuffer - 1] = '\0';
            sim.m_ui.m_folderAnswers.push_back({bCancel, bFileSystem, strPath, "Display", "C:\\Windows"});
            EXPECT_EQ(Settle(GetUNC, szBuffer), nResult);
            char szDir[MAX_PATH * 2] = {};
            sim.m_files.GetCurrentDirectoryA(sizeof szDir, szDir);
            EXPECT_EQ(szDir, strCurrent);
            EXPECT_EQ(szBuffer, nResult ? strPath : std::string(sizeof szBuffer - 1, '#'));
        }
    }
    EXPECT_EQ(GetUNC(nullptr), 0);
    ASSERT_EQ(sim.m_ui.m_browseCalls.size(), 2 * std::size(cases));
    const sim::CSimBrowseCall& call = sim.m_ui.m_browseCalls[0];
    EXPECT_EQ(call.strTitle, "Select Location");
    // No owner, root, restriction or callback (no library code in a window procedure), a display name.
    EXPECT_TRUE(!call.hwndOwner && !call.bRootGiven && call.bDisplayNameGiven && !call.ulFlags && !call.bCallbackGiven);
}

}  // namespace
}  // namespace qx::test
