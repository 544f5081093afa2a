// The call frame: the text buffer, the export guard and unattended mode.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/export_guard.h"
#include "frame/text_buffer.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

// Bytes go in by their low 8 bits and come out signed; nothing is put or read outside the buffer.
TEST(TextBuffer, BytesRoundTripWithinTheBufferOnly)
{
    g_textPos = 0;
    for (int c = 0; c < 256; ++c)
        ASSERT_TRUE(PutTextByte(c + 0x300));
    g_textPos = 0;
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(GetTextByte(), static_cast<signed char>(c)) << c;
    SetBuffer();
    EXPECT_EQ(g_textPos, 256);
    EXPECT_EQ(g_textBuffer[1], 1);
    const struct {
        int32_t nPos;
        bool bPut;
        int32_t nAfter;
    } cases[] = {
        {kTextBufferSize - 1, true, kTextBufferSize}, {kTextBufferSize, false, kTextBufferSize}, {-1, false, -1}};
    for (const auto& c : cases) {
        g_textPos = c.nPos;
        EXPECT_EQ(PutTextByte('a'), c.bPut) << c.nPos;
        EXPECT_EQ(g_textPos, c.nAfter) << c.nPos;
        EXPECT_EQ(c.bPut ? 0 : GetTextByte(), 0) << c.nPos;
        EXPECT_EQ(g_textPos, c.nAfter) << c.nPos;
    }
    EXPECT_EQ(g_textBuffer[kTextBufferSize - 1], 'a');
    g_textPos = 0;
}

// An exception becomes the export's failure result; what an export leaves held but a window is a misuse.
TEST(Frame, AnExceptionGivesTheFailureResultAndWhatIsLeftHeldIsAMisuse)
{
    sim::CSimPlatform sim;
    const std::function<void()> raises[] = {[] { throw std::bad_alloc(); }, [] { throw std::length_error("long"); },
                                            [] { throw 1; }};
    for (const auto& raise : raises) {
        int nRan = 0;
        EXPECT_EQ(GuardBool("Export", [&] { return ++nRan, raise(), true; }), QXBOOL {0});
        EXPECT_EQ(GuardInt("Export", 3, [&] { return ++nRan, raise(), 1; }), 3);
        GuardVoid("Export", [&] { ++nRan, raise(); });
        EXPECT_EQ(nRan, 3);
    }
    EXPECT_EQ(GuardBool("Export", [] { return true; }), QXBOOL {1});
    EXPECT_TRUE(sim.Clean()) << sim.Report();
    HLOCAL hBlock = nullptr;
    EXPECT_EQ(GuardInt("Test", 7, [&]() -> int { hBlock = Sys().LocalAlloc(LMEM_FIXED, 8), throw 1; }), 7);
    EXPECT_EQ(sim.m_kernel.Misuses(), std::vector<std::string> {"held when an export returned: 1 local"});
    Sys().LocalFree(hBlock);
    sim.m_ui.RegisterTemplate(108, {"Installing", {}});
    HWND hDlg = nullptr;
    GuardBool("Test",
              [&] { return (hDlg = Ui().CreateDialogParamA(nullptr, MAKEINTRESOURCEA(108), nullptr, nullptr, 0)); });
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
    Ui().DestroyWindow(hDlg);
}

// Unattended mode leaves out the box ("text|caption|flags") and nothing else: same result and reason.
TEST(Frame, UnattendedModeLeavesOutEachBoxAndNothingElse)
{
    using Sim = sim::CSimPlatform;
    const struct {
        const char* pszBox;
        std::function<void(Sim&)> setUp;
        std::function<int()> call;
    } cases[] = {
        {"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096", [](Sim&) {},
         [] { return SetScriptVars("C:\\qorvex\\none.kix", "$a='1'", "", "", "", "", ""), -1; }},
        {"Access Denied to Create Share|Share Failure|48",
         [](Sim& sim) { sim.m_kernel.FailCall("NetShareAdd", ERROR_ACCESS_DENIED); },
         [] { return int(AddShare("QXSCRIPTS", "C:\\qorvex")); }},
        {"SC Manager Error|KI Err|0", [](Sim& sim) { sim.m_kernel.FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED); },
         [] { return KixInstalled(""); }},
    };
    auto boxes = [](const std::vector<sim::CSimMessageBox>& list) {
        std::string strBoxes;
        for (const sim::CSimMessageBox& box : list)
            strBoxes += box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType) + ";";
        return strBoxes;
    };
    for (const auto& c : cases) {
        std::string outcomes[2];
        for (int nUnattended : {1, 0}) {
            SCOPED_TRACE(std::string(c.pszBox) + (nUnattended ? ", unattended" : ", attended"));
            Sim sim;
            sim.m_files.AddFolder("C:\\qorvex");
            c.setUp(sim);
            SetUnattended(nUnattended);
            outcomes[nUnattended] = std::to_string(c.call());
            outcomes[nUnattended] += " " + sim.m_system.DebugLines().at(0);
            EXPECT_EQ(boxes(sim.m_ui.m_boxes) + "/" + boxes(sim.m_boxesLeftOut),
                      nUnattended ? "/" + std::string(c.pszBox) + ";" : c.pszBox + std::string(";/"));
            EXPECT_TRUE(sim.Clean()) << sim.Report();
        }
        EXPECT_EQ(outcomes[1], outcomes[0]) << c.pszBox;
    }
}

}  // namespace
}  // namespace qx
