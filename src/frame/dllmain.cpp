// The DLL's entry point: it remembers the module handle (resources are loaded from it), and when a
// host unloads the library with the progress window still open, it destroys that window, whose
// procedure would otherwise be gone with the library.
#include "frame/module.h"
#include "ui/progress_dlg.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        qx::g_hInstance = hInstance;
    else if (dwReason == DLL_PROCESS_DETACH && pReserved == nullptr)
        qx::CloseInstallProgressDlg();  // FreeLibrary, not the end of the process
    return TRUE;
}
