// The simulated platform itself: its accounting, its fault injection and its documented partial failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/unique.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::SimTest;

// A leaked handle and a second release are caught; an owner releases on every path.
TEST(SimAccounting, CatchesALeakAndADoubleRelease)
{
    sim::CSimPlatform sim;
    sim.m_files.SetFile("C:\\a.txt", "x");
    HANDLE hLeaked = Files().CreateFileA("C:\\a.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
    EXPECT_EQ(sim.m_kernel.Outstanding("file"), 1u);
    EXPECT_NE(sim.Report().find("1 file"), std::string::npos) << sim.Report();
    Files().CloseHandle(hLeaked);
    {
        unique_hlocal block(Sys().LocalAlloc(LPTR, 8));
        unique_process_heap heapBlock(Sys().HeapAlloc(Sys().GetProcessHeap(), 0, 8));
        EXPECT_EQ(sim.m_kernel.Outstanding(), 2u);
    }
    EXPECT_TRUE(sim.Clean()) << sim.Report();
    HLOCAL hMem = unique_hlocal(Sys().LocalAlloc(LMEM_FIXED, 16)).release();
    EXPECT_EQ(Sys().LocalFree(hMem), nullptr);
    EXPECT_TRUE(sim.Clean());
    EXPECT_EQ(Sys().LocalFree(hMem), hMem);
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
}

// A fault hits the nth call only, or every call; one never fired is told; an absent call fails and changes nothing.
TEST_F(SimTest, FaultsHitTheCallAskedForOnly)
{
    sim.m_files.SetFile("C:\\a.txt", "abc");
    sim.m_kernel.FailCall("CreateFileA", ERROR_SHARING_VIOLATION, 2);
    sim.m_kernel.FailCall("CreatFileA", ERROR_ACCESS_DENIED, 0);
    sim.m_kernel.FailCall("ReplaceFileA", ERROR_ACCESS_DENIED, 2);
    sim.m_kernel.MakeAbsent("ReplaceFileA");
    std::string strOpened;
    for (int i = 0; i < 3; ++i) {
        unique_file file(Files().CreateFileA("C:\\a.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
        strOpened += file ? "1" : std::to_string(Sys().GetLastError());
    }
    EXPECT_EQ(strOpened, "1321");
    EXPECT_FALSE(Files().ReplaceFileA("C:\\a.txt", "C:\\b.tmp", nullptr, 0));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(*sim.m_files.GetFile("C:\\a.txt"), "abc");
    EXPECT_STREQ(AllFaultsFired().message(), "faults armed but never fired: CreatFileA (every call) ReplaceFileA #2");
    sim.m_kernel.ClearFaults();
    EXPECT_TRUE(AllFaultsFired());
}

// A short WriteFile succeeds with fewer bytes written; a failing CloseHandle still closes the handle.
TEST_F(SimTest, AShortWriteSucceedsAndAFailingCloseStillCloses)
{
    sim.m_files.WriteShort(1, 2);
    sim.m_kernel.FailCall("CloseHandle", ERROR_WRITE_FAULT);
    HANDLE hFile = Files().CreateFileA("C:\\a.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
    DWORD cbWritten = 0;
    EXPECT_TRUE(Files().WriteFile(hFile, "abcd", 4, &cbWritten));
    EXPECT_FALSE(Files().CloseHandle(hFile));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
    EXPECT_EQ(*sim.m_files.GetFile("C:\\a.txt") + std::to_string(cbWritten), "ab2");
    EXPECT_TRUE(Settled());
}

// ReplaceFileA's outcomes with and without a backup, partial failures too.
TEST_F(SimTest, ReplaceFileALeavesEachDocumentedOutcome)
{
    const struct {
        DWORD dwError;
        bool bBackup;
        const char* pszFiles;  // "name=contents " of the folder, in name order
    } cases[] = {
        {0, false, "a.txt=new b.bak= "},
        {0, true, "a.txt=new b.bak=old "},
        {ERROR_UNABLE_TO_REMOVE_REPLACED, true, "a.txt=old b.bak= r.tmp=new "},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, true, "a.txt=old b.bak= r.tmp=new "},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, false, "b.bak= r.tmp=new "},  // the replaced file is gone
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, true, "b.bak=old r.tmp=new "},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false, "a.txt~RF.TMP=old b.bak= r.tmp=new "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwError) + (c.bBackup ? " with a backup" : ""));
        sim::CSimPlatform local;
        for (const char* pszFile : {"a.txt=old", "r.tmp=new", "b.bak="})
            local.m_files.SetFile("C:\\d\\" + std::string(pszFile, 5), pszFile + 6);
        if (c.dwError != 0)
            local.m_kernel.FailCall("ReplaceFileA", c.dwError);
        EXPECT_EQ(Files().ReplaceFileA("C:\\d\\a.txt", "C:\\d\\r.tmp", c.bBackup ? "C:\\d\\b.bak" : nullptr, 0),
                  c.dwError == 0);
        std::string strFiles;
        for (const std::string& strName : local.m_files.List("C:\\d"))
            strFiles += strName + "=" + *local.m_files.GetFile("C:\\d\\" + strName) + " ";
        EXPECT_EQ(strFiles, c.pszFiles);
    }
}

}  // namespace
}  // namespace qx
