// Simulated clock and system information.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"
#include "sim/sim_text.h"

namespace qx::sim {

// A settable millisecond clock. Every reading moves it on by m_dwStepPerRead (so that a poll on the
// clock ends), every Sleep by the time slept; a 20-second wait runs at once. It counts its readings,
// so a test sees how many passes a poll made.
class CSimClock final : public IClock {
public:
    DWORD m_dwNow = 1000000;
    DWORD m_dwStepPerRead = 1;
    int64_t m_nSeconds = 1700000000;
    std::vector<DWORD> m_sleeps;  // every Sleep, in order
    size_t m_nReadings = 0;  // every GetTickCount

    // The time now, without moving the clock.
    DWORD Now() const { return m_dwNow; }
    void Advance(DWORD dwMilliseconds) { m_dwNow += dwMilliseconds; }

    DWORD GetTickCount() override
    {
        DWORD dwNow = m_dwNow;
        m_dwNow += m_dwStepPerRead;
        ++m_nReadings;
        return dwNow;
    }
    void Sleep(DWORD dwMilliseconds) override
    {
        CSimCodeScope own(false);
        m_sleeps.push_back(dwMilliseconds);
        m_dwNow += dwMilliseconds;
    }
    int64_t GetTimeSeconds() override { return m_nSeconds; }
};

class CSimSystem final : public ISystem {
public:
    explicit CSimSystem(CSimKernel& kernel);

    std::string m_strComputerName = "QXSERVER";
    LANGID m_langId = 0x0409;
    std::string m_strModuleFileName = "C:\\Program Files\\Qorvex Setup\\setup.exe";
    std::map<DWORD, std::string> m_messages;  // FormatMessageA texts, line end included
    std::string m_strStdout;  // everything written to standard output

    DWORD GetLastError() override { return m_kernel.m_dwLastError; }
    void SetLastError(DWORD dwError) override { m_kernel.m_dwLastError = dwError; }
    BOOL GetComputerNameA(LPSTR pszBuffer, LPDWORD pcchSize) override;
    LANGID GetSystemDefaultLangID() override { return m_langId; }
    DWORD GetModuleFileNameA(HMODULE hModule, LPSTR pszFileName, DWORD cchSize) override;
    DWORD FormatMessageA(DWORD dwFlags, LPCVOID pSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR pszBuffer,
                         DWORD nSize) override;
    // The system's ANSI code page (CP_ACP): 1252 (the default), 1251 or 932.
    void SetAnsiCodePage(UINT nCodePage);
    UINT AnsiCodePage() const { return m_kernel.m_nAnsiCodePage; }
    // Character by character in the ANSI code page: a double-byte character is upper-cased whole
    // (its second byte is never taken on its own), and one whose upper case the code page lacks, or
    // a lead byte without its second byte, stays as it is.
    DWORD CharUpperBuffA(LPSTR psz, DWORD cch) override;
    int MultiByteToWideChar(UINT nCodePage, DWORD dwFlags, LPCSTR pszMultiByte, int cbMultiByte, LPWSTR pwszWideChar,
                            int cchWideChar) override;
    int WideCharToMultiByte(UINT nCodePage, DWORD dwFlags, LPCWSTR pwszWideChar, int cchWideChar, LPSTR pszMultiByte,
                            int cbMultiByte, LPCSTR pszDefaultChar, LPBOOL pbUsedDefaultChar) override;
    BOOL GetCPInfo(UINT nCodePage, LPCPINFO pCpInfo) override;
    BOOL IsDBCSLeadByte(BYTE c) override { return IsLeadByte(m_kernel.m_nAnsiCodePage, c); }
    HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) override;
    HLOCAL LocalFree(HLOCAL hMem) override;
    HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) override;
    HGLOBAL GlobalFree(HGLOBAL hMem) override;
    HANDLE GetProcessHeap() override { return m_hHeap; }
    LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) override;
    LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID pMem, SIZE_T dwBytes) override;
    BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID pMem) override;
    void WriteStdout(const char* pszText) override
    {
        CSimCodeScope own(false);
        m_strStdout += pszText;
    }
    void OutputDebugStringA(LPCSTR pszText) override
    {
        CSimCodeScope own(false);
        m_debugLines.emplace_back(pszText != nullptr ? pszText : "");
    }
    // Every text handed to OutputDebugStringA, oldest first, as it was passed.
    const std::vector<std::string>& DebugLines() const { return m_debugLines; }

private:
    // The code page a call names (CP_ACP: the ANSI one); 0 when it is not modelled.
    UINT CodePageOf(UINT nCodePage) const;
    void* Allocate(const char* pszCall, const char* pszKind, size_t cb, bool bZero);
    bool Free(const char* pszKind, void* p);

    CSimKernel& m_kernel;
    HANDLE m_hHeap;
    std::map<void*, size_t> m_sizes;
    std::vector<std::string> m_debugLines;
};

}  // namespace qx::sim
