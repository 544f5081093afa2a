// The fixture of the services tests: a simulated Windows with its service manager, and helpers to
// read what the service exports wrote to standard output.
#pragma once

#include <string>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx::test {

class ServicesTest : public SimTest {
protected:
    // Everything written to standard output since the last call, which it forgets.
    std::string TakeOutput()
    {
        std::string strOut;
        strOut.swap(sim.m_system.m_strStdout);
        return strOut;
    }
    // The output split into lines (each without its final "\n").
    static std::vector<std::string> Lines(const std::string& strOut)
    {
        std::vector<std::string> lines;
        size_t nStart = 0;
        for (size_t nEnd = strOut.find('\n'); nEnd != std::string::npos; nEnd = strOut.find('\n', nStart)) {
            lines.push_back(strOut.substr(nStart, nEnd - nStart));
            nStart = nEnd + 1;
        }
        if (nStart < strOut.size())
            lines.push_back(strOut.substr(nStart));
        return lines;
    }
    DWORD SleptMs() const
    {
        DWORD dwTotal = 0;
        for (DWORD dw : sim.m_clock.m_sleeps)
            dwTotal += dw;
        return dwTotal;
    }
    // Milliseconds the clock moved on since dwStart (readings and sleeps).
    DWORD Elapsed(DWORD dwStart) const { return sim.m_clock.Now() - dwStart; }

    static std::string Text(size_t nLength, char c = 'n') { return std::string(nLength, c); }
};

}  // namespace qx::test
