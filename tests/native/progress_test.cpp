// The installation progress window driven by the SP exports: one window, opened once, its label,
// range and position kept across the exchanges, closed once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

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
    // The window's label, range and position once the call is checked to hold nothing but the
    // module's one window, without owner; "closed" when there is none and nothing is held.
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
};

TEST_F(ProgressWindow, OpenSetAndCloseTheOneWindow)
{
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);  // for the first open
    const std::pair<void (*)(), std::string> steps[] = {
        {[] { SPOpen(); }, "closed"},  // a window that cannot be created leaves the slot empty
        {[] { SPSetText("nobody"); }, "closed"},  // without a window nothing happens
        {[] { SPSetRange(0, 10); }, "closed"},
        {[] { SPSetPos(3); }, "closed"},
        {[] { SPClose(); }, "closed"},
        {[] { SPOpen(); }, "|0..100|0"},  // the template's "Please Wait..." is never seen
        {[] { SPSetText("Copying"); }, "Copying|0..100|0"},
        {[] { SPSetRange(0, 200000); }, "Copying|0..200000|0"},  // above 65535, kept whole
        {[] { SPSetPos(100000); }, "Copying|0..200000|100000"},
        {[] { SPOpen(); }, "Copying|0..200000|100000"},  // a second open keeps everything
        {[] { SPSetText(nullptr); }, "|0..200000|100000"},
        {[] { SPClose(); }, "closed"},
        {[] { SPClose(); }, "closed"},
        {[] { SPOpen(); }, "|0..100|0"},  // a fresh window
        {[] { CloseInstallProgressDlg(); }, "closed"}};  // what an unload does with a window still open
    for (const auto& [pfnStep, strState] : steps) {
        pfnStep();
        EXPECT_EQ(State(), strState) << "step " << &strState - &steps[0].second;
    }
    // Each bar message sits between a reading and a writing exchange that keep the label.
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string> {
                                  "create 108", "text 108/1009 ", "text 108/1009 Copying", "range 108/1004 0..200000",
                                  "text 108/1009 Copying", "pos 108/1004 100000", "text 108/1009 Copying",
                                  "text 108/1009 ", "destroy 108", "create 108", "text 108/1009 ", "destroy 108"}));
}

TEST_F(ProgressWindow, AtTheEndOfTheProcessTheOpenWindowIsGivenUpNotDestroyed)
{
    SPOpen();
    std::unique_ptr<CInstallProgressDlg> pDlg(g_pInstallProgressDlg.get());
    AbandonInstallProgressDlg();
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
    EXPECT_EQ(sim.m_ui.Dialogs(108).size(), 1u);
    SPClose();  // with the slot empty there is nothing to close
    EXPECT_EQ(sim.m_ui.Dialogs(108).size(), 1u);
    pDlg.reset();  // what the end of the process does with the window
    EXPECT_EQ(State(), "closed");
}

// The label may be changed from outside the library (another program, or the host itself, with
// WM_SETTEXT): the bar's exports keep what the window shows.
TEST_F(ProgressWindow, TheBarKeepsALabelChangedFromOutside)
{
    SPOpen();
    SPSetText("Copying");
    const struct {
        const char* pszLabel;
        void (*pfnSet)();
        std::string strState;
    } cases[] = {
        {"Outside", [] { SPSetPos(7); }, "Outside|0..100|7"},
        {"Set again", [] { SPSetRange(0, 50); }, "Set again|0..50|7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszLabel);
        std::vector<HWND> windows = sim.m_ui.Dialogs(108);
        ASSERT_EQ(windows.size(), 1u);
        sim.m_ui.SendMessageA(sim.m_ui.Control(windows[0], 1009)->hWnd, WM_SETTEXT, 0,
                              reinterpret_cast<LPARAM>(c.pszLabel));
        c.pfnSet();
        EXPECT_EQ(State(), c.strState);
    }
}

// Memory running out inside the window's initialisation: no window is kept, and no exception goes
// through the system's frames.
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

// The progress windows and the server picker are shown whether comctl32 has InitCommonControlsEx
// or only InitCommonControls (comctl32 4.00 of NT 4.0).
TEST(CommonControls, WindowsAreShownWithAndWithoutInitCommonControlsEx)
{
    using C = sim::CSimControlTemplate;
    const C bar {1004, "msctls_progress32", "", 0};
    char szServer[MAX_PATH] = "";
    const struct {
        const char* pszWhat;
        int nTemplate;
        std::function<void()> show;
    } rows[] = {
        {"SPOpen", 108, [] { SPOpen(); }},
        {"the loading window", 129, [] { SetScriptVars(kEngine, "$a=1", "", "", "", "", ""); }},
        {"SelectServer", 107, [&] { SelectServer(szServer); }},
    };
    for (const auto& row : rows) {
        for (bool bAbsent : {false, true}) {
            SCOPED_TRACE(std::string(row.pszWhat) + (bAbsent ? " without InitCommonControlsEx" : ""));
            sim::CSimPlatform local;
            local.m_ui.RegisterTemplate(108, {"Installing Services", {C {1009, "Static", "", 0}, bar}});
            local.m_ui.RegisterTemplate(129, {"", {bar}});
            local.m_ui.RegisterTemplate(107, {"Select Server", {C {1008, "ComboBox", "", 0}}});
            local.m_files.SetFile(kEngine, MakeEngine("$a=0\r\n", 41, ""));
            if (bAbsent)
                local.m_kernel.MakeAbsent("InitCommonControlsEx");
            row.show();
            EXPECT_EQ(local.m_ui.CreatedCount(row.nTemplate), 1);
            SPClose();
            EXPECT_TRUE(local.Clean()) << local.Report();
        }
    }
}

}  // namespace
}  // namespace qx::test
