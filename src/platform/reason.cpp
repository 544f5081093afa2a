#include "platform/reason.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/platform.h"

namespace qx {

namespace {

constexpr char kReasonPrefix[] = "QXINST: ";

const char* g_pszReasonExport = nullptr;  // the export running now; null between exports
bool g_bReasonKept = false;  // g_szReason holds the first reason of this call
char g_szReason[kReasonSize];

}  // namespace

void Reason(const char* pszFormat, ...)
{
    if (g_pszReasonExport == nullptr || g_bReasonKept)
        return;
    int cchHead = std::snprintf(g_szReason, sizeof g_szReason, "%s%s: ", kReasonPrefix, g_pszReasonExport);
    if (cchHead < 0)
        return;
    size_t cbHead =
        static_cast<size_t>(cchHead) < sizeof g_szReason - 2 ? static_cast<size_t>(cchHead) : sizeof g_szReason - 2;
    va_list args;
    va_start(args, pszFormat);
    // Room is kept for the line end: a reason that does not fit is cut before it.
    int cchText = std::vsnprintf(g_szReason + cbHead, sizeof g_szReason - 1 - cbHead, pszFormat, args);
    va_end(args);
    if (cchText < 0)
        return;
    size_t cbLine = std::strlen(g_szReason);
    g_szReason[cbLine] = '\n';
    g_szReason[cbLine + 1] = '\0';
    g_bReasonKept = true;
}

void ReasonForException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        Reason("%s", error.what());
    } catch (...) {
        Reason("an exception ended the call");
    }
}

void BeginExportReasons(const char* pszExport)
{
    g_pszReasonExport = pszExport;
    g_bReasonKept = false;
}

void EndExportReasons(bool bFailed)
{
    if (bFailed && g_bReasonKept)
        Sys().OutputDebugStringA(g_szReason);
    g_pszReasonExport = nullptr;
    g_bReasonKept = false;
}

}  // namespace qx
