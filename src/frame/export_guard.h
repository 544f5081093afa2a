// The export frame: no exception ever leaves an export. Each export body runs inside one of these;
// an exception (out of memory in a std::string, say) becomes the export's failure result. Each guard
// is given the export's name (__func__) for the reason line of a failure (platform/reason.h), and
// decides from the result whether the export failed. On the way out the platform's observer, if
// any, hears that the export returned.
#pragma once

#include <climits>

#include "platform/platform.h"
#include "platform/reason.h"
#include "qxinst.h"

namespace qx {

// Any result but the failure result is a success (GuardInt's default).
constexpr int kAnyOtherResult = INT_MIN;

// Names the export for its reasons while it runs; on destruction writes the reason of a failure and
// tells the observer the result, so every way out of a guard is seen.
class CExportExit {
public:
    explicit CExportExit(const char* pszExport) : m_pszExport(pszExport)
    {
        BeginExportReasons(pszExport);
        if (IExportObserver* pObserver = CurrentPlatform().pObserver)
            pObserver->ExportCalled(pszExport);
    }
    CExportExit(const CExportExit&) = delete;
    CExportExit& operator=(const CExportExit&) = delete;
    ~CExportExit()
    {
        EndExportReasons(m_bFailed);
        if (IExportObserver* pObserver = CurrentPlatform().pObserver)
            pObserver->ExportReturned(m_pszExport, m_bHasResult, m_nResult);
    }

    // The export returns nResult; a success drops its reasons, if any. Gives nResult back.
    int Returns(int nResult, bool bSucceeded)
    {
        m_bHasResult = true;
        m_nResult = nResult;
        m_bFailed = !bSucceeded;
        return nResult;
    }

private:
    const char* m_pszExport;
    bool m_bFailed = true;  // an export without a result writes any reason it gave
    bool m_bHasResult = false;
    int m_nResult = 0;
};

// 1 is a success, 0 a failure.
template <typename Body> QXBOOL GuardBool(const char* pszExport, Body&& body) noexcept
{
    CExportExit exitNotice(pszExport);
    try {
        bool bDone = body();
        return static_cast<QXBOOL>(exitNotice.Returns(bDone ? 1 : 0, bDone));
    } catch (...) {
        ReasonForException();
        return static_cast<QXBOOL>(exitNotice.Returns(0, false));
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
        return exitNotice.Returns(nResult, nSuccess == kAnyOtherResult ? nResult != nOnFailure : nResult == nSuccess);
    } catch (...) {
        ReasonForException();
        return exitNotice.Returns(nOnFailure, false);
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
