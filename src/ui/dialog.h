// A minimal dialog layer in the manner of the classic windowing frameworks: a dialog object built on
// a template of the DLL's resources, data exchange between members and controls, and thin control
// wrappers. Everything goes through the platform's IUi, so the same dialogs run on Windows and on
// the simulated platform.
//
//   class CMyDlg : public CDialog {
//   public:
//       CMyDlg() : CDialog(kIddMy) {}
//       std::string m_strName;
//   protected:
//       void DoDataExchange(CDataExchange& dx) override { DDX_Text(dx, kIdcName, m_strName); }
//   };
#pragma once

#include <map>
#include <string>

#include "platform/platform.h"

namespace qx {

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    std::string GetWindowText() const;
    void SetWindowText(const char* pszText) const;

    HWND m_hWnd = nullptr;
};

class CProgressCtrl : public CWnd {
public:
    // 32-bit bounds (PBM_SETRANGE32), so ranges above 65535 stay whole. The comctl32 4.00 of NT 4.0
    // has only the 16-bit PBM_SETRANGE: there the range, and each position after it, are laid onto
    // 0..65535, so that the bar shows the same share of its range.
    void SetRange32(int nLower, int nUpper);
    void SetPos(int nPos) const;

private:
    // A value of the 32-bit range as PBM_SETRANGE's bar takes it (comctl32 4.00).
    int ToShortRange(int nValue) const;

    bool m_bShortRange = false;  // the range was laid onto 0..65535
    int m_nLower = 0;
    int m_nUpper = 0;
};

class CComboBox : public CWnd {
public:
    int AddString(const char* pszItem) const;
    void LimitText(int nMaxChars) const;
    int GetCount() const;
};

class CDataExchange {
public:
    CDataExchange(HWND hDlg, bool bSaveAndValidate) : m_hDlg(hDlg), m_bSaveAndValidate(bSaveAndValidate) { }
    HWND m_hDlg;
    bool m_bSaveAndValidate;  // true: controls to members; false: members to controls
};

// Binds a control object to the dialog's control nIdc (the first exchange only).
void DDX_Control(CDataExchange& dx, int nIdc, CWnd& control);
// Moves the whole text of control nIdc to or from a member.
void DDX_Text(CDataExchange& dx, int nIdc, std::string& strValue);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIdTemplate) : m_nIdTemplate(nIdTemplate) { }
    // Destroying the object destroys its window if it still exists.
    ~CDialog() override;

    UINT GetTemplateId() const { return m_nIdTemplate; }
    // Creates the window as a modeless dialog; false when it could not be created or its
    // initialisation failed (the window is then destroyed).
    bool Create(HWND hParent = nullptr);
    // Runs the dialog modally: IDOK, IDCANCEL (also when handling a message failed), or -1 when it
    // could not be created.
    INT_PTR DoModal(HWND hParent = nullptr);
    // Runs one data exchange; true on success.
    bool UpdateData(bool bSaveAndValidate = true);
    void EndDialog(INT_PTR nResult) const;
    void DestroyWindow();

protected:
    virtual void DoDataExchange(CDataExchange& dx) { }
    // The standard initialisation: one loading exchange (members into controls).
    virtual BOOL OnInitDialog();
    // The standard OK: a saving exchange, then the end with IDOK (modal dialogs).
    virtual void OnOK();
    // The standard cancel: the end with IDCANCEL (modal dialogs).
    virtual void OnCancel();

private:
    // No exception leaves it: one raised while a message is handled (memory running out in a text or
    // a list, say) ends a modal dialog as cancelled and fails a modeless one's creation.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    BOOL OnMessage(HWND hWnd, UINT uMsg, WPARAM wParam);
    static std::map<HWND, CDialog*>& Dialogs();

    UINT m_nIdTemplate;
    bool m_bModal = false;
    bool m_bFailed = false;  // handling a message raised an exception
};

}  // namespace qx
