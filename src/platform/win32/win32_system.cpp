#include <cstdio>
#include <ctime>

#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32Clock final : public IClock {
public:
    DWORD GetTickCount() override { return ::GetTickCount(); }
    void Sleep(DWORD dwMilliseconds) override { ::Sleep(dwMilliseconds); }
    int64_t GetTimeSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }
};

class CWin32System final : public ISystem {
public:
    DWORD GetLastError() override { return ::GetLastError(); }
    void SetLastError(DWORD dwError) override { ::SetLastError(dwError); }
    BOOL GetComputerNameA(LPSTR pszBuffer, LPDWORD pcchSize) override
    {
        return ::GetComputerNameA(pszBuffer, pcchSize);
    }
    LANGID GetSystemDefaultLangID() override { return ::GetSystemDefaultLangID(); }
    DWORD GetModuleFileNameA(HMODULE hModule, LPSTR pszFileName, DWORD cchSize) override
    {
        return ::GetModuleFileNameA(hModule, pszFileName, cchSize);
    }
    DWORD FormatMessageA(DWORD dwFlags, LPCVOID pSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR pszBuffer,
                         DWORD nSize) override
    {
        return ::FormatMessageA(dwFlags, pSource, dwMessageId, dwLanguageId, pszBuffer, nSize, nullptr);
    }
    DWORD CharUpperBuffA(LPSTR psz, DWORD cch) override { return ::CharUpperBuffA(psz, cch); }
    int MultiByteToWideChar(UINT nCodePage, DWORD dwFlags, LPCSTR pszMultiByte, int cbMultiByte, LPWSTR pwszWideChar,
                            int cchWideChar) override
    {
        return ::MultiByteToWideChar(nCodePage, dwFlags, pszMultiByte, cbMultiByte, pwszWideChar, cchWideChar);
    }
    int WideCharToMultiByte(UINT nCodePage, DWORD dwFlags, LPCWSTR pwszWideChar, int cchWideChar, LPSTR pszMultiByte,
                            int cbMultiByte, LPCSTR pszDefaultChar, LPBOOL pbUsedDefaultChar) override
    {
        return ::WideCharToMultiByte(nCodePage, dwFlags, pwszWideChar, cchWideChar, pszMultiByte, cbMultiByte,
                                     pszDefaultChar, pbUsedDefaultChar);
    }
    BOOL GetCPInfo(UINT nCodePage, LPCPINFO pCpInfo) override { return ::GetCPInfo(nCodePage, pCpInfo); }
    BOOL IsDBCSLeadByte(BYTE c) override { return ::IsDBCSLeadByte(c); }
    HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) override { return ::LocalAlloc(uFlags, uBytes); }
    HLOCAL LocalFree(HLOCAL hMem) override { return ::LocalFree(hMem); }
    HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) override { return ::GlobalAlloc(uFlags, dwBytes); }
    HGLOBAL GlobalFree(HGLOBAL hMem) override { return ::GlobalFree(hMem); }
    HANDLE GetProcessHeap() override { return ::GetProcessHeap(); }
    LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) override
    {
        return ::HeapAlloc(hHeap, dwFlags, dwBytes);
    }
    LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID pMem, SIZE_T dwBytes) override
    {
        return ::HeapReAlloc(hHeap, dwFlags, pMem, dwBytes);
    }
    BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID pMem) override { return ::HeapFree(hHeap, dwFlags, pMem); }
    void WriteStdout(const char* pszText) override
    {
        std::fputs(pszText, stdout);
        std::fflush(stdout);
    }
    void OutputDebugStringA(LPCSTR pszText) override { ::OutputDebugStringA(pszText); }
};

}  // namespace

IClock& Win32Clock()
{
    static CWin32Clock s_clock;
    return s_clock;
}

ISystem& Win32System()
{
    static CWin32System s_system;
    return s_system;
}

}  // namespace qx
