// Points a loaded module's imports of one function at a replacement, by rewriting its import
// address table. The host hooks use it to watch what QXINST.dll asks of the system.
#pragma once

#include <windows.h>

namespace qx::host {

// Every import of pszFunction by hModule (from pszDll, or from any module when pszDll is null) is
// pointed at pfnNew; *ppfnOld receives the address it held before (left alone when that was pfnNew
// already, so that a second patch keeps the real one). False when the module imports no such function.
bool PatchImport(HMODULE hModule, const char* pszDll, const char* pszFunction, ULONG_PTR pfnNew, ULONG_PTR* ppfnOld);

}  // namespace qx::host
