// The fixture of every native test: a fresh simulated Windows per test, checked for leaks, misuse
// and armed faults that never fired after the test body (and by Settled() after each export call).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace qx::test {

class SimTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(sim.Clean()) << sim.Report();
        EXPECT_TRUE(AllFaultsFired());
    }

    // Every fault the test armed was met: a fault that never fires (a misspelt call name, a call the
    // code no longer makes) proves nothing.
    ::testing::AssertionResult AllFaultsFired() const
    {
        std::vector<std::string> unfired = sim.m_kernel.UnfiredFaults();
        if (unfired.empty())
            return ::testing::AssertionSuccess();
        ::testing::AssertionResult result = ::testing::AssertionFailure() << "faults armed but never fired:";
        for (const std::string& strFault : unfired)
            result << " " << strFault;
        return result;
    }

    // Nothing handed out by the platform is still held: call after each export call.
    ::testing::AssertionResult Settled() const
    {
        if (sim.Clean())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << sim.Report();
    }

    sim::CSimPlatform sim;
};

}  // namespace qx::test
