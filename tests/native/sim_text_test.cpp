// The simulated code pages against Windows' own tables: characters and their bytes in 1252, 1251 and
// 932, the conversion calls' results and error codes, and upper-casing that takes a double-byte
// character whole.
#include <gtest/gtest.h>

#include <functional>
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

TEST_F(SimCodePages, EachPageMapsItsBytesAsWindowsTablesDoAndBack)
{
    struct Case {
        UINT nCodePage;
        std::string bytes;
        std::string strCodePoints;
    } cases[] = {
        {1252, "a\x80\x96\x9F\xE9\xFF", "0061 20AC 2013 0178 00E9 00FF"},
        {1252, "\x81\x8D\x90", "0081 008D 0090"},  // unassigned: the C1 control of the same value
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nCodePage) + " " + c.strCodePoints);
        EXPECT_EQ(ToCodePoints(c.nCodePage, c.bytes), c.strCodePoints);
        if (c.strCodePoints.rfind("error", 0) == 0)
            continue;
        std::wstring wstr = sim::Widen(c.bytes, c.nCodePage);
        char sz[32];
        BOOL bUsedDefault = TRUE;
        int cb = Sys().WideCharToMultiByte(c.nCodePage, 0, wstr.c_str(), -1, sz, sizeof sz, nullptr, &bUsedDefault);
        EXPECT_EQ(std::string(sz, cb > 0 ? static_cast<size_t>(cb) : 0u), c.bytes + '\0');
        EXPECT_FALSE(bUsedDefault);
    }
    // Without MB_ERR_INVALID_CHARS an undefined pair, or a lead byte alone, is the default character.
    EXPECT_EQ(ToCodePoints(932, "\x85\x40\x83", 0), "30FB 30FB");
    EXPECT_EQ(ToCodePoints(932, "\x83\x20", 0), "30FB 0020");
}

TEST_F(SimCodePages, ConversionsReportSizesAndFailuresWithTheirCodes)
{
    sim.m_system.SetAnsiCodePage(1251);
    WCHAR wsz[4] = {0x2A, 0x2A, 0x2A, 0x2A};
    EXPECT_EQ(Sys().MultiByteToWideChar(CP_ACP, 0, "\xC0\xE1", -1, nullptr, 0), 3) << "size asked, terminator in";
    EXPECT_EQ(Sys().MultiByteToWideChar(CP_ACP, 0, "\xC0\xE1\xE2", -1, wsz, 3), 0);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wsz[0], static_cast<WCHAR>(0x410)) << "filled as far as it goes";
    char sz[4];
    BOOL bUsedDefault = FALSE;
    const WCHAR wszAlpha[] = {0x3B1, 0};
    const WCHAR wszWide[] = {0xFF21, 0x416, 0};  // full-width A, then ZHE
    struct Fault {
        std::function<int()> call;
        DWORD dwError;
    } faults[] = {
        {[&] { return Sys().MultiByteToWideChar(CP_ACP, 0x100, "a", -1, wsz, 4); }, ERROR_INVALID_FLAGS},
        {[&] { return Sys().MultiByteToWideChar(CP_ACP, 0, "a", 0, wsz, 4); }, ERROR_INVALID_PARAMETER},
        {[&] { return Sys().MultiByteToWideChar(437, 0, "a", -1, wsz, 4); }, ERROR_INVALID_PARAMETER},
        {[&] { return Sys().WideCharToMultiByte(CP_ACP, 0x1, wszAlpha, -1, sz, 4, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {[&] { return Sys().WideCharToMultiByte(CP_ACP, 0, wszWide, -1, sz, 2, nullptr, nullptr); },
         ERROR_INSUFFICIENT_BUFFER},
    };
    for (const Fault& fault : faults) {
        Sys().SetLastError(0);
        EXPECT_EQ(fault.call(), 0);
        EXPECT_EQ(Sys().GetLastError(), fault.dwError);
    }
    // What 1251 lacks: the default character, told; a full-width form of ASCII: its best fit, not told.
    EXPECT_EQ(Sys().WideCharToMultiByte(CP_ACP, 0, wszAlpha, -1, sz, 4, nullptr, &bUsedDefault), 2);
    EXPECT_TRUE(bUsedDefault);
    EXPECT_STREQ(sz, "?");
    EXPECT_EQ(Sys().WideCharToMultiByte(CP_ACP, 0, wszWide, -1, sz, 4, nullptr, &bUsedDefault), 3);
    EXPECT_FALSE(bUsedDefault);
    EXPECT_STREQ(sz, "A\xC6");
    EXPECT_EQ(Sys().WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wszWide, -1, sz, 4, "#", &bUsedDefault), 3);
    EXPECT_TRUE(bUsedDefault);
    EXPECT_STREQ(sz, "#\xC6");

    CPINFO info {};
    ASSERT_TRUE(Sys().GetCPInfo(CP_ACP, &info));
    EXPECT_EQ(info.MaxCharSize * 1000 + info.LeadByte[0], 1000u);
    ASSERT_TRUE(Sys().GetCPInfo(932, &info));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.LeadByte), 5), std::string("\x81\x9F\xE0\xFC\0", 5));
    EXPECT_EQ(info.MaxCharSize, 2u);
}

TEST_F(SimCodePages, UpperCaseTakesADoubleByteCharacterWhole)
{
    struct Case {
        UINT nCodePage;
        std::string text, upper;
    } cases[] = {
        {932, "a\x83\x61z\x82\x81\x84\x70\xB1",
         "A\x83\x61Z\x82\x60\x84\x40\xB1"},  // ZI stays; full-width a and Cyrillic a fold whole
        {932, "\x83\x61\x83", "\x83\x61\x83"},  // a lead byte cut off at the end stays
        {1251, "\xE0\xFF\xB8\xBF\x9A\xB5z", "\xC0\xDF\xA8\xAF\x8A\xB5Z"},
    };
    for (const Case& c : cases) {
        sim.m_system.SetAnsiCodePage(c.nCodePage);
        std::string text = c.text;
        EXPECT_EQ(Sys().CharUpperBuffA(&text[0], static_cast<DWORD>(text.size())), text.size());
        EXPECT_EQ(text, c.upper) << c.nCodePage;
    }
    sim.m_system.SetAnsiCodePage(1252);
    for (int c = 1; c < 256; ++c) {
        char ch = static_cast<char>(c);
        Sys().CharUpperBuffA(&ch, 1);
        EXPECT_EQ(static_cast<unsigned char>(ch), sim::AnsiUpper(static_cast<unsigned char>(c))) << c;
    }
    EXPECT_THROW(sim.m_system.SetAnsiCodePage(437), std::invalid_argument);
}

}  // namespace
}  // namespace qx::test
