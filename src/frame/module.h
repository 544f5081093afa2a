// Module-wide state that is not the text buffer: the module handle (the dialog templates are
// resources of the DLL itself) and the application object.
#pragma once

#include "platform/win_types.h"

namespace qx {

// The DLL's own module handle, remembered when it is loaded; null in the native build.
extern HINSTANCE g_hInstance;

// The library's one application object: constructed at load, destroyed at unload, no state.
class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
};

class CQxInstApp : public CWinApp { };

extern CQxInstApp theApp;

}  // namespace qx
