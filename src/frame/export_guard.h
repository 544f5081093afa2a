// The export frame: no exception ever leaves an export. Each export body runs inside one of these;
// an exception (out of memory in a std::string, say) becomes the export's failure result. Each guard
// is given the export's name (__func__) for the reason line of a failure (frame/reason.h), and
// decides from the result whether the export failed. On the way out the platform's observer, if
// any, hears that the export returned.
#pragma once

#include <climits>
#include <exception>

#include "frame/reason.h"
#include "platform/platform.h"
#include "qxinst.h"

namespace qx {

// Any result but the failure result is a success (GuardInt's default).
constexpr int kAnyOtherResult = INT_MIN;

// Names the export for its reasons while it runs; on destruction writes the reason of a failure and
// tells the observer, so every way out of a guard is seen.
class CExportExit {
public:
    explicit CExportExit(const char* pszExport) { BeginExportReasons(pszExport); }
    CExportExit(const CExportExit&) = delete;
    CExportExit& operator=(const CExportExit&) = delete;
    ~CExportExit()
    {
        EndExportReasons(m_bFailed);
        if (IExportObserver* pObserver = CurrentPlatform().pObserver)
            pObserver->ExportReturned();
    }

    // The export returns a success: its reasons, if any, are dropped.
    void Succeeded() { m_bFailed = false; }

private:
    bool m_bFailed = true;
};

// The reason of an exception that ends an export.
inline void ReasonForException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        Reason("%s", error.what());
    } catch (...) {
        Reason("an exception ended the call");
    }
}

// 1 is a success, 0 a failure.
template <typename Body> QXBOOL GuardBool(const char* pszExport, Body&& body) noexcept
{
    CExportExit exitNotice(pszExport);
    try {
        if (!body())
            return 0;
        exitNotice.Succeeded();
        return 1;
    } catch (...) {
        ReasonForException();
        return 0;
    }
}

// nOnFailure is the result of an exception and a failure; so is every result but nSuccess, when
// the export has one success result only.
template <typename Body>
int GuardInt(const char* pszExport, int nOnFailure, Body&& body, int nSuccess = kAnyOtherResult) noexcept
{
    CExportExit exitNotice(pszExport);
    try {
        int nResult = body();
        if (nSuccess == kAnyOtherResult ? nResult != nOnFailure : nResult == nSuccess)
            exitNotice.Succeeded();
        return nResult;
    } catch (...) {
        ReasonForException();
        return nOnFailure;
    }
}

// No result tells a success: a reason given is written.
template <typename Body> void GuardVoid(const char* pszExport, Body&& body) noexcept
{
    CExportExit exitNotice(pszExport);
    try {
        body();
    } catch (...) {
        ReasonForException();
    }
}

}  // namespace qx
