// Bounded conversions between the caller's ANSI texts, in the system's ANSI code page (CP_ACP), and
// the wide texts of the Windows interfaces that take them. A text that does not fit its buffer
// whole, terminator included, or that the code page cannot carry across, is refused: the output then
// holds an empty text. Nothing is ever turned into a default character ("?") or a best-fit one.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace qx {

// pszText into pwszOut (cchOut wide characters). False for a null text, one that is not valid in the
// code page (a lead byte without its second byte, a pair the code page leaves undefined) or too long.
bool ToWide(const char* pszText, WCHAR* pwszOut, size_t cchOut);
// pwszText into pszOut (cbOut bytes). False for a null text, one with a character the code page
// cannot represent exactly (the text would not convert back to itself) or too long.
bool ToAnsi(const WCHAR* pwszText, char* pszOut, size_t cbOut);

}  // namespace qx
