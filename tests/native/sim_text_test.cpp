// The simulated code pages 1251 and 932 against Windows' own tables, where wine.Differential (1252)
// does not reach.
#include <gtest/gtest.h>

#include <string>

#include "sim/sim_text.h"
#include "sim_fixture.h"

namespace qx::test {
namespace {

using SimCodePages = SimTest;

// MultiByteToWideChar of a whole text without its terminator, as "U+xxxx ..." or "error <code>".
std::string ToCodePoints(UINT nCodePage, const std::string& bytes, DWORD dwFlags = MB_ERR_INVALID_CHARS)
{
    WCHAR wsz[16];
    int cch = Sys().MultiByteToWideChar(nCodePage, dwFlags, bytes.data(), static_cast<int>(bytes.size()), wsz, 16);
    if (cch == 0)
        return "error " + std::to_string(Sys().GetLastError());
    std::string strOut;
    for (int i = 0; i < cch; ++i) {
        char sz[8];
        std::snprintf(sz, sizeof sz, "%04X", static_cast<unsigned>(wsz[i]));
        strOut += (i ? " " : "") + std::string(sz);
    }
    return strOut;
}

// Bytes to characters and back; a lead byte without a second byte it takes, or an undefined pair, is
// refused, or without MB_ERR_INVALID_CHARS the default character.
TEST_F(SimCodePages, EachPageMapsItsBytesAsWindowsTablesDoAndBack)
{
    const struct {
        UINT nCodePage;
        std::string bytes;
        std::string strCodePoints;
        bool bReplace = false;  // without MB_ERR_INVALID_CHARS
    } cases[] = {
        {1251, "\xC0\xDF\xE0\xFF\xA8\xB8\x80\x90\xB9", "0410 042F 0430 044F 0401 0451 0402 0452 2116"},
        {1251, "\x96\x88\x98", "2013 20AC 0098"},
        {932, "A\xB1\xDF\xA1", "0041 FF71 FF9F FF61"},  // half-width katakana
        {932, "\x83\x41\x83\x61\x83\x7E\x83\x80\x83\x96", "30A2 30C2 30DF 30E0 30F6"},  // katakana
        {932, "\x82\xA0\x82\xF1\x82\x60\x82\x81\x82\x4F", "3042 3093 FF21 FF41 FF10"},
        {932, "\x83\xB0\x83\xD0\x84\x46\x84\x60\x84\x76\x84\x80", "03A3 03C3 0401 042F 0451 043E"},
        {932, "\x8B\xA4\x97\x4C\x81\x40\x81\x45", "5171 6709 3000 30FB"},
        {932, "\x83", "error 1113"},  // a lead byte without its second byte
        {932, "\x83\x20", "error 1113"},  // ... or with one that cannot follow it
        {932, "\x85\x40", "error 1113"},  // a pair the code page leaves undefined
        {932, "\x85\x40\x83", "30FB 30FB", true},
        {932, "\x83\x20", "30FB 0020", true},
        {437, "a", "error 87"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nCodePage) + " " + c.strCodePoints);
        EXPECT_EQ(ToCodePoints(c.nCodePage, c.bytes, c.bReplace ? 0 : MB_ERR_INVALID_CHARS), c.strCodePoints);
        if (c.strCodePoints.rfind("error", 0) == 0 || c.bReplace)
            continue;
        std::wstring wstr = sim::Widen(c.bytes, c.nCodePage);
        char sz[32];
        BOOL bUsedDefault = TRUE;
        int cb = Sys().WideCharToMultiByte(c.nCodePage, 0, wstr.c_str(), -1, sz, sizeof sz, nullptr, &bUsedDefault);
        EXPECT_EQ(std::string(sz, cb > 0 ? static_cast<size_t>(cb) : 0u), c.bytes + '\0');
        EXPECT_FALSE(bUsedDefault);
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
