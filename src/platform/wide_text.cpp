#include "platform/wide_text.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/platform.h"

namespace qx {

bool ToWide(const char* pszText, WCHAR* pwszOut, size_t cchOut)
{
    if (cchOut == 0)
        return false;
    pwszOut[0] = 0;
    if (pszText == nullptr || cchOut > INT_MAX)
        return false;
    int cch = Sys().MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pszText, -1, pwszOut, static_cast<int>(cchOut));
    if (cch <= 0) {
        pwszOut[0] = 0;  // a text too long may have been written in part
        return false;
    }
    pwszOut[cch - 1] = 0;
    return true;
}

bool ToAnsi(const WCHAR* pwszText, char* pszOut, size_t cbOut)
{
    if (cbOut == 0)
        return false;
    pszOut[0] = '\0';
    if (pwszText == nullptr || cbOut > INT_MAX)
        return false;
    int cb = Sys().WideCharToMultiByte(CP_ACP, 0, pwszText, -1, pszOut, static_cast<int>(cbOut), nullptr, nullptr);
    // Each character takes at least one byte, so the text read back fits cb wide characters. What the
    // code page lacks came out as a default or best-fit character and reads back as another text.
    std::vector<WCHAR> back(cb > 0 ? static_cast<size_t>(cb) : 1);
    if (cb <= 0 ||
        Sys().MultiByteToWideChar(CP_ACP, 0, pszOut, cb, back.data(), cb) !=
            static_cast<int>(std::wcslen(pwszText)) + 1 ||
        std::wcscmp(back.data(), pwszText) != 0) {
        pszOut[0] = '\0';
        return false;
    }
    pszOut[cb - 1] = '\0';
    return true;
}

}  // namespace qx
