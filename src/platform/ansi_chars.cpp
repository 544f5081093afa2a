#include "platform/ansi_chars.h"

#include <cstring>

#include "platform/platform.h"

namespace qx {

namespace {
// The character after the one at p, as CharNextA: a lead byte takes the byte after it unless that
// byte ends the text.
const char* NextChar(const char* p)
{
    if (Sys().IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != '\0')
        return p + 2;
    return p + 1;
}
}  // namespace

const char* FindSeparator(const char* psz, const char* pszSeparators)
{
    while (*psz != '\0' && std::strchr(pszSeparators, *psz) == nullptr)
        psz = NextChar(psz);
    return psz;
}

const char* FindLastSeparator(const char* psz, const char* pszSeparators)
{
    const char* pLast = nullptr;
    for (const char* p = FindSeparator(psz, pszSeparators); *p != '\0'; p = FindSeparator(p + 1, pszSeparators))
        pLast = p;
    return pLast;
}

}  // namespace qx
