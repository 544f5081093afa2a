// What the settings-engine tests share: the progress windows' templates, the engine and plain files.
#pragma once

#include <string>
#include <vector>

#include "engine_reference.h"
#include "qxinst.h"
#include "sim_fixture.h"

namespace qx::test {

inline constexpr char kEngine[] = "C:\\qorvex\\engine.kix";
inline constexpr char kPlain[] = "C:\\qorvex\\engine.txt";

// nTimes copies of a line.
inline std::string Repeat(int nTimes, const std::string& strLine)
{
    std::string text;
    for (int i = 0; i < nTimes; ++i)
        text += strLine;
    return text;
}

class EngineTest : public SimTest {
protected:
    void SetUp() override  // the progress windows' templates 108 and 129
    {
        using C = sim::CSimControlTemplate;
        const C bar {1004, "msctls_progress32", "Progress1", 0};
        sim.m_ui.RegisterTemplate(108, {"Installing Services", {C {1009, "Static", "Please Wait...", 0}, bar}});
        sim.m_ui.RegisterTemplate(129, {"", {C {0xFFFF, "Static", "Updating Settings, Please Wait....", 0}, bar}});
    }
};

}  // namespace qx::test
