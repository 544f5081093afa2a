// An engine file built and read back the straightforward way: byte by byte, with the key index and
// the running offset stepped as the format describes. Shared by the native and the Wine tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qx::test {

constexpr char kTestKey[10] = {'R', 'O', 'D', 'E', 'D', 'U', 'R', 'U', 'V', '\0'};

// Steps the key index and running offset of one file, byte by byte.
struct CReferenceScrambler {
    unsigned nKey = 0;
    unsigned nOffset = 15;
    unsigned nIndex = 0;
    unsigned char nSum = 0;
    unsigned char Shift() const { return static_cast<unsigned char>(kTestKey[nKey] + nOffset); }
    void Step(unsigned char plain)
    {
        nSum = static_cast<unsigned char>(nSum + plain);
        nKey = nKey + 1 == 10 ? 0 : nKey + 1;
        nOffset = (nOffset + nKey + nIndex) & 0xFF;
        ++nIndex;
    }
};

inline std::string MakeEngine(const std::string& strText, uint16_t nVersion, const std::string& strFiller)
{
    std::string file;
    file += static_cast<char>(66);
    file += static_cast<char>(nVersion & 0xFF);
    file += static_cast<char>(nVersion >> 8);
    file += static_cast<char>(strFiller.size());
    file += strFiller;
    CReferenceScrambler scrambler;
    for (char c : strText) {
        auto plain = static_cast<unsigned char>(c);
        file += static_cast<char>(static_cast<unsigned char>(plain + scrambler.Shift()));
        scrambler.Step(plain);
    }
    file += static_cast<char>(scrambler.nSum);
    return file;
}

struct CParsedEngine {
    uint16_t nVersion = 0;
    int nFiller = 0;
    std::string strText;
};

// The engine's parts when the file is sound; nothing otherwise.
inline std::optional<CParsedEngine> ParseEngine(const std::string& file)
{
    if (file.size() < 5 || static_cast<unsigned char>(file[0]) != 66)
        return std::nullopt;
    CParsedEngine engine;
    engine.nVersion = static_cast<uint16_t>(static_cast<unsigned char>(file[1]) |
                                            (static_cast<unsigned char>(file[2]) << 8));
    engine.nFiller = static_cast<unsigned char>(file[3]);
    if (file.size() < static_cast<size_t>(5 + engine.nFiller))
        return std::nullopt;
    size_t nPayload = file.size() - 5 - static_cast<size_t>(engine.nFiller);
    CReferenceScrambler scrambler;
    for (size_t i = 0; i < nPayload; ++i) {
        auto plain = static_cast<unsigned char>(static_cast<unsigned char>(file[4 + engine.nFiller + i]) -
                                                scrambler.Shift());
        engine.strText += static_cast<char>(plain);
        scrambler.Step(plain);
    }
    if (static_cast<unsigned char>(file.back()) != scrambler.nSum)
        return std::nullopt;
    return engine;
}

}  // namespace qx::test
