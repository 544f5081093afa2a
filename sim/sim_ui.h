// Simulated windows: message boxes recorded with their exact flags and answered by script; dialogs
// created from registered templates, their controls (static, edit, progress bar, combo box) holding
// text, ranges, positions and items; modal dialogs played by a scripted user; the shell's folder
// dialog answered by script. Every window and folder item handed out is accounted for. A template
// with a common control (the progress bar) is created only once its class has been registered.
// With InitCommonControlsEx made absent, comctl32 is that of NT 4.0 (4.00), whose bar ignores the
// messages of 4.70 (PBM_SETRANGE32, PBM_GETRANGE, PBM_GETPOS).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_files.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

struct CSimControlTemplate {
    int nId = 0;
    std::string strClass;  // "Button", "Edit", "Static", "ComboBox", "msctls_progress32", ...
    std::string strText;
    DWORD dwStyle = 0;
};

struct CSimDialogTemplate {
    std::string strCaption;
    std::vector<CSimControlTemplate> controls;
};

struct CSimMessageBox {
    HWND hOwner = nullptr;
    std::string strText;
    std::string strCaption;
    UINT uType = 0;
};

struct CSimWindow {
    HWND hWnd = nullptr;
    HWND hParent = nullptr;  // the dialog of a control; the owner of a dialog
    int nTemplate = 0;  // dialogs: the template number
    int nId = 0;  // controls: the control id
    std::string strName;  // "108" for a dialog, "108/1004" for a control (as the log names them)
    std::string strClass;
    std::string strText;
    DWORD dwStyle = 0;
    DLGPROC pfnProc = nullptr;
    bool bAlive = true;
    bool bModal = false;
    bool bEnded = false;
    INT_PTR nResult = 0;
    // progress bar
    int nLower = 0;
    int nUpper = 100;
    int nPos = 0;
    std::vector<int> positions;  // every position set, in order
    // combo box
    std::vector<std::string> items;
    int nTextLimit = 0;  // 0: none
    std::vector<HWND> children;
};

struct CSimFolderAnswer {
    bool bCancel = false;
    bool bFileSystem = true;  // false: an item without a path (Control Panel, a printer)
    std::string strPath;  // what SHGetPathFromIDListA gives
    std::string strDisplayName;  // what the dialog puts into pszDisplayName
    std::string strChangeDirTo;  // the dialog moves the process's current directory here
};

struct CSimBrowseCall {
    HWND hwndOwner = nullptr;
    bool bRootGiven = false;
    bool bDisplayNameGiven = false;
    std::string strTitle;
    UINT ulFlags = 0;
    bool bCallbackGiven = false;
};

class CSimUi final : public IUi {
public:
    CSimUi(CSimKernel& kernel, CSimFiles& files) : m_kernel(kernel), m_files(files) { }

    // ---- set-up ----
    void RegisterTemplate(int nTemplate, const CSimDialogTemplate& dialogTemplate);
    int m_nBoxAnswer = IDOK;
    // Each modal dialog runs the next script (front first); without one the user closes it.
    std::deque<std::function<void(CSimUi&, HWND)>> m_modalScripts;
    std::deque<CSimFolderAnswer> m_folderAnswers;  // without one the user cancels

    // ---- what happened ----
    std::vector<CSimMessageBox> m_boxes;
    std::vector<CSimBrowseCall> m_browseCalls;
    std::vector<std::string> m_log;  // "create 108", "range 108 0..100", "pos 108 5", "text 108/1009 ...",
                                     // "destroy 108", "box <caption>"
    int m_nCommonControlsInits = 0;
    std::set<std::string> m_commonClasses;  // the common-control classes registered so far

    // ---- the scripted user and inspection ----
    CSimWindow* Window(HWND hWnd);
    CSimWindow* Control(HWND hDlg, int nId);
    // The live dialogs of a template, oldest first.
    std::vector<HWND> Dialogs(int nTemplate) const;
    int CreatedCount(int nTemplate) const;
    void TypeText(HWND hDlg, int nId, const std::string& strText);  // respects the control's limit
    void Click(HWND hDlg, int nId);  // a button: WM_COMMAND
    std::string Text(HWND hDlg, int nId);

    // ---- IUi ----
    int MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType) override;
    BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit) override;
    void InitCommonControls() override;
    HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                            LPARAM lInitParam) override;
    INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                            LPARAM lInitParam) override;
    BOOL EndDialog(HWND hDlg, INT_PTR nResult) override;
    BOOL DestroyWindow(HWND hWnd) override;
    BOOL IsWindow(HWND hWnd) override;
    HWND GetDlgItem(HWND hDlg, int nIDDlgItem) override;
    LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    BOOL SetWindowTextA(HWND hWnd, LPCSTR pszString) override;
    int GetWindowTextA(HWND hWnd, LPSTR pszString, int nMaxCount) override;
    int GetWindowTextLengthA(HWND hWnd) override;
    PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA pbi) override;
    BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) override;
    void CoTaskMemFree(LPVOID pv) override;

private:
    // Calls a window procedure, as the code of a procedure (CSimCodeScope).
    INT_PTR CallProcedure(DLGPROC pfnProc, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(const char* pszCall, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog, bool bModal);
    std::string Name(const CSimWindow& window) const;

    CSimKernel& m_kernel;
    CSimFiles& m_files;
    std::map<int, CSimDialogTemplate> m_templates;
    std::map<HWND, CSimWindow> m_windows;
    std::map<int, int> m_createdCounts;
    std::map<const void*, CSimFolderAnswer> m_pidls;
};

}  // namespace qx::sim
