// Records the message boxes a loaded DLL shows, with the exact MB_ flags it passed, by patching the
// DLL's import of user32!MessageBoxA. Optionally answers each box with OK at once, without showing
// it. Used by qxcall and by the Wine test host.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qx::host {

struct CRecordedBox {
    std::string strText;
    std::string strCaption;
    UINT uType = 0;
    bool bOwnerless = true;
};

class CBoxHook {
public:
    // Patches hModule's import of MessageBoxA; false when the module does not import it.
    static bool Install(HMODULE hModule);
    // true: each box is answered with IDOK at once; false: shown for real (a person answers).
    static void SetAnswerAtOnce(bool bAnswerAtOnce);
    // The boxes recorded since the last call, oldest first.
    static std::vector<CRecordedBox> Take();
};

}  // namespace qx::host
