// The server picker (SelectServer) on the simulated windows, with a scripted user.
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

// The picker's template, a current directory, and a 260-byte buffer as the host passes it, with guard bytes.
class SelectServerDlgTest : public test::SimTest {
protected:
    void SetUp() override
    {
        // Template 107: OK (the default button), Cancel, the sorted drop-down combo with a scroll bar, two texts.
        constexpr DWORD kChild = 0x50000000, kTab = 0x00010000, kGroup = 0x00020000, kDefault = 0x1;
        constexpr DWORD kSortedDropDown = 0x00200000 | 0x2 | 0x100;
        sim.m_ui.RegisterTemplate(
            kPicker,
            {"Select Server",
             {{IDOK, "Button", "OK", kChild | kTab | kDefault},
              {IDCANCEL, "Button", "Cancel", kChild | kTab},
              {kCombo, "ComboBox", "", kChild | kTab | kSortedDropDown},
              {65535, "Static", "Please select a domain controller from the list, or manually enter", kChild | kGroup},
              {65535, "Static", "a server name if it is not shown in the list.", kChild | kGroup}}});
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
    std::string CurrentDirectory()
    {
        char szDir[MAX_PATH * 2] = {};
        sim.m_files.GetCurrentDirectoryA(sizeof szDir, szDir);
        return szDir;
    }

    char m_szBuffer[300] = {};
};

TEST_F(SelectServerDlgTest, ThePickerOpensWithoutOwnerOnTheSortedControllersAsTheBrowserNamesThem)
{
    sim.m_system.m_strComputerName = "QXSERVER";
    sim.m_netServer.AddPrimaryController(L"pdc-Main");
    sim.m_netServer.AddBackupController(L"Bdc2");
    sim.m_netServer.AddBackupController(L"SRV\u4e2d");  // no ANSI form: left out
    sim.m_netServer.AddBackupController(std::wstring(300, L'L'));  // longer than the host's buffer: left out
    sim.m_netServer.AddBackupController(L"alpha");
    sim.m_netServer.AddServer(L"ws17", 0x00000001);  // not a controller
    sim::CSimWindow seen;
    HWND hOwner = reinterpret_cast<HWND>(1);
    auto look = [&](sim::CSimUi& ui, HWND hDlg) {
        seen = *ui.Control(hDlg, kCombo);
        hOwner = ui.Window(hDlg)->hParent;
        ui.TypeText(hDlg, kCombo, "BDC9");
        ui.Click(hDlg, IDOK);
    };
    EXPECT_EQ(Pick(look), 1);
    // Sorted by the combo box, in the browser's letter case, without this machine added.
    EXPECT_EQ(seen.items, (std::vector<std::string> {"alpha", "Bdc2", "pdc-Main"}));
    EXPECT_EQ(seen.strText, "");
    EXPECT_EQ(seen.nTextLimit, 259);
    EXPECT_EQ(hOwner, nullptr);

    // A failed enumeration, or a partial answer (its buffer freed), leaves the list empty; typing works.
    sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND);
    EXPECT_EQ(Pick(look), 1);
    EXPECT_TRUE(seen.items.empty());
    EXPECT_STREQ(m_szBuffer, "BDC9");
    sim.m_netServer.m_nBrowseListLimit = 1;
    EXPECT_EQ(Pick(look), 1);
    EXPECT_TRUE(seen.items.empty());
    EXPECT_EQ(sim.m_ui.CreatedCount(kPicker), 3);
}

TEST_F(SelectServerDlgTest, ThePickerReturnsTheEditTextOnOkAndNothingOtherwise)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    auto typeThen = [](std::string strText, Script then) -> Script {
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
    // A window that cannot open returns nothing; a null buffer opens none.
    sim.m_kernel.FailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY);
    Refill();
    EXPECT_EQ(SelectServer(m_szBuffer), 0);
    EXPECT_TRUE(Settled());
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_EQ(SelectServer(nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.CreatedCount(kPicker), 8);
}

// Memory running out inside the window's procedures (the list filled at initialisation, the edit
// field read on OK) ends the window as cancelled; no exception goes through the system's frames.
TEST_F(SelectServerDlgTest, AnAllocationFailingInTheWindowEndsItAsCancelled)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    sim.m_netServer.AddBackupController(L"Bdc2");
    auto pick = [&] {
        Refill();
        int nResult = Pick([](sim::CSimUi& ui, HWND hDlg) {
            ui.TypeText(hDlg, kCombo, "BDC9");
            ui.Click(hDlg, IDOK);
        });
        sim.m_ui.m_modalScripts.clear();  // left when the window ended before the user came
        return std::to_string(nResult) + "|" + m_szBuffer + "|" + std::to_string(sim.m_ui.Dialogs(kPicker).size()) +
               (sim.Clean() ? "" : "|" + sim.Report());
    };
    EXPECT_GE(EachProcedureAllocationFails(pick, "0||0", "1|BDC9|0"), 3);
}

}  // namespace
}  // namespace qx
