#include "shares/wide_text.h"

#include "platform/platform.h"

namespace qx {

bool ToWide(const char* pszText, WCHAR* pwszOut, size_t cchOut)
{
    if (cchOut == 0)
        return false;
    pwszOut[0] = 0;
    if (pszText == nullptr)
        return false;
    size_t cchNeeded = Sys().mbstowcs(nullptr, pszText, 0);
    if (cchNeeded == static_cast<size_t>(-1) || cchNeeded >= cchOut)
        return false;
    size_t cch = Sys().mbstowcs(pwszOut, pszText, cchOut);
    if (cch == static_cast<size_t>(-1) || cch >= cchOut) {
        pwszOut[0] = 0;
        return false;
    }
    pwszOut[cch] = 0;
    return true;
}

bool ToAnsi(const WCHAR* pwszText, char* pszOut, size_t cbOut)
{
    if (cbOut == 0)
        return false;
    pszOut[0] = '\0';
    if (pwszText == nullptr)
        return false;
    size_t cb = Sys().wcstombs(pszOut, pwszText, cbOut);
    if (cb == static_cast<size_t>(-1) || cb >= cbOut) {
        pszOut[0] = '\0';
        return false;
    }
    pszOut[cb] = '\0';
    return true;
}

}  // namespace qx
