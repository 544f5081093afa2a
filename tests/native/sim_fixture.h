// The fixture of every native test: a fresh simulated Windows per test, checked for leaks, misuse
// and armed faults that never fired after the test body (and by Settled() after each export call).
// An export call whose reason lines do not follow its result is a misuse too (reason_test.cpp).
#pragma once

#include <gtest/gtest.h>

#include <functional>
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

    // Runs call with the 1st, the 2nd, ... allocation of the library's own code failing (made inside
    // window procedures, or inside what call runs through OwnCode), until a run in which none was
    // left to fail; expects strFailed from each run in which one failed (or strNormal, with
    // bMayGoOn, where the library can go on without what it could not allocate, as without a
    // window) and strNormal from the last. Gives how many runs had an allocation fail.
    int EachProcedureAllocationFails(const std::function<std::string()>& call, const std::string& strFailed,
                                     const std::string& strNormal, bool bMayGoOn = false)
    {
        for (int n = 1; n <= 100; ++n) {
            SCOPED_TRACE("allocation " + std::to_string(n) + " of the library's own code fails");
            sim.m_kernel.FailAllocationInProcedure(n);
            std::string strGot = call();
            bool bFailed = !sim.m_kernel.AllocationFaultPending();
            sim.m_kernel.ClearFaults();
            if (bFailed && bMayGoOn && strGot == strNormal)
                continue;
            EXPECT_EQ(strGot, bFailed ? strFailed : strNormal);
            if (!bFailed)
                return n - 1;
        }
        ADD_FAILURE() << "more than 100 allocations";
        return 100;
    }

    // Runs an export (or other code of the library) as the library's own code, whose allocations
    // EachProcedureAllocationFails makes fail; the simulated calls it makes are not its own.
    template <typename F> static auto OwnCode(F&& run)
    {
        sim::CSimCodeScope own(true);
        return run();
    }

    sim::CSimPlatform sim;
};

}  // namespace qx::test
