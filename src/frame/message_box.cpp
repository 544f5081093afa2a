#include "frame/message_box.h"

#include "platform/platform.h"

namespace qx {

namespace {
bool g_bUnattended = false;
}  // namespace

void ShowMessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT uType)
{
    if (!g_bUnattended) {
        Ui().MessageBoxA(nullptr, pszText, pszCaption, uType);
        return;
    }
    if (IExportObserver* pObserver = CurrentPlatform().pObserver)
        pObserver->MessageBoxLeftOut(pszText, pszCaption, uType);
}

void SetUnattendedMode(bool bUnattended) { g_bUnattended = bUnattended; }

}  // namespace qx
