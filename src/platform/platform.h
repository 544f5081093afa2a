// The platform seam: every call the library makes into Windows goes through one of these areas.
//
// Each area is a small abstract class whose operations have the Win32 names, arguments, results and
// error codes, so the code above reads like the Win32 code it is: Scm().OpenSCManagerA(...),
// Files().CreateFileA(...), Sys().GetLastError(). Two implementations exist:
//   platform/win32/  one-line forwarders to the real API (the win32 and win64 builds);
//   sim/    a simulated Windows for native tests, with fault injection and accounting.
// The current implementation of each area is process-wide; the DLL starts with the Win32 one and a
// test installs a fresh simulated one (CSimPlatform::Install).
//
// Nothing in this folder knows about engines, INI files, shares or services of the suite.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace qx {

// Files: binary handles with the Win32 semantics (no text translation here; see CFileStream).
class IFiles {
public:
    virtual ~IFiles() = default;
    virtual HANDLE CreateFileA(LPCSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwCreation, DWORD dwFlags) = 0;
    virtual BOOL ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead) = 0;
    virtual BOOL WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten) = 0;
    // The size's low part, its high part in *pdwSizeHigh. INVALID_FILE_SIZE is a failure only when
    // GetLastError() is not NO_ERROR then (a size whose low part is 0xFFFFFFFF).
    virtual DWORD GetFileSize(HANDLE hFile, LPDWORD pdwSizeHigh) = 0;
    // Moves by the 64-bit distance (*plDistanceHigh, lDistance); the new position's low part, its high
    // part in *plDistanceHigh. INVALID_SET_FILE_POINTER is a failure only when GetLastError() is not
    // NO_ERROR then.
    virtual DWORD SetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod) = 0;
    virtual BOOL FlushFileBuffers(HANDLE hFile) = 0;
    virtual BOOL CloseHandle(HANDLE hObject) = 0;
    virtual BOOL DeleteFileA(LPCSTR pszPath) = 0;
    virtual BOOL MoveFileExA(LPCSTR pszExisting, LPCSTR pszNew, DWORD dwFlags) = 0;
    // Missing before Windows 2000: fails with ERROR_CALL_NOT_IMPLEMENTED on NT 4.0.
    virtual BOOL ReplaceFileA(LPCSTR pszReplaced, LPCSTR pszReplacement, LPCSTR pszBackup, DWORD dwFlags) = 0;
    virtual DWORD GetFileAttributesA(LPCSTR pszPath) = 0;
    virtual BOOL SetFileAttributesA(LPCSTR pszPath, DWORD dwAttrs) = 0;
    // The parts of a file's security that dwInfo names (OWNER_, GROUP_, DACL_SECURITY_INFORMATION), as
    // a self-relative descriptor in pSd. Its size goes to *pcbNeeded; when it exceeds cbSd the call
    // fails with ERROR_INSUFFICIENT_BUFFER. This and SetFileSecurityA are there since NT 3.1.
    virtual BOOL GetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd, DWORD cbSd,
                                  LPDWORD pcbNeeded) = 0;
    // Gives a file the parts of pSd that dwInfo names. An owner the caller may not give fails with
    // ERROR_INVALID_OWNER, and nothing is changed.
    virtual BOOL SetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd) = 0;
    virtual UINT GetTempFileNameA(LPCSTR pszDir, LPCSTR pszPrefix, UINT uUnique, LPSTR pszTempFile) = 0;
    virtual DWORD GetCurrentDirectoryA(DWORD cchBuffer, LPSTR pszBuffer) = 0;
    virtual BOOL SetCurrentDirectoryA(LPCSTR pszPath) = 0;
};

// Clock: a monotonic millisecond counter (differences compared as signed 32-bit numbers), sleeping,
// and the calendar time in seconds (random seeds).
class IClock {
public:
    virtual ~IClock() = default;
    virtual DWORD GetTickCount() = 0;
    virtual void Sleep(DWORD dwMilliseconds) = 0;
    virtual int64_t GetTimeSeconds() = 0;
};

