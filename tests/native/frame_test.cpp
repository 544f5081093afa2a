// The call frame: the text buffer's byte operations, the measure of a text against a buffer,
// SetBuffer, and the guard around every export.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

#include "frame/export_guard.h"
#include "frame/text_buffer.h"
#include "frame/text_fit.h"
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
    EXPECT_EQ(GuardInt(7,
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
        [&] { return (hDlg = Ui().CreateDialogParamA(nullptr, MAKEINTRESOURCEA(108), nullptr, nullptr, 0)); }));
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
        EXPECT_EQ(GuardBool(boolBody), QXBOOL {0});
        EXPECT_EQ(GuardInt(3, intBody), 3);
        GuardVoid([&] {
            ++nRan;
            c.raise();
        });
        EXPECT_EQ(nRan, 3);
    }
    EXPECT_EQ(GuardBool([] { return true; }), QXBOOL {1});
    EXPECT_EQ(GuardBool([] { return false; }), QXBOOL {0});
    EXPECT_TRUE(sim.Clean()) << sim.Report();
}

}  // namespace
}  // namespace qx
