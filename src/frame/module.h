// Module-wide state that is not the text buffer: the module handle (the dialog templates are
// resources of the DLL itself).
#pragma once

#include "platform/win_types.h"

namespace qx {

// The DLL's own module handle, remembered when it is loaded; null in the native build.
extern HINSTANCE g_hInstance;

}  // namespace qx
