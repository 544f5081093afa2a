#include "box_hook.h"

#include <cstring>

#include "host_lock.h"

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
    auto* pBase = reinterpret_cast<BYTE*>(hModule);
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return false;
    bool bPatched = false;
    for (auto* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress); pImport->Name != 0;
         ++pImport) {
        if (_stricmp(reinterpret_cast<const char*>(pBase + pImport->Name), "user32.dll") != 0)
            continue;
        auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(
            pBase + (pImport->OriginalFirstThunk != 0 ? pImport->OriginalFirstThunk : pImport->FirstThunk));
        auto* pAddresses = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
        for (; pNames->u1.AddressOfData != 0; ++pNames, ++pAddresses) {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            auto* pByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pNames->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), "MessageBoxA") != 0)
                continue;
            DWORD dwOld = 0;
            if (!VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), PAGE_READWRITE, &dwOld))
                return false;
            if (reinterpret_cast<PFN_MESSAGEBOXA>(pAddresses->u1.Function) != &RecordingMessageBoxA)
                g_pfnRealMessageBoxA = reinterpret_cast<PFN_MESSAGEBOXA>(pAddresses->u1.Function);
            pAddresses->u1.Function = reinterpret_cast<ULONG_PTR>(&RecordingMessageBoxA);
            VirtualProtect(&pAddresses->u1.Function, sizeof(pAddresses->u1.Function), dwOld, &dwOld);
            bPatched = true;
        }
    }
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
