// The domain and dialog exports under Wine, for real: the role from the prefix's registry, the
// language, the controller walk on Wine's failing enumeration, the server picker and the shell's
// folder dialog driven by the watcher thread, and every dialog template of the DLL rendered.
#include <windows.h>

#include <commctrl.h>
#include <lm.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "host/dll_host.h"
#include "host/screenshot.h"
#include "host/window_watcher.h"

namespace qx::host {
namespace {

constexpr DWORD kWindowTimeoutMs = 10000;
const char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// A buffer of 260 bytes as the host passes it, followed by guard bytes, all filled with a marker.
struct CHostBuffer {
    char sz[300];
    CHostBuffer() { Fill(); }
    void Fill()
    {
        std::memset(sz, '#', sizeof sz);
        sz[sizeof sz - 1] = '\0';
    }
    bool Untouched() const { return std::string(sz) == std::string(sizeof sz - 1, '#'); }
    bool GuardIntact() const
    {
        for (size_t n = 261; n < sizeof sz - 1; ++n) {
            if (sz[n] != '#')
                return false;
        }
        return true;
    }
};

// ---- the machine's role, from ProductType values written into the prefix's registry ----

// Keeps the prefix's ProductType and puts it back, whatever the test wrote.
class CProductTypeKeeper {
public:
    CProductTypeKeeper()
    {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductOptions, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &m_hKey, nullptr);
        DWORD cb = sizeof m_original;
        m_bHad = m_hKey != nullptr &&
                 RegQueryValueExA(m_hKey, "ProductType", nullptr, &m_dwType, m_original, &cb) == ERROR_SUCCESS;
        m_cbOriginal = cb;
    }
    ~CProductTypeKeeper()
    {
        if (m_hKey == nullptr)
            return;
        if (m_bHad)
            RegSetValueExA(m_hKey, "ProductType", 0, m_dwType, m_original, m_cbOriginal);
        else
            RegDeleteValueA(m_hKey, "ProductType");
        RegCloseKey(m_hKey);
    }
    bool Set(const std::string& strValue)
    {
        return RegSetValueExA(m_hKey, "ProductType", 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                              static_cast<DWORD>(strValue.size() + 1)) == ERROR_SUCCESS;
    }
    bool Remove() { return RegDeleteValueA(m_hKey, "ProductType") == ERROR_SUCCESS; }
    HKEY m_hKey = nullptr;

private:
    BYTE m_original[1024] = {};
    DWORD m_cbOriginal = 0;
    DWORD m_dwType = REG_SZ;
    bool m_bHad = false;
};

TEST(DomainRole, ProductTypesInTheRegistryGiveTheirRoles)
{
    CDllHost host;
    auto pfnIsDomainController = QX_EXPORT(host, IsDomainController);
    CProductTypeKeeper keeper;
    ASSERT_NE(keeper.m_hKey, nullptr);
    struct Case {
        const char* pszValue;
        int nRole;
    } cases[] = {
        {"LanmanNT", 1}, {"lanmannt", 1}, {"ServerNT", 2}, {"SERVERNT", 2}, {"ServerNT Enterprise", 2},
        {"SERVERNTX", 0}, {"WinNT", 3},   {"winnt", 3},    {"WINNTX", 0},   {"Workstation", 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(keeper.Set(c.pszValue));
        EXPECT_EQ(pfnIsDomainController(), c.nRole) << c.pszValue;
    }
    ASSERT_TRUE(keeper.Remove());
    EXPECT_EQ(pfnIsDomainController(), 0);
}

// ---- the system language ----

int ExpectedLanguage(LANGID langId)
{
    static const std::set<LANGID> kEnglish = {0x0409, 0x0809, 0x0C09, 0x1009, 0x1409, 0x1809, 0x1C09,
                                              0x2009, 0x2409, 0x2809, 0x2C09, 0x3009, 0x3409};
    static const std::set<LANGID> kGerman = {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407};
    static const std::set<LANGID> kSpanish = {0x040A, 0x080A, 0x0C0A, 0x100A, 0x140A, 0x180A, 0x1C0A,
                                              0x200A, 0x240A, 0x280A, 0x2C0A, 0x300A, 0x340A, 0x380A,
                                              0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A, 0x500A};
    static const std::set<LANGID> kFrench = {0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C};
    return kEnglish.count(langId) ? 1 : kGerman.count(langId) ? 2 : kSpanish.count(langId) ? 3
                                      : kFrench.count(langId) ? 4 : 0;
}

TEST(DomainLanguage, TheSystemLanguageGivesItsCode)
{
    CDllHost host;
    LANGID langId = GetSystemDefaultLangID();
    EXPECT_EQ(QX_EXPORT(host, GetSystemLanguage)(), ExpectedLanguage(langId)) << std::hex << langId;
}

// ---- the controller walk on Wine's enumeration, which reports no browser servers ----

TEST(DomainServers, AFailingEnumerationStillNamesThisMachineFirst)
{
    // The premise: this Wine has no browser to ask.
    LPBYTE pBuffer = nullptr;
    DWORD nRead = 0, nTotal = 0;
    NET_API_STATUS status = NetServerEnum(nullptr, 100, &pBuffer, MAX_PREFERRED_LENGTH, &nRead, &nTotal,
                                          SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL, nullptr, nullptr);
    if (pBuffer != nullptr)
        NetApiBufferFree(pBuffer);
    ASSERT_NE(status, static_cast<NET_API_STATUS>(NERR_Success)) << "this Wine enumerates servers";

    CDllHost host;
    auto pfnEnumServers = QX_EXPORT(host, EnumServers);
    char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD cch = sizeof szComputer;
    ASSERT_TRUE(GetComputerNameA(szComputer, &cch));

    CHostBuffer buffer;
    EXPECT_EQ(pfnEnumServers(buffer.sz, 0), 1);
    EXPECT_STREQ(buffer.sz, szComputer);
    buffer.Fill();
    EXPECT_EQ(pfnEnumServers(buffer.sz, 1), 0);
    EXPECT_STREQ(buffer.sz, "");
    buffer.Fill();
    EXPECT_EQ(pfnEnumServers(buffer.sz, 0xFFFFFFFFu), 0);
    EXPECT_STREQ(buffer.sz, "");
}

// ---- the server picker, driven by the watcher thread ----

constexpr int kServerCombo = 1008;

// What the watcher saw of the picker when it opened.
struct CPickerSeen {
    std::atomic<bool> bSeen{false};
    HWND hOwner = reinterpret_cast<HWND>(1);
    int nFocusId = -1;
    LRESULT nItems = -1;
    std::string strEdit = "?";
    std::string strTyped;  // the edit field after typing
};

int FocusedControlId(HWND hDlg)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &info) || info.hwndFocus == nullptr)
        return -1;
    return GetDlgCtrlID(info.hwndFocus);
}

