#include "sim/sim_system.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {
const char kLocalKind[] = "local";
const char kGlobalKind[] = "global";
const char kHeapKind[] = "heap";
}  // namespace

CSimSystem::CSimSystem(CSimKernel& kernel) : m_kernel(kernel), m_hHeap(kernel.NewHandle())
{
    m_messages = {
        {ERROR_INVALID_FUNCTION, "Incorrect function.\r\n"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
        {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
        {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
        {ERROR_INVALID_SERVICE_CONTROL, "The requested control is not valid for this service.\r\n"},
        {ERROR_SERVICE_REQUEST_TIMEOUT,
         "The service did not respond to the start or control request in a timely fashion.\r\n"},
        {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running.\r\n"},
        {ERROR_INVALID_SERVICE_ACCOUNT,
         "The account name is invalid or does not exist, or the password is invalid for the account name "
         "specified.\r\n"},
        {ERROR_SERVICE_DOES_NOT_EXIST, "The specified service does not exist as an installed service.\r\n"},
        {ERROR_SERVICE_CANNOT_ACCEPT_CTRL, "The service cannot accept control messages at this time.\r\n"},
        {ERROR_SERVICE_DISABLED,
         "The service cannot be started, either because it is disabled or because it has no enabled devices "
         "associated with it.\r\n"},
        {ERROR_SERVICE_NOT_ACTIVE, "The service has not been started.\r\n"},
        {ERROR_SERVICE_DEPENDENCY_FAIL, "The dependency service or group failed to start.\r\n"},
        {ERROR_SERVICE_LOGON_FAILED, "The service did not start due to a logon failure.\r\n"},
        {ERROR_SERVICE_DEPENDENCY_DELETED,
         "The dependency service does not exist or has been marked for deletion.\r\n"},
        {ERROR_SERVICE_NEVER_STARTED, "No attempts to start the service have been made since the last boot.\r\n"},
        {ERROR_DUPLICATE_SERVICE_NAME,
         "The name is already in use as either a service name or a service display name.\r\n"},
        {ERROR_SERVICE_MARKED_FOR_DELETE, "The specified service has been marked for deletion.\r\n"},
        {ERROR_SERVICE_EXISTS, "The specified service already exists.\r\n"},
        {RPC_S_SERVER_UNAVAILABLE, "The RPC server is unavailable.\r\n"},
    };
}

BOOL CSimSystem::GetComputerNameA(LPSTR pszBuffer, LPDWORD pcchSize)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetComputerNameA", &dwError))
        return m_kernel.Fail(dwError);
    DWORD cchName = static_cast<DWORD>(m_strComputerName.size());
    if (*pcchSize <= cchName) {
        *pcchSize = cchName + 1;
        return m_kernel.Fail(ERROR_BUFFER_OVERFLOW);
    }
    std::memcpy(pszBuffer, m_strComputerName.c_str(), cchName + 1);
    *pcchSize = cchName;
    return TRUE;
}

DWORD CSimSystem::GetModuleFileNameA(HMODULE hModule, LPSTR pszFileName, DWORD cchSize)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetModuleFileNameA", &dwError)) {
        m_kernel.Fail(dwError);
        return 0;
    }
    if (cchSize == 0)
        return 0;
    DWORD cchName = static_cast<DWORD>(m_strModuleFileName.size());
    if (cchName >= cchSize) {
        // Cut and terminated, with the size as the result, as Windows XP and later do.
        std::memcpy(pszFileName, m_strModuleFileName.c_str(), cchSize - 1);
        pszFileName[cchSize - 1] = '\0';
        m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
        return cchSize;
    }
    std::memcpy(pszFileName, m_strModuleFileName.c_str(), cchName + 1);
    return cchName;
}

DWORD CSimSystem::FormatMessageA(DWORD dwFlags, LPCVOID pSource, DWORD dwMessageId, DWORD dwLanguageId, LPSTR pszBuffer,
                                 DWORD nSize)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("FormatMessageA", &dwError)) {
        m_kernel.Fail(dwError);
        return 0;
    }
    auto it = m_messages.find(dwMessageId);
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || it == m_messages.end()) {
        m_kernel.Fail(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::string& strText = it->second;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        char* pText = static_cast<char*>(LocalAlloc(LMEM_FIXED, std::max<size_t>(strText.size() + 1, nSize)));
        if (pText == nullptr)
            return 0;
        std::memcpy(pText, strText.c_str(), strText.size() + 1);
        *reinterpret_cast<char**>(pszBuffer) = pText;
        return static_cast<DWORD>(strText.size());
    }
    if (nSize <= strText.size()) {
        m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(pszBuffer, strText.c_str(), strText.size() + 1);
    return static_cast<DWORD>(strText.size());
}

void CSimSystem::SetAnsiCodePage(UINT nCodePage)
{
    if (!IsModelledCodePage(nCodePage))
        throw std::invalid_argument("code page not modelled: " + std::to_string(nCodePage));
    m_kernel.m_nAnsiCodePage = nCodePage;
}

UINT CSimSystem::CodePageOf(UINT nCodePage) const
{
    if (nCodePage == CP_ACP)
        return m_kernel.m_nAnsiCodePage;
    return IsModelledCodePage(nCodePage) ? nCodePage : 0;
}

DWORD CSimSystem::CharUpperBuffA(LPSTR psz, DWORD cch)
{
    CSimCodeScope own(false);
    UINT nCodePage = m_kernel.m_nAnsiCodePage;
    unsigned char* p = reinterpret_cast<unsigned char*>(psz);
    for (DWORD i = 0; i < cch;) {
        wchar_t wc = 0;
        size_t cbChar = DecodeChar(nCodePage, p + i, cch - i, &wc);
        if (cbChar == 0) {
            ++i;  // a lead byte without its second byte, or an undefined pair: left alone
            continue;
        }
        std::string upper = EncodeChar(nCodePage, WideUpper(wc));
        if (upper.size() == cbChar)
            std::memcpy(p + i, upper.data(), cbChar);
        i += static_cast<DWORD>(cbChar);
    }
    return cch;
}

// The buffer is filled as far as it goes before ERROR_INSUFFICIENT_BUFFER: Windows does not promise
// to leave it untouched.
int CSimSystem::MultiByteToWideChar(UINT nCodePage, DWORD dwFlags, LPCSTR pszMultiByte, int cbMultiByte,
                                    LPWSTR pwszWideChar, int cchWideChar)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("MultiByteToWideChar", &dwError))
        return m_kernel.Fail(dwError);
    UINT nPage = CodePageOf(nCodePage);
    if (nPage == 0 || pszMultiByte == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && pwszWideChar == nullptr))
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    if ((dwFlags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS)) ||
        ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)))
        return m_kernel.Fail(ERROR_INVALID_FLAGS);
    size_t cb = cbMultiByte == -1 ? std::strlen(pszMultiByte) + 1 : static_cast<size_t>(cbMultiByte);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszMultiByte);
    int cchOut = 0;
    for (size_t i = 0; i < cb;) {
        wchar_t wc = 0;
        size_t cbChar = DecodeChar(nPage, p + i, cb - i, &wc);
        if (cbChar == 0) {
            if (dwFlags & MB_ERR_INVALID_CHARS)
                return m_kernel.Fail(ERROR_NO_UNICODE_TRANSLATION);
            wc = 0x30FB;  // the code page's default character (only 932 has undefined bytes)
            cbChar = IsLeadByte(nPage, p[i]) && i + 1 < cb && IsTrailByte(nPage, p[i + 1]) ? 2 : 1;
        }
        if (cchWideChar > 0) {
            if (cchOut == cchWideChar)
                return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
            pwszWideChar[cchOut] = wc;
        }
        ++cchOut;
        i += cbChar;
    }
    return cchOut;
}

