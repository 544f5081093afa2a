// The server picker: a modal window on template 107 whose sorted drop-down list holds the domain's
// controllers as the browser names them, and whose edit field also takes a name typed by hand.
#pragma once

#include <string>

#include "domain/domain.h"
#include "ui/dialog.h"

namespace qx {

class CSelectServerDlg : public CDialog {
public:
    CSelectServerDlg();

    CComboBox m_comboServer;  // control 1008: the list and its edit field
    std::string m_strServer;  // the edit field's text, read when the user presses OK

protected:
    // Binds control 1008; loading puts the (empty) m_strServer into the edit field, so that no
    // entry is selected; saving reads the whole text of the edit field.
    void DoDataExchange(CDataExchange& dx) override;
    // The standard initialisation, then the edit field's limit and the list of controllers.
    BOOL OnInitDialog() override;
    // Saves the data exchange, then the standard OK (which saves again and ends with IDOK).
    void OnOK() override;

private:
    // Adds every controller the browser reports, in its order and spelling; the combo box keeps
    // the list sorted by its own style. A failed enumeration leaves the list empty.
    void FillServerList();
};

}  // namespace qx