std::string ComboText(HWND hDlg)
{
    char szText[1024] = {};
    DWORD_PTR nResult = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, kServerCombo), WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText),
                        SMTO_ABORTIFHUNG, 1000, &nResult);
    return szText;
}

// Runs SelectServer once with the user's actions done by the watcher on the open window.
QXBOOL RunPicker(CDllHost& host, CHostBuffer& buffer, CPickerSeen& seen, const std::function<void(HWND)>& act)
{
    CWindowWatcher watcher;
    watcher.OnWindow("Select Server", "#32770", [&](const CWindowInfo& info) {
        seen.hOwner = GetWindow(info.hWnd, GW_OWNER);
        seen.nFocusId = FocusedControlId(info.hWnd);
        DWORD_PTR nItems = 0;
        SendMessageTimeoutA(GetDlgItem(info.hWnd, kServerCombo), CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &nItems);
        seen.nItems = static_cast<LRESULT>(nItems);
        seen.strEdit = ComboText(info.hWnd);
        seen.bSeen = true;
        act(info.hWnd);
    });
    return QX_EXPORT(host, SelectServer)(buffer.sz);
}

void PressOnFocus(HWND hDlg, WORD wKey)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &info);
    CWindowWatcher::PressKey(info.hwndFocus != nullptr ? info.hwndFocus : hDlg, wKey);
}

