// What the settings-engine tests share: the reference engine files, the progress windows' templates
// as the simulated Windows must know them, and a fixture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine_reference.h"
#include "sim_fixture.h"

namespace qx::test {

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
