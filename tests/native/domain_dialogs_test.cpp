// The server picker and the folder picker on the simulated windows, with a scripted user.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::SimTest;

// Window styles of the picker's template, as its requirements table gives them.
constexpr DWORD kChildVisible = 0x40000000 | 0x10000000;
constexpr DWORD kTabStop = 0x00010000;
constexpr DWORD kGroup = 0x00020000;
constexpr DWORD kVScroll = 0x00200000;
constexpr DWORD kDefPushButton = 0x1;
constexpr DWORD kCbsDropDown = 0x2;
constexpr DWORD kCbsSort = 0x100;

constexpr int kPickerTemplate = 107;
constexpr int kServerCombo = 1008;

// Template 107 as the requirements table has it: OK, Cancel, the sorted drop-down combo, two texts.
sim::CSimDialogTemplate ServerPickerTemplate()
{
    sim::CSimDialogTemplate picker;
    picker.strCaption = "Select Server";
    picker.controls = {
        {IDOK, "Button", "OK", kChildVisible | kTabStop | kDefPushButton},
        {IDCANCEL, "Button", "Cancel", kChildVisible | kTabStop},
        {kServerCombo, "ComboBox", "", kChildVisible | kVScroll | kTabStop | kCbsDropDown | kCbsSort},
        {65535, "Static", "Please select a domain controller from the list, or manually enter", kChildVisible | kGroup},
        {65535, "Static", "a server name if it is not shown in the list.", kChildVisible | kGroup},
    };
    return picker;
}

class ServerPickerTest : public SimTest {
protected:
    void SetUp() override
    {
        sim.m_ui.RegisterTemplate(kPickerTemplate, ServerPickerTemplate());
        std::memset(m_szBuffer, '#', sizeof m_szBuffer);
        m_szBuffer[sizeof m_szBuffer - 1] = '\0';
    }

    // The user's turn: runs once the window is open and initialised.
    void User(std::function<void(sim::CSimUi&, HWND)> script) { sim.m_ui.m_modalScripts.push_back(std::move(script)); }

    // The user picks entry nIndex of the drop-down list: its text goes into the edit field.
    static void Choose(sim::CSimUi& ui, HWND hDlg, size_t nIndex)
    {
        sim::CSimWindow* pCombo = ui.Control(hDlg, kServerCombo);
        ASSERT_NE(pCombo, nullptr);
        ASSERT_LT(nIndex, pCombo->items.size());
        pCombo->strText = pCombo->items[nIndex];
    }
    // Enter goes to the default button; Escape sends IDCANCEL without a control.
    static void PressEnter(sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDOK); }
    static void PressEscape(sim::CSimUi& ui, HWND hDlg)
    {
        ui.SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    }

    bool GuardIntact() const
    {
        for (size_t n = 261; n < sizeof m_szBuffer - 1; ++n) {
            if (m_szBuffer[n] != '#')
                return false;
        }
        return true;
    }

    char m_szBuffer[300];
};

