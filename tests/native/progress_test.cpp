// The installation progress window driven by the SP exports, on the simulated windows.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "qxinst.h"
#include "ui/progress_dlg.h"

namespace qx::test {
namespace {

class ProgressWindow : public EngineTest {
protected:
    void SetUp() override { RegisterProgressTemplates(); }
    void TearDown() override
    {
        SPClose();  // never leave the module's window to the next test
        EngineTest::TearDown();
    }
    HWND Window() const
    {
        std::vector<HWND> windows = sim.m_ui.Dialogs(kInstallTemplate);
        return windows.size() == 1 ? windows[0] : nullptr;
    }
    std::string Label() { return sim.m_ui.Text(Window(), 1009); }
    sim::CSimWindow& Bar() { return *sim.m_ui.Control(Window(), 1004); }
    // Settled but for the module's one open window.
    ::testing::AssertionResult OnlyTheWindowHeld() const
    {
        if (sim.m_kernel.Outstanding() == 1 && sim.m_kernel.Outstanding("window") == 1 && sim.m_kernel.Misuses().empty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << sim.Report();
    }
};

TEST_F(ProgressWindow, OpenSetAndCloseTheOneWindow)
{
    SPOpen();
    EXPECT_TRUE(OnlyTheWindowHeld());
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(sim.m_ui.Window(Window())->hParent, nullptr);
    EXPECT_EQ(Label(), "");  // the template's "Please Wait..." is never seen
    EXPECT_EQ(Bar().nUpper, 100);

    sim.m_ui.m_log.clear();
    SPSetText("Copying");
    SPSetRange(0, 200000);  // above 65535, kept whole
    SPSetPos(100000);
    EXPECT_TRUE(OnlyTheWindowHeld());
    // Each bar message sits between a reading and a writing exchange that keep the label.
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"text 108/1009 Copying", "range 108/1004 0..200000",
                                                         "text 108/1009 Copying", "pos 108/1004 100000",
                                                         "text 108/1009 Copying"}));
    SPOpen();  // a second open keeps everything
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(sim.m_ui.CreatedCount(kInstallTemplate), 1);
    EXPECT_EQ(Label(), "Copying");
    EXPECT_EQ(Bar().nPos, 100000);
    SPSetText(nullptr);
    EXPECT_EQ(Label(), "");

    SPClose();
    EXPECT_TRUE(Settled());
    SPClose();
    EXPECT_TRUE(Settled());
    SPOpen();  // a fresh window
    EXPECT_EQ(sim.m_ui.CreatedCount(kInstallTemplate), 2);
    EXPECT_EQ(Label(), "");
    EXPECT_EQ(Bar().nPos, 0);
}

TEST_F(ProgressWindow, WithoutAWindowNothingHappens)
{
    SPSetText("nobody sees this");
    SPSetRange(0, 10);
    SPSetPos(3);
    SPClose();
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_ui.m_log.empty());
    // A window that cannot be created leaves the slot empty; the next open tries again.
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    SPOpen();
    EXPECT_TRUE(Settled());
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
    SPSetText("ignored");
    EXPECT_TRUE(sim.m_ui.m_log.empty());
    SPOpen();
    EXPECT_TRUE(OnlyTheWindowHeld());
    // What an unload of the library does with a window still open.
    CloseInstallProgressDlg();
    EXPECT_TRUE(Settled());
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
}

}  // namespace
}  // namespace qx::test
