#include "ui/dialog.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "frame/module.h"
#include "platform/reason.h"

namespace qx {

LRESULT CWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) const
{
    return m_hWnd == nullptr ? 0 : Ui().SendMessageA(m_hWnd, uMsg, wParam, lParam);
}

std::string CWnd::GetWindowText() const
{
    if (m_hWnd == nullptr)
        return std::string();
    int cch = Ui().GetWindowTextLengthA(m_hWnd);
    if (cch <= 0)
        return std::string();
    std::vector<char> text(static_cast<size_t>(cch) + 1, '\0');
    int cchGot = Ui().GetWindowTextA(m_hWnd, text.data(), cch + 1);
    return std::string(text.data(), cchGot > 0 ? static_cast<size_t>(cchGot) : 0);
}

void CWnd::SetWindowText(const char* pszText) const
{
    if (m_hWnd != nullptr)
        Ui().SetWindowTextA(m_hWnd, pszText != nullptr ? pszText : "");
}

namespace {
// Whether the progress bars of the comctl32 loaded take PBM_SETRANGE32: comctl32 4.70 and later,
// which have InitCommonControlsEx. Found out each time a dialog registers the common controls,
// before any of its bars is given a range.
bool g_bBarsTakeRange32 = true;
constexpr int64_t kShortRangeTop = 0xFFFF;  // PBM_SETRANGE's bounds are 16-bit words
}  // namespace

void CProgressCtrl::SetRange32(int nLower, int nUpper)
{
    m_bShortRange = !g_bBarsTakeRange32;
    if (!m_bShortRange) {
        SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(nLower), static_cast<LPARAM>(nUpper));
        return;
    }
    m_nLower = nLower;
    m_nUpper = nUpper;
    SendMessage(PBM_SETRANGE, 0,
                static_cast<LPARAM>(static_cast<DWORD>(ToShortRange(nLower)) |
                                    (static_cast<DWORD>(ToShortRange(nUpper)) << 16)));
}

// A range within 0..65535 is kept as it is. A wider one is laid onto 0..65535 from its smaller bound
// to its larger, in 64-bit steps (a span of up to 2^32 - 1 times 65535): the bounds keep their order
// (a lower bound above the upper one stays so, for the control to treat as it would the 32-bit
// range), a position keeps its share, and one outside the range is first brought to its nearer
// bound, as the control does. Equal bounds make 0..0.
int CProgressCtrl::ToShortRange(int nValue) const
{
    const int64_t nMin = std::min(m_nLower, m_nUpper);
    const int64_t nMax = std::max(m_nLower, m_nUpper);
    const int64_t nAt = std::clamp<int64_t>(nValue, nMin, nMax);
    if (nMin >= 0 && nMax <= kShortRangeTop)
        return static_cast<int>(nAt);
    if (nMax == nMin)
        return 0;
    return static_cast<int>((nAt - nMin) * kShortRangeTop / (nMax - nMin));
}

void CProgressCtrl::SetPos(int nPos) const
{
    SendMessage(PBM_SETPOS, static_cast<WPARAM>(m_bShortRange ? ToShortRange(nPos) : nPos), 0);
}

int CComboBox::AddString(const char* pszItem) const
{
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pszItem)));
}

void CComboBox::LimitText(int nMaxChars) const { SendMessage(CB_LIMITTEXT, static_cast<WPARAM>(nMaxChars), 0); }

int CComboBox::GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }

void DDX_Control(CDataExchange& dx, int nIdc, CWnd& control)
{
    if (control.m_hWnd == nullptr)
        control.m_hWnd = Ui().GetDlgItem(dx.m_hDlg, nIdc);
}

void DDX_Text(CDataExchange& dx, int nIdc, std::string& strValue)
{
    CWnd control;
    control.m_hWnd = Ui().GetDlgItem(dx.m_hDlg, nIdc);
    if (control.m_hWnd == nullptr)
        return;
    if (dx.m_bSaveAndValidate)
        strValue = control.GetWindowText();
    else
        control.SetWindowText(strValue.c_str());
    control.m_hWnd = nullptr;
}

std::map<HWND, CDialog*>& CDialog::Dialogs()
{
    static std::map<HWND, CDialog*> s_dialogs;
    return s_dialogs;
}

CDialog::~CDialog() { DestroyWindow(); }

namespace {
void InitControls()
{
    INITCOMMONCONTROLSEX init {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    g_bBarsTakeRange32 = true;
    if (!Ui().InitCommonControlsEx(&init)) {
        // comctl32 4.00 (NT 4.0): the one way, registering every class; its bars have 16-bit ranges.
        g_bBarsTakeRange32 = Sys().GetLastError() != ERROR_CALL_NOT_IMPLEMENTED;
        Ui().InitCommonControls();
    }
}
}  // namespace

bool CDialog::Create(HWND hParent)
{
    InitControls();
    m_bModal = false;
    HWND hWnd = Ui().CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(m_nIdTemplate), hParent, DialogProc,
                                        reinterpret_cast<LPARAM>(this));
    m_hWnd = hWnd;
    if (hWnd != nullptr && m_bFailed)
        DestroyWindow();  // its initialisation failed: the window is not kept
    return m_hWnd != nullptr;
}

INT_PTR CDialog::DoModal(HWND hParent)
{
    InitControls();
    m_bModal = true;
    INT_PTR nResult = Ui().DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(m_nIdTemplate), hParent, DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return nResult;
}

bool CDialog::UpdateData(bool bSaveAndValidate)
{
    if (m_hWnd == nullptr)
        return false;
    CDataExchange dx(m_hWnd, bSaveAndValidate);
    DoDataExchange(dx);
    return true;
}

void CDialog::EndDialog(INT_PTR nResult) const
{
    if (m_hWnd != nullptr)
        Ui().EndDialog(m_hWnd, nResult);
}

void CDialog::DestroyWindow()
{
    if (m_hWnd != nullptr && !m_bModal) {
        HWND hWnd = m_hWnd;
        Ui().DestroyWindow(hWnd);
        Dialogs().erase(hWnd);
    }
    m_hWnd = nullptr;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (m_bModal && UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    if (m_bModal)
        EndDialog(IDCANCEL);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CDialog* pDlg = nullptr;
    if (uMsg == WM_INITDIALOG) {
        pDlg = reinterpret_cast<CDialog*>(lParam);
        pDlg->m_hWnd = hWnd;
        pDlg->m_bFailed = false;
    } else {
        auto it = Dialogs().find(hWnd);
        if (it == Dialogs().end())
            return FALSE;
        pDlg = it->second;
    }
    try {
        if (uMsg == WM_INITDIALOG)
            Dialogs()[hWnd] = pDlg;
        return pDlg->OnMessage(hWnd, uMsg, wParam);
    } catch (...) {
        // The exception ends here, never in the system's frames. It ends a modal window, and so
        // the export, as cancelled: it is the export's reason. A modeless window's export goes on.
        pDlg->m_bFailed = true;
        if (pDlg->m_bModal) {
            ReasonForException();
            Ui().EndDialog(hWnd, IDCANCEL);
        }
        return TRUE;
    }
}

BOOL CDialog::OnMessage(HWND hWnd, UINT uMsg, WPARAM wParam)
{
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        Dialogs().erase(hWnd);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace qx
