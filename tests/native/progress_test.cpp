// The installation progress window driven by the SP exports: one window, its state kept, closed once.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/token_table.h"
#include "engine_fixture.h"
#include "ui/progress_dlg.h"

namespace qx::test {
namespace {

class ProgressWindow : public EngineTest {
protected:
    void TearDown() override
    {
        SPClose();  // never leave the module's window to the next test
        EngineTest::TearDown();
    }
    // "label|range|position" of the module's one ownerless window, nothing else held; or "closed".
    std::string State()
    {
        std::vector<HWND> windows = sim.m_ui.Dialogs(108);
        if (windows.empty() && g_pInstallProgressDlg == nullptr)
            return Settled() ? "closed" : sim.Report();
        if (windows.size() != 1 || sim.m_kernel.Outstanding() != 1 || sim.m_kernel.Outstanding("window") != 1 ||
            !sim.m_kernel.Misuses().empty() || sim.m_ui.Window(windows[0])->hParent != nullptr)
            return sim.Report();
        const sim::CSimWindow& bar = *sim.m_ui.Control(windows[0], 1004);
        return sim.m_ui.Text(windows[0], 1009) + "|" + std::to_string(bar.nLower) + ".." + std::to_string(bar.nUpper) +
               "|" + std::to_string(bar.nPos);
    }
    // The label changed from outside the library (another program, or the host, with WM_SETTEXT).
    void SetFromOutside(const char* pszLabel)
    {
        sim.m_ui.SendMessageA(sim.m_ui.Control(sim.m_ui.Dialogs(108).at(0), 1009)->hWnd, WM_SETTEXT, 0,
                              reinterpret_cast<LPARAM>(pszLabel));
    }
};

TEST_F(ProgressWindow, OpenSetAndCloseTheOneWindow)
{
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);  // for the first open
    const std::pair<std::function<void()>, std::string> steps[] = {
        {[] { SPOpen(); }, "closed"},  // a window that cannot be created leaves the slot empty
        {[] { SPSetText("nobody"), SPSetRange(0, 10), SPSetPos(3), SPClose(); }, "closed"},  // no window: nothing
        {[] { SPOpen(); }, "|0..100|0"},  // the template's "Please Wait..." is never seen
        {[] { SPSetText("Copying"); }, "Copying|0..100|0"},
        {[] { SPSetRange(0, 200000); }, "Copying|0..200000|0"},  // above 65535, kept whole
        {[] { SPSetPos(100000); }, "Copying|0..200000|100000"},
        {[] { SPOpen(); }, "Copying|0..200000|100000"},  // a second open keeps everything
        {[&] { SetFromOutside("Outside"), SPSetPos(7); }, "Outside|0..200000|7"},  // the bar keeps the label
        {[&] { SetFromOutside("Again"), SPSetRange(0, 50); }, "Again|0..50|7"},
        {[] { SPSetText(nullptr); }, "|0..50|7"},
        {[] { SPClose(), SPClose(); }, "closed"},
        {[] { SPOpen(); }, "|0..100|0"},  // a fresh window
        {[] { CloseInstallProgressDlg(); }, "closed"}};  // what an unload does with a window still open
    for (const auto& [step, strState] : steps) {
        step();
        EXPECT_EQ(State(), strState) << "step " << &strState - &steps[0].second;
    }
}

TEST_F(ProgressWindow, AnAllocationFailingAsTheWindowOpensKeepsNoWindow)
{
    auto open = [&] {
        SPOpen();
        std::string strState = State();
        SPClose();
        return strState;
    };
    EXPECT_GE(EachProcedureAllocationFails(open, "closed", "|0..100|0"), 1);
}

// The share of its bar that the window of nTemplate showed last (the defaults 0..100 and 0 until set).
double Shown(const sim::CSimUi& ui, int nTemplate)
{
    const std::string strBar = std::to_string(nTemplate) + "/1004 %lld";
    long long nLower = 0, nUpper = 100, nPos = 0;
    for (const std::string& strEntry : ui.m_log)
        if (std::sscanf(strEntry.c_str(), ("range " + strBar + "..%lld").c_str(), &nLower, &nUpper) == 0)
            std::sscanf(strEntry.c_str(), ("pos " + strBar).c_str(), &nPos);
    return nUpper == nLower ? 0.0 : static_cast<double>(nPos - nLower) / static_cast<double>(nUpper - nLower);
}

// The windows open, and the bar shows the same share, with comctl32 4.00 (NT 4.0) as with 4.70.
TEST(CommonControls, TheBarShowsTheSameShareWithAndWithoutComctl32Of470)
{
    auto sp = [](int nLow, int nHigh, int nPos) { return [=] { SPOpen(), SPSetRange(nLow, nHigh), SPSetPos(nPos); }; };
    const std::string strText = std::string(49999, 'x') + "\n" + std::string(50000, 'y');  // lines at 1, 50001
    char szServer[MAX_PATH] = "";
    // What shows the bar, the window's template, and the share of the bar shown.
    const std::tuple<std::function<void()>, int, double> rows[] = {
        {sp(0, 100, 50), 108, 0.5},
        {sp(0, 100000, 10000), 108, 0.1},
        {sp(-1000, 1000, 500), 108, 0.75},
        {sp(INT_MIN, INT_MAX, 0), 108, 0.5},
        {sp(0, 100000, 200000), 108, 1.0},
        {sp(-1, 1, INT_MAX), 108, 1.0},
        {sp(100000, 0, 25000), 108, 0.75},
        {sp(70000, 70000, 70000), 108, 0.0},
        {[&] { std::make_unique<CTokenTable>()->Load(strText.data(), strText.size()); }, 129, 50001.0 / 100000},
        {[] { SetScriptVars(kEngine, "$a=1", "", "", "", "", ""); }, 129, 1.0 / 6},  // 1 of 6 bytes
        {[&] { SelectServer(szServer); }, 107, 0.0},
    };
    using C = sim::CSimControlTemplate;
    const C bar {1004, "msctls_progress32", "", 0};
    for (const auto& [show, nTemplate, dShown] : rows) {
        for (bool bComctl400 : {false, true}) {
            SCOPED_TRACE(std::to_string(nTemplate) + " at " + std::to_string(dShown) + (bComctl400 ? " on 4.00" : ""));
            sim::CSimPlatform local;
            local.m_ui.RegisterTemplate(108, {"Installing Services", {C {1009, "Static", "", 0}, bar}});
            local.m_ui.RegisterTemplate(129, {"", {bar}});
            local.m_ui.RegisterTemplate(107, {"Select Server", {C {1008, "ComboBox", "", 0}}});
            local.m_files.SetFile(kEngine, MakeEngine("$a=0\r\n", 41, ""));
            if (bComctl400)
                local.m_kernel.MakeAbsent("InitCommonControlsEx");
            show();
            EXPECT_EQ(local.m_ui.CreatedCount(nTemplate), 1);
            EXPECT_NEAR(Shown(local.m_ui, nTemplate), dShown, 1.0 / 65535);
            SPClose();
            EXPECT_TRUE(local.Clean()) << local.Report();
        }
    }
}

}  // namespace
}  // namespace qx::test
