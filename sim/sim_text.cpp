#include "sim/sim_text.h"

namespace qx::sim {

unsigned char AnsiUpper(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A:  // s caron
    case 0x9C:  // oe
    case 0x9E:  // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF:  // y diaeresis
        return 0x9F;
    case 0xF7:  // division sign
        return c;
    default:
        break;
    }
    if (c >= 0xE0)
        return static_cast<unsigned char>(c - 0x20);
    return c;
}

std::string AnsiUpper(std::string str)
{
    for (char& c : str)
        c = static_cast<char>(AnsiUpper(static_cast<unsigned char>(c)));
    return str;
}

size_t CrtMbsToWcs(WCHAR* pwszDest, const char* pszSrc, size_t nMax)
{
    size_t n = 0;
    if (pwszDest == nullptr) {
        while (pszSrc[n] != '\0')
            ++n;
        return n;
    }
    for (; n < nMax; ++n) {
        pwszDest[n] = static_cast<WCHAR>(static_cast<unsigned char>(pszSrc[n]));
        if (pszSrc[n] == '\0')
            return n;
    }
    return n;
}

size_t CrtWcsToMbs(char* pszDest, const WCHAR* pwszSrc, size_t nMax)
{
    size_t n = 0;
    if (pszDest == nullptr) {
        for (; pwszSrc[n] != 0; ++n) {
            if (static_cast<unsigned long>(pwszSrc[n]) > 0xFF)
                return static_cast<size_t>(-1);
        }
        return n;
    }
    for (; n < nMax; ++n) {
        if (static_cast<unsigned long>(pwszSrc[n]) > 0xFF)
            return static_cast<size_t>(-1);
        pszDest[n] = static_cast<char>(pwszSrc[n]);
        if (pwszSrc[n] == 0)
            return n;
    }
    return n;
}

std::wstring Widen(const std::string& str)
{
    std::wstring wstr;
    for (char c : str)
        wstr += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wstr;
}

std::string Narrow(const std::wstring& wstr)
{
    std::string str;
    for (wchar_t c : wstr)
        str += static_cast<char>(c);
    return str;
}

}  // namespace qx::sim