TEST(DomainServerPicker, ATypedNameComesBackAsTypedOnOk)
{
    CDllHost host;
    CHostBuffer buffer;
    CPickerSeen seen;
    QXBOOL bResult = RunPicker(host, buffer, seen, [&](HWND hDlg) {
        CWindowWatcher::Type(hDlg, kServerCombo, "newBdc.Example");
        seen.strTyped = ComboText(hDlg);
        CWindowWatcher::Click(hDlg, IDOK);
    });
    ASSERT_TRUE(seen.bSeen);
    EXPECT_EQ(bResult, 1);
    EXPECT_STREQ(buffer.sz, "newBdc.Example");
    EXPECT_EQ(seen.strTyped, "newBdc.Example");
    EXPECT_EQ(seen.hOwner, nullptr);
    EXPECT_EQ(seen.nFocusId, IDOK);  // the first tab stop
    EXPECT_EQ(seen.nItems, 0);       // the enumeration failed: an empty list
    EXPECT_EQ(seen.strEdit, "");
}

TEST(DomainServerPicker, EnterAtOnceChoosesAnEmptyName)
{
    CDllHost host;
    CHostBuffer buffer;
    CPickerSeen seen;
    QXBOOL bResult = RunPicker(host, buffer, seen, [](HWND hDlg) { PressOnFocus(hDlg, VK_RETURN); });
    ASSERT_TRUE(seen.bSeen);
    EXPECT_EQ(bResult, 1);
    EXPECT_STREQ(buffer.sz, "");
    EXPECT_TRUE(buffer.GuardIntact());
}

TEST(DomainServerPicker, CancelAfterTypingReturnsNothing)
{
    CDllHost host;
    CHostBuffer buffer;
    CPickerSeen seen;
    QXBOOL bResult = RunPicker(host, buffer, seen, [](HWND hDlg) {
        CWindowWatcher::Type(hDlg, kServerCombo, "typed");
        CWindowWatcher::Click(hDlg, IDCANCEL);
    });
    ASSERT_TRUE(seen.bSeen);
    EXPECT_EQ(bResult, 0);
    EXPECT_STREQ(buffer.sz, "");
}

TEST(DomainServerPicker, EscapeAndTheCloseBoxReturnNothing)
{
    CDllHost host;
    CHostBuffer buffer;
    CPickerSeen seen;
    EXPECT_EQ(RunPicker(host, buffer, seen, [](HWND hDlg) {
                  CWindowWatcher::Type(hDlg, kServerCombo, "typed");
                  PressOnFocus(hDlg, VK_ESCAPE);
              }),
              0);
    EXPECT_TRUE(seen.bSeen);
    EXPECT_STREQ(buffer.sz, "");

    buffer.Fill();
    CPickerSeen seenAgain;
    EXPECT_EQ(RunPicker(host, buffer, seenAgain, [](HWND hDlg) {
                  CWindowWatcher::Type(hDlg, kServerCombo, "typed");
                  PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
              }),
              0);
    EXPECT_TRUE(seenAgain.bSeen);
    EXPECT_STREQ(buffer.sz, "");
}

TEST(DomainServerPicker, TheEditFieldIsLimitedToTheHostsBuffer)
{
    CDllHost host;
    CHostBuffer buffer;
    CPickerSeen seen;
    LRESULT nLimit = -1;
    QXBOOL bResult = RunPicker(host, buffer, seen, [&](HWND hDlg) {
        HWND hEdit = FindWindowExA(GetDlgItem(hDlg, kServerCombo), nullptr, "Edit", nullptr);
        DWORD_PTR nGot = 0;
        SendMessageTimeoutA(hEdit, EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 1000, &nGot);
        nLimit = static_cast<LRESULT>(nGot);
        CWindowWatcher::Type(hDlg, kServerCombo, std::string(300, 'k'));
        seen.strTyped = ComboText(hDlg);
        CWindowWatcher::Click(hDlg, IDOK);
    });
    EXPECT_EQ(nLimit, 259);
    EXPECT_EQ(bResult, 1);
    // The field takes no more than its limit (and, without horizontal scrolling, no more than it shows).
    EXPECT_FALSE(seen.strTyped.empty());
    EXPECT_LE(seen.strTyped.size(), 259u);
    EXPECT_EQ(std::string(buffer.sz), seen.strTyped);
    EXPECT_TRUE(buffer.GuardIntact());
}

// ---- the folder picker, through the real shell dialog ----

std::string CurrentDirectory()
{
    char szDir[MAX_PATH * 2] = {};
    GetCurrentDirectoryA(sizeof szDir, szDir);
    return szDir;
}

bool HasText(const CWindowInfo& info, const std::string& strText)
{
    for (const CControlInfo& control : info.controls) {
        if (control.strText == strText)
            return true;
    }
    return false;
}

