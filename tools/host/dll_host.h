// The test host's view of QXINST.dll: loaded by name from the test program's folder, exports
// resolved by name and called with the signatures of qxinst.h, as an installer host does.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "qxinst.h"

namespace qx::host {

class CDllHost {
public:
    CDllHost();
    ~CDllHost();
    CDllHost(const CDllHost&) = delete;
    CDllHost& operator=(const CDllHost&) = delete;

    HMODULE Module() const { return m_hModule; }
    // The export's address, or null when this build does not have it.
    FARPROC Find(const char* pszName) const { return GetProcAddress(m_hModule, pszName); }

    // The export as a typed function pointer: Get<decltype(&::Decrypt)>("Decrypt").
    template <typename Fn> Fn Get(const char* pszName) const
    {
        FARPROC pfn = Find(pszName);
        if (pfn == nullptr)
            throw std::runtime_error(std::string("QXINST.dll has no export ") + pszName);
        return reinterpret_cast<Fn>(pfn);
    }

    // The folder of the test program (and of QXINST.dll), with a trailing backslash.
    static std::string ProgramFolder();

private:
    HMODULE m_hModule = nullptr;
};

// QX_EXPORT(host, Decrypt) is the export Decrypt of the loaded DLL, typed from qxinst.h.
#define QX_EXPORT(host, name) ((host).Get<decltype(&::name)>(#name))

}  // namespace qx::host
