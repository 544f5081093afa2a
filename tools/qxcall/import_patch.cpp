#include "import_patch.h"

#include <cstring>

namespace qx::host {

bool PatchImport(HMODULE hModule, const char* pszDll, const char* pszFunction, ULONG_PTR pfnNew, ULONG_PTR* ppfnOld)
{
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return false;
    bool bPatched = false;
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress); pImport->Name != 0;
         ++pImport) {
        if (pszDll != nullptr && _stricmp(reinterpret_cast<const char*>(pBase + pImport->Name), pszDll) != 0)
            continue;
        auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(
            pBase + (pImport->OriginalFirstThunk != 0 ? pImport->OriginalFirstThunk : pImport->FirstThunk));
        auto* pAddresses = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; ++pNames, ++pAddresses) {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), pszFunction) != 0)
                continue;
            DWORD dwOld = 0;
            if (!VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), PAGE_READWRITE, &dwOld))
                return false;
            if (pAddresses->u1.Function != pfnNew)
                *ppfnOld = pAddresses->u1.Function;
            pAddresses->u1.Function = pfnNew;
            VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), dwOld, &dwOld);
            bPatched = true;
        }
    }
    return bPatched;
}

}  // namespace qx::host
