// Text rules of the simulated Windows: the ANSI code page 1252 and the C runtime's "C" locale.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace qx::sim {

// Upper case of one byte in code page 1252, as CharUpperBuffA gives it.
unsigned char AnsiUpper(unsigned char c);
std::string AnsiUpper(std::string str);

// The Windows C runtime's conversions in the "C" locale: each byte is the wide character of the
// same value; a wide character above 0xFF has no byte (wcstombs gives -1).
size_t CrtMbsToWcs(WCHAR* pwszDest, const char* pszSrc, size_t nMax);
size_t CrtWcsToMbs(char* pszDest, const WCHAR* pwszSrc, size_t nMax);

std::wstring Widen(const std::string& str);
std::string Narrow(const std::wstring& wstr);

}  // namespace qx::sim