// System information, last error, memory, text conversion and the process's standard output.
class ISystem {
public:
    virtual ~ISystem() = default;
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD dwError) = 0;
    virtual BOOL GetComputerNameA(LPSTR pszBuffer, LPDWORD pcchSize) = 0;
    virtual LANGID GetSystemDefaultLangID() = 0;
    virtual DWORD GetModuleFileNameA(HMODULE hModule, LPSTR pszFileName, DWORD cchSize) = 0;
    // FormatMessageA without inserts; with FORMAT_MESSAGE_ALLOCATE_BUFFER, pszBuffer is an LPSTR*
    // that receives a LocalAlloc'ed text which the caller releases with LocalFree.
    virtual DWORD FormatMessageA(DWORD dwFlags, LPCVOID pSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR pszBuffer,
                                 DWORD nSize) = 0;
    // Upper-casing in the system's ANSI code page, in place.
    virtual DWORD CharUpperBuffA(LPSTR psz, DWORD cch) = 0;
    // Text between a code page (CP_ACP: the system's ANSI code page) and wide characters, and the
    // code page's character size and lead bytes.
    virtual int MultiByteToWideChar(UINT nCodePage, DWORD dwFlags, LPCSTR pszMultiByte, int cbMultiByte,
                                    LPWSTR pwszWideChar, int cchWideChar) = 0;
    virtual int WideCharToMultiByte(UINT nCodePage, DWORD dwFlags, LPCWSTR pwszWideChar, int cchWideChar,
                                    LPSTR pszMultiByte, int cbMultiByte, LPCSTR pszDefaultChar,
                                    LPBOOL pbUsedDefaultChar) = 0;
    virtual BOOL GetCPInfo(UINT nCodePage, LPCPINFO pCpInfo) = 0;
    // Whether c is the first byte of a double-byte character in the system's ANSI code page (never in a
    // single-byte one): it and the byte after it are one character, whatever that second byte is.
    virtual BOOL IsDBCSLeadByte(BYTE c) = 0;
    virtual HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) = 0;
    virtual HLOCAL LocalFree(HLOCAL hMem) = 0;
    virtual HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) = 0;
    virtual HGLOBAL GlobalFree(HGLOBAL hMem) = 0;
    virtual HANDLE GetProcessHeap() = 0;
    virtual LPVOID HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) = 0;
    virtual LPVOID HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID pMem, SIZE_T dwBytes) = 0;
    virtual BOOL HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID pMem) = 0;
    // Writes a text to the process's standard output and flushes it.
    virtual void WriteStdout(const char* pszText) = 0;
    // Hands a text to the debugger (DebugView; Wine's +debugstr channel); never to standard output.
    virtual void OutputDebugStringA(LPCSTR pszText) = 0;
};

// Registry (read side: the library only reads values).
class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual LONG RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, HKEY* phkResult) = 0;
    virtual LONG RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                  LPDWORD pcbData) = 0;
    virtual LONG RegCloseKey(HKEY hKey) = 0;
};

// Service control manager.
class IScm {
public:
    virtual ~IScm() = default;
    virtual SC_HANDLE OpenSCManagerA(LPCSTR pszMachine, LPCSTR pszDatabase, DWORD dwAccess) = 0;
    virtual SC_HANDLE OpenServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, DWORD dwAccess) = 0;
    virtual SC_HANDLE CreateServiceA(SC_HANDLE hManager, LPCSTR pszServiceName, LPCSTR pszDisplayName,
                                     DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                     DWORD dwErrorControl, LPCSTR pszBinaryPathName, LPCSTR pszLoadOrderGroup,
                                     LPDWORD pdwTagId, LPCSTR pszDependencies, LPCSTR pszServiceStartName,
                                     LPCSTR pszPassword) = 0;
    virtual BOOL DeleteService(SC_HANDLE hService) = 0;
    virtual BOOL StartServiceA(SC_HANDLE hService, DWORD dwNumArgs, LPCSTR* ppszArgs) = 0;
    virtual BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* pStatus) = 0;
    virtual BOOL QueryServiceStatus(SC_HANDLE hService, SERVICE_STATUS* pStatus) = 0;
    virtual BOOL GetServiceKeyNameA(SC_HANDLE hManager, LPCSTR pszDisplayName, LPSTR pszServiceName,
                                    LPDWORD pcchBuffer) = 0;
    virtual BOOL CloseServiceHandle(SC_HANDLE hSCObject) = 0;
};

