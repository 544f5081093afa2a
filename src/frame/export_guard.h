// The export frame: no exception ever leaves an export. Each export body runs inside one of these;
// an exception (out of memory in a std::string, say) becomes the export's failure result. On the
// way out the platform's observer, if any, hears that the export returned.
#pragma once

#include "platform/platform.h"
#include "qxinst.h"

namespace qx {

// Tells the observer on destruction, so every way out of a guard is seen.
class CExportExit {
public:
    CExportExit() = default;
    CExportExit(const CExportExit&) = delete;
    CExportExit& operator=(const CExportExit&) = delete;
    ~CExportExit()
    {
        if (IExportObserver* pObserver = CurrentPlatform().pObserver)
            pObserver->ExportReturned();
    }
};

template <typename Body> QXBOOL GuardBool(Body&& body) noexcept
{
    CExportExit exitNotice;
    try {
        return body() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

template <typename Body> int GuardInt(int nOnFailure, Body&& body) noexcept
{
    CExportExit exitNotice;
    try {
        return body();
    } catch (...) {
        return nOnFailure;
    }
}

template <typename Body> void GuardVoid(Body&& body) noexcept
{
    CExportExit exitNotice;
    try {
        body();
    } catch (...) {
    }
}

}  // namespace qx
