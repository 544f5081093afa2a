// The simulated platform itself: its accounting, its fault injection, and its models where Wine cannot
// show Windows' answers (wine.Differential holds the rest of them to the real calls).
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

// An allocation fault fires in the own code of a window procedure, not outside procedures and not
// inside the simulated calls a procedure makes; an exception that leaves a procedure is a misuse.
TEST(SimAccounting, AnAllocationFaultFiresInAProceduresOwnCodeOnly)
{
    sim::CSimPlatform sim;
    sim.m_ui.RegisterTemplate(108, {"Installing", {{1009, "Static", "", 0}}});
    static bool s_bOwn;
    static const std::string s_strLong(100, 's');  // made outside the procedure
    DLGPROC pfnProc = [](HWND hDlg, UINT uMsg, WPARAM, LPARAM) -> INT_PTR {
        if (uMsg == WM_INITDIALOG) {
            Ui().SetWindowTextA(Ui().GetDlgItem(hDlg, 1009), s_strLong.c_str());  // the simulation copies it
            if (s_bOwn)
                Ui().SetWindowTextA(Ui().GetDlgItem(hDlg, 1009), std::string(100, 'o').c_str());
        }
        return TRUE;
    };
    sim.m_kernel.FailAllocationInProcedure(1);
    std::string strOutside(100, 'x');  // no procedure runs
    for (bool bOwn : {false, true}) {
        s_bOwn = bOwn;
        HWND hDlg = Ui().CreateDialogParamA(nullptr, MAKEINTRESOURCEA(108), nullptr, pfnProc, 0);
        ASSERT_NE(hDlg, nullptr);  // the exception ends in the simulation, as if the procedure gave FALSE
        EXPECT_EQ(sim.m_kernel.AllocationFaultPending(), !bOwn);
        EXPECT_EQ(sim.m_ui.Text(hDlg, 1009), s_strLong);
        EXPECT_EQ(sim.m_kernel.Misuses(),
                  std::vector<std::string>(bOwn, "an exception left the procedure of window 108 at message 0x110"));
        Ui().DestroyWindow(hDlg);
    }
}

// A fault hits the nth call only, or every call; one that never fires fails the test; an absent
// call fails with ERROR_CALL_NOT_IMPLEMENTED and changes nothing.
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

// A new file has its folder's security, a replacement the replaced file's, a renamed file its own;
// SetFileSecurityA refuses an owner not to be given and a SACL; GetFileSecurityA tells the size it needs.
TEST_F(SimTest, FilesCarryTheirSecurityDescriptor)
{
    const std::string admins = sim::SidFromString("S-1-5-32-544"), user = sim::SidFromString("S-1-5-21-1-2-3-1013");
    const std::string aclAdmins = sim::MakeAcl({sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, admins)});
    const std::string aclAll =
        sim::MakeAcl({sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, sim::SidFromString("S-1-1-0"))});
    auto sd = [&](const std::string& owner, const std::string& group, const std::string& dacl) {
        sim::CSdParts parts;
        parts.owner = owner, parts.group = group, parts.bDaclPresent = true, parts.dacl = dacl;
        return sim::MakeSelfRelativeSd(parts);
    };
    const std::string strFolders = sim::CSimFiles::DefaultSecurity();
    const SECURITY_INFORMATION kAll =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    sim.m_files.SetFile("C:\\d\\a.txt", "a");
    EXPECT_TRUE(sim.m_files.Security("C:\\d\\a.txt") == strFolders);
    const struct {
        SECURITY_INFORMATION dwInfo;
        std::string strGiven;
        DWORD dwError;  // 0: given
        std::string strAfter;  // a.txt's
    } sets[] = {
        {kAll, sd(user, user, aclAdmins), ERROR_INVALID_OWNER, strFolders},
        {kAll | SACL_SECURITY_INFORMATION, sd(admins, user, aclAdmins), ERROR_PRIVILEGE_NOT_HELD, strFolders},
        {kAll, sd(admins, user, aclAdmins), 0, sd(admins, user, aclAdmins)},
        {DACL_SECURITY_INFORMATION, strFolders, 0, sd(admins, user, aclAll)},
    };
    for (auto c : sets) {
        EXPECT_EQ(Files().SetFileSecurityA("C:\\d\\a.txt", c.dwInfo, &c.strGiven[0]), c.dwError == 0);
        EXPECT_EQ(c.dwError == 0 ? 0 : Sys().GetLastError(), c.dwError);
        EXPECT_TRUE(sim.m_files.Security("C:\\d\\a.txt") == c.strAfter);
    }
    DWORD cbNeeded = 0;
    EXPECT_FALSE(Files().GetFileSecurityA("C:\\d\\a.txt", DACL_SECURITY_INFORMATION, nullptr, 0, &cbNeeded));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::string got(cbNeeded, '\0');
    EXPECT_TRUE(Files().GetFileSecurityA("C:\\d\\a.txt", DACL_SECURITY_INFORMATION, &got[0], cbNeeded, &cbNeeded));
    EXPECT_TRUE(got == sd("", "", aclAll));  // the DACL alone
    sim.m_files.SetFile("C:\\d\\r.tmp", "r");
    EXPECT_TRUE(Files().ReplaceFileA("C:\\d\\a.txt", "C:\\d\\r.tmp", nullptr, 0));
    EXPECT_TRUE(Files().MoveFileExA("C:\\d\\a.txt", "C:\\d\\b.txt", 0));
    EXPECT_TRUE(sim.m_files.Security("C:\\d\\b.txt") == sd(admins, user, aclAll));
}

