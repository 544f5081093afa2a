#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

// InitCommonControlsEx is missing from the comctl32 4.00 of NT 4.0: looked up at run time in the
// comctl32 that the DLL imports for InitCommonControls.
typedef BOOL(WINAPI* PFN_INITCOMMONCONTROLSEX)(const INITCOMMONCONTROLSEX*);

class CWin32Ui final : public IUi {
public:
    CWin32Ui()
        : m_pfnInitCommonControlsEx(reinterpret_cast<PFN_INITCOMMONCONTROLSEX>(reinterpret_cast<void (*)()>(
              ::GetProcAddress(::GetModuleHandleA("comctl32.dll"), "InitCommonControlsEx"))))
    {
    }

    int MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType) override
    {
        return ::MessageBoxA(hWnd, pszText, pszCaption, uType);
    }
    BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit) override
    {
        if (m_pfnInitCommonControlsEx == nullptr) {
            ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // as Windows answers for a missing function
            return FALSE;
        }
        return m_pfnInitCommonControlsEx(pInit);
    }
    void InitCommonControls() override { ::InitCommonControls(); }
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

private:
    const PFN_INITCOMMONCONTROLSEX m_pfnInitCommonControlsEx;
};

}  // namespace

IUi& Win32Ui()
{
    static CWin32Ui s_ui;
    return s_ui;
}

}  // namespace qx
