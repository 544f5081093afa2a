// Engine files built and read back byte by byte as the format describes (native, Wine and fuzz tests).
#pragma once

#include <cstdint>
#include <string>

namespace qx::test {

// Scrambles (bScramble) or unscrambles a whole payload in place; gives the sum of its plain bytes.
inline char Transform(std::string& data, bool bScramble)
{
    unsigned nKey = 0, nOffset = 15, nSum = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        auto nShift = static_cast<unsigned char>("RODEDURUV"[nKey] + nOffset);  // the key's zero byte too
        nSum += bScramble ? static_cast<unsigned char>(data[i]) : 0;
        data[i] = static_cast<char>(bScramble ? data[i] + nShift : data[i] - nShift);
        nSum += bScramble ? 0 : static_cast<unsigned char>(data[i]);
        nKey = (nKey + 1) % 10;
        nOffset = (nOffset + nKey + static_cast<unsigned>(i)) & 0xFF;
    }
    return static_cast<char>(nSum);
}

inline std::string MakeEngine(std::string text, uint16_t nVersion, const std::string& strFiller)
{
    char nSum = Transform(text, true);
    return std::string {'B', static_cast<char>(nVersion & 0xFF), static_cast<char>(nVersion >> 8),
                        static_cast<char>(strFiller.size())} +
           strFiller + text + nSum;
}

struct CParsedEngine {
    uint16_t nVersion = 0;
    int nFiller = -1;  // -1: not a sound engine
    std::string strText = "<unsound>";
};

inline CParsedEngine ParseEngine(const std::string& file)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(file[i]); };
    if (file.size() < 5 || byte(0) != 66 || file.size() < 5u + byte(3))
        return {};
    std::string text = file.substr(4u + byte(3), file.size() - 5 - byte(3));
    return Transform(text, false) == file.back() ? CParsedEngine {uint16_t(byte(1) | byte(2) << 8), byte(3), text}
                                                 : CParsedEngine {};
}

}  // namespace qx::test
