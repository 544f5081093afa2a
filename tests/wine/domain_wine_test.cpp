// The dialog exports under Wine, for real: the server picker and the shell's folder dialog driven by
// the watcher thread, every dialog template pictured.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "host/dll_host.h"
#include "host/screenshot.h"
#include "host/window_watcher.h"

namespace qx::host {
namespace {

using Act = std::function<void(HWND)>;

LRESULT Ask(HWND hWnd, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR nResult = 0;
    SendMessageTimeoutA(hWnd, uMsg, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &nResult);
    return static_cast<LRESULT>(nResult);
}

std::string CurrentDirectory()
{
    char szDir[MAX_PATH * 2] = {};
    return std::string(szDir, GetCurrentDirectoryA(sizeof szDir, szDir));
}

// Calls a picker with a buffer of 260 bytes as the host passes it and guard bytes behind, all marked
// '#'; the only dialog while it runs goes to onDialog. The result, then the buffer ("#" untouched).
template <class Fn>
std::pair<int, std::string> Pick(Fn pfnPick, const std::function<void(const CWindowInfo&)>& onDialog)
{
    std::string buffer(299, '#');
    CWindowWatcher watcher;
    watcher.OnWindow("", "#32770", onDialog);
    int nResult = pfnPick(&buffer[0]);
    EXPECT_EQ(buffer.substr(261), std::string(299 - 261, '#')) << "the guard bytes";
    return {nResult, buffer == std::string(299, '#') ? "#" : buffer.c_str()};
}

constexpr int kCombo = 1008;

std::string ComboText(HWND hDlg)
{
    char szText[1024] = {};
    Ask(GetDlgItem(hDlg, kCombo), WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText));
    return szText;
}

HWND FocusOf(HWND hDlg)
{
    GUITHREADINFO info {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &info);
    return info.hwndFocus;
}

TEST(DomainServerPicker, TheRealPickerReturnsTheEditTextOnOkAndNothingOtherwise)
{
    CDllHost host;
    auto pfnSelectServer = QX_EXPORT(host, SelectServer);
    std::string strTyped;  // the edit field after typing, as the window shows it
    auto typeThen = [&strTyped](std::string strText, Act then) -> Act {
        return [&strTyped, strText, then](HWND hDlg) {
            CWindowWatcher::Type(hDlg, kCombo, strText);
            strTyped = ComboText(hDlg);
            then(hDlg);
        };
    };
    auto click = [](int nId) -> Act { return [nId](HWND hDlg) { CWindowWatcher::Click(hDlg, nId); }; };
    auto key = [](WORD wKey) -> Act { return [wKey](HWND hDlg) { CWindowWatcher::PressKey(FocusOf(hDlg), wKey); }; };
    struct Case {
        const char* pszName;
        Act act;
        QXBOOL bResult;
        const char* pszOutput;  // null: what the field held
    } cases[] = {
        {"typed, OK", typeThen("newBdc.Example", click(IDOK)), 1, "newBdc.Example"},
        {"Enter at once", key(VK_RETURN), 1, ""},
        {"typed, Escape", typeThen("typed", key(VK_ESCAPE)), 0, ""},
        {"typed past the limit", typeThen(std::string(300, 'k'), click(IDOK)), 1, nullptr},
    };
    for (Case& c : cases) {
        std::string strOpened;  // the window as it opened
        auto [nResult, strBuffer] = Pick(pfnSelectServer, [&](const CWindowInfo& info) {
            HWND hDlg = info.hWnd, hCombo = GetDlgItem(hDlg, kCombo);
            strOpened = info.strCaption + ", owner " + std::to_string(GetWindow(hDlg, GW_OWNER) != nullptr) +
                        ", focus " + std::to_string(GetDlgCtrlID(FocusOf(hDlg))) + ", items " +
                        std::to_string(Ask(hCombo, CB_GETCOUNT)) + ", limit " +
                        std::to_string(Ask(FindWindowExA(hCombo, nullptr, "Edit", nullptr), EM_GETLIMITTEXT)) +
                        ", text '" + ComboText(hDlg) + "'";
            c.act(hDlg);
        });
        EXPECT_EQ(nResult, c.bResult) << c.pszName;
        // No owner, the focus on the first tab stop, an empty list (the enumeration fails), the limit.
        EXPECT_EQ(strOpened, "Select Server, owner 0, focus 1, items 0, limit 259, text ''") << c.pszName;
        EXPECT_EQ(strBuffer, c.pszOutput ? c.pszOutput : strTyped) << c.pszName;
    }
}

TEST(DomainFolderPicker, TheShellsChoiceComesBackAndTheCurrentDirectoryStays)
{
    CDllHost host;
    auto pfnGetUNC = QX_EXPORT(host, GetUNC);
    std::string strBase = "C:\\qxunc-" + std::to_string(GetCurrentProcessId());
    std::string strFolder = strBase + "\\Pick", strStart = strBase + "\\Start", strSaved = CurrentDirectory();
    for (const std::string& strDir : {strBase, strFolder, strStart})
        ASSERT_TRUE(CreateDirectoryA(strDir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(SetCurrentDirectoryA(strStart.c_str()));
    using CPidl = std::unique_ptr<std::remove_pointer_t<PIDLIST_ABSOLUTE>, decltype(&ILFree)>;
    CPidl folder(ILCreateFromPathA(strFolder.c_str()), &ILFree), computer(nullptr, &ILFree);
    PIDLIST_ABSOLUTE pidlFolder = folder.get(), pidlComputer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlComputer), S_OK);  // no file-system path
    computer.reset(pidlComputer);
    ASSERT_NE(pidlFolder, nullptr);
    struct Case {
        const char* pszName;
        PIDLIST_ABSOLUTE pidl;
        int nButton, nResult;
    } cases[] = {{"a folder, OK", pidlFolder, IDOK, 1},
                 {"a folder, Cancel", pidlFolder, IDCANCEL, 0},
                 {"My Computer, OK", pidlComputer, IDOK, 0}};
    for (const Case& c : cases) {
        std::string strOpened;
        auto [nResult, strBuffer] = Pick(pfnGetUNC, [&](const CWindowInfo& info) {
            HWND hDlg = info.hWnd;
            strOpened = "owner " + std::to_string(GetWindow(hDlg, GW_OWNER) != nullptr) + ", titled ";
            for (const CControlInfo& control : info.controls)
                strOpened += control.strText == "Select Location" ? "1" : "";
            Ask(hDlg, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(c.pidl));
            CWindowWatcher::Click(hDlg, c.nButton);
        });
        EXPECT_EQ(nResult, c.nResult) << c.pszName;
        EXPECT_EQ(strOpened, "owner 0, titled 1") << c.pszName;
        EXPECT_EQ(strBuffer, c.nResult ? strFolder : "#") << c.pszName;
        EXPECT_EQ(CurrentDirectory(), strStart) << c.pszName;
    }
    SetCurrentDirectoryA(strSaved.c_str());
    for (const std::string& strDir : {strFolder, strStart, strBase})
        RemoveDirectoryA(strDir.c_str());
}

// ---- every dialog template of the DLL (the static test finds no others), created and pictured ----

INT_PTR CALLBACK PlainDialog(HWND, UINT uMsg, WPARAM, LPARAM) { return uMsg == WM_INITDIALOG; }

TEST(DomainTemplates, EveryTemplateOpensAndIsPictured)
{
    CDllHost host;
    std::string strFolder = CDllHost::ProgramFolder() + "..\\..\\artifacts\\";
    CreateDirectoryA(strFolder.c_str(), nullptr);
    INITCOMMONCONTROLSEX init {sizeof init, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    for (int nTemplate : {102, 104, 105, 106, 107, 108, 129, 13029, 13030, 13031}) {
        SCOPED_TRACE("template " + std::to_string(nTemplate));
        HWND hDlg = CreateDialogParamA(host.Module(), MAKEINTRESOURCEA(nTemplate), nullptr, PlainDialog, 0);
        ASSERT_NE(hDlg, nullptr) << GetLastError();
        SetWindowPos(hDlg, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpMessages(100, 3000);
        CImage image = CaptureWindow(hDlg);
        EXPECT_GE(image.ColourCount(), 2u) << "nothing drawn";
        EXPECT_TRUE(SavePng(image, strFolder + "dialog-" + std::to_string(nTemplate) + ".png"));
        DestroyWindow(hDlg);
        PumpMessages(20, 500);
    }
}

}  // namespace
}  // namespace qx::host
