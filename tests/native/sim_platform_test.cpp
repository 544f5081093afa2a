// The simulated platform itself: its accounting catches what the code under test forgets, its fault
// injection hits exactly the call asked for, and its models answer like Windows.
#include <gtest/gtest.h>

#include "platform/unique.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::SimTest;

TEST(SimAccounting, CatchesADeliberatelyLeakedHandle)
{
    sim::CSimPlatform sim;
    sim.m_files.SetFile("C:\\a.txt", "x");
    HANDLE hLeaked = Files().CreateFileA("C:\\a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
    ASSERT_NE(hLeaked, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(sim.Clean());
    EXPECT_EQ(sim.m_kernel.Outstanding("file"), 1u);
    EXPECT_NE(sim.Report().find("1 file"), std::string::npos) << sim.Report();

    Files().CloseHandle(hLeaked);
    EXPECT_TRUE(sim.Clean()) << sim.Report();
}

TEST(SimAccounting, ReportsADoubleReleaseAsMisuse)
{
    sim::CSimPlatform sim;
    HLOCAL hMem = Sys().LocalAlloc(LMEM_FIXED, 16);
    ASSERT_NE(hMem, nullptr);
    EXPECT_EQ(Sys().LocalFree(hMem), nullptr);
    EXPECT_TRUE(sim.Clean());
    EXPECT_EQ(Sys().LocalFree(hMem), hMem);  // a second free fails and is recorded
    EXPECT_FALSE(sim.Clean());
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
}

TEST(SimAccounting, OwnersReleaseOnEveryPath)
{
    sim::CSimPlatform sim;
    {
        unique_hlocal block(Sys().LocalAlloc(LPTR, 8));
        unique_process_heap heapBlock(Sys().HeapAlloc(Sys().GetProcessHeap(), 0, 8));
        EXPECT_EQ(sim.m_kernel.Outstanding(), 2u);
    }
    EXPECT_TRUE(sim.Clean()) << sim.Report();

    unique_hlocal handedOut(Sys().LocalAlloc(LPTR, 8));
    HLOCAL hMem = handedOut.release();
    EXPECT_EQ(sim.m_kernel.Outstanding("local"), 1u);
    Sys().LocalFree(hMem);
    EXPECT_TRUE(sim.Clean());
}

TEST_F(SimTest, FaultInjectionHitsTheNthCallOnly)
{
    sim.m_files.SetFile("C:\\a.txt", "abc");
    sim.m_kernel.FailCall("CreateFileA", ERROR_SHARING_VIOLATION, 2);
    unique_file first(Files().CreateFileA("C:\\a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_TRUE(first);
    unique_file second(Files().CreateFileA("C:\\a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_FALSE(second);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    unique_file third(Files().CreateFileA("C:\\a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0));
    EXPECT_TRUE(third);
    EXPECT_EQ(sim.m_kernel.Calls("CreateFileA"), 3);
}

TEST_F(SimTest, FilesAnswerWithTheWin32ErrorCodes)
{
    sim.m_files.AddFolder("C:\\data");
    sim.m_files.SetFile("C:\\data\\ro.txt", "old");
    sim.m_files.SetAttributes("C:\\data\\ro.txt", FILE_ATTRIBUTE_READONLY);
    struct Case {
        const char* pszPath;
        DWORD dwAccess;
        DWORD dwCreation;
        DWORD dwError;
    } cases[] = {
        {"C:\\data\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"C:\\nowhere\\x.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"C:\\data", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"C:\\data\\ro.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        Sys().SetLastError(0xdeadbeef);
        unique_file file(Files().CreateFileA(c.pszPath, c.dwAccess, 0, c.dwCreation, 0));
        EXPECT_FALSE(file) << c.pszPath;
        EXPECT_EQ(Sys().GetLastError(), c.dwError) << c.pszPath;
    }
    EXPECT_EQ(*sim.m_files.GetFile("C:\\data\\ro.txt"), "old");
}

TEST_F(SimTest, AnsiUpperCasingFollowsCodePage1252)
{
    char szText[] = "abc\xE0\xE9\xFF\x9A\xF7\xDF\xB5z";
    Sys().CharUpperBuffA(szText, sizeof szText - 1);
    EXPECT_STREQ(szText, "ABC\xC0\xC9\x9F\x8A\xF7\xDF\xB5Z");
}

// The debugger's texts are kept apart from standard output, each as it was passed, in order.
TEST_F(SimTest, DebugTextsAreRecordedApartFromStandardOutput)
{
    Sys().WriteStdout("out\n");
    Sys().OutputDebugStringA("first\n");
    Sys().OutputDebugStringA("second");
    EXPECT_EQ(sim.m_system.DebugLines(), (std::vector<std::string> {"first\n", "second"}));
    EXPECT_EQ(sim.m_system.m_strStdout, "out\n");
}

}  // namespace
}  // namespace qx
