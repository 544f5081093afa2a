// Bounded conversions between the caller's ANSI texts and the wide texts of the network interfaces,
// with the C runtime's mbstowcs / wcstombs. A text that does not fit its buffer whole, terminator
// included, or that cannot be converted, is refused: the output then holds an empty text.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace qx {

// pszText into pwszOut (cchOut wide characters). False for a null, unconvertible or too long text.
bool ToWide(const char* pszText, WCHAR* pwszOut, size_t cchOut);
// pwszText into pszOut (cbOut bytes). False for a null, unconvertible or too long text.
bool ToAnsi(const WCHAR* pwszText, char* pszOut, size_t cbOut);

}  // namespace qx
