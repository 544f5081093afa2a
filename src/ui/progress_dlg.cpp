#include "ui/progress_dlg.h"

namespace qx {

CInstallProgressDlg* g_pInstallProgressDlg = nullptr;

void CInstallProgressDlg::DoDataExchange(CDataExchange& dx)
{
    DDX_Control(dx, IDC_PROGRESS_BAR, m_progress);
    DDX_Text(dx, IDC_PROGRESS_TEXT, m_strText);
}

void CloseInstallProgressDlg()
{
    CInstallProgressDlg* pDlg = g_pInstallProgressDlg;
    g_pInstallProgressDlg = nullptr;
    delete pDlg;  // destroys the window
}

void CUpdateProgressDlg::DoDataExchange(CDataExchange& dx) { DDX_Control(dx, IDC_PROGRESS_BAR, m_progress); }

bool CUpdateProgressDlg::Open() { return Create(nullptr); }

void CUpdateProgressDlg::SetRange(int nLower, int nUpper) { m_progress.SetRange32(nLower, nUpper); }

void CUpdateProgressDlg::SetPos(int nPos) { m_progress.SetPos(nPos); }

}  // namespace qx
