// The server picker and the folder picker on the simulated windows, with a scripted user.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

constexpr int kPicker = 107;
constexpr int kCombo = 1008;
using Script = std::function<void(sim::CSimUi&, HWND)>;

// The template of the server picker, a current directory, and a 260-byte buffer as the host passes it,
// full of a marker and followed by guard bytes.
class DomainDialogsTest : public test::SimTest {
protected:
    void SetUp() override
    {
        constexpr DWORD kChild = 0x50000000, kTab = 0x00010000, kGroup = 0x00020000;
        sim::CSimDialogTemplate picker;  // template 107: OK, Cancel, the sorted drop-down combo, two texts
        picker.strCaption = "Select Server";
        picker.controls = {{IDOK, "Button", "OK", kChild | kTab | 0x1},
                           {IDCANCEL, "Button", "Cancel", kChild | kTab},
                           {kCombo, "ComboBox", "", kChild | 0x00200000 | kTab | 0x2 | 0x100},
                           {65535, "Static", "Please select a domain controller from the list, or manually enter",
                            kChild | kGroup},
                           {65535, "Static", "a server name if it is not shown in the list.", kChild | kGroup}};
        sim.m_ui.RegisterTemplate(kPicker, picker);
        sim.m_files.AddFolder("C:\\Setup\\Work");
        sim.m_files.AddFolder("C:\\Windows");
        ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA("C:\\Setup\\Work"));
        Refill();
    }
    void Refill() { std::memset(m_szBuffer, '#', sizeof m_szBuffer - 1); }
    bool Untouched() const { return std::string(m_szBuffer) == std::string(sizeof m_szBuffer - 1, '#'); }
    bool GuardIntact() const { return std::string(m_szBuffer + 261) == std::string(sizeof m_szBuffer - 262, '#'); }

    // SelectServer with the user's script run on the open window; the platform settled afterwards.
    int Pick(Script script)
    {
        sim.m_ui.m_modalScripts.push_back(std::move(script));
        int nResult = SelectServer(m_szBuffer);
        EXPECT_TRUE(Settled());
        EXPECT_TRUE(GuardIntact());
        return nResult;
    }
    // GetUNC with the dialog answering as given (and moving the current directory meanwhile).
    int Browse(const std::string& strPath, bool bFileSystem = true, bool bCancel = false)
    {
        sim::CSimFolderAnswer answer;
        answer.strPath = strPath;
        answer.strDisplayName = "Display";
        answer.bFileSystem = bFileSystem;
        answer.bCancel = bCancel;
        answer.strChangeDirTo = "C:\\Windows";
        sim.m_ui.m_folderAnswers.push_back(answer);
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

TEST_F(DomainDialogsTest, ThePickerOpensWithoutOwnerOnTheSortedControllersAsTheBrowserNamesThem)
{
    sim.m_system.m_strComputerName = "QXSERVER";
    sim.m_netServer.AddPrimaryController(L"pdc-Main");
    sim.m_netServer.AddBackupController(L"Bdc2");
    sim.m_netServer.AddBackupController(L"SRV\u4e2d");             // no ANSI form: left out
    sim.m_netServer.AddBackupController(std::wstring(300, L'L'));  // longer than the host's buffer: left out
    sim.m_netServer.AddBackupController(L"alpha");
    sim.m_netServer.AddServer(L"ws17", 0x00000001);  // not a controller
    sim::CSimWindow seen;
    HWND hOwner = reinterpret_cast<HWND>(1);
    EXPECT_EQ(Pick([&](sim::CSimUi& ui, HWND hDlg) {
                  seen = *ui.Control(hDlg, kCombo);
                  hOwner = ui.Window(hDlg)->hParent;
                  ui.Click(hDlg, IDOK);
              }),
              1);
    // Sorted by the combo box, in the browser's letter case, without this machine added.
    EXPECT_EQ(seen.items, (std::vector<std::string>{"alpha", "Bdc2", "pdc-Main"}));
    EXPECT_EQ(seen.strText, "");
    EXPECT_EQ(seen.nTextLimit, 259);
    EXPECT_EQ(hOwner, nullptr);
    EXPECT_EQ(sim.m_ui.CreatedCount(kPicker), 1);
    ASSERT_EQ(sim.m_netServer.m_calls.size(), 1u);
    EXPECT_EQ(sim.m_netServer.m_calls[0].dwServerType, 0x18u);
    EXPECT_EQ(sim.m_netServer.m_calls[0].dwLevel, 100u);
}

TEST_F(DomainDialogsTest, ThePickerReturnsTheEditTextOnOkAndNothingOtherwise)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    auto typeThen = [](std::string strText, std::function<void(sim::CSimUi&, HWND)> then) -> Script {
        return [=](sim::CSimUi& ui, HWND hDlg) {
            ui.TypeText(hDlg, kCombo, strText);
            then(ui, hDlg);
        };
    };
    auto ok = [](sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDOK); };  // the button, or Enter
    auto cancel = [](sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDCANCEL); };
    auto escape = [](sim::CSimUi& ui, HWND hDlg) { ui.SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); };
    struct Case {
        const char* pszName;
        Script script;
        int nResult;
        std::string strOutput;
    } cases[] = {
        {"typed, not in the list", typeThen("newBdc.Example", ok), 1, "newBdc.Example"},
        {"chosen from the list",
         [](sim::CSimUi& ui, HWND hDlg) {
             sim::CSimWindow* pCombo = ui.Control(hDlg, kCombo);
             ASSERT_EQ(pCombo->items.size(), 1u);
             pCombo->strText = pCombo->items[0];
             ui.Click(hDlg, IDOK);
         },
         1, "PdcOne"},  // as the enumeration gave it, not upper-cased
        {"Enter at once", ok, 1, ""},
        {"Cancel", typeThen("typed", cancel), 0, ""},
        {"Escape", typeThen("typed", escape), 0, ""},
        {"the close box", typeThen("typed", [](sim::CSimUi&, HWND) {}), 0, ""},
        {"typed past the limit", typeThen(std::string(400, 'k'), ok), 1, std::string(259, 'k')},
        // Another program may set a longer text with WM_SETTEXT, which the limit does not stop.
        {"set past the limit",
         [](sim::CSimUi& ui, HWND hDlg) {
             std::string strLong(400, 'z');
             ui.SendMessageA(ui.GetDlgItem(hDlg, kCombo), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strLong.c_str()));
             ui.Click(hDlg, IDOK);
         },
         0, ""},
    };
    for (Case& c : cases) {
        Refill();
        EXPECT_EQ(Pick(c.script), c.nResult) << c.pszName;
        EXPECT_EQ(std::string(m_szBuffer), c.strOutput) << c.pszName;
    }
}

