// Text rules of the simulated Windows: the ANSI code pages it models (1252 Western, 1251 Cyrillic,
// 932 Japanese Shift-JIS), the upper case of wide characters, and the conversions between them.
//
// A test selects the system's ANSI code page (CP_ACP) with CSimSystem::SetAnsiCodePage. Code pages
// 1252 and 1251 are modelled whole. Of code page 932 the single-byte half, the lead and trail byte
// ranges and these rows of its double-byte half are modelled: the ideographic space and the first
// punctuation marks, the brackets used here, full-width digits and Latin letters, hiragana,
// katakana, Greek, Cyrillic, and a handful of kanji (see sim_text.cpp); the other double-byte pairs
// convert as pairs the code page leaves undefined. Windows' best-fit mappings are modelled only for
// the full-width forms of ASCII on the single-byte pages.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace qx::sim {

constexpr UINT kCodePageWestern = 1252;
constexpr UINT kCodePageCyrillic = 1251;
constexpr UINT kCodePageJapanese = 932;

bool IsModelledCodePage(UINT nCodePage);
bool IsLeadByte(UINT nCodePage, unsigned char c);
// A byte that may follow a lead byte.
bool IsTrailByte(UINT nCodePage, unsigned char c);

// The character that begins at p (cb bytes left) in the code page: its length in bytes (1 or 2) with
// the wide character in *pwc, or 0 when p holds a lead byte without a valid second byte, or a pair
// the code page leaves undefined.
size_t DecodeChar(UINT nCodePage, const unsigned char* p, size_t cb, wchar_t* pwc);
// The bytes of a wide character in the code page; empty when the code page has no such character.
std::string EncodeChar(UINT nCodePage, wchar_t wc);
// The character a best-fit conversion gives for wc (0: none).
char BestFitChar(UINT nCodePage, wchar_t wc);

// The upper case of a wide character, for the scripts that the modelled code pages hold (Latin,
// Greek, Cyrillic, full-width Latin); other characters are their own upper case.
wchar_t WideUpper(wchar_t wc);

// Upper case of one byte in code page 1252, as CharUpperBuffA gives it there; the simulated areas'
// own case-blind names (files, registry, services, accounts) fold with it.
unsigned char AnsiUpper(unsigned char c);
std::string AnsiUpper(std::string str);

// A text of the code page as wide characters (an undefined byte or pair gives U+30FB for 932, U+003F
// otherwise), and back (a character the code page lacks gives '?'): the simulated areas' own names.
std::wstring Widen(const std::string& str, UINT nCodePage = kCodePageWestern);
std::string Narrow(const std::wstring& wstr, UINT nCodePage = kCodePageWestern);

}  // namespace qx::sim
