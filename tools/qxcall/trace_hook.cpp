#include "trace_hook.h"

#include <cstring>

#include "host_lock.h"
#include "import_patch.h"

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
    ULONG_PTR pfnOld = reinterpret_cast<ULONG_PTR>(g_pfnRealOutputDebugStringA);
    bool bPatched = PatchImport(hModule, nullptr, "OutputDebugStringA",
                                reinterpret_cast<ULONG_PTR>(&RecordingOutputDebugStringA), &pfnOld);
    g_pfnRealOutputDebugStringA = reinterpret_cast<PFN_OUTPUTDEBUGSTRINGA>(pfnOld);
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
