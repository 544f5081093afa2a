// The fixture of every native test: a fresh simulated Windows, checked for leaks, misuse and unfired faults.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace qx::test {

inline constexpr char kNoFile[] = "<no file>";

// pszPrefix, the number n and pszSuffix, for each n from nFrom to nTo.
inline std::string Numbered(const char* pszPrefix, int nFrom, int nTo, const char* pszSuffix)
{
    std::string strText;
    for (int i = nFrom; i <= nTo; ++i)
        strText += pszPrefix + std::to_string(i) + pszSuffix;
    return strText;
}

class SimTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(sim.Clean()) << sim.Report();
        EXPECT_TRUE(AllFaultsFired());
    }

    // A fault that never fires (a misspelt name, a call no longer made) proves nothing.
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

    // An export call's result once the call is seen to have released everything it took: Done(Export(...)),
    // or Settle(Export, ...) for an export of any result, none included.
    template <typename R> R Done(R result) const
    {
        EXPECT_TRUE(Settled());
        return result;
    }
    template <typename Export, typename... Args> auto Settle(Export pfn, Args... args) const
    {
        struct CCheck {
            const SimTest* p;
            ~CCheck() { EXPECT_TRUE(p->Settled()); }
        } check {this};
        return pfn(args...);
    }

    // A file's contents, or kNoFile; a file written with them, or deleted with kNoFile.
    std::string File(const std::string& strPath) const { return sim.m_files.GetFile(strPath).value_or(kNoFile); }
    void Put(const std::string& strPath, const std::string& strData)
    {
        if (strData != kNoFile)
            sim.m_files.SetFile(strPath, strData);
        else if (sim.m_files.Exists(strPath))
            sim.m_files.DeleteFileA(strPath.c_str());
    }
    // The message boxes shown since the last call, as "text|caption|flags", "|owned" after an owned one.
    std::vector<std::string> TakeBoxes()
    {
        std::vector<std::string> boxes;
        for (const sim::CSimMessageBox& box : sim.m_ui.m_boxes)
            boxes.push_back(box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType) +
                            (box.hOwner != nullptr ? "|owned" : ""));
        sim.m_ui.m_boxes.clear();
        return boxes;
    }

    // Runs call with the nth allocation of the library's own code failing, n = 1, 2, ... until none is left:
    // expects strFailed (or strNormal with bMayGoOn) from each failed run, strNormal from the last.
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

    // Runs library code as its own code, whose allocations EachProcedureAllocationFails makes fail.
    template <typename F> static auto OwnCode(F&& run)
    {
        sim::CSimCodeScope own(true);
        return run();
    }

    sim::CSimPlatform sim;
};

}  // namespace qx::test
