// The fixture of every native test: a fresh simulated Windows per test, checked for leaks and
// misuse after the test body (and by Settled() after each export call).
#pragma once

#include <gtest/gtest.h>

#include "sim/sim_platform.h"

namespace qx::test {

class SimTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(sim.Clean()) << sim.Report(); }

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