TEST_F(DomainDialogsTest, AFailedEnumerationLeavesThePickersListEmpty)
{
    sim.m_netServer.AddPrimaryController(L"PDC");
    sim.m_netServer.AddBackupController(L"BDC1");
    size_t nItems = 99;
    auto count = [&](sim::CSimUi& ui, HWND hDlg) {
        nItems = ui.Control(hDlg, kCombo)->items.size();
        ui.TypeText(hDlg, kCombo, "BDC9");
        ui.Click(hDlg, IDOK);
    };
    sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND);
    EXPECT_EQ(Pick(count), 1);
    EXPECT_EQ(nItems, 0u);
    EXPECT_STREQ(m_szBuffer, "BDC9");  // typing still works
    sim.m_netServer.m_nBrowseListLimit = 1;  // a partial answer is treated the same, its buffer freed
    nItems = 99;
    EXPECT_EQ(Pick(count), 1);
    EXPECT_EQ(nItems, 0u);
}

TEST_F(DomainDialogsTest, APickerThatCannotOpenReturnsNothing)
{
    sim.m_kernel.FailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_TRUE(Settled());
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_EQ(SelectServer(nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.CreatedCount(kPicker), 0);
}

TEST_F(DomainDialogsTest, AChosenShareComesBackAsItsUncName)
{
    EXPECT_EQ(Browse("\\\\SRV\\DATA\\Sub"), 1);
    EXPECT_STREQ(m_szBuffer, "\\\\SRV\\DATA\\Sub");
    EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work");
    ASSERT_EQ(sim.m_ui.m_browseCalls.size(), 1u);
    const sim::CSimBrowseCall& call = sim.m_ui.m_browseCalls[0];
    EXPECT_EQ(call.hwndOwner, nullptr);
    EXPECT_FALSE(call.bRootGiven);
    EXPECT_TRUE(call.bDisplayNameGiven);
    EXPECT_EQ(call.strTitle, "Select Location");
    EXPECT_EQ(call.ulFlags, 0u);
    EXPECT_FALSE(call.bCallbackGiven);
}

TEST_F(DomainDialogsTest, TheFolderPickerNeverWritesWhatItCannotHandOnWhole)
{
    std::string strLongest = "\\\\SRV\\" + std::string(253, 'p');  // 259 characters
    struct Case {
        const char* pszName;
        std::string strPath;
        bool bFileSystem, bCancel;
        int nResult;
    } cases[] = {
        {"cancelled", "C:\\Qorvex", true, true, 0},
        {"an item without a file-system path", "", false, false, 0},  // not its display name, not ""
        {"a path longer than the buffer", "\\\\SRV\\" + std::string(280, 'q'), true, false, 0},
        {"the longest path", strLongest, true, false, 1},
    };
    for (const Case& c : cases) {
        Refill();
        EXPECT_EQ(Browse(c.strPath, c.bFileSystem, c.bCancel), c.nResult) << c.pszName;
        EXPECT_EQ(CurrentDirectory(), "C:\\Setup\\Work") << c.pszName;
        EXPECT_TRUE(c.nResult == 1 || Untouched()) << c.pszName;
    }
    EXPECT_EQ(std::string(m_szBuffer), strLongest);
    EXPECT_EQ(m_szBuffer[260], '#');
}

TEST_F(DomainDialogsTest, ALongCurrentDirectoryIsRestoredWhole)
{
    std::string strDeep = "C:\\Setup\\" + std::string(150, 'd') + "\\" + std::string(150, 'e');
    sim.m_files.AddFolder(strDeep);
    ASSERT_TRUE(sim.m_files.SetCurrentDirectoryA(strDeep.c_str()));
    EXPECT_EQ(Browse("C:\\Qorvex"), 1);
    EXPECT_EQ(CurrentDirectory(), strDeep);

    EXPECT_EQ(GetUNC(nullptr), 0);  // a null buffer shows nothing
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.m_browseCalls.size(), 1u);
}

}  // namespace
}  // namespace qx
