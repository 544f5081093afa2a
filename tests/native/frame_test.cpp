// The call frame: the text buffer's byte operations, the measure of a text against a buffer,
// SetBuffer, and the guard around every export.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine_reference.h"
#include "frame/export_guard.h"
#include "frame/text_buffer.h"
#include "frame/text_fit.h"
#include "platform/reason.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

TEST(TextBuffer, BytesRoundTripAsSignedValues)
{
    g_textPos = 0;
    for (int c = 0; c < 256; ++c)
        ASSERT_TRUE(PutTextByte(c + 0x300));  // only the low 8 bits are stored
    EXPECT_EQ(g_textPos, 256);
    g_textPos = 0;
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(GetTextByte(), static_cast<signed char>(c)) << c;
    EXPECT_EQ(g_textPos, 256);
}

TEST(TextBuffer, RefusesToWritePastItsCapacity)
{
    g_textPos = kTextBufferSize - 1;
    EXPECT_TRUE(PutTextByte('a'));
    EXPECT_EQ(g_textPos, kTextBufferSize);
    EXPECT_FALSE(PutTextByte('b'));
    EXPECT_EQ(g_textPos, kTextBufferSize);
    EXPECT_EQ(g_textBuffer[kTextBufferSize - 1], 'a');

    g_textPos = -1;
    EXPECT_FALSE(PutTextByte('c'));
    EXPECT_EQ(GetTextByte(), 0);
    EXPECT_EQ(g_textPos, -1);
    g_textPos = 0;
}

TEST(TextBuffer, ReadingAtTheCapacityGivesZeroAndStays)
{
    g_textPos = kTextBufferSize;
    EXPECT_EQ(GetTextByte(), 0);
    EXPECT_EQ(g_textPos, kTextBufferSize);
    g_textPos = 0;
}

TEST(TextFit, ATextFitsABufferWithItsTerminatorAndIsMeasuredWithinTheBoundOnly)
{
    // The text "abcd" (4 characters) fits 5 bytes and more, not 4.
    struct Case {
        size_t cbBuffer;
        bool bFits;
        size_t cchBounded;
    } cases[] = {{0, false, 0}, {1, false, 1}, {4, false, 4}, {5, true, 4}, {6, true, 4}, {1024, true, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cbBuffer);
        EXPECT_EQ(TextFits("abcd", c.cbBuffer), c.bFits);
        EXPECT_EQ(BoundedLength("abcd", c.cbBuffer), c.cchBounded);
    }
    EXPECT_TRUE(TextFits("", 1));
    EXPECT_TRUE(TextFits(nullptr, 0));  // no text at all

    // Bytes without a terminator: measured up to the bound, never read past it (the sanitizer
    // build sees a read past the block).
    const size_t cbBlock = 8;
    std::unique_ptr<char[]> pBlock(new char[cbBlock]);
    std::fill(pBlock.get(), pBlock.get() + cbBlock, 'x');
    EXPECT_EQ(BoundedLength(pBlock.get(), cbBlock), cbBlock);
    EXPECT_FALSE(TextFits(pBlock.get(), cbBlock));
    pBlock[cbBlock - 1] = '\0';
    EXPECT_TRUE(TextFits(pBlock.get(), cbBlock));
    EXPECT_EQ(BoundedLength(pBlock.get(), cbBlock), cbBlock - 1);
}

TEST(Frame, SetBufferHasNoEffectOnTheTextBuffer)
{
    g_textPos = 3;
    g_textBuffer[0] = 'q';
    SetBuffer();
    EXPECT_EQ(g_textPos, 3);
    EXPECT_EQ(g_textBuffer[0], 'q');
    g_textPos = 0;
}

// Every way out of an export is checked for what it left held; a window may stay open.
TEST(Frame, WhatAnExportLeavesHeldIsAMisuseWhicheverWayItEnds)
{
    sim::CSimPlatform sim;
    HLOCAL hBlock = nullptr;
    EXPECT_EQ(GuardInt("Test", 7,
                       [&]() -> int {
                           hBlock = Sys().LocalAlloc(LMEM_FIXED, 8);
                           throw 1;
                       }),
              7);
    ASSERT_EQ(sim.m_kernel.Misuses().size(), 1u);
    EXPECT_EQ(sim.m_kernel.Misuses()[0], "held when an export returned: 1 local");
    Sys().LocalFree(hBlock);

    sim.m_ui.RegisterTemplate(108, {"Installing", {}});
    HWND hDlg = nullptr;
    EXPECT_TRUE(GuardBool(
        "Test", [&] { return (hDlg = Ui().CreateDialogParamA(nullptr, MAKEINTRESOURCEA(108), nullptr, nullptr, 0)); }));
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
    EXPECT_EQ(sim.m_kernel.Outstanding("window"), 1u);
    Ui().DestroyWindow(hDlg);
}

