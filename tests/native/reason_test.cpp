// The reason line of a failing export, area by area: the Win32 call that failed with its code, or
// the rule that refused the input, through the debugger alone; none when an export succeeds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/export_guard.h"
#include "platform/file_stream.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

struct CReasonCase {
    const char* pszName;
    std::function<void(sim::CSimPlatform& sim)> setUp;
    std::function<void()> call;
    const char* pszLine;  // the one line expected; null: none
};

// Each case on a fresh simulated Windows: the line it leaves, nothing held, standard output
// untouched by the reason.
void ExpectReasons(const std::vector<CReasonCase>& cases)
{
    for (const CReasonCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        sim::CSimPlatform sim;
        using C = sim::CSimControlTemplate;
        const C bar {1004, "msctls_progress32", "Progress1", 0};
        sim.m_ui.RegisterTemplate(108, {"Installing Services", {C {1009, "Static", "Please Wait...", 0}, bar}});
        sim.m_ui.RegisterTemplate(129, {"", {C {0xFFFF, "Static", "Updating Settings, Please Wait....", 0}, bar}});
        sim.m_files.AddFolder("C:\\qorvex");
        if (c.setUp)
            c.setUp(sim);
        c.call();
        std::vector<std::string> expected;
        if (c.pszLine != nullptr)
            expected.push_back(c.pszLine);
        EXPECT_EQ(sim.m_system.DebugLines(), expected);
        EXPECT_EQ(sim.m_system.m_strStdout.find("QXINST"), std::string::npos) << sim.m_system.m_strStdout;
        EXPECT_TRUE(sim.Clean()) << sim.Report();
    }
}

// A file stream names the call that failed; a reader that does not find its file leaves the verdict
// to its caller.
TEST(Reasons, FileStreams)
{
    auto writeFile = [](const char* pszPath) {
        GuardBool("Export", [pszPath] {
            CAtomicFile file(pszPath);
            if (file.Create(CFileStream::Mode::kBinary) == 0) {
                file.Stream().PutText("text");
                file.Commit();
            }
            return false;
        });
    };
    auto readFile = [](const char* pszPath) {
        GuardBool("Export", [pszPath] {
            CFileStream stream;
            if (stream.OpenRead(pszPath, CFileStream::Mode::kBinary) == 0)
                stream.GetByte();
            return false;
        });
    };
    ExpectReasons({
        {.pszName = "no temporary file",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("GetTempFileNameA", ERROR_ACCESS_DENIED); },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: GetTempFileNameA C:\\qorvex\\ failed: 5\n"},
        {.pszName = "the target cannot be replaced",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_files.SetFile("C:\\qorvex\\a.txt", "old");
                 sim.m_kernel.FailCall("ReplaceFileA", ERROR_SHARING_VIOLATION);
             },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: ReplaceFileA C:\\qorvex\\a.txt failed: 32\n"},
        {.pszName = "a new target cannot be moved in",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("MoveFileExA", ERROR_ACCESS_DENIED); },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: MoveFileExA C:\\qorvex\\a.txt failed: 5\n"},
        {.pszName = "the target is a folder",
         .call = [&] { writeFile("C:\\qorvex"); },
         .pszLine = "QXINST: Export: C:\\qorvex is a folder\n"},
        {.pszName = "a read fails",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_files.SetFile("C:\\qorvex\\a.txt", "text");
                 sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
             },
         .call = [&] { readFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: ReadFile failed: 30\n"},
        {.pszName = "a reader's missing file", .call = [&] { readFile("C:\\qorvex\\a.txt"); }, .pszLine = nullptr},
    });
}

}  // namespace
}  // namespace qx
