#include "box_hook.h"

#include <cstring>

#include "host_lock.h"
#include "import_patch.h"

namespace qx::host {

namespace {

typedef int(WINAPI* PFN_MESSAGEBOXA)(HWND, LPCSTR, LPCSTR, UINT);

CHostSection g_section;

std::vector<CRecordedBox> g_boxes;
bool g_bAnswerAtOnce = false;
PFN_MESSAGEBOXA g_pfnRealMessageBoxA = nullptr;

int WINAPI RecordingMessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType)
{
    bool bAnswerAtOnce;
    {
        CHostLock lock(g_section);
        g_boxes.push_back({pszText ? pszText : "", pszCaption ? pszCaption : "", uType, hWnd == nullptr});
        bAnswerAtOnce = g_bAnswerAtOnce;
    }
    if (bAnswerAtOnce || g_pfnRealMessageBoxA == nullptr)
        return IDOK;
    return g_pfnRealMessageBoxA(hWnd, pszText, pszCaption, uType);
}

}  // namespace

bool CBoxHook::Install(HMODULE hModule)
{
    ULONG_PTR pfnOld = reinterpret_cast<ULONG_PTR>(g_pfnRealMessageBoxA);
    bool bPatched =
        PatchImport(hModule, "user32.dll", "MessageBoxA", reinterpret_cast<ULONG_PTR>(&RecordingMessageBoxA), &pfnOld);
    g_pfnRealMessageBoxA = reinterpret_cast<PFN_MESSAGEBOXA>(pfnOld);
    return bPatched;
}

void CBoxHook::SetAnswerAtOnce(bool bAnswerAtOnce)
{
    CHostLock lock(g_section);
    g_bAnswerAtOnce = bAnswerAtOnce;
}

std::vector<CRecordedBox> CBoxHook::Take()
{
    CHostLock lock(g_section);
    std::vector<CRecordedBox> boxes;
    boxes.swap(g_boxes);
    return boxes;
}

}  // namespace qx::host
