// ANSI texts to wide and back in the system's code page (and the simulated pages' tables): refused, not replaced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/wide_text.h"
#include "sim_fixture.h"

namespace qx::test {
namespace {

TEST_F(SimTest, WideTextsCarryEachPagesTextsAndRefuseTheRest)
{
    const struct {
        UINT nCodePage;
        const char* pszAnsi;
        const wchar_t* pwszWide;
        size_t cchBuffer;
        bool bFits;
    } cases[] = {
        {1252, "Caf\xE9 \x96 Daten \x80", L"Caf\u00E9 \u2013 Daten \u20AC", 64, true},
        {1251, "\xCE\xE1\xF9\xE8\xE5 \xF4\xE0\xE9\xEB\xFB \xB9",
         L"\u041E\u0431\u0449\u0438\u0435 \u0444\u0430\u0439\u043B\u044B \u2116", 64, true},
        {932, "\x8B\xA4\x97\x4C\\\x83\x66\x81\x5B\x83\x5E \xB1", L"\u5171\u6709\\\u30C7\u30FC\u30BF \uFF71", 64, true},
        {1251, "\xC0\xDF\xE0\xFF", L"\u0410\u042F\u0430\u044F", 64, true},
        {1251, "\xA8\xB8\x80\x90\xB9", L"\u0401\u0451\u0402\u0452\u2116", 64, true},
        {932, "A\xB1\xDF\xA1", L"A\uFF71\uFF9F\uFF61", 64, true},  // half-width katakana
        {932, "\x83\x41\x83\x61\x83\x7E\x83\x80\x83\x96", L"\u30A2\u30C2\u30DF\u30E0\u30F6", 64, true},
        {1252, nullptr, L"\u041E\u0431\u0449\u0438\u0435", 64, false},  // Cyrillic: the default character
        {1252, nullptr, L"\uFF21", 64, false},  // full-width A: its best fit, untold
        {1251, nullptr, L"Caf\u00E9", 64, false},
        {932, "abc\x83", nullptr, 64, false},  // a lead byte without its second byte
        {932, "\x85\x40", nullptr, 64, false},  // an undefined pair
        {1252, "abcd", L"abcd", 5, true},  // the terminator just fits
        {1252, "abcd", L"abcd", 4, false},
        {932, "\x83\x41\x83\x61", nullptr, 3, true},  // two characters in four bytes
        {932, nullptr, L"\u30A2\u30C2", 5, true},
        {932, nullptr, L"\u30A2\u30C2", 4, false},
        {1252, nullptr, nullptr, 64, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nCodePage) + " buffer " + std::to_string(c.cchBuffer));
        sim.m_system.SetAnsiCodePage(c.nCodePage);
        std::vector<WCHAR> wsz(c.cchBuffer, 'x');  // exactly that size: the sanitizers see a write past it
        std::vector<char> sz(c.cchBuffer, 'x');
        if (c.pszAnsi != nullptr || c.pwszWide == nullptr) {
            EXPECT_EQ(ToWide(c.pszAnsi, wsz.data(), c.cchBuffer), c.bFits);
            EXPECT_EQ(wsz[0] == 0, !c.bFits);
            EXPECT_TRUE(!c.bFits || !c.pwszWide || std::wstring(wsz.data()) == c.pwszWide);
        }
        if (c.pwszWide != nullptr || c.pszAnsi == nullptr) {
            EXPECT_EQ(ToAnsi(c.pwszWide, sz.data(), c.cchBuffer), c.bFits);
            EXPECT_EQ(sz[0] == '\0', !c.bFits);
            EXPECT_EQ(c.bFits && c.pszAnsi ? std::string(sz.data()) : "", c.bFits && c.pszAnsi ? c.pszAnsi : "");
        }
    }
}

}  // namespace
}  // namespace qx::test
