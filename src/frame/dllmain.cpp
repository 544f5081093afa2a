// The DLL's entry point: it only remembers the module handle (resources are loaded from it).
#include "frame/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    if (dwReason == DLL_PROCESS_ATTACH)
        qx::g_hInstance = hInstance;
    return TRUE;
}
