// Records the lines a loaded DLL hands to the debugger, by patching the DLL's import of
// OutputDebugStringA; each line still reaches the real call (DebugView, Wine's +debugstr). Used by
// qxcall --trace.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qx::host {

class CTraceHook {
public:
    // Patches hModule's import of OutputDebugStringA; false when the module does not import it.
    static bool Install(HMODULE hModule);
    // The lines recorded since the last call, oldest first, as they were passed.
    static std::vector<std::string> Take();
};

}  // namespace qx::host
