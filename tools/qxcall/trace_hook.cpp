#include "trace_hook.h"

#include <cstring>

#include "host_lock.h"

namespace qx::host {

namespace {

typedef void(WINAPI* PFN_OUTPUTDEBUGSTRINGA)(LPCSTR);

CHostSection g_traceSection;
std::vector<std::string> g_traceLines;
PFN_OUTPUTDEBUGSTRINGA g_pfnRealOutputDebugStringA = nullptr;

void WINAPI RecordingOutputDebugStringA(LPCSTR pszText)
{
    {
        CHostLock lock(g_traceSection);
        g_traceLines.emplace_back(pszText != nullptr ? pszText : "");
    }
    if (g_pfnRealOutputDebugStringA != nullptr)
        g_pfnRealOutputDebugStringA(pszText);
}

}  // namespace

bool CTraceHook::Install(HMODULE hModule)
{
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return false;
    bool bPatched = false;
    // Whichever module it is imported from (kernel32.dll, or an API set on newer systems).
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress); pImport->Name != 0;
         ++pImport) {
        auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(
            pBase + (pImport->OriginalFirstThunk != 0 ? pImport->OriginalFirstThunk : pImport->FirstThunk));
        auto* pAddresses = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; ++pNames, ++pAddresses) {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), "OutputDebugStringA") != 0)
                continue;
            DWORD dwOld = 0;
            if (!VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), PAGE_READWRITE, &dwOld))
                return false;
            if (reinterpret_cast<PFN_OUTPUTDEBUGSTRINGA>(pAddresses->u1.Function) != &RecordingOutputDebugStringA)
                g_pfnRealOutputDebugStringA = reinterpret_cast<PFN_OUTPUTDEBUGSTRINGA>(pAddresses->u1.Function);
            pAddresses->u1.Function = reinterpret_cast<ULONG_PTR>(&RecordingOutputDebugStringA);
            VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), dwOld, &dwOld);
            bPatched = true;
        }
    }
    return bPatched;
}

std::vector<std::string> CTraceHook::Take()
{
    CHostLock lock(g_traceSection);
    std::vector<std::string> lines;
    lines.swap(g_traceLines);
    return lines;
}

}  // namespace qx::host