int CSimSystem::WideCharToMultiByte(UINT nCodePage, DWORD dwFlags, LPCWSTR pwszWideChar, int cchWideChar,
                                    LPSTR pszMultiByte, int cbMultiByte, LPCSTR pszDefaultChar,
                                    LPBOOL pbUsedDefaultChar)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("WideCharToMultiByte", &dwError))
        return m_kernel.Fail(dwError);
    UINT nPage = CodePageOf(nCodePage);
    if (nPage == 0 || pwszWideChar == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && pszMultiByte == nullptr))
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags &
        ~static_cast<DWORD>(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS))
        return m_kernel.Fail(ERROR_INVALID_FLAGS);
    std::string defaultChar = pszDefaultChar == nullptr ? std::string("?")
                              : IsLeadByte(nPage, static_cast<unsigned char>(pszDefaultChar[0]))
                                  ? std::string(pszDefaultChar, 2)
                                  : std::string(pszDefaultChar, 1);
    size_t cch =
        cchWideChar == -1 ? std::char_traits<wchar_t>::length(pwszWideChar) + 1 : static_cast<size_t>(cchWideChar);
    BOOL bUsedDefault = FALSE;
    int cbOut = 0;
    for (size_t i = 0; i < cch; ++i) {
        std::string bytes = EncodeChar(nPage, pwszWideChar[i]);
        if (bytes.empty()) {
            char cBestFit = (dwFlags & WC_NO_BEST_FIT_CHARS) ? 0 : BestFitChar(nPage, pwszWideChar[i]);
            if (cBestFit != 0) {
                bytes = std::string(1, cBestFit);
            } else {
                bytes = defaultChar;
                bUsedDefault = TRUE;
            }
        }
        if (cbMultiByte > 0) {
            if (cbOut + static_cast<int>(bytes.size()) > cbMultiByte)
                return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
            std::memcpy(pszMultiByte + cbOut, bytes.data(), bytes.size());
        }
        cbOut += static_cast<int>(bytes.size());
    }
    if (pbUsedDefaultChar != nullptr)
        *pbUsedDefaultChar = bUsedDefault;
    return cbOut;
}

