// A watcher thread for the test host: it finds the top-level windows of this process by caption or
// class, reads their controls (id, class, text, styles, progress range and position), and can click
// buttons, type into edit fields and dismiss message boxes, recording what they said.
//
// Windows of a modal loop (message boxes, modal dialogs, the folder dialog) are handled from the
// watcher thread while the test's thread waits inside the export. A modeless window of the test's
// own thread is read from the test's thread with the static helpers (sent messages are only
// answered by the owning thread's message processing).
#pragma once

#include <windows.h>

#include "qxcall/host_lock.h"

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qx::host {

struct CControlInfo {
    HWND hWnd = nullptr;
    int nId = 0;
    std::string strClass;
    std::string strText;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    bool bShowsIcon = false;  // an SS_ICON static that is visible and holds an icon
};

struct CWindowInfo {
    HWND hWnd = nullptr;
    std::string strCaption;
    std::string strClass;
    DWORD dwStyle = 0;
    DWORD dwExStyle = 0;
    std::vector<CControlInfo> controls;
    // A message box's text (its static control 0xFFFF), when it is one.
    std::string MessageText() const;
    // A dialog of static texts and buttons with an OK or Cancel button: a message box.
    bool IsMessageBox() const;
    const CControlInfo* Control(int nId) const;
};

class CWindowWatcher {
public:
    using Action = std::function<void(const CWindowInfo&)>;

    CWindowWatcher();
    ~CWindowWatcher();
    CWindowWatcher(const CWindowWatcher&) = delete;
    CWindowWatcher& operator=(const CWindowWatcher&) = delete;

    // Runs action on the watcher thread, once per window, for each new visible top-level window of
    // this process whose caption (empty: any) and class (empty: any) match.
    void OnWindow(const std::string& strCaption, const std::string& strClass, Action action);
    // Every message box is recorded (see Boxes()) and answered with OK.
    void DismissMessageBoxes();
    // The message boxes dismissed so far, as seen on the screen.
    std::vector<CWindowInfo> Boxes() const;
    // Every window the watcher has seen appear, in order.
    std::vector<CWindowInfo> Seen() const;
    // Waits (up to nTimeoutMs) until a matching window has been seen; its info, or an empty one.
    CWindowInfo WaitFor(const std::string& strCaption, const std::string& strClass, DWORD nTimeoutMs) const;

    // ---- helpers usable from any thread ----
    static CWindowInfo Read(HWND hWnd);
    static std::vector<HWND> TopLevelWindowsOfThisProcess();
    static HWND Find(const std::string& strCaption, const std::string& strClass);
    static void Click(HWND hDlg, int nId);
    static void SetText(HWND hDlg, int nId, const std::string& strText);
    static void Type(HWND hDlg, int nId, const std::string& strText);  // as keystrokes (limits apply)
    static void PressKey(HWND hWnd, WORD wVirtualKey);
    static void ProgressRange(HWND hProgress, int* pnLow, int* pnHigh);
    static int ProgressPos(HWND hProgress);

private:
    struct CRule {
        std::string strCaption;
        std::string strClass;
        Action action;
    };
    static DWORD WINAPI ThreadProc(LPVOID pvWatcher);
    void Run();

    // A Win32 thread and a critical section: the 32-bit test programs have no thread library.
    mutable CHostSection m_section;
    std::vector<CRule> m_rules;
    std::vector<CWindowInfo> m_seen;
    std::vector<CWindowInfo> m_boxes;
    std::set<HWND> m_known;
    std::atomic<bool> m_bStop {false};
    HANDLE m_hThread = nullptr;
};

}  // namespace qx::host