class DomainFolderPicker : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strBase = "C:\\qxunc-" + std::to_string(GetCurrentProcessId());
        m_strFolder = strBase + "\\Pick";
        m_strStart = strBase + "\\Start";
        RemoveDirectoryA(m_strFolder.c_str());
        RemoveDirectoryA(m_strStart.c_str());
        CreateDirectoryA(strBase.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryA(m_strFolder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryA(m_strStart.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        GetCurrentDirectoryA(sizeof m_szSaved, m_szSaved);
        ASSERT_TRUE(SetCurrentDirectoryA(m_strStart.c_str()));
        m_strBefore = CurrentDirectory();
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(m_szSaved);
        RemoveDirectoryA(m_strFolder.c_str());
        RemoveDirectoryA(m_strStart.c_str());
        RemoveDirectoryA(("C:\\qxunc-" + std::to_string(GetCurrentProcessId())).c_str());
    }

    // Runs GetUNC with the watcher acting on the shell's dialog once it shows "Select Location".
    int Run(const std::function<void(HWND)>& act)
    {
        CWindowWatcher watcher;
        watcher.OnWindow("", "#32770", [&](const CWindowInfo& info) {
            if (!HasText(info, "Select Location"))
                return;
            m_hOwner = GetWindow(info.hWnd, GW_OWNER);
            m_bSeen = true;
            act(info.hWnd);
        });
        return QX_EXPORT(m_host, GetUNC)(m_buffer.sz);
    }
    // Selects a folder in the dialog's tree, as the user would by clicking it.
    void Select(HWND hDlg, const std::string& strPath)
    {
        DWORD_PTR nResult = 0;
        SendMessageTimeoutA(hDlg, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(strPath.c_str()),
                            SMTO_ABORTIFHUNG, kWindowTimeoutMs, &nResult);
        m_strSelected = SelectedItemText(hDlg);
    }
    // The text of the item selected in the dialog's folder tree.
    static std::string SelectedItemText(HWND hDlg)
    {
        HWND hTree = FindWindowExA(hDlg, nullptr, WC_TREEVIEWA, nullptr);
        DWORD_PTR hItem = 0;
        SendMessageTimeoutA(hTree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, kWindowTimeoutMs, &hItem);
        if (hItem == 0)
            return std::string();
        char szText[MAX_PATH] = {};
        TVITEMA item{};
        item.mask = TVIF_TEXT;
        item.hItem = reinterpret_cast<HTREEITEM>(hItem);
        item.pszText = szText;
        item.cchTextMax = sizeof szText;
        DWORD_PTR nDone = 0;
        SendMessageTimeoutA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item), SMTO_ABORTIFHUNG,
                            kWindowTimeoutMs, &nDone);
        return szText;
    }

    CDllHost m_host;
    CHostBuffer m_buffer;
    std::string m_strFolder;
    std::string m_strStart;
    std::string m_strBefore;
    char m_szSaved[MAX_PATH * 2] = {};
    std::atomic<bool> m_bSeen{false};
    std::string m_strSelected;
    HWND m_hOwner = reinterpret_cast<HWND>(1);
};

TEST_F(DomainFolderPicker, AChosenFolderComesBackWithItsPath)
{
    int nResult = Run([&](HWND hDlg) {
        Select(hDlg, m_strFolder);
        CWindowWatcher::Click(hDlg, IDOK);
    });
    ASSERT_TRUE(m_bSeen);
    EXPECT_EQ(m_strSelected, "Pick");
    EXPECT_EQ(m_hOwner, nullptr);
    EXPECT_EQ(nResult, 1);
    EXPECT_EQ(std::string(m_buffer.sz), m_strFolder);
    EXPECT_EQ(CurrentDirectory(), m_strBefore);
}

TEST_F(DomainFolderPicker, CancelLeavesTheBufferUntouched)
{
    int nResult = Run([&](HWND hDlg) {
        Select(hDlg, m_strFolder);
        CWindowWatcher::Click(hDlg, IDCANCEL);
    });
    ASSERT_TRUE(m_bSeen);
    EXPECT_EQ(nResult, 0);
    EXPECT_TRUE(m_buffer.Untouched());
    EXPECT_EQ(CurrentDirectory(), m_strBefore);
}

