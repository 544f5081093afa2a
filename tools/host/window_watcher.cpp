#include "host/window_watcher.h"

#include <commctrl.h>

#include <chrono>

namespace qx::host {

namespace {

// How long a read waits for the window's thread to answer. A loaded machine (a parallel build, the
// fuzzers) can keep a modal loop from answering for more than a second; a read that gives up too
// early records an empty caption and text.
constexpr UINT kReadTimeoutMs = 10000;

std::string TextOf(HWND hWnd)
{
    char szText[4096] = {};
    DWORD_PTR nResult = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof szText, reinterpret_cast<LPARAM>(szText), SMTO_ABORTIFHUNG,
                             kReadTimeoutMs, &nResult))
        return std::string();
    return std::string(szText, nResult);
}

std::string ClassOf(HWND hWnd)
{
    char szClass[256] = {};
    int cch = GetClassNameA(hWnd, szClass, sizeof szClass);
    return std::string(szClass, cch > 0 ? static_cast<size_t>(cch) : 0);
}

BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam)
{
    auto* pControls = reinterpret_cast<std::vector<CControlInfo>*>(lParam);
    CControlInfo control;
    control.hWnd = hWnd;
    control.nId = GetDlgCtrlID(hWnd);
    control.strClass = ClassOf(hWnd);
    control.strText = TextOf(hWnd);
    control.dwStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    control.dwExStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_EXSTYLE));
    if (control.strClass == "Static" && (control.dwStyle & SS_TYPEMASK) == SS_ICON && (control.dwStyle & WS_VISIBLE)) {
        DWORD_PTR hIcon = 0;
        SendMessageTimeoutA(hWnd, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs, &hIcon);
        control.bShowsIcon = hIcon != 0;
    }
    pControls->push_back(control);
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND hWnd, LPARAM lParam)
{
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hWnd, &dwProcess);
    if (dwProcess == GetCurrentProcessId() && IsWindowVisible(hWnd))
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

bool Matches(const CWindowInfo& info, const std::string& strCaption, const std::string& strClass)
{
    return (strCaption.empty() || info.strCaption == strCaption) && (strClass.empty() || info.strClass == strClass);
}

}  // namespace

std::string CWindowInfo::MessageText() const
{
    const CControlInfo* pText = Control(0xFFFF);
    return pText != nullptr ? pText->strText : std::string();
}

bool CWindowInfo::IsMessageBox() const
{
    if (strClass != "#32770")
        return false;
    bool bHasOk = false;
    for (const CControlInfo& control : controls) {
        if (control.strClass != "Static" && control.strClass != "Button")
            return false;
        bHasOk = bHasOk || (control.strClass == "Button" && (control.nId == IDOK || control.nId == IDCANCEL));
    }
    return bHasOk;
}

const CControlInfo* CWindowInfo::Control(int nId) const
{
    for (const CControlInfo& control : controls) {
        if (control.nId == nId && !(control.strClass == "Static" && (control.dwStyle & SS_TYPEMASK) == SS_ICON))
            return &control;
    }
    return nullptr;
}

CWindowWatcher::CWindowWatcher()
{
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
}

CWindowWatcher::~CWindowWatcher()
{
    m_bStop = true;
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
}

DWORD WINAPI CWindowWatcher::ThreadProc(LPVOID pvWatcher)
{
    static_cast<CWindowWatcher*>(pvWatcher)->Run();
    return 0;
}

void CWindowWatcher::OnWindow(const std::string& strCaption, const std::string& strClass, Action action)
{
    CHostLock lock(m_section);
    m_rules.push_back({strCaption, strClass, std::move(action)});
}

