// Simulated files: an in-memory file system of drives, folders and files with attributes and
// security descriptors, a current directory, a settable amount of free space (a full disk), and the
// Win32 error codes of each case.
//
// Security: every file and folder holds a self-relative descriptor (owner, group, DACL). A new one
// takes its folder's, as if every entry of the folder were inherited and its owner were the
// creator's default owner (the Administrators group, for an administrator); a rename keeps the
// file's own, and ReplaceFileA gives the replacement the replaced file's. Knowingly not modelled:
// access checks against a DACL (the caller may read, write and change every file), SACLs, and the
// automatic inheritance of Windows 2000.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

class CSimFiles final : public IFiles {
public:
    explicit CSimFiles(CSimKernel& kernel);

    // ---- set-up and inspection for tests (paths as the library would pass them) ----
    void AddFolder(const std::string& strPath);  // with its parents
    void SetFile(const std::string& strPath, const std::string& strData);  // with its folders
    std::optional<std::string> GetFile(const std::string& strPath) const;
    // A sparse file of nSize bytes: strData, then zeros that take no space (sizes beyond 4 GiB
    // without the memory). GetFile gives strData.
    void SetSparseFile(const std::string& strPath, const std::string& strData, long long nSize);
    bool Exists(const std::string& strPath) const;
    void SetAttributes(const std::string& strPath, DWORD dwAttrs);
    // Names (not paths) of the entries in a folder, in name order.
    std::vector<std::string> List(const std::string& strFolder) const;
    // Bytes that writes may still add before the disk is full; -1 for no limit.
    void SetFreeBytes(long long nFree) { m_nFreeBytes = nFree; }
    // The nNth WriteFile from now (1 = the next) writes only its first cbWritten bytes and succeeds,
    // as Windows allows (a short write).
    void WriteShort(int nNth, DWORD cbWritten) { m_shortWrites.push_back({nNth, cbWritten}); }
    // The CloseHandle calls (numbered as CSimKernel::Calls counts them) that closed a file open for
    // writing.
    std::vector<int> m_writeCloses;
    // The absolute form of a path against the current directory (as the library would see it).
    std::string Absolute(const std::string& strPath) const;
    // A file's or folder's self-relative security descriptor ("" when there is no such file), and
    // giving it one (bytes as MakeSelfRelativeSd lays them out).
    std::string Security(const std::string& strPath) const;
    void SetSecurity(const std::string& strPath, const std::string& sd);
    // The owners (SIDs as bytes) that SetFileSecurityA may give a file: those the caller's token may
    // give, the Administrators group for an administrator. Any other needs the restore privilege,
    // which a setup does not enable: ERROR_INVALID_OWNER.
    std::set<std::string> m_ownersAllowed;
    // The descriptor of the drive's root, which its folders and files take: owned by the
    // Administrators group, group SYSTEM, and a DACL giving Everyone full access (NT 4.0's default).
    static std::string DefaultSecurity();

    // ---- IFiles ----
    HANDLE CreateFileA(LPCSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwCreation, DWORD dwFlags) override;
    BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead) override;
    BOOL WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten) override;
    DWORD GetFileSize(HANDLE hFile, LPDWORD pdwSizeHigh) override;
    DWORD SetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod) override;
    BOOL FlushFileBuffers(HANDLE hFile) override;
    BOOL CloseHandle(HANDLE hObject) override;
    BOOL DeleteFileA(LPCSTR pszPath) override;
    BOOL MoveFileExA(LPCSTR pszExisting, LPCSTR pszNew, DWORD dwFlags) override;
    BOOL ReplaceFileA(LPCSTR pszReplaced, LPCSTR pszReplacement, LPCSTR pszBackup, DWORD dwFlags) override;
    DWORD GetFileAttributesA(LPCSTR pszPath) override;
    BOOL SetFileAttributesA(LPCSTR pszPath, DWORD dwAttrs) override;
    // A SACL needs the security privilege, which the caller does not hold: ERROR_PRIVILEGE_NOT_HELD.
    BOOL GetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd, DWORD cbSd,
                          LPDWORD pcbNeeded) override;
    BOOL SetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd) override;
    UINT GetTempFileNameA(LPCSTR pszDir, LPCSTR pszPrefix, UINT uUnique, LPSTR pszTempFile) override;
    DWORD GetCurrentDirectoryA(DWORD cchBuffer, LPSTR pszBuffer) override;
    BOOL SetCurrentDirectoryA(LPCSTR pszPath) override;

private:
    struct CNode {
        std::string strPath;  // absolute, as first created
        bool bFolder = false;
        std::string data;
        long long nSparseZeros = 0;  // zero bytes after data, of a sparse file
        DWORD dwAttrs = FILE_ATTRIBUTE_ARCHIVE;
        std::string sd;  // self-relative
        bool bDeletePending = false;  // deleted while open with FILE_SHARE_DELETE: gone at the last close
    };
    struct COpenFile {
        std::string strKey;
        long long nPos = 0;
        bool bRead = false;
        bool bWrite = false;
        bool bDelete = false;
        DWORD dwShare = 0;
    };

    // The first backslash at or after nFrom (a character's first byte), the last one, by character
    // in the ANSI code page; npos when none.
    size_t FindBackslash(const std::string& str, size_t nFrom) const;
    size_t FindLastBackslash(const std::string& str) const;
    bool IsRootKey(const std::string& strKey) const;
    std::string Key(const std::string& strAbsolute) const;
    std::string ParentOf(const std::string& strAbsolute) const;
    const CNode* Find(const std::string& strPath) const;
    CNode* Find(const std::string& strPath);
    // 0 when the folder that would hold strPath exists, else ERROR_PATH_NOT_FOUND.
    DWORD CheckParent(const std::string& strPath) const;
    // The descriptor a new file or folder at strAbsolute takes: its folder's.
    std::string NewSecurity(const std::string& strAbsolute) const;
    // The node of a path for the security calls, or null with the last error set.
    CNode* SecurityNode(LPCSTR pszPath);
    COpenFile* Open(HANDLE h);
    bool IsOpen(const std::string& strKey) const;
    // ERROR_SHARING_VIOLATION when an open of strKey with this access and share mode conflicts with
    // one already open, else 0.
    DWORD CheckSharing(const std::string& strKey, bool bRead, bool bWrite, bool bDelete, DWORD dwShare) const;

    CSimKernel& m_kernel;
    std::map<std::string, CNode> m_nodes;
    std::map<HANDLE, COpenFile> m_open;
    std::string m_strCurrentDir = "C:\\";
    long long m_nFreeBytes = -1;
    unsigned m_nTempCounter = 0;
    std::vector<std::pair<int, DWORD>> m_shortWrites;  // calls to come, bytes each writes
};

}  // namespace qx::sim