TEST_F(ServerPickerTest, OpensWithoutOwnerOnTheSortedControllersAsTheBrowserNamesThem)
{
    sim.m_system.m_strComputerName = "QXSERVER";
    sim.m_netServer.AddPrimaryController(L"pdc-Main");
    sim.m_netServer.AddBackupController(L"Bdc2");
    sim.m_netServer.AddBackupController(L"alpha");
    sim.m_netServer.AddServer(L"ws17", 0x00000001);  // not a controller
    std::vector<std::string> items;
    std::string strEditAtStart = "?";
    int nLimit = -1;
    HWND hOwner = reinterpret_cast<HWND>(1);
    User([&](sim::CSimUi& ui, HWND hDlg) {
        items = ui.Control(hDlg, kServerCombo)->items;
        strEditAtStart = ui.Text(hDlg, kServerCombo);
        nLimit = ui.Control(hDlg, kServerCombo)->nTextLimit;
        hOwner = ui.Window(hDlg)->hParent;
        ui.Click(hDlg, IDOK);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_TRUE(Settled());
    // Sorted by the combo box, in the browser's letter case, without this machine added.
    EXPECT_EQ(items, (std::vector<std::string>{"alpha", "Bdc2", "pdc-Main"}));
    EXPECT_EQ(strEditAtStart, "");
    EXPECT_EQ(nLimit, 259);
    EXPECT_EQ(hOwner, nullptr);
    EXPECT_EQ(sim.m_ui.CreatedCount(kPickerTemplate), 1);
    ASSERT_EQ(sim.m_netServer.m_calls.size(), 1u);
    EXPECT_EQ(sim.m_netServer.m_calls[0].dwServerType, 0x18u);
    EXPECT_EQ(sim.m_netServer.m_calls[0].dwLevel, 100u);
}

TEST_F(ServerPickerTest, OkReturnsWhatWasTypedOrChosenExactly)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    User([](sim::CSimUi& ui, HWND hDlg) {
        ui.TypeText(hDlg, kServerCombo, "newBdc.Example");
        ui.Click(hDlg, IDOK);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_STREQ(m_szBuffer, "newBdc.Example");  // not in the list, letter case kept
    EXPECT_TRUE(Settled());

    User([](sim::CSimUi& ui, HWND hDlg) {
        Choose(ui, hDlg, 0);
        PressEnter(ui, hDlg);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_STREQ(m_szBuffer, "PdcOne");  // as the enumeration gave it, not upper-cased
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, EnterAtOnceChoosesAnEmptyName)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    User(PressEnter);
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(GuardIntact());
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, CancelEscapeAndTheCloseBoxReturnNothing)
{
    User([](sim::CSimUi& ui, HWND hDlg) {
        ui.TypeText(hDlg, kServerCombo, "typed");
        ui.Click(hDlg, IDCANCEL);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(Settled());

    std::memset(m_szBuffer, '#', 260);
    User([](sim::CSimUi& ui, HWND hDlg) {
        ui.TypeText(hDlg, kServerCombo, "typed");
        PressEscape(ui, hDlg);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(Settled());

    std::memset(m_szBuffer, '#', 260);
    User([](sim::CSimUi& ui, HWND hDlg) { ui.TypeText(hDlg, kServerCombo, "typed"); });  // then the close box
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.CreatedCount(kPickerTemplate), 3);
}

TEST_F(ServerPickerTest, TheTypedNameAlwaysFitsTheHostsBuffer)
{
    User([](sim::CSimUi& ui, HWND hDlg) {
        ui.TypeText(hDlg, kServerCombo, std::string(400, 'k'));  // the edit field stops at its limit
        ui.Click(hDlg, IDOK);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_EQ(std::string(m_szBuffer), std::string(259, 'k'));
    EXPECT_TRUE(GuardIntact());
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, ATextSetPastTheLimitIsRefusedWithoutOverrun)
{
    // Another program may set the text with WM_SETTEXT, which the limit does not stop.
    User([](sim::CSimUi& ui, HWND hDlg) {
        std::string strLong(400, 'z');
        ui.SendMessageA(ui.GetDlgItem(hDlg, kServerCombo), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strLong.c_str()));
        ui.Click(hDlg, IDOK);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(GuardIntact());
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, AFailedEnumerationLeavesTheListEmptyButTypingWorks)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND);
    size_t nItems = 99;
    User([&](sim::CSimUi& ui, HWND hDlg) {
        nItems = ui.Control(hDlg, kServerCombo)->items.size();
        ui.TypeText(hDlg, kServerCombo, "BDC9");
        ui.Click(hDlg, IDOK);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 1);
    EXPECT_EQ(nItems, 0u);
    EXPECT_STREQ(m_szBuffer, "BDC9");
    EXPECT_TRUE(Settled());

    // A partial answer is treated the same, and its buffer is still released.
    sim.m_netServer.AddBackupController(L"BDC1");
    sim.m_netServer.m_nBrowseListLimit = 1;
    User([&](sim::CSimUi& ui, HWND hDlg) {
        nItems = ui.Control(hDlg, kServerCombo)->items.size();
        PressEscape(ui, hDlg);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_EQ(nItems, 0u);
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, NamesThatCannotBeHandedOnAreLeftOutOfTheList)
{
    sim.m_netServer.AddPrimaryController(L"SRV\u4e2d");           // no ANSI form
    sim.m_netServer.AddBackupController(std::wstring(300, L'L'));  // longer than the host's buffer
    sim.m_netServer.AddBackupController(L"Good");
    std::vector<std::string> items;
    User([&](sim::CSimUi& ui, HWND hDlg) {
        items = ui.Control(hDlg, kServerCombo)->items;
        ui.Click(hDlg, IDCANCEL);
    });
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_EQ(items, std::vector<std::string>{"Good"});
    EXPECT_TRUE(Settled());
}

TEST_F(ServerPickerTest, AWindowThatCannotOpenReturnsNothing)
{
    sim.m_kernel.FailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_TRUE(Settled());
    EXPECT_EQ(SelectServer(nullptr), 0);
    EXPECT_EQ(sim.m_ui.CreatedCount(kPickerTemplate), 0);
    EXPECT_TRUE(Settled());
}

// ---- the folder picker ----

class FolderPickerTest : public SimTest {
protected:
    void SetUp() override
    {
        sim.m_files.AddFolder("C:\\Setup\\Work");
        sim.m_files.AddFolder("C:\\Windows");
        ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA("C:\\Setup\\Work"));
        std::memset(m_szBuffer, '#', sizeof m_szBuffer);
        m_szBuffer[sizeof m_szBuffer - 1] = '\0';
        m_strBefore = m_szBuffer;
    }
    void Answer(const std::string& strPath, const std::string& strDisplayName, bool bFileSystem = true)
    {
        sim::CSimFolderAnswer answer;
        answer.strPath = strPath;
        answer.strDisplayName = strDisplayName;
        answer.bFileSystem = bFileSystem;
        answer.strChangeDirTo = "C:\\Windows";  // the dialog moves the current directory
        sim.m_ui.m_folderAnswers.push_back(answer);
    }
    std::string CurrentDirectory()
    {
        char szDir[MAX_PATH * 2] = {};
        sim.m_files.GetCurrentDirectoryA(sizeof szDir, szDir);
        return szDir;
    }
    bool Untouched() const { return m_strBefore == m_szBuffer; }

    char m_szBuffer[300];
    std::string m_strBefore;
};

TEST_F(FolderPickerTest, AChosenShareComesBackAsItsUncName)
{
    Answer("\\\\SRV\\DATA\\Sub", "Sub");
    EXPECT_EQ(GetUNC(m_szBuffer), 1);
    EXPECT_STREQ(m_szBuffer, "\\\\SRV\\DATA\\Sub");
    EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work");
    EXPECT_TRUE(Settled());  // the item list was freed

    ASSERT_EQ(sim.m_ui.m_browseCalls.size(), 1u);
    const sim::CSimBrowseCall& call = sim.m_ui.m_browseCalls[0];
    EXPECT_EQ(call.hwndOwner, nullptr);
    EXPECT_FALSE(call.bRootGiven);
    EXPECT_TRUE(call.bDisplayNameGiven);
    EXPECT_EQ(call.strTitle, "Select Location");
    EXPECT_EQ(call.ulFlags, 0u);
    EXPECT_FALSE(call.bCallbackGiven);
}

TEST_F(FolderPickerTest, CancelLeavesTheBufferAndTheCurrentDirectory)
{
    sim::CSimFolderAnswer cancel;
    cancel.bCancel = true;
    cancel.strChangeDirTo = "C:\\Windows";
    sim.m_ui.m_folderAnswers.push_back(cancel);
    EXPECT_EQ(GetUNC(m_szBuffer), 0);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work");
    EXPECT_TRUE(Settled());
}

TEST_F(FolderPickerTest, AnItemWithoutAFileSystemPathIsNotAFolder)
{
    Answer("", "Control Panel", false);
    EXPECT_EQ(GetUNC(m_szBuffer), 0);
    EXPECT_TRUE(Untouched());  // not the display name, not an empty string
    EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work");
    EXPECT_TRUE(Settled());
}

TEST_F(FolderPickerTest, PathsAreNeverWrittenPastTheBuffer)
{
    std::string strLongest = "\\\\SRV\\" + std::string(253, 'p');  // 259 characters
    ASSERT_EQ(strLongest.size(), 259u);
    Answer(strLongest, "p");
    EXPECT_EQ(GetUNC(m_szBuffer), 1);
    EXPECT_EQ(std::string(m_szBuffer), strLongest);
    EXPECT_EQ(m_szBuffer[260], '#');
    EXPECT_TRUE(Settled());

    std::memset(m_szBuffer, '#', sizeof m_szBuffer - 1);
    Answer("\\\\SRV\\" + std::string(280, 'q'), "q");  // the shell cannot give it in MAX_PATH
    EXPECT_EQ(GetUNC(m_szBuffer), 0);
    EXPECT_TRUE(Untouched());
    EXPECT_TRUE(Settled());
}

TEST_F(FolderPickerTest, ALongCurrentDirectoryIsRestoredWhole)
{
    std::string strDeep = "C:\\Setup\\" + std::string(150, 'd') + "\\" + std::string(150, 'e');
    sim.m_files.AddFolder(strDeep);
    ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA(strDeep.c_str()));
    Answer("C:\\Qorvex", "Qorvex");
    EXPECT_EQ(GetUNC(m_szBuffer), 1);
    EXPECT_EQ(CurrentDirectory(), strDeep);
    EXPECT_TRUE(Settled());
}

TEST_F(FolderPickerTest, ANullBufferShowsNothing)
{
    Answer("C:\\Qorvex", "Qorvex");
    EXPECT_EQ(GetUNC(nullptr), 0);
    EXPECT_TRUE(sim.m_ui.m_browseCalls.empty());
    sim.m_ui.m_folderAnswers.clear();
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
