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
    sim::CSimWindow* Bar() { return sim.m_ui.Control(Window(), 1004); }
    // Settled but for the module's one open window.
    ::testing::AssertionResult OnlyTheWindowHeld() const
    {
        if (sim.m_kernel.Outstanding() == 1 && sim.m_kernel.Outstanding("window") == 1 &&
            sim.m_kernel.Misuses().empty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << sim.Report();
    }
};

TEST_F(ProgressWindow, OpensOnceWithAnEmptyLabelAndDefaultBar)
{
    SPOpen();
    EXPECT_TRUE(OnlyTheWindowHeld());  // the window is the module's until SPClose
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(sim.m_ui.Window(Window())->hParent, nullptr);
    EXPECT_EQ(sim.m_ui.Window(Window())->strText, "Installing Services");
    EXPECT_EQ(Label(), "");  // not the template's "Please Wait..."
    EXPECT_EQ(Bar()->nLower, 0);
    EXPECT_EQ(Bar()->nUpper, 100);
    EXPECT_EQ(Bar()->nPos, 0);

    SPSetText("Copying files");
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetRange(0, 10);
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetPos(4);
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPOpen();  // a second open keeps everything
    EXPECT_EQ(sim.m_ui.CreatedCount(kInstallTemplate), 1);
    EXPECT_EQ(Label(), "Copying files");
    EXPECT_EQ(Bar()->nUpper, 10);
    EXPECT_EQ(Bar()->nPos, 4);
    SPClose();
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_ui.Dialogs(kInstallTemplate).empty());
}

TEST_F(ProgressWindow, RangeAbove65535StaysWholeAndHalfShowsHalf)
{
    SPOpen();
    SPSetText("Installing");
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetRange(0, 200000);
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetPos(100000);
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(Bar()->nLower, 0);
    EXPECT_EQ(Bar()->nUpper, 200000);
    EXPECT_EQ(Bar()->nPos, 100000);
    SPSetRange(-70000, 70000);
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(Bar()->nLower, -70000);
    EXPECT_EQ(Bar()->nUpper, 70000);
    EXPECT_EQ(Label(), "Installing");  // the exchanges around the bar keep the label
}

TEST_F(ProgressWindow, BarMessagesAreSentBetweenTheTwoExchanges)
{
    SPOpen();
    SPSetText("Step 1");
    EXPECT_TRUE(OnlyTheWindowHeld());
    sim.m_ui.m_log.clear();
    SPSetPos(7);
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"pos 108/1004 7", "text 108/1009 Step 1"}));
    sim.m_ui.m_log.clear();
    SPSetRange(1, 99);
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"range 108/1004 1..99", "text 108/1009 Step 1"}));
}

TEST_F(ProgressWindow, NullOrEmptyTextEmptiesTheLabel)
{
    SPOpen();
    SPSetText("Something");
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetText(nullptr);
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(Label(), "");
    SPSetText("Something");
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetText("");
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(Label(), "");
    std::string longText(5000, 'L');
    SPSetText(longText.c_str());
    EXPECT_TRUE(OnlyTheWindowHeld());
    EXPECT_EQ(Label(), longText);
}

TEST_F(ProgressWindow, CloseTwiceThenOpenGivesAFreshWindow)
{
    SPOpen();
    SPSetText("Old");
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetRange(0, 5);
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPSetPos(5);
    EXPECT_TRUE(OnlyTheWindowHeld());
    SPClose();
    SPClose();
    EXPECT_TRUE(Settled());
    SPOpen();
    EXPECT_EQ(sim.m_ui.CreatedCount(kInstallTemplate), 2);
    EXPECT_EQ(Label(), "");
    EXPECT_EQ(Bar()->nUpper, 100);
    EXPECT_EQ(Bar()->nPos, 0);
}

TEST_F(ProgressWindow, SettingExportsWithoutAWindowDoNothing)
{
    SPSetText("nobody sees this");
    SPSetRange(0, 10);
    SPSetPos(3);
    SPClose();
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(sim.m_ui.m_log.empty());
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
}

TEST_F(ProgressWindow, AWindowThatCannotBeCreatedLeavesTheSlotEmpty)
{
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    SPOpen();
    EXPECT_TRUE(Settled());
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
    SPSetText("ignored");
    EXPECT_TRUE(sim.m_ui.m_log.empty());
    SPOpen();  // the next open tries again
    ASSERT_NE(Window(), nullptr);
    EXPECT_EQ(Label(), "");
}

TEST_F(ProgressWindow, UnloadingTheLibraryClosesAnOpenWindow)
{
    SPOpen();
    SPSetText("Updating the engine");
    EXPECT_TRUE(OnlyTheWindowHeld());
    CloseInstallProgressDlg();  // what an unload of the library does
    EXPECT_TRUE(Settled());
    EXPECT_EQ(g_pInstallProgressDlg, nullptr);
}

}  // namespace
}  // namespace qx::test