BOOL CSimSystem::GetCPInfo(UINT nCodePage, LPCPINFO pCpInfo)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetCPInfo", &dwError))
        return m_kernel.Fail(dwError);
    UINT nPage = CodePageOf(nCodePage);
    if (nPage == 0 || pCpInfo == nullptr)
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    *pCpInfo = CPINFO {};
    pCpInfo->MaxCharSize = 1;
    pCpInfo->DefaultChar[0] = '?';
    size_t nRange = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (!IsLeadByte(nPage, static_cast<unsigned char>(c)))
            continue;
        pCpInfo->MaxCharSize = 2;
        if (nRange == 0 || pCpInfo->LeadByte[nRange - 1] != c - 1) {
            pCpInfo->LeadByte[nRange] = static_cast<BYTE>(c);
            nRange += 2;
        }
        pCpInfo->LeadByte[nRange - 1] = static_cast<BYTE>(c);
    }
    return TRUE;
}

void* CSimSystem::Allocate(const char* pszCall, const char* pszKind, size_t cb, bool bZero)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail(pszCall, &dwError)) {
        m_kernel.Fail(dwError);
        return nullptr;
    }
    void* p = bZero ? std::calloc(1, cb == 0 ? 1 : cb) : std::malloc(cb == 0 ? 1 : cb);
    if (p == nullptr) {
        m_kernel.Fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!bZero)
        std::memset(p, 0xCD, cb);  // fresh memory is not zero on Windows either
    m_sizes[p] = cb;
    m_kernel.Acquire(pszKind, p);
    return p;
}

bool CSimSystem::Free(const char* pszKind, void* p)
{
    if (!m_kernel.Release(pszKind, p))
        return false;
    m_sizes.erase(p);
    std::free(p);
    return true;
}

HLOCAL CSimSystem::LocalAlloc(UINT uFlags, SIZE_T uBytes)
{
    CSimCodeScope own(false);
    return Allocate("LocalAlloc", kLocalKind, uBytes, (uFlags & LMEM_ZEROINIT) != 0);
}

HLOCAL CSimSystem::LocalFree(HLOCAL hMem)
{
    CSimCodeScope own(false);
    if (hMem == nullptr)
        return nullptr;
    if (!Free(kLocalKind, hMem)) {
        m_kernel.Fail(ERROR_INVALID_HANDLE);
        return hMem;
    }
    return nullptr;
}

HGLOBAL CSimSystem::GlobalAlloc(UINT uFlags, SIZE_T dwBytes)
{
    CSimCodeScope own(false);
    return Allocate("GlobalAlloc", kGlobalKind, dwBytes, (uFlags & GMEM_ZEROINIT) != 0);
}

HGLOBAL CSimSystem::GlobalFree(HGLOBAL hMem)
{
    CSimCodeScope own(false);
    if (hMem == nullptr)
        return nullptr;
    if (!Free(kGlobalKind, hMem)) {
        m_kernel.Fail(ERROR_INVALID_HANDLE);
        return hMem;
    }
    return nullptr;
}

LPVOID CSimSystem::HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes)
{
    CSimCodeScope own(false);
    if (hHeap != m_hHeap) {
        m_kernel.RecordMisuse("HeapAlloc on a heap that is not the process heap");
        return nullptr;
    }
    return Allocate("HeapAlloc", kHeapKind, dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0);
}

LPVOID CSimSystem::HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID pMem, SIZE_T dwBytes)
{
    CSimCodeScope own(false);
    auto it = m_sizes.find(pMem);
    if (hHeap != m_hHeap || it == m_sizes.end() || !m_kernel.IsHeld(kHeapKind, pMem)) {
        m_kernel.RecordMisuse("HeapReAlloc of a block that is not held");
        return nullptr;
    }
    void* pNew = Allocate("HeapReAlloc", kHeapKind, dwBytes, (dwFlags & HEAP_ZERO_MEMORY) != 0);
    if (pNew == nullptr)
        return nullptr;  // the old block stays valid, as on Windows
    std::memcpy(pNew, pMem, std::min<size_t>(it->second, dwBytes));
    Free(kHeapKind, pMem);
    return pNew;
}

BOOL CSimSystem::HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID pMem)
{
    CSimCodeScope own(false);
    if (pMem == nullptr)
        return TRUE;
    if (hHeap != m_hHeap || !Free(kHeapKind, pMem))
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    return TRUE;
}

}  // namespace qx::sim
