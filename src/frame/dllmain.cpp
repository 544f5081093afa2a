// The DLL's entry point: it remembers the module handle (resources are loaded from it), and when a
// host unloads the library with the progress window still open, it destroys that window, whose
// procedure would otherwise be gone with the library. When the process ends with the window open,
// the window goes with the process: the module gives it up rather than destroy it while unloading.
#include "frame/module.h"
#include "ui/progress_dlg.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        qx::g_hInstance = hInstance;
    else if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        qx::CloseInstallProgressDlg();  // FreeLibrary, not the end of the process
    else if (dwReason == DLL_PROCESS_DETACH)
        qx::AbandonInstallProgressDlg();
    return TRUE;
}
