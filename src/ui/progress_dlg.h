// The two progress windows. Neither has buttons or takes input; each is a modeless dialog that stays
// on screen while work goes on in the caller's thread.
//
//   CInstallProgressDlg  "Installing Services" (template 108): a label and a bar, driven by the host
//                        through the SP exports; its one instance lives in g_pInstallProgressDlg.
//   CUpdateProgressDlg   "Updating Settings, Please Wait...." (template 129): a bar only, shown by the
//                        token table for the length of one load.
#pragma once

#include <memory>
#include <string>

#include "resources/resource.h"
#include "ui/dialog.h"

namespace qx {

class CInstallProgressDlg : public CDialog {
public:
    CInstallProgressDlg() : CDialog(IDD_INSTALL_PROGRESS) { }

    CProgressCtrl m_progress;  // control 1004
    std::string m_strText;  // the label, control 1009

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

// The module's one installation progress window, which it owns: empty while none is open.
extern std::unique_ptr<CInstallProgressDlg> g_pInstallProgressDlg;

// Destroys the installation progress window, if one is open, and empties the slot.
void CloseInstallProgressDlg();
// Gives up the window without destroying it, when the process ends with it open (its windows go
// with it; nothing is destroyed from the module's unload then).
void AbandonInstallProgressDlg();

class CUpdateProgressDlg : public CDialog {
public:
    CUpdateProgressDlg() : CDialog(IDD_UPDATE_PROGRESS) { }

    // Creates the window, modeless and without owner; false when it could not be created (the
    // operations below then do nothing).
    bool Open();
    // 32-bit bounds, as the host's window has.
    void SetRange(int nLower, int nUpper);
    void SetPos(int nPos);

    CProgressCtrl m_progress;  // control 1004

protected:
    void DoDataExchange(CDataExchange& dx) override;
};

}  // namespace qx
