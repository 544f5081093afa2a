// The one measure of a text against a buffer. Every text the library bounds (a host's argument, a
// name handed back by the system) is measured with these, reading no byte past the bound.
#pragma once

#include <cstddef>
#include <cstring>

namespace qx {

// The length of the text at pchText up to its terminator, reading at most cbMax bytes: cbMax when
// none of them is the terminator.
inline size_t BoundedLength(const char* pchText, size_t cbMax)
{
    const void* pNul = std::memchr(pchText, '\0', cbMax);
    return pNul != nullptr ? static_cast<size_t>(static_cast<const char*>(pNul) - pchText) : cbMax;
}

// Whether pszText with its terminator fits a buffer of cbBuffer bytes (at most cbBuffer - 1
// characters). A null text is no text, and fits.
inline bool TextFits(const char* pszText, size_t cbBuffer)
{
    return pszText == nullptr || BoundedLength(pszText, cbBuffer) < cbBuffer;
}

}  // namespace qx