// An exception that escapes an export's body becomes the export's failure result: 0 in the one
// byte of a boolean, the integer export's own failure value; an export without result just returns.
TEST(Frame, AnExceptionInsideAnExportGivesItsFailureResult)
{
    sim::CSimPlatform sim;
    const struct {
        const char* pszWhat;
        std::function<void()> raise;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }},
        {"a text too long", [] { throw std::length_error("too long"); }},
        {"no exception class", [] { throw 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        int nRan = 0;
        auto boolBody = [&] {
            ++nRan;
            c.raise();
            return true;
        };
        auto intBody = [&] {
            ++nRan;
            c.raise();
            return 1;
        };
        EXPECT_EQ(GuardBool("Export", boolBody), QXBOOL {0});
        EXPECT_EQ(GuardInt("Export", 3, intBody), 3);
        GuardVoid("Export", [&] {
            ++nRan;
            c.raise();
        });
        EXPECT_EQ(nRan, 3);
    }
    EXPECT_EQ(GuardBool("Export", [] { return true; }), QXBOOL {1});
    EXPECT_EQ(GuardBool("Export", [] { return false; }), QXBOOL {0});
    EXPECT_TRUE(sim.Clean()) << sim.Report();
}

// A failing export leaves the first reason it gave, once, named after the export; a succeeding one
// leaves none, whatever it noted on the way. Each guard tells failure from its result.
TEST(Reason, AFailureLeavesItsFirstReasonOnceAndASuccessNone)
{
    auto twoReasons = [] {
        Reason("first %s: %d", "reason", 5);
        Reason("second reason");
    };
    struct Case {
        const char* pszName;
        void (*pfnCall)(void (*pfnReasons)());
        bool bLine;
    } cases[] = {
        {.pszName = "bool 0",
         .pfnCall = [](void (*pfn)()) { GuardBool("Export", [&] { return pfn(), false; }); },
         .bLine = true},
        {.pszName = "bool 1",
         .pfnCall = [](void (*pfn)()) { GuardBool("Export", [&] { return pfn(), true; }); },
         .bLine = false},
        {.pszName = "int, the failure result",
         .pfnCall = [](void (*pfn)()) { GuardInt("Export", 0, [&] { return pfn(), 0; }); },
         .bLine = true},
        {.pszName = "int, another result",
         .pfnCall = [](void (*pfn)()) { GuardInt("Export", 0, [&] { return pfn(), 41; }); },
         .bLine = false},
        {.pszName = "int, not the one success",
         .pfnCall =
             [](void (*pfn)()) {
                 GuardInt(
                     "Export", 3, [&] { return pfn(), 2; }, 1);
             },
         .bLine = true},
        {.pszName = "int, the one success",
         .pfnCall =
             [](void (*pfn)()) {
                 GuardInt(
                     "Export", 3, [&] { return pfn(), 1; }, 1);
             },
         .bLine = false},
        {.pszName = "void", .pfnCall = [](void (*pfn)()) { GuardVoid("Export", [&] { pfn(); }); }, .bLine = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        sim::CSimPlatform sim;
        c.pfnCall(+twoReasons);
        std::vector<std::string> expected;
        if (c.bLine)
            expected.push_back("QXINST: Export: first reason: 5\n");
        EXPECT_EQ(sim.m_system.DebugLines(), expected);
        EXPECT_EQ(sim.m_system.m_strStdout, "");
        EXPECT_TRUE(sim.m_ui.m_boxes.empty());

        // A failure without a reason leaves nothing, and nothing is carried into the next export.
        c.pfnCall([] {});
        EXPECT_EQ(sim.m_system.DebugLines(), expected);
    }
}

TEST(Reason, AnExceptionThatEndsAnExportIsItsReason)
{
    sim::CSimPlatform sim;
    EXPECT_EQ(GuardBool("Export", []() -> bool { throw std::length_error("a name too long"); }), 0);
    EXPECT_EQ(GuardInt("Other", 9, []() -> int { throw 1; }), 9);
    GuardVoid("Third", [] {
        Reason("the rule that refused it");
        throw std::bad_alloc();
    });
    EXPECT_EQ(sim.m_system.DebugLines(), (std::vector<std::string> {"QXINST: Export: a name too long\n",
                                                                    "QXINST: Other: an exception ended the call\n",
                                                                    "QXINST: Third: the rule that refused it\n"}));
}

TEST(Reason, OutsideAnExportNothingIsKeptAndALongReasonIsCutToOneLine)
{
    sim::CSimPlatform sim;
    Reason("between exports");
    GuardBool("Export", [] { return false; });
    EXPECT_TRUE(sim.m_system.DebugLines().empty());

    std::string strLong(2 * kReasonSize, 'x');
    GuardBool("Export", [&] { return Reason("%s", strLong.c_str()), false; });
    ASSERT_EQ(sim.m_system.DebugLines().size(), 1u);
    const std::string& strLine = sim.m_system.DebugLines()[0];
    EXPECT_EQ(strLine.size(), kReasonSize - 1);
    EXPECT_EQ(strLine.rfind("QXINST: Export: xxx", 0), 0u);
    EXPECT_EQ(strLine.back(), '\n');
    EXPECT_EQ(strLine.find('\n'), strLine.size() - 1);
}

TEST(Reason, AFailedCallIsNamedWithItsObjectAndCode)
{
    sim::CSimPlatform sim;
    DWORD dwReturned = 0;
    GuardBool("Export", [&] { return (dwReturned = ReasonCall("CreateFileA", "C:\\x\\a.ini", 5)) == 0; });
    EXPECT_EQ(dwReturned, 5u);
    GuardVoid("Other", [] { ReasonCall("NetServerEnum", nullptr, 2184); });
    EXPECT_EQ(sim.m_system.DebugLines(),
              (std::vector<std::string> {"QXINST: Export: CreateFileA C:\\x\\a.ini failed: 5\n",
                                         "QXINST: Other: NetServerEnum failed: 2184\n"}));
}

// Unattended mode leaves out a box of each kind (engine, file, share, service manager) and nothing
// else: the result and the reason line are those of the box shown, and turned off again, the box is
// shown. Each row: the box as "text|caption|flags", what makes it appear, the call and its result.
TEST(Frame, UnattendedModeLeavesOutEachBoxAndNothingElse)
{
    const struct {
        const char* pszBox;
        std::function<void(sim::CSimPlatform&)> setUp;
        std::function<int()> call;
        int nResult;
    } cases[] = {
        {"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096", nullptr,
         [] {
             SetScriptVars("C:\\qorvex\\none.kix", "$a='1'", "", "", "", "", "");
             return -1;  // no result
         },
         -1},
        {"Cannot open output.|File Error|0",
         [](sim::CSimPlatform& sim) {
             sim.m_files.SetFile("C:\\qorvex\\engine.kix", test::MakeEngine("text", 41, ""));
         },
         [] { return Decrypt("C:\\qorvex\\engine.kix", "C:\\missing\\plain.txt"); }, 0},
        {"Access Denied to Create Share|Share Failure|48",
         [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("NetShareAdd", ERROR_ACCESS_DENIED); },
         [] { return AddShare("QXSCRIPTS", "C:\\qorvex"); }, 0},
        {"SC Manager Error|KI Err|0",
         [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("OpenSCManagerA", ERROR_ACCESS_DENIED); },
         [] { return KixInstalled(""); }, 0},
    };
    auto boxes = [](const std::vector<sim::CSimMessageBox>& list) {
        std::vector<std::string> texts;
        for (const sim::CSimMessageBox& box : list)
            texts.push_back(box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType));
        return texts;
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines[2];
        for (int nUnattended : {1, 0}) {
            SCOPED_TRACE(std::string(c.pszBox) + (nUnattended ? ", unattended" : ", attended"));
            sim::CSimPlatform sim;
            sim.m_files.AddFolder("C:\\qorvex");
            if (c.setUp)
                c.setUp(sim);
            SetUnattended(nUnattended);
            EXPECT_EQ(c.call(), c.nResult);
            const std::vector<std::string> box = {c.pszBox};
            EXPECT_EQ(boxes(sim.m_ui.m_boxes), nUnattended ? std::vector<std::string>() : box);
            EXPECT_EQ(boxes(sim.m_boxesLeftOut), nUnattended ? box : std::vector<std::string>());
            lines[nUnattended] = sim.m_system.DebugLines();
            EXPECT_TRUE(sim.Clean()) << sim.Report();
        }
        EXPECT_EQ(lines[1].size(), 1u) << c.pszBox;
        EXPECT_EQ(lines[1], lines[0]) << c.pszBox;
    }
}

}  // namespace
}  // namespace qx
