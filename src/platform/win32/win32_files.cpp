#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

// ReplaceFileA first came with Windows 2000: looked up at run time, so the DLL loads on NT 4.0.
typedef BOOL(WINAPI* PFN_REPLACEFILEA)(LPCSTR, LPCSTR, LPCSTR, DWORD, LPVOID, LPVOID);

class CWin32Files final : public IFiles {
public:
    CWin32Files()
        : m_pfnReplaceFileA(reinterpret_cast<PFN_REPLACEFILEA>(
              reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "ReplaceFileA"))))
    {
    }

    HANDLE CreateFileA(LPCSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwCreation, DWORD dwFlags) override
    {
        return ::CreateFileA(pszPath, dwAccess, dwShare, nullptr, dwCreation, dwFlags, nullptr);
    }
    BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead) override
    {
        return ::ReadFile(hFile, pBuffer, cbToRead, pcbRead, nullptr);
    }
    BOOL WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten) override
    {
        return ::WriteFile(hFile, pBuffer, cbToWrite, pcbWritten, nullptr);
    }
    DWORD GetFileSize(HANDLE hFile, LPDWORD pdwSizeHigh) override { return ::GetFileSize(hFile, pdwSizeHigh); }
    DWORD SetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod) override
    {
        return ::SetFilePointer(hFile, lDistance, plDistanceHigh, dwMethod);
    }
    BOOL FlushFileBuffers(HANDLE hFile) override { return ::FlushFileBuffers(hFile); }
    BOOL CloseHandle(HANDLE hObject) override { return ::CloseHandle(hObject); }
    BOOL DeleteFileA(LPCSTR pszPath) override { return ::DeleteFileA(pszPath); }
    BOOL MoveFileExA(LPCSTR pszExisting, LPCSTR pszNew, DWORD dwFlags) override
    {
        return ::MoveFileExA(pszExisting, pszNew, dwFlags);
    }
    BOOL ReplaceFileA(LPCSTR pszReplaced, LPCSTR pszReplacement, LPCSTR pszBackup, DWORD dwFlags) override
    {
        if (m_pfnReplaceFileA == nullptr) {
            ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // as Windows answers for a missing function
            return FALSE;
        }
        return m_pfnReplaceFileA(pszReplaced, pszReplacement, pszBackup, dwFlags, nullptr, nullptr);
    }
    DWORD GetFileAttributesA(LPCSTR pszPath) override { return ::GetFileAttributesA(pszPath); }
    BOOL SetFileAttributesA(LPCSTR pszPath, DWORD dwAttrs) override { return ::SetFileAttributesA(pszPath, dwAttrs); }
    BOOL GetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd, DWORD cbSd,
                          LPDWORD pcbNeeded) override
    {
        return ::GetFileSecurityA(pszPath, dwInfo, pSd, cbSd, pcbNeeded);
    }
    BOOL SetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd) override
    {
        return ::SetFileSecurityA(pszPath, dwInfo, pSd);
    }
    UINT GetTempFileNameA(LPCSTR pszDir, LPCSTR pszPrefix, UINT uUnique, LPSTR pszTempFile) override
    {
        return ::GetTempFileNameA(pszDir, pszPrefix, uUnique, pszTempFile);
    }
    DWORD GetCurrentDirectoryA(DWORD cchBuffer, LPSTR pszBuffer) override
    {
        return ::GetCurrentDirectoryA(cchBuffer, pszBuffer);
    }
    BOOL SetCurrentDirectoryA(LPCSTR pszPath) override { return ::SetCurrentDirectoryA(pszPath); }

private:
    const PFN_REPLACEFILEA m_pfnReplaceFileA;
};

}  // namespace

IFiles& Win32Files()
{
    static CWin32Files s_files;
    return s_files;
}

}  // namespace qx
