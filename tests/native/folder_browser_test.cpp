// The folder picker (GetUNC) on the simulated shell dialog, with scripted answers.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

// A current directory, and a 260-byte buffer as the host passes it, with guard bytes.
class FolderBrowserTest : public test::SimTest {
protected:
    void SetUp() override
    {
        sim.m_files.AddFolder("C:\\Setup\\Work");
        sim.m_files.AddFolder("C:\\Windows");
        ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA("C:\\Setup\\Work"));
        Refill();
    }
    void Refill() { std::memset(m_szBuffer, '#', sizeof m_szBuffer - 1); }
    bool Untouched() const { return std::string(m_szBuffer) == std::string(sizeof m_szBuffer - 1, '#'); }

    // GetUNC with the dialog answering as given (and moving the current directory meanwhile).
    int Browse(const std::string& strPath, bool bFileSystem = true, bool bCancel = false)
    {
        sim.m_ui.m_folderAnswers.push_back({bCancel, bFileSystem, strPath, "Display", "C:\\Windows"});
        int nResult = GetUNC(m_szBuffer);
        EXPECT_TRUE(Settled());
        return nResult;
    }
    std::string CurrentDirectory()
    {
        char szDir[MAX_PATH * 2] = {};
        sim.m_files.GetCurrentDirectoryA(sizeof szDir, szDir);
        return szDir;
    }

    char m_szBuffer[300] = {};
};

TEST_F(FolderBrowserTest, TheFolderPickerHandsOnWholePathsOnlyAndKeepsTheCurrentDirectory)
{
    struct Case {
        const char* pszName;
        std::string strPath;
        bool bFileSystem, bCancel;
        int nResult;
    } cases[] = {
        {"a share", "\\\\SRV\\DATA\\Sub", true, false, 1},  // its UNC name
        {"cancelled", "C:\\Qorvex", true, true, 0},
        {"an item without a file-system path", "", false, false, 0},  // not its display name, not ""
        {"a file-system item with an empty path", "", true, false, 0},
        {"a path longer than the buffer", "\\\\SRV\\" + std::string(280, 'q'), true, false, 0},
        {"the longest path", "\\\\SRV\\" + std::string(253, 'p'), true, false, 1},  // 259 characters
    };
    for (const Case& c : cases) {
        Refill();
        EXPECT_EQ(Browse(c.strPath, c.bFileSystem, c.bCancel), c.nResult) << c.pszName;
        EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work") << c.pszName;
        EXPECT_TRUE(c.nResult ? std::string(m_szBuffer) == c.strPath : Untouched()) << c.pszName;
    }
    EXPECT_EQ(m_szBuffer[260], '#');
    ASSERT_EQ(sim.m_ui.m_browseCalls.size(), std::size(cases));
    const sim::CSimBrowseCall& call = sim.m_ui.m_browseCalls[0];
    EXPECT_EQ(call.strTitle, "Select Location");
    // No owner, no root (the desktop), a display-name buffer, no restriction, no callback.
    EXPECT_TRUE(!call.hwndOwner && !call.bRootGiven && call.bDisplayNameGiven && !call.ulFlags && !call.bCallbackGiven);

    // A current directory longer than MAX_PATH is restored whole; a null buffer shows nothing.
    std::string strDeep = "C:\\Setup\\" + std::string(150, 'd') + "\\" + std::string(150, 'e');
    sim.m_files.AddFolder(strDeep);
    ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA(strDeep.c_str()));
    EXPECT_EQ(Browse("C:\\Qorvex"), 1);
    EXPECT_EQ(CurrentDirectory(), strDeep);
    EXPECT_EQ(GetUNC(nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.m_browseCalls.size(), std::size(cases) + 1);

    // The shell's dialog is given no callback: none of the library's code runs in a window
    // procedure, so memory running out there cannot reach it.
    auto browse = [&] { return std::to_string(Browse("C:\\Qorvex")) + "|" + m_szBuffer; };
    EXPECT_EQ(EachProcedureAllocationFails(browse, "", "1|C:\\Qorvex"), 0);
}

}  // namespace
}  // namespace qx