// ReplaceFileA's outcomes with and without a backup, partial failures too; the old file's attributes pass on.
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
        local.m_files.SetAttributes("C:\\d\\a.txt", FILE_ATTRIBUTE_HIDDEN);
        if (c.dwError != 0)
            local.m_kernel.FailCall("ReplaceFileA", c.dwError);
        EXPECT_EQ(Files().ReplaceFileA("C:\\d\\a.txt", "C:\\d\\r.tmp", c.bBackup ? "C:\\d\\b.bak" : nullptr, 0),
                  c.dwError == 0);
        std::string strFiles;
        for (const std::string& strName : local.m_files.List("C:\\d"))
            strFiles += strName + "=" + *local.m_files.GetFile("C:\\d\\" + strName) + " ";
        EXPECT_EQ(strFiles, c.pszFiles);
        if (c.dwError == 0 || c.dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            EXPECT_EQ(local.m_files.GetFileAttributesA(c.dwError ? "C:\\d\\r.tmp" : "C:\\d\\a.txt"), 2u);  // hidden
        }
    }
}

// Paths are read by character in the ANSI code page: in code page 932 the second byte of 表 (95 5C)
// is no backslash, that of ポ (83 7C) no bar, and ツ (83 63) and イ (83 43) are two names; in code
// page 1252 the same bytes are two characters each.
TEST(SimFiles, PathsAreReadByCharacterInTheAnsiCodePage)
{
    const struct {
        UINT nCodePage;
        std::vector<std::string> names;  // files created in C:\d, in order
        DWORD dwError;  // of the last creation
        const char* pszListed;  // C:\d's entries, each followed by '|'
    } cases[] = {
        {932, {"\x95\\.txt"}, 0, "\x95\\.txt|"},
        {1252, {"\x95\\.txt"}, ERROR_PATH_NOT_FOUND, ""},
        {932, {"\x83|.txt"}, 0, "\x83|.txt|"},
        {1252, {"\x83|.txt"}, ERROR_INVALID_NAME, ""},
        {932, {"\x83\x63", "\x83\x43"}, 0, "\x83\x43|\x83\x63|"},
        {1252, {"\x83\x63", "\x83\x43"}, 0, "\x83\x63|"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nCodePage) + " " + c.names[0]);
        sim::CSimPlatform local;
        local.m_system.SetAnsiCodePage(c.nCodePage);
        local.m_files.AddFolder("C:\\d");
        DWORD dwError = 0;
        for (const std::string& strName : c.names) {
            unique_file file(Files().CreateFileA(("C:\\d\\" + strName).c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS, 0));
            dwError = file ? 0 : Sys().GetLastError();
        }
        EXPECT_EQ(dwError, c.dwError);
        std::string strListed;
        for (const std::string& strName : local.m_files.List("C:\\d"))
            strListed += strName + "|";
        EXPECT_EQ(strListed, c.pszListed);
    }
}

