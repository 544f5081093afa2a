#include "ui/progress_dlg.h"

namespace qx {

std::unique_ptr<CInstallProgressDlg> g_pInstallProgressDlg;

void CInstallProgressDlg::DoDataExchange(CDataExchange& dx)
{
    DDX_Control(dx, IDC_PROGRESS_BAR, m_progress);
    DDX_Text(dx, IDC_PROGRESS_TEXT, m_strText);
}

void CloseInstallProgressDlg()
{
    g_pInstallProgressDlg.reset();  // empties the slot, then destroys the window
}

void AbandonInstallProgressDlg() { static_cast<void>(g_pInstallProgressDlg.release()); }

void CUpdateProgressDlg::DoDataExchange(CDataExchange& dx) { DDX_Control(dx, IDC_PROGRESS_BAR, m_progress); }

bool CUpdateProgressDlg::Open() { return Create(nullptr); }

void CUpdateProgressDlg::SetRange(int nLower, int nUpper) { m_progress.SetRange32(nLower, nUpper); }

void CUpdateProgressDlg::SetPos(int nPos) { m_progress.SetPos(nPos); }

}  // namespace qx
