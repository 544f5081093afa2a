// The server picker (SelectServer) on the simulated windows, with a scripted user.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx {
namespace {

constexpr int kPicker = 107;
constexpr int kCombo = 1008;
using Script = std::function<void(sim::CSimUi&, HWND)>;

class SelectServerDlgTest : public test::SimTest {
protected:
    void SetUp() override
    {
        // OK (the default button), Cancel, the sorted drop-down combo with a scroll bar
        constexpr DWORD kChild = 0x50000000, kTab = 0x00010000, kSortedDropDown = 0x00200000 | 0x2 | 0x100;
        sim.m_ui.RegisterTemplate(kPicker, {"Select Server",
                                            {{IDOK, "Button", "OK", kChild | kTab | 0x1},
                                             {IDCANCEL, "Button", "Cancel", kChild | kTab},
                                             {kCombo, "ComboBox", "", kChild | kTab | kSortedDropDown}}});
    }

    // SelectServer with the user's script run on the open window, the bytes past the host's 260 kept.
    int Pick(Script script)
    {
        std::memset(m_szBuffer, '#', sizeof m_szBuffer - 1);
        sim.m_ui.m_modalScripts.push_back(std::move(script));
        int nResult = Settle(SelectServer, m_szBuffer);
        EXPECT_EQ(std::string(m_szBuffer + 261), std::string(sizeof m_szBuffer - 262, '#'));
        return nResult;
    }
    static Script Type(std::string strText, Script then)
    {
        return [=](sim::CSimUi& ui, HWND hDlg) { ui.TypeText(hDlg, kCombo, strText), then(ui, hDlg); };
    }
    static void Ok(sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDOK); }  // the button, or Enter

    char m_szBuffer[300] = {};
};

// The sorted controllers but those without an ANSI name or too long.
TEST_F(SelectServerDlgTest, ThePickerOffersTheSortedControllers)
{
    sim.m_system.m_strComputerName = "QXSERVER";
    sim.m_netServer.AddPrimaryController(L"pdc-Main");
    for (const std::wstring& wstrName : {std::wstring(L"Bdc2"), std::wstring(L"SRV\u4e2d"), std::wstring(300, L'L')})
        sim.m_netServer.AddBackupController(wstrName);
    sim.m_netServer.AddBackupController(L"alpha");
    sim.m_netServer.AddServer(L"ws17", 0x00000001);  // not a controller
    std::string strSeen;
    auto look = [&](sim::CSimUi& ui, HWND hDlg) {
        const sim::CSimWindow& combo = *ui.Control(hDlg, kCombo);
        strSeen = "limit " + std::to_string(combo.nTextLimit) + (ui.Window(hDlg)->hParent ? " owned" : "") + ":" +
                  combo.strText;
        for (const std::string& strItem : combo.items)
            strSeen += " " + strItem;
        Type("BDC9", Ok)(ui, hDlg);
    };
    EXPECT_EQ(Pick(look), 1);
    EXPECT_EQ(strSeen, "limit 259: alpha Bdc2 pdc-Main");
    EXPECT_STREQ(m_szBuffer, "BDC9");
}

// OK returns the edit field's text (at most 259 characters); anything else, or no window, nothing.
TEST_F(SelectServerDlgTest, ThePickerReturnsTheEditTextOnOkAndNothingOtherwise)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    auto cancel = [](sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDCANCEL); };
    auto choose = [](sim::CSimUi& ui, HWND hDlg) {
        sim::CSimWindow* pCombo = ui.Control(hDlg, kCombo);
        pCombo->strText = pCombo->items.at(0);
        ui.Click(hDlg, IDOK);
    };
    auto setLong = [](sim::CSimUi& ui, HWND hDlg) {  // another program's WM_SETTEXT, which the limit does not stop
        std::string strLong(400, 'z');
        ui.SendMessageA(ui.GetDlgItem(hDlg, kCombo), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strLong.c_str()));
        ui.Click(hDlg, IDOK);
    };
    // What the user does, the result, and the text handed on.
    const std::tuple<const char*, Script, int, std::string> cases[] = {
        {"typed, not in the list", Type("newBdc.Example", Ok), 1, "newBdc.Example"},
        {"chosen from the list", choose, 1, "PdcOne"},  // as the enumeration gave it, not upper-cased
        {"Enter at once", Ok, 1, ""},
        {"Cancel", Type("typed", cancel), 0, ""},
        {"the close box", Type("typed", [](sim::CSimUi&, HWND) {}), 0, ""},
        {"typed past the limit", Type(std::string(400, 'k'), Ok), 1, std::string(259, 'k')},
        {"set past the limit", setLong, 0, ""},
    };
    for (const auto& [pszName, script, nResult, strOutput] : cases) {
        EXPECT_EQ(Pick(script), nResult) << pszName;
        EXPECT_EQ(std::string(m_szBuffer), strOutput) << pszName;
    }
    sim.m_kernel.FailCall("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Pick(Ok), 0);
    sim.m_ui.m_modalScripts.clear();
    EXPECT_STREQ(m_szBuffer, "");
    EXPECT_EQ(SelectServer(nullptr), 0);
    EXPECT_EQ(sim.m_ui.CreatedCount(kPicker), 7);
}

// Memory running out in the window's procedures (filling the list, reading the field) cancels it.
TEST_F(SelectServerDlgTest, AnAllocationFailingInTheWindowEndsItAsCancelled)
{
    sim.m_netServer.AddPrimaryController(L"PdcOne");
    sim.m_netServer.AddBackupController(L"Bdc2");
    auto pick = [&] {
        int nResult = Pick(Type("BDC9", Ok));
        sim.m_ui.m_modalScripts.clear();  // left when the window ended before the user came
        return std::to_string(nResult) + "|" + m_szBuffer + "|" + std::to_string(sim.m_ui.Dialogs(kPicker).size()) +
               (sim.Clean() ? "" : "|" + sim.Report());
    };
    EXPECT_GE(EachProcedureAllocationFails(pick, "0||0", "1|BDC9|0"), 3);
}

}  // namespace
}  // namespace qx