// A progress bar's class is registered by InitCommonControlsEx or, on comctl32 4.00 (NT 4.0),
// InitCommonControls; that bar takes PBM_SETRANGE and PBM_SETPOS, and ignores the messages of 4.70.
TEST_F(SimTest, AProgressBarNeedsItsClassRegistered)
{
    auto create = [](sim::CSimPlatform& p) {
        p.m_ui.RegisterTemplate(1, {"", {{1004, "msctls_progress32", "", 0}}});
        return unique_hwnd(Ui().CreateDialogParamA(nullptr, MAKEINTRESOURCEA(1), nullptr, nullptr, 0));
    };
    EXPECT_FALSE(create(sim));
    EXPECT_EQ(Sys().GetLastError(), 1407u);  // ERROR_CANNOT_FIND_WND_CLASS
    INITCOMMONCONTROLSEX init {sizeof init, 0x1};  // list views only
    EXPECT_TRUE(Ui().InitCommonControlsEx(&init));
    EXPECT_FALSE(create(sim));
    init.dwICC = ICC_PROGRESS_CLASS;
    EXPECT_TRUE(Ui().InitCommonControlsEx(&init));
    EXPECT_TRUE(create(sim));
    sim::CSimPlatform nt4;
    nt4.m_kernel.MakeAbsent("InitCommonControlsEx");
    EXPECT_FALSE(Ui().InitCommonControlsEx(&init));
    EXPECT_FALSE(create(nt4));
    Ui().InitCommonControls();
    unique_hwnd dlg = create(nt4);
    HWND hBar = Ui().GetDlgItem(dlg.get(), 1004);
    Ui().SendMessageA(hBar, PBM_SETRANGE, 0, 0xFFFF0000);
    Ui().SendMessageA(hBar, PBM_SETPOS, 40000, 0);
    PBRANGE range {-1, -1};
    EXPECT_EQ(Ui().SendMessageA(hBar, PBM_SETRANGE32, 0, 10), 0);
    EXPECT_EQ(Ui().SendMessageA(hBar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range)), 0);
    EXPECT_EQ(Ui().SendMessageA(hBar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(range.iLow + range.iHigh, -2);
    const sim::CSimWindow& bar = *nt4.m_ui.Window(hBar);
    EXPECT_EQ(std::to_string(bar.nLower) + ".." + std::to_string(bar.nUpper) + " " + std::to_string(bar.nPos),
              "0..65535 40000");
}

// The policy refuses a non-administrator; its injected failure is an NTSTATUS (a Win32 code: a misuse).
TEST_F(SimTest, ThePolicyRefusesNonAdministrators)
{
    LSA_OBJECT_ATTRIBUTES attributes {};
    LSA_HANDLE hPolicy = nullptr;
    sim.m_lsa.m_bAdministrator = false;
    EXPECT_EQ(Lsa().LsaOpenPolicy(nullptr, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &hPolicy),
              STATUS_ACCESS_DENIED);
    ASSERT_EQ(Lsa().LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &hPolicy), STATUS_SUCCESS);
    unique_lsa_handle policy(hPolicy);
    sim.m_kernel.FailCall("LsaOpenPolicy", static_cast<DWORD>(STATUS_ACCESS_DENIED));
    EXPECT_EQ(Lsa().LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &hPolicy), STATUS_ACCESS_DENIED);
    sim::CSimPlatform other;
    other.m_kernel.FailCall("LsaOpenPolicy", ERROR_ACCESS_DENIED);
    other.m_lsa.LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &hPolicy);
    EXPECT_EQ(other.m_kernel.Misuses().size(), 1u);
}

}  // namespace
}  // namespace qx
