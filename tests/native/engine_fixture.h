// What the settings-engine tests share: an engine file built and read back the straightforward way
// (byte by byte, with the key index and running offset stepped as the format describes), the
// progress windows' templates as the simulated Windows must know them, and a fixture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim_fixture.h"

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

// The two progress templates, as the DLL's resources define them.
struct CControlRequirement {
    int nId;
    const char* pszClass;
    const char* pszText;
};

inline const CControlRequirement kInstallProgressControls[] = {
    {1009, "Static", "Please Wait..."},
    {1004, "msctls_progress32", "Progress1"},
};
inline const CControlRequirement kUpdateProgressControls[] = {
    {0xFFFF, "Static", "Updating Settings, Please Wait...."},
    {1004, "msctls_progress32", "Progress1"},
};

template <size_t N>
sim::CSimDialogTemplate MakeTemplate(const char* pszCaption, const CControlRequirement (&controls)[N])
{
    sim::CSimDialogTemplate dialogTemplate;
    dialogTemplate.strCaption = pszCaption;
    for (const CControlRequirement& control : controls)
        dialogTemplate.controls.push_back({control.nId, control.pszClass, control.pszText, 0});
    return dialogTemplate;
}

class EngineTest : public SimTest {
protected:
    static constexpr int kInstallTemplate = 108;
    static constexpr int kUpdateTemplate = 129;

    void RegisterProgressTemplates()
    {
        sim.m_ui.RegisterTemplate(kInstallTemplate, MakeTemplate("Installing Services", kInstallProgressControls));
        sim.m_ui.RegisterTemplate(kUpdateTemplate, MakeTemplate("", kUpdateProgressControls));
    }

    // The message boxes shown since the last call, as "text|caption|flags", and forgets them.
    std::vector<std::string> TakeBoxes()
    {
        std::vector<std::string> boxes;
        for (const sim::CSimMessageBox& box : sim.m_ui.m_boxes) {
            EXPECT_EQ(box.hOwner, nullptr) << box.strText;
            boxes.push_back(box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType));
        }
        sim.m_ui.m_boxes.clear();
        return boxes;
    }

    std::string File(const std::string& strPath) const { return sim.m_files.GetFile(strPath).value_or("<none>"); }

    // Every byte value, starting at nFirst.
    static std::string AllBytes(int nFirst = 0)
    {
        std::string text;
        for (int i = 0; i < 256; ++i)
            text += static_cast<char>((nFirst + i) & 0xFF);
        return text;
    }
};

}  // namespace qx::test