void CWindowWatcher::DismissMessageBoxes()
{
    OnWindow("", "#32770", [this](const CWindowInfo& info) {
        if (!info.IsMessageBox())
            return;
        {
            CHostLock lock(m_section);
            m_boxes.push_back(info);
        }
        PostMessageA(info.hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
}

std::vector<CWindowInfo> CWindowWatcher::Boxes() const
{
    CHostLock lock(m_section);
    return m_boxes;
}

std::vector<CWindowInfo> CWindowWatcher::Seen() const
{
    CHostLock lock(m_section);
    return m_seen;
}

CWindowInfo CWindowWatcher::WaitFor(const std::string& strCaption, const std::string& strClass, DWORD nTimeoutMs) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        {
            CHostLock lock(m_section);
            for (const CWindowInfo& info : m_seen) {
                if (Matches(info, strCaption, strClass))
                    return info;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return CWindowInfo();
        Sleep(10);
    }
}

void CWindowWatcher::Run()
{
    while (!m_bStop) {
        std::vector<HWND> windows = TopLevelWindowsOfThisProcess();
        for (HWND hWnd : windows) {
            {
                CHostLock lock(m_section);
                if (!m_known.insert(hWnd).second)
                    continue;
            }
            CWindowInfo info = Read(hWnd);
            std::vector<Action> actions;
            {
                CHostLock lock(m_section);
                m_seen.push_back(info);
                for (const CRule& rule : m_rules) {
                    if (Matches(info, rule.strCaption, rule.strClass))
                        actions.push_back(rule.action);
                }
            }
            for (const Action& action : actions)
                action(info);
        }
        {
            // Forget windows that are gone, so that a new window with a reused handle is seen.
            CHostLock lock(m_section);
            for (auto it = m_known.begin(); it != m_known.end();)
                it = IsWindow(*it) ? std::next(it) : m_known.erase(it);
        }
        Sleep(15);
    }
}

CWindowInfo CWindowWatcher::Read(HWND hWnd)
{
    CWindowInfo info;
    info.hWnd = hWnd;
    info.strCaption = TextOf(hWnd);
    info.strClass = ClassOf(hWnd);
    info.dwStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    info.dwExStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_EXSTYLE));
    EnumChildWindows(hWnd, CollectChild, reinterpret_cast<LPARAM>(&info.controls));
    return info;
}

std::vector<HWND> CWindowWatcher::TopLevelWindowsOfThisProcess()
{
    std::vector<HWND> windows;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND CWindowWatcher::Find(const std::string& strCaption, const std::string& strClass)
{
    for (HWND hWnd : TopLevelWindowsOfThisProcess()) {
        if ((strCaption.empty() || TextOf(hWnd) == strCaption) && (strClass.empty() || ClassOf(hWnd) == strClass))
            return hWnd;
    }
    return nullptr;
}

void CWindowWatcher::Click(HWND hDlg, int nId)
{
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

void CWindowWatcher::SetText(HWND hDlg, int nId, const std::string& strText)
{
    DWORD_PTR nResult = 0;
    SendMessageTimeoutA(GetDlgItem(hDlg, nId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()),
                        SMTO_ABORTIFHUNG, kReadTimeoutMs, &nResult);
}

void CWindowWatcher::Type(HWND hDlg, int nId, const std::string& strText)
{
    HWND hTarget = GetDlgItem(hDlg, nId);
    HWND hEdit = FindWindowExA(hTarget, nullptr, "Edit", nullptr);  // the edit field of a combo box
    if (hEdit != nullptr)
        hTarget = hEdit;
    for (unsigned char c : strText) {
        DWORD_PTR nResult = 0;
        SendMessageTimeoutA(hTarget, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, kReadTimeoutMs, &nResult);
    }
}

void CWindowWatcher::PressKey(HWND hWnd, WORD wVirtualKey)
{
    PostMessageA(hWnd, WM_KEYDOWN, wVirtualKey, 1);
    PostMessageA(hWnd, WM_KEYUP, wVirtualKey, 0xC0000001);
}

void CWindowWatcher::ProgressRange(HWND hProgress, int* pnLow, int* pnHigh)
{
    PBRANGE range {};
    SendMessageA(hProgress, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    *pnLow = range.iLow;
    *pnHigh = range.iHigh;
}

int CWindowWatcher::ProgressPos(HWND hProgress) { return static_cast<int>(SendMessageA(hProgress, PBM_GETPOS, 0, 0)); }

}  // namespace qx::host
