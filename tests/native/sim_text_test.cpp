// The simulated code pages 1251 and 932 against Windows' own tables, where wine.Differential (1252)
// does not reach: what they leave undefined or lack, and upper-casing.
#include <gtest/gtest.h>

#include <string>

#include "sim_fixture.h"

namespace qx::test {
namespace {

using SimCodePages = SimTest;

// Without MB_ERR_INVALID_CHARS a pair 932 leaves undefined, or a lead byte without a second byte it
// takes, becomes the default character; with it, they are refused (wide_text_test.cpp holds each
// page's characters both ways); an unknown page is refused; GetCPInfo tells 932's lead bytes.
TEST_F(SimCodePages, WhatAPageLeavesUndefinedIsRefusedOrTheDefault)
{
    const struct {
        UINT nCodePage;
        std::string bytes;
        DWORD dwFlags;
        std::wstring wide;
        DWORD dwError = 0;
    } cases[] = {
        {932, "\x85\x40\x83", 0, L"\u30FB\u30FB"},
        {932, "\x83\x20", 0, L"\u30FB "},
        {932, "\x83\x20", MB_ERR_INVALID_CHARS, L"", ERROR_NO_UNICODE_TRANSLATION},
        {932, "\x83", MB_ERR_INVALID_CHARS, L"", ERROR_NO_UNICODE_TRANSLATION},
        {437, "a", 0, L"", ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        WCHAR wsz[16];
        int cch = Sys().MultiByteToWideChar(c.nCodePage, c.dwFlags, c.bytes.data(), int(c.bytes.size()), wsz, 16);
        EXPECT_TRUE(std::wstring(wsz, cch > 0 ? cch : 0) == c.wide) << c.nCodePage << " " << c.bytes;
        EXPECT_EQ(cch != 0 ? 0 : Sys().GetLastError(), c.dwError);
    }
    CPINFO info {};
    ASSERT_TRUE(Sys().GetCPInfo(932, &info));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.LeadByte), 5), std::string("\x81\x9F\xE0\xFC\0", 5));
    EXPECT_EQ(info.MaxCharSize, 2u);
}

// What 1251 lacks: the default character, told; full-width ASCII: its best fit, untold, unless refused;
// a double-byte character does not fit one byte.
TEST_F(SimCodePages, WhatAPageLacksIsTheDefaultOrItsBestFit)
{
    const struct {
        UINT nCodePage;
        std::wstring wide;
        DWORD dwFlags;
        int cbBuffer;
        std::string strOutcome;
    } cases[] = {
        {1251, L"\u03B1", 0, 4, "2 ? 1"},
        {1251, L"\uFF21\u0416", 0, 4, "3 A\xC6 0"},
        {1251, L"\uFF21\u0416", WC_NO_BEST_FIT_CHARS, 4, "3 #\xC6 1"},
        {932, L"a\u30A2", 0, 3, "0 122"},
    };
    for (const auto& c : cases) {
        char sz[8] = {};
        BOOL bUsedDefault = 7;
        int cb = Sys().WideCharToMultiByte(c.nCodePage, c.dwFlags, c.wide.c_str(), -1, sz, c.cbBuffer,
                                           c.dwFlags ? "#" : nullptr, &bUsedDefault);
        EXPECT_EQ(std::to_string(cb) + " " + (cb ? sz + (" " + std::to_string(bUsedDefault)) : std::to_string(Sys().GetLastError())),
                  c.strOutcome);
    }
}

TEST_F(SimCodePages, UpperCaseTakesADoubleByteCharacterWhole)
{
    const struct {
        UINT nCodePage;
        std::string text, upper;
    } cases[] = {
        {932, "a\x83\x61z\x82\x81\x84\x70\xB1", "A\x83\x61Z\x82\x60\x84\x40\xB1"},  // ZI stays; full-width and Cyrillic a fold
        {932, "\x83\x61\x83", "\x83\x61\x83"},  // a lead byte cut off at the end stays
        {1251, "\xE0\xFF\xB8\xBF\x9A\xB5z", "\xC0\xDF\xA8\xAF\x8A\xB5Z"},
    };
    for (const auto& c : cases) {
        sim.m_system.SetAnsiCodePage(c.nCodePage);
        std::string text = c.text;
        EXPECT_EQ(Sys().CharUpperBuffA(&text[0], static_cast<DWORD>(text.size())), text.size());
        EXPECT_EQ(text, c.upper) << c.nCodePage;
    }
}

}  // namespace
}  // namespace qx::test
