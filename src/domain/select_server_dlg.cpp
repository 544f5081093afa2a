#include "domain/select_server_dlg.h"

#include "resources/resource.h"

namespace qx {

CSelectServerDlg::CSelectServerDlg() : CDialog(IDD_SELECT_SERVER) { }

void CSelectServerDlg::DoDataExchange(CDataExchange& dx)
{
    DDX_Control(dx, IDC_SELECT_SERVER_COMBO, m_comboServer);
    DDX_Text(dx, IDC_SELECT_SERVER_COMBO, m_strServer);
}

BOOL CSelectServerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // The host's buffer holds 260 bytes: a typed name can never grow past 259 characters.
    m_comboServer.LimitText(static_cast<int>(kMaxServerNameChars));
    FillServerList();
    return TRUE;
}

void CSelectServerDlg::OnOK()
{
    UpdateData(true);
    CDialog::OnOK();
}

void CSelectServerDlg::FillServerList()
{
    CServerList servers;
    if (servers.Enumerate() != NERR_Success)
        return;
    for (DWORD n = 0; n < servers.GetCount(); ++n) {
        char szServer[kServerNameSize];
        if (servers.GetName(n, szServer))
            m_comboServer.AddString(szServer);
    }
}

}  // namespace qx