// Local security policy and account lookup.
class ILsa {
public:
    virtual ~ILsa() = default;
    virtual NTSTATUS LsaOpenPolicy(PLSA_UNICODE_STRING pSystemName, PLSA_OBJECT_ATTRIBUTES pAttributes,
                                   ACCESS_MASK dwAccess, PLSA_HANDLE phPolicy) = 0;
    virtual NTSTATUS LsaAddAccountRights(LSA_HANDLE hPolicy, PSID pAccountSid, PLSA_UNICODE_STRING pRights,
                                         ULONG nRights) = 0;
    virtual NTSTATUS LsaClose(LSA_HANDLE hObject) = 0;
    virtual BOOL LookupAccountNameA(LPCSTR pszSystem, LPCSTR pszAccount, PSID pSid, LPDWORD pcbSid, LPSTR pszDomain,
                                    LPDWORD pcchDomain, SID_NAME_USE* peUse) = 0;
    virtual BOOL LookupAccountNameW(LPCWSTR pwszSystem, LPCWSTR pwszAccount, PSID pSid, LPDWORD pcbSid,
                                    LPWSTR pwszDomain, LPDWORD pcchDomain, SID_NAME_USE* peUse) = 0;
};

// Security descriptors, access lists and SIDs (pure functions over the Windows byte layouts; the
// failures set the last error of ISystem).
class IAcl {
public:
    virtual ~IAcl() = default;
    virtual BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSd, DWORD dwRevision) = 0;
    virtual BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSd, LPBOOL pbDaclPresent, PACL* ppDacl,
                                           LPBOOL pbDaclDefaulted) = 0;
    virtual BOOL InitializeAcl(PACL pAcl, DWORD cbAcl, DWORD dwRevision) = 0;
    virtual BOOL AddAce(PACL pAcl, DWORD dwRevision, DWORD dwStartIndex, LPVOID pAceList, DWORD cbAceList) = 0;
    virtual DWORD GetLengthSid(PSID pSid) = 0;
    virtual BOOL EqualSid(PSID pSid1, PSID pSid2) = 0;
};

// Network management: shares.
class INetShare {
public:
    virtual ~INetShare() = default;
    virtual NET_API_STATUS NetShareAdd(LMSTR pwszServer, DWORD dwLevel, LPBYTE pBuf, LPDWORD pdwParmErr) = 0;
    virtual NET_API_STATUS NetShareDel(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwReserved) = 0;
    virtual NET_API_STATUS NetShareGetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE* ppBuf) = 0;
    virtual NET_API_STATUS NetShareSetInfo(LMSTR pwszServer, LMSTR pwszNetName, DWORD dwLevel, LPBYTE pBuf,
                                           LPDWORD pdwParmErr) = 0;
    virtual NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) = 0;
};

// Network management: the domain's servers.
class INetServer {
public:
    virtual ~INetServer() = default;
    virtual NET_API_STATUS NetServerEnum(LMCSTR pwszServer, DWORD dwLevel, LPBYTE* ppBuf, DWORD dwPrefMaxLen,
                                         LPDWORD pdwEntriesRead, LPDWORD pdwTotalEntries, DWORD dwServerType,
                                         LMCSTR pwszDomain, LPDWORD pdwResumeHandle) = 0;
    virtual NET_API_STATUS NetApiBufferFree(LPVOID pBuffer) = 0;
};

