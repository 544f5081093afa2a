// A reason for every failure. When an export fails, it leaves one line through OutputDebugStringA
// that says why: the Win32 call that failed and its error code, or the rule that refused the input.
//
//   QXINST: MakeManagerINI: GetTempFileNameA C:\Qorvex\ failed: 5
//   QXINST: MakeReplBat: a server name holds a line end
//
// The export's guard names the export as it starts. Reason() keeps the first reason given while the
// export runs (later ones are dropped); when the export returns, the guard writes that reason if the
// export failed and forgets it if the export succeeded. Outside an export nothing is kept. The line
// goes to the debugger only: never to standard output, never into a box.
//
// Code of every layer leaves reasons, the file streams below the exports included, so the sink
// sits here beside the platform seam, as a debug channel does, and needs nothing above it.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

#if defined(__GNUC__)
#define QX_REASON_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define QX_REASON_FORMAT
#endif

namespace qx {

// The longest line, its prefix and line end included; a longer reason is cut to fit.
constexpr size_t kReasonSize = 512;

// Gives the reason of the running export's failure (printf-style).
void Reason(const char* pszFormat, ...) QX_REASON_FORMAT;

// A Win32 call that failed, as "<call> <object> failed: <code>" (no object when pszObject is null);
// returns dwError, so that a failure site can return it in the same line.
inline DWORD ReasonCall(const char* pszCall, const char* pszObject, DWORD dwError)
{
    if (pszObject != nullptr)
        Reason("%s %s failed: %u", pszCall, pszObject, static_cast<unsigned>(dwError));
    else
        Reason("%s failed: %u", pszCall, static_cast<unsigned>(dwError));
    return dwError;
}

// The exception being handled (call inside a catch block) as the reason.
void ReasonForException();

// The guard's side: the export that starts now (its name outlives the call), and its end.
void BeginExportReasons(const char* pszExport);
void EndExportReasons(bool bFailed);

}  // namespace qx
