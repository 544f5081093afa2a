#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32Ui final : public IUi {
public:
    int MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType) override
    {
        return ::MessageBoxA(hWnd, pszText, pszCaption, uType);
    }
    BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit) override { return ::InitCommonControlsEx(pInit); }
    HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                            LPARAM lInitParam) override
    {
        return ::CreateDialogParamA(hInstance, pszTemplate, hWndParent, pfnDialog, lInitParam);
    }
    INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                            LPARAM lInitParam) override
    {
        return ::DialogBoxParamA(hInstance, pszTemplate, hWndParent, pfnDialog, lInitParam);
    }
    BOOL EndDialog(HWND hDlg, INT_PTR nResult) override { return ::EndDialog(hDlg, nResult); }
    BOOL DestroyWindow(HWND hWnd) override { return ::DestroyWindow(hWnd); }
    BOOL IsWindow(HWND hWnd) override { return ::IsWindow(hWnd); }
    HWND GetDlgItem(HWND hDlg, int nIDDlgItem) override { return ::GetDlgItem(hDlg, nIDDlgItem); }
    LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) override
    {
        return ::SendMessageA(hWnd, uMsg, wParam, lParam);
    }
    BOOL SetWindowTextA(HWND hWnd, LPCSTR pszString) override { return ::SetWindowTextA(hWnd, pszString); }
    int GetWindowTextA(HWND hWnd, LPSTR pszString, int nMaxCount) override
    {
        return ::GetWindowTextA(hWnd, pszString, nMaxCount);
    }
    int GetWindowTextLengthA(HWND hWnd) override { return ::GetWindowTextLengthA(hWnd); }
    PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA pbi) override { return ::SHBrowseForFolderA(pbi); }
    BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) override
    {
        return ::SHGetPathFromIDListA(pidl, pszPath);
    }
    void CoTaskMemFree(LPVOID pv) override { ::CoTaskMemFree(pv); }
};

}  // namespace

IUi& Win32Ui()
{
    static CWin32Ui s_ui;
    return s_ui;
}

}  // namespace qx