// Network resource enumeration (WNet).
class INetEnum {
public:
    virtual ~INetEnum() = default;
    virtual DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA pResource,
                                LPHANDLE phEnum) = 0;
    virtual DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD pcCount, LPVOID pBuffer, LPDWORD pcbBuffer) = 0;
    virtual DWORD WNetCloseEnum(HANDLE hEnum) = 0;
};

// Windows, dialogs, message boxes and the shell's folder dialog.
class IUi {
public:
    virtual ~IUi() = default;
    virtual int MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType) = 0;
    // Registers the common-control classes pInit names. Missing from NT 4.0's comctl32 4.00: fails
    // there with ERROR_CALL_NOT_IMPLEMENTED.
    virtual BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit) = 0;
    // Registers every common-control class of comctl32 4.00 (the progress bar among them).
    virtual void InitCommonControls() = 0;
    virtual HWND CreateDialogParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                                    LPARAM lInitParam) = 0;
    virtual INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                                    LPARAM lInitParam) = 0;
    virtual BOOL EndDialog(HWND hDlg, INT_PTR nResult) = 0;
    virtual BOOL DestroyWindow(HWND hWnd) = 0;
    virtual BOOL IsWindow(HWND hWnd) = 0;
    virtual HWND GetDlgItem(HWND hDlg, int nIDDlgItem) = 0;
    virtual LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) = 0;
    virtual BOOL SetWindowTextA(HWND hWnd, LPCSTR pszString) = 0;
    virtual int GetWindowTextA(HWND hWnd, LPSTR pszString, int nMaxCount) = 0;
    virtual int GetWindowTextLengthA(HWND hWnd) = 0;
    virtual PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA pbi) = 0;
    virtual BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) = 0;
    virtual void CoTaskMemFree(LPVOID pv) = 0;
};

// Told as each export starts and as it returns to its caller, with its result (bHasResult false for
// an export without one), and of each message box the library leaves out in unattended mode. The
// simulated platform checks its accounting there and records each call; Windows builds have none.
class IExportObserver {
public:
    virtual ~IExportObserver() = default;
    virtual void ExportCalled(const char* pszExport) noexcept = 0;
    virtual void ExportReturned(const char* pszExport, bool bHasResult, int nResult) noexcept = 0;
    virtual void MessageBoxLeftOut(LPCSTR pszText, LPCSTR pszCaption, UINT uType) noexcept = 0;
};

// The set of areas in use.
struct CPlatform {
    IFiles* pFiles = nullptr;
    IClock* pClock = nullptr;
    ISystem* pSystem = nullptr;
    IRegistry* pRegistry = nullptr;
    IScm* pScm = nullptr;
    ILsa* pLsa = nullptr;
    IAcl* pAcl = nullptr;
    INetShare* pNetShare = nullptr;
    INetServer* pNetServer = nullptr;
    INetEnum* pNetEnum = nullptr;
    IUi* pUi = nullptr;
    IExportObserver* pObserver = nullptr;
};

// The current platform. Starts as the Win32 one on Windows builds and empty on the native build.
CPlatform& CurrentPlatform();
// Replaces the current platform; returns the previous one.
CPlatform SetPlatform(const CPlatform& platform);
// The Win32 forwarders (Windows builds only).
CPlatform Win32Platform();

inline IFiles& Files() { return *CurrentPlatform().pFiles; }
inline IClock& Clock() { return *CurrentPlatform().pClock; }
inline ISystem& Sys() { return *CurrentPlatform().pSystem; }
inline IRegistry& Reg() { return *CurrentPlatform().pRegistry; }
inline IScm& Scm() { return *CurrentPlatform().pScm; }
inline ILsa& Lsa() { return *CurrentPlatform().pLsa; }
inline IAcl& Acl() { return *CurrentPlatform().pAcl; }
inline INetShare& NetShare() { return *CurrentPlatform().pNetShare; }
inline INetServer& NetServer() { return *CurrentPlatform().pNetServer; }
inline INetEnum& NetEnum() { return *CurrentPlatform().pNetEnum; }
inline IUi& Ui() { return *CurrentPlatform().pUi; }

}  // namespace qx
