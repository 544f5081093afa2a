// Exports of the installation progress window ("Installing Services"), which the host opens, drives
// and closes around long steps of its script. With no window open, the setting exports do nothing.
#include <memory>
#include <utility>

#include "frame/export_guard.h"
#include "qxinst.h"
#include "ui/progress_dlg.h"

using qx::CInstallProgressDlg;
using qx::g_pInstallProgressDlg;

namespace {

// Runs a change of the open window between a reading and a writing data exchange, so that the label
// keeps its text; nothing happens when no window is open.
template <typename F> void ChangeOpenWindow(F&& change)
{
    CInstallProgressDlg* pDlg = g_pInstallProgressDlg.get();
    if (pDlg == nullptr)
        return;
    pDlg->UpdateData(true);
    change(*pDlg);
    pDlg->UpdateData(false);
}

}  // namespace

/******************************************************************************
 * SPOpen [QXINST.@]
 *
 * Opens the installation progress window: modeless, without owner, centred and
 * topmost, with an empty label and the bar at the control's defaults. With a
 * window already open it does nothing (the window keeps its range, position
 * and label). When the window cannot be created no window is kept.
 *
 * RETURNS
 *  Nothing.
 */
extern "C" void QXAPI SPOpen(void)
{
    qx::GuardVoid(__func__, [&] {
        if (g_pInstallProgressDlg != nullptr)
            return;
        auto pDlg = std::make_unique<CInstallProgressDlg>();
        if (pDlg->Create(nullptr))
            g_pInstallProgressDlg = std::move(pDlg);
        else
            qx::ReasonCall("CreateDialogParamA", nullptr, qx::Sys().GetLastError());
    });
}

/******************************************************************************
 * SPClose [QXINST.@]
 *
 * Closes the installation progress window, if one is open.
 *
 * RETURNS
 *  Nothing.
 */
extern "C" void QXAPI SPClose(void)
{
    qx::GuardVoid(__func__, [&] { qx::CloseInstallProgressDlg(); });
}

/******************************************************************************
 * SPSetRange [QXINST.@]
 *
 * Sets the range of the progress window's bar, with full 32-bit bounds. On
 * comctl32 4.00 (NT 4.0), whose bar takes 16-bit bounds only, the range and
 * the positions set after it are laid onto 0..65535: the bar shows the same
 * share of its range.
 *
 * PARAMS
 *  nLower [I] The bar's lower bound.
 *  nUpper [I] The bar's upper bound.
 *
 * RETURNS
 *  Nothing. Does nothing when no window is open.
 */
extern "C" void QXAPI SPSetRange(int nLower, int nUpper)
{
    qx::GuardVoid(__func__, [&] {
        ChangeOpenWindow([&](CInstallProgressDlg& dlg) { dlg.m_progress.SetRange32(nLower, nUpper); });
    });
}

/******************************************************************************
 * SPSetPos [QXINST.@]
 *
 * Sets the position of the progress window's bar.
 *
 * PARAMS
 *  nPos [I] The new position.
 *
 * RETURNS
 *  Nothing. Does nothing when no window is open.
 */
extern "C" void QXAPI SPSetPos(int nPos)
{
    qx::GuardVoid(__func__, [&] { ChangeOpenWindow([&](CInstallProgressDlg& dlg) { dlg.m_progress.SetPos(nPos); }); });
}

/******************************************************************************
 * SPSetText [QXINST.@]
 *
 * Sets the label of the progress window.
 *
 * PARAMS
 *  pszText [I] The new label; NULL empties it.
 *
 * RETURNS
 *  Nothing. Does nothing when no window is open.
 */
extern "C" void QXAPI SPSetText(const char* pszText)
{
    qx::GuardVoid(__func__, [&] {
        ChangeOpenWindow([&](CInstallProgressDlg& dlg) { dlg.m_strText = pszText != nullptr ? pszText : ""; });
    });
}
