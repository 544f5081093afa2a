#include "sim/sim_text.h"

#include <map>

namespace qx::sim {

namespace {

// Code page 1252, bytes 0x80..0x9F (the rest is Latin-1). The five bytes the code page leaves
// unassigned map to the C1 control of the same value, as Windows' table has them.
const wchar_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Code page 1251, bytes 0x80..0xBF (0xC0..0xFF are U+0410..U+044F in order); 0x98 is unassigned.
const wchar_t k1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

// A run of double-byte codes of 932 whose characters follow one another, skipping the listed ones.
struct CRun {
    unsigned nFirst;  // lead byte * 256 + trail byte
    unsigned nLast;
    wchar_t wcFirst;
    wchar_t wcSkipped;  // a character the run passes over (0: none)
};
const CRun k932Runs[] = {
    {0x8140, 0x8142, 0x3000, 0},  // ideographic space, comma, full stop
    {0x824F, 0x8258, 0xFF10, 0},  // full-width digits
    {0x8260, 0x8279, 0xFF21, 0},  // full-width capital letters
    {0x8281, 0x829A, 0xFF41, 0},  // full-width small letters
    {0x829F, 0x82F1, 0x3041, 0},  // hiragana
    {0x8340, 0x837E, 0x30A1, 0},  // katakana, first part
    {0x8380, 0x8396, 0x30E0, 0},  // katakana, second part
    {0x839F, 0x83B6, 0x0391, 0x03A2},  // Greek capitals
    {0x83BF, 0x83D6, 0x03B1, 0x03C2},  // Greek small letters
    {0x8440, 0x8445, 0x0410, 0},  // Cyrillic capitals, then IO, then the rest
    {0x8446, 0x8446, 0x0401, 0},      {0x8447, 0x8460, 0x0416, 0},
    {0x8470, 0x8475, 0x0430, 0},  // Cyrillic small letters, the same way
    {0x8476, 0x8476, 0x0451, 0},      {0x8477, 0x847E, 0x0436, 0},
    {0x8480, 0x8491, 0x043E, 0},
};
// Single characters of 932's double-byte half.
const std::pair<unsigned, wchar_t> k932Singles[] = {
    {0x8145, 0x30FB},  // katakana middle dot
    {0x815B, 0x30FC},  // prolonged sound mark
    {0x8169, 0xFF08},  // full-width parentheses
    {0x816A, 0xFF09}, {0x8175, 0x300C},  // corner brackets
    {0x8176, 0x300D}, {0x8181, 0xFF1D},  // full-width equals sign
    {0x8AC7, 0x7BA1},  // kanji: manage
    {0x8BA4, 0x5171},  // together
    {0x914F, 0x524D},  // before
    {0x93FA, 0x65E5},  // day
    {0x967B, 0x672C},  // book
    {0x96BC, 0x540D},  // name
    {0x974C, 0x6709},  // have
    {0x979D, 0x7406},  // reason
    {0x8ED2, 0x8005},  // person
};

// The character of a 932 double-byte code; 0 when it is not modelled.
wchar_t Decode932Pair(unsigned nCode)
{
    for (const CRun& run : k932Runs) {
        if (nCode < run.nFirst || nCode > run.nLast)
            continue;
        wchar_t wc = static_cast<wchar_t>(run.wcFirst + (nCode - run.nFirst));
        if (run.wcSkipped != 0 && wc >= run.wcSkipped)
            ++wc;
        return wc;
    }
    for (const auto& single : k932Singles) {
        if (single.first == nCode)
            return single.second;
    }
    return 0;
}

wchar_t Decode932Single(unsigned char c)
{
    if (c < 0x80)
        return c;
    if (c >= 0xA1 && c <= 0xDF)
        return static_cast<wchar_t>(0xFF61 + (c - 0xA1));  // half-width katakana
    if (c == 0x80)
        return 0x0080;
    if (c == 0xA0)
        return 0xF8F0;
    return static_cast<wchar_t>(0xF8F1 + (c - 0xFD));  // 0xFD..0xFF
}

// Every character of a code page with its bytes, built once from the decoding above.
const std::map<wchar_t, std::string>& EncodingOf(UINT nCodePage)
{
    static std::map<UINT, std::map<wchar_t, std::string>> s_tables;
    auto it = s_tables.find(nCodePage);
    if (it != s_tables.end())
        return it->second;
    std::map<wchar_t, std::string>& table = s_tables[nCodePage];
    for (unsigned c = 0; c < 256; ++c) {
        unsigned char ab[2] = {static_cast<unsigned char>(c), 0};
        wchar_t wc = 0;
        if (!IsLeadByte(nCodePage, ab[0])) {
            DecodeChar(nCodePage, ab, 1, &wc);
            table.emplace(wc, std::string(1, static_cast<char>(c)));
            continue;
        }
        for (unsigned t = 0x40; t < 0x100; ++t) {
            ab[1] = static_cast<unsigned char>(t);
            if (DecodeChar(nCodePage, ab, 2, &wc) == 2)
                table.emplace(wc, std::string(reinterpret_cast<const char*>(ab), 2));
        }
    }
    return table;
}

}  // namespace

bool IsModelledCodePage(UINT nCodePage)
{
    return nCodePage == kCodePageWestern || nCodePage == kCodePageCyrillic || nCodePage == kCodePageJapanese;
}

bool IsLeadByte(UINT nCodePage, unsigned char c)
{
    return nCodePage == kCodePageJapanese && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

bool IsTrailByte(UINT nCodePage, unsigned char c)
{
    return nCodePage == kCodePageJapanese && c >= 0x40 && c <= 0xFC && c != 0x7F;
}

size_t DecodeChar(UINT nCodePage, const unsigned char* p, size_t cb, wchar_t* pwc)
{
    unsigned char c = p[0];
    switch (nCodePage) {
    case kCodePageWestern:
        *pwc = c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : c;
        return 1;
    case kCodePageCyrillic:
        *pwc = c < 0x80 ? c : c < 0xC0 ? k1251High[c - 0x80] : static_cast<wchar_t>(0x0410 + (c - 0xC0));
        return 1;
    case kCodePageJapanese:
        if (!IsLeadByte(nCodePage, c)) {
            *pwc = Decode932Single(c);
            return 1;
        }
        if (cb < 2 || !IsTrailByte(nCodePage, p[1]))
            return 0;
        *pwc = Decode932Pair(c * 256u + p[1]);
        return *pwc != 0 ? 2 : 0;
    default:
        return 0;
    }
}

std::string EncodeChar(UINT nCodePage, wchar_t wc)
{
    const std::map<wchar_t, std::string>& table = EncodingOf(nCodePage);
    auto it = table.find(wc);
    return it != table.end() ? it->second : std::string();
}

// Knowingly short of Windows: its best-fit tables also give most letters with marks that a code page
// lacks as their base letter (U+0100 as 'A' in 1252); here those become the default character.
char BestFitChar(UINT nCodePage, wchar_t wc)
{
    if (nCodePage != kCodePageJapanese && wc >= 0xFF01 && wc <= 0xFF5E)
        return static_cast<char>(wc - 0xFF01 + 0x21);  // full-width ASCII
    return 0;
}

wchar_t WideUpper(wchar_t wc)
{
    auto between = [wc](unsigned nFirst, unsigned nLast) {
        return static_cast<unsigned>(wc) >= nFirst && static_cast<unsigned>(wc) <= nLast;
    };
    if (between('a', 'z') || between(0xE0, 0xFE) || between(0x3B1, 0x3CB) || between(0x430, 0x44F) ||
        between(0xFF41, 0xFF5A)) {
        if (wc == 0xF7)
            return wc;  // division sign
        if (wc == 0x3C2)
            return 0x3A3;  // final sigma
        return static_cast<wchar_t>(wc - 0x20);
    }
    if (wc == 0xFF)
        return 0x178;
    if (between(0x450, 0x45F))
        return static_cast<wchar_t>(wc - 0x50);
    // Latin Extended-A: pairs, the small letter after its capital (odd in two runs, even in two).
    if (between(0x100, 0x137) || between(0x14A, 0x177) || wc == 0x491)
        return (wc & 1) ? static_cast<wchar_t>(wc - 1) : wc;
    if (between(0x139, 0x148) || between(0x179, 0x17E))
        return (wc & 1) ? wc : static_cast<wchar_t>(wc - 1);
    return wc;
}

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

std::wstring Widen(const std::string& str, UINT nCodePage)
{
    std::wstring wstr;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(str.data());
    for (size_t i = 0; i < str.size();) {
        wchar_t wc = 0;
        size_t cb = DecodeChar(nCodePage, p + i, str.size() - i, &wc);
        wstr += cb != 0 ? wc : static_cast<wchar_t>(nCodePage == kCodePageJapanese ? 0x30FB : '?');
        i += cb != 0 ? cb : 1;
    }
    return wstr;
}

std::string Narrow(const std::wstring& wstr, UINT nCodePage)
{
    std::string str;
    for (wchar_t wc : wstr) {
        std::string bytes = EncodeChar(nCodePage, wc);
        str += bytes.empty() ? std::string("?") : bytes;
    }
    return str;
}

}  // namespace qx::sim