TEST_F(DomainFolderPicker, AnItemWithoutAFileSystemPathIsNotChosen)
{
    PIDLIST_ABSOLUTE pidlComputer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &pidlComputer), S_OK);
    SHFILEINFOA computer{};
    SHGetFileInfoA(reinterpret_cast<LPCSTR>(pidlComputer), 0, &computer, sizeof computer, SHGFI_PIDL | SHGFI_DISPLAYNAME);
    ASSERT_NE(computer.szDisplayName[0], '\0');
    int nResult = Run([&](HWND hDlg) {
        DWORD_PTR nSelected = 0;
        SendMessageTimeoutA(hDlg, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(pidlComputer),
                            SMTO_ABORTIFHUNG, kWindowTimeoutMs, &nSelected);
        m_strSelected = SelectedItemText(hDlg);
        CWindowWatcher::Click(hDlg, IDOK);
    });
    CoTaskMemFree(pidlComputer);
    ASSERT_TRUE(m_bSeen);
    EXPECT_EQ(m_strSelected, computer.szDisplayName);  // "My Computer" itself was chosen
    EXPECT_EQ(nResult, 0);
    EXPECT_TRUE(m_buffer.Untouched());
    EXPECT_EQ(CurrentDirectory(), m_strBefore);
}

// ---- every dialog template of the DLL, created and pictured ----

BOOL CALLBACK CollectDialog(HMODULE, LPCSTR, LPSTR pszName, LONG_PTR lParam)
{
    if (IS_INTRESOURCE(pszName))
        reinterpret_cast<std::vector<int>*>(lParam)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(pszName)));
    return TRUE;
}

INT_PTR CALLBACK PlainDialog(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

DWORD StyleOf(HWND hDlg, int nId)
{
    HWND hControl = GetDlgItem(hDlg, nId);
    return hControl != nullptr ? static_cast<DWORD>(GetWindowLongA(hControl, GWL_STYLE)) : 0;
}

TEST(DomainTemplates, EveryTemplateOpensAndIsPictured)
{
    CDllHost host;
    std::vector<int> templates;
    EnumResourceNamesA(host.Module(), RT_DIALOG, CollectDialog, reinterpret_cast<LONG_PTR>(&templates));
    for (int nTemplate : {102, 104, 105, 106, 107, 13029, 13030, 13031})
        EXPECT_NE(std::find(templates.begin(), templates.end(), nTemplate), templates.end()) << nTemplate;

    std::string strFolder = CDllHost::ProgramFolder() + "..\\..\\artifacts\\";
    CreateDirectoryA(strFolder.c_str(), nullptr);
    INITCOMMONCONTROLSEX init{sizeof init, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    for (int nTemplate : templates) {
        SCOPED_TRACE("template " + std::to_string(nTemplate));
        HWND hDlg = CreateDialogParamA(host.Module(), MAKEINTRESOURCEA(nTemplate), nullptr, PlainDialog, 0);
        ASSERT_NE(hDlg, nullptr) << GetLastError();
        SetWindowPos(hDlg, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        RedrawWindow(hDlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpMessages(100, 3000);

        // What the host relies on, seen on the live window.
        if (nTemplate == 104 || nTemplate == 105) {
            EXPECT_TRUE(StyleOf(hDlg, 1184) & ES_PASSWORD);
            EXPECT_TRUE(StyleOf(hDlg, 1185) & ES_PASSWORD);
            EXPECT_FALSE(StyleOf(hDlg, 1183) & ES_PASSWORD);
            EXPECT_FALSE(StyleOf(hDlg, 1186) & ES_PASSWORD);
        }
        if (nTemplate == 13030) {
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(hDlg, 1003)));
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hDlg, 1003)));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(hDlg, 1002)));
        }
        if (nTemplate == 107) {
            char szClass[64] = {};
            GetClassNameA(GetDlgItem(hDlg, 1008), szClass, sizeof szClass);
            EXPECT_STREQ(szClass, "ComboBox");
        }

        CImage image = CaptureWindow(hDlg);
        EXPECT_GT(image.nWidth, 0);
        EXPECT_GE(image.ColourCount(), 2u) << "nothing drawn";
        std::string strPng = strFolder + "dialog-" + std::to_string(nTemplate) + ".png";
        EXPECT_TRUE(SavePng(image, strPng)) << strPng;
        DestroyWindow(hDlg);
        PumpMessages(20, 500);
    }
}

}  // namespace
}  // namespace qx::host
