#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32Files final : public IFiles {
public:
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
        return ::ReplaceFileA(pszReplaced, pszReplacement, pszBackup, dwFlags, nullptr, nullptr);
    }
    DWORD GetFileAttributesA(LPCSTR pszPath) override { return ::GetFileAttributesA(pszPath); }
    UINT GetTempFileNameA(LPCSTR pszDir, LPCSTR pszPrefix, UINT uUnique, LPSTR pszTempFile) override
    {
        return ::GetTempFileNameA(pszDir, pszPrefix, uUnique, pszTempFile);
    }
    DWORD GetCurrentDirectoryA(DWORD cchBuffer, LPSTR pszBuffer) override
    {
        return ::GetCurrentDirectoryA(cchBuffer, pszBuffer);
    }
    BOOL SetCurrentDirectoryA(LPCSTR pszPath) override { return ::SetCurrentDirectoryA(pszPath); }
};

}  // namespace

IFiles& Win32Files()
{
    static CWin32Files s_files;
    return s_files;
}

}  // namespace qx
