// The fixture of the services tests: a simulated Windows with its service manager, the names the
// tests use, and helpers that read what the exports wrote, slept and opened.
#pragma once

#include <cstdio>
#include <numeric>
#include <string>
#include <utility>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx::test {

constexpr char kName[] = "QxSvc";
constexpr char kDisplay[] = "Tavrin";

class ServicesTest : public SimTest {
protected:
    // An export's result, once the platform's accounting has been asserted: Done(Export(...)).
    int Done(int nResult)
    {
        EXPECT_TRUE(Settled());
        return nResult;
    }
    // Everything written to standard output since the last call, which it forgets.
    static std::string TakeOutput(sim::CSimPlatform& platform)
    {
        return std::exchange(platform.m_system.m_strStdout, "");
    }
    std::string TakeOutput() { return TakeOutput(sim); }
    // The line an export writes when a call fails with dwError: "<call> failed: <system text>\n".
    std::string Failed(const char* pszCall, DWORD dwError) const
    {
        return std::string(pszCall) + " failed: " + sim.m_system.m_messages.at(dwError) + "\n";
    }
    static DWORD SleptMs(const sim::CSimPlatform& platform)
    {
        return std::accumulate(platform.m_clock.m_sleeps.begin(), platform.m_clock.m_sleeps.end(), DWORD {0});
    }
    // Every manager and service open, in order: "M <machine or -> <database or -> <access>" and
    // "S <name> <access>", accesses in hexadecimal, joined by "; ".
    static std::string Opens(const sim::CSimPlatform& platform)
    {
        std::string strLog;
        char szAccess[16];
        for (const auto& open : platform.m_scm.m_opens) {
            std::snprintf(szAccess, sizeof szAccess, " %lx", static_cast<unsigned long>(open.dwAccess));
            std::string strMachine = open.bMachineNull ? "-" : "'" + open.strMachine + "'";
            strLog += (strLog.empty() ? "" : "; ") + (open.bManager ? "M " + strMachine : "S " + open.strService) +
                      (!open.bManager       ? ""
                       : open.bDatabaseNull ? " -"
                                            : " " + open.strDatabase) +
                      szAccess;
        }
        return strLog;
    }
};

}  // namespace qx::test
