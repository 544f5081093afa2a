// Separators in texts of the system's ANSI code page, found by character. In a double-byte code page
// (932, 936, 949, 950) a lead byte and the byte after it are one character, and that second byte may
// be 0x5C: 表 is 95 5C in code page 932. Such a byte is part of its character, never a backslash, so
// paths and UNC names are split and joined only where a separator is a character of its own.
#pragma once

namespace qx {

// The first character of psz that is one of pszSeparators, or psz's terminating NUL when none is.
const char* FindSeparator(const char* psz, const char* pszSeparators);
// The last character of psz that is one of pszSeparators, or null when none is.
const char* FindLastSeparator(const char* psz, const char* pszSeparators);

}  // namespace qx
