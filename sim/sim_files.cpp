#include "sim/sim_files.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "sim/sim_acl.h"
#include "sim/sim_lsa.h"
#include "sim/sim_text.h"

namespace qx::sim {

namespace {
const char kFileKind[] = "file";

// The null device, where every path naming NUL leads (see Absolute).
const char kNulDevice[] = "\\\\.\\NUL";

// The length of the character that begins at str[i] in the code page: 2 for a lead byte with a byte
// after it. Windows takes a narrow path in the system's ANSI code page to wide characters before
// anything reads it, so the second byte of a double-byte character (0x5C and 0x7C among them in code
// page 932) is never a backslash or a bar there; nor is it here. Knowingly short of Windows: names
// stay narrow, read in the code page of each call, so a name made before a test changes the code page
// is read anew in the new one.
size_t CharLength(const std::string& str, size_t i, UINT nCodePage)
{
    return IsLeadByte(nCodePage, static_cast<unsigned char>(str[i])) && i + 1 < str.size() ? 2 : 1;
}

// Characters that no file or folder name may hold: Windows refuses them with ERROR_INVALID_NAME.
bool HasInvalidChar(const std::string& strPath, UINT nCodePage)
{
    for (size_t i = 0; i < strPath.size(); i += CharLength(strPath, i, nCodePage)) {
        unsigned char c = static_cast<unsigned char>(strPath[i]);
        if (c < 0x20 || std::strchr("\"*<>?|", c) != nullptr)
            return true;
    }
    return false;
}

// The DOS device a name stands for in any folder, as RtlIsDosDeviceName_U sees it: the part before
// the first dot or colon, trailing spaces ignored ("nul.txt", "NUL:", "con " are devices); "" when
// the name is not one.
std::string DeviceName(const std::string& strName)
{
    std::string strBase = AnsiUpper(strName.substr(0, strName.find_first_of(".:")));
    while (!strBase.empty() && strBase.back() == ' ')
        strBase.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* pszDevice : kDevices) {
        if (strBase == pszDevice)
            return strBase;
    }
    bool bNumbered = strBase.size() == 4 && (strBase.rfind("COM", 0) == 0 || strBase.rfind("LPT", 0) == 0) &&
                     strBase[3] >= '1' && strBase[3] <= '9';
    return bNumbered ? strBase : std::string();
}
}  // namespace

CSimFiles::CSimFiles(CSimKernel& kernel) : m_kernel(kernel)
{
    m_ownersAllowed.insert(SidFromString("S-1-5-32-544"));
    CNode root;
    root.strPath = "C:";
    root.bFolder = true;
    root.dwAttrs = FILE_ATTRIBUTE_DIRECTORY;
    root.sd = DefaultSecurity();
    m_nodes["C:"] = root;
}

std::string CSimFiles::DefaultSecurity()
{
    CSdParts parts;
    parts.owner = SidFromString("S-1-5-32-544");
    parts.group = SidFromString("S-1-5-18");
    parts.bDaclPresent = true;
    parts.dacl = MakeAcl({MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, SidFromString("S-1-1-0"))});
    return MakeSelfRelativeSd(parts);
}

std::string CSimFiles::NewSecurity(const std::string& strAbsolute) const
{
    auto it = m_nodes.find(Key(ParentOf(strAbsolute)));
    return it != m_nodes.end() && !it->second.sd.empty() ? it->second.sd : DefaultSecurity();
}

std::string CSimFiles::Security(const std::string& strPath) const
{
    const CNode* pNode = Find(strPath);
    return pNode != nullptr ? pNode->sd : std::string();
}

void CSimFiles::SetSecurity(const std::string& strPath, const std::string& sd)
{
    if (CNode* pNode = Find(strPath))
        pNode->sd = sd;
}

std::string CSimFiles::Absolute(const std::string& strPath) const
{
    std::string p = strPath;
    for (char& c : p)
        c = c == '/' ? '\\' : c;
    std::string strRoot;
    std::string strRest;
    if (p.rfind("\\\\", 0) == 0) {
        // \\server\share\rest
        size_t nServerEnd = FindBackslash(p, 2);
        size_t nShareEnd = nServerEnd == std::string::npos ? std::string::npos : FindBackslash(p, nServerEnd + 1);
        strRoot = p.substr(0, nShareEnd);
        strRest = nShareEnd == std::string::npos ? "" : p.substr(nShareEnd);
    } else if (p.size() >= 2 && p[1] == ':') {
        strRoot = AnsiUpper(p.substr(0, 2));
        strRest = p.substr(2);
        if (strRest.empty() || strRest[0] != '\\') {
            std::string strCwdRoot = m_strCurrentDir.substr(0, 2);
            strRest = (strCwdRoot == strRoot ? m_strCurrentDir.substr(2) : std::string()) + "\\" + strRest;
        }
    } else if (!p.empty() && p[0] == '\\') {
        strRoot = m_strCurrentDir.substr(0, 2);
        strRest = p;
    } else {
        strRoot = m_strCurrentDir.substr(0, 2);
        strRest = m_strCurrentDir.substr(2) + "\\" + p;
    }
    std::vector<std::string> parts;
    size_t nStart = 0;
    while (nStart <= strRest.size()) {
        size_t nEnd = FindBackslash(strRest, nStart);
        if (nEnd == std::string::npos)
            nEnd = strRest.size();
        std::string strPart = strRest.substr(nStart, nEnd - nStart);
        if (strPart == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!strPart.empty() && strPart != ".") {
            // Windows drops the trailing dots and spaces of a name: "a.txt." is "a.txt".
            size_t nKeep = strPart.find_last_not_of(". ");
            if (nKeep != std::string::npos)
                parts.push_back(strPart.substr(0, nKeep + 1));
        }
        nStart = nEnd + 1;
    }
    // A device name in any folder of a drive is the device itself, as GetFullPathName gives it.
    if (strRoot.rfind("\\\\", 0) != 0 && !parts.empty()) {
        std::string strDevice = DeviceName(parts.back());
        if (!strDevice.empty())
            return "\\\\.\\" + strDevice;
    }
    std::string strResult = strRoot;
    for (const std::string& strPart : parts)
        strResult += "\\" + strPart;
    return strResult;
}

size_t CSimFiles::FindBackslash(const std::string& str, size_t nFrom) const
{
    for (size_t i = nFrom; i < str.size(); i += CharLength(str, i, m_kernel.m_nAnsiCodePage)) {
        if (str[i] == '\\')
            return i;
    }
    return std::string::npos;
}

size_t CSimFiles::FindLastBackslash(const std::string& str) const
{
    size_t nLast = std::string::npos;
    for (size_t n = FindBackslash(str, 0); n != std::string::npos; n = FindBackslash(str, n + 1))
        nLast = n;
    return nLast;
}

bool CSimFiles::IsRootKey(const std::string& strKey) const { return FindBackslash(strKey, 0) == std::string::npos; }

// Single-byte characters fold; a double-byte character is kept whole.
std::string CSimFiles::Key(const std::string& strAbsolute) const
{
    std::string strKey = strAbsolute;
    for (size_t i = 0, cb = 1; i < strKey.size(); i += cb) {
        cb = CharLength(strKey, i, m_kernel.m_nAnsiCodePage);
        if (cb == 1)
            strKey[i] = static_cast<char>(AnsiUpper(static_cast<unsigned char>(strKey[i])));
    }
    return strKey;
}

std::string CSimFiles::ParentOf(const std::string& strAbsolute) const
{
    size_t nSlash = FindLastBackslash(strAbsolute);
    return nSlash == std::string::npos ? std::string() : strAbsolute.substr(0, nSlash);
}

const CSimFiles::CNode* CSimFiles::Find(const std::string& strPath) const
{
    auto it = m_nodes.find(Key(Absolute(strPath)));
    return it == m_nodes.end() ? nullptr : &it->second;
}

CSimFiles::CNode* CSimFiles::Find(const std::string& strPath)
{
    auto it = m_nodes.find(Key(Absolute(strPath)));
    return it == m_nodes.end() ? nullptr : &it->second;
}

DWORD CSimFiles::CheckParent(const std::string& strPath) const
{
    std::string strAbs = Absolute(strPath);
    if (IsRootKey(strAbs))
        return ERROR_PATH_NOT_FOUND;
    auto it = m_nodes.find(Key(ParentOf(strAbs)));
    return it != m_nodes.end() && it->second.bFolder ? 0 : ERROR_PATH_NOT_FOUND;
}

bool CSimFiles::IsOpen(const std::string& strKey) const
{
    for (const auto& open : m_open) {
        if (open.second.strKey == strKey)
            return true;
    }
    return false;
}

DWORD CSimFiles::CheckSharing(const std::string& strKey, bool bRead, bool bWrite, bool bDelete, DWORD dwShare) const
{
    // An open without access to the data (attributes only) neither conflicts nor is conflicted with.
    if (!bRead && !bWrite && !bDelete)
        return 0;
    for (const auto& entry : m_open) {
        const COpenFile& open = entry.second;
        if (open.strKey != strKey || (!open.bRead && !open.bWrite && !open.bDelete))
            continue;
        bool bRefused =
            (bRead && !(open.dwShare & FILE_SHARE_READ)) || (bWrite && !(open.dwShare & FILE_SHARE_WRITE)) ||
            (bDelete && !(open.dwShare & FILE_SHARE_DELETE)) || (open.bRead && !(dwShare & FILE_SHARE_READ)) ||
            (open.bWrite && !(dwShare & FILE_SHARE_WRITE)) || (open.bDelete && !(dwShare & FILE_SHARE_DELETE));
        if (bRefused)
            return ERROR_SHARING_VIOLATION;
    }
    return 0;
}

CSimFiles::COpenFile* CSimFiles::Open(HANDLE h)
{
    auto it = m_open.find(h);
    return it == m_open.end() ? nullptr : &it->second;
}

void CSimFiles::AddFolder(const std::string& strPath)
{
    std::string strAbs = Absolute(strPath);
    std::string strParent = ParentOf(strAbs);
    if (!strParent.empty() && m_nodes.find(Key(strParent)) == m_nodes.end())
        AddFolder(strParent);
    CNode& node = m_nodes[Key(strAbs)];
    if (node.sd.empty())
        node.sd = NewSecurity(strAbs);
    node.strPath = strAbs;
    node.bFolder = true;
    node.dwAttrs = FILE_ATTRIBUTE_DIRECTORY;
}

void CSimFiles::SetFile(const std::string& strPath, const std::string& strData)
{
    std::string strAbs = Absolute(strPath);
    std::string strParent = ParentOf(strAbs);
    if (!strParent.empty())
        AddFolder(strParent);
    CNode& node = m_nodes[Key(strAbs)];
    if (node.strPath.empty()) {
        node.strPath = strAbs;
        node.sd = NewSecurity(strAbs);
    }
    node.bFolder = false;
    node.data = strData;
    node.nSparseZeros = 0;
}

void CSimFiles::SetSparseFile(const std::string& strPath, const std::string& strData, long long nSize)
{
    SetFile(strPath, strData);
    Find(strPath)->nSparseZeros = std::max<long long>(nSize - static_cast<long long>(strData.size()), 0);
}

std::optional<std::string> CSimFiles::GetFile(const std::string& strPath) const
{
    const CNode* pNode = Find(strPath);
    if (pNode == nullptr || pNode->bFolder)
        return std::nullopt;
    return pNode->data;
}

bool CSimFiles::Exists(const std::string& strPath) const { return Find(strPath) != nullptr; }

void CSimFiles::SetAttributes(const std::string& strPath, DWORD dwAttrs)
{
    if (CNode* pNode = Find(strPath))
        pNode->dwAttrs = dwAttrs | (pNode->bFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

std::vector<std::string> CSimFiles::List(const std::string& strFolder) const
{
    std::string strPrefix = Key(Absolute(strFolder)) + "\\";
    std::vector<std::string> names;
    for (const auto& node : m_nodes) {
        if (node.first.rfind(strPrefix, 0) == 0 && FindBackslash(node.first, strPrefix.size()) == std::string::npos)
            names.push_back(node.second.strPath.substr(strPrefix.size()));
    }
    return names;
}

HANDLE CSimFiles::CreateFileA(LPCSTR pszPath, DWORD dwAccess, DWORD dwShare, DWORD dwCreation, DWORD dwFlags)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("CreateFileA", &dwError)) {
        m_kernel.Fail(dwError);
        return INVALID_HANDLE_VALUE;
    }
    if (pszPath == nullptr || *pszPath == '\0') {
        m_kernel.Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (HasInvalidChar(pszPath, m_kernel.m_nAnsiCodePage)) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::string strAbs = Absolute(pszPath);
    std::string strKey = Key(strAbs);
    bool bRead = (dwAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    bool bWrite = (dwAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    bool bDelete = (dwAccess & (DELETE | GENERIC_ALL)) != 0;
    if (strKey.rfind("\\\\.\\", 0) == 0) {
        // The null device opens whatever the disposition, takes every write and reads as empty. The
        // other devices (CON, PRN, AUX, COMn, LPTn) are knowingly not modelled: opening one fails
        // with ERROR_FILE_NOT_FOUND, as for a port the machine lacks, also for the console.
        if (strKey != kNulDevice) {
            m_kernel.Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        m_nodes[strKey].strPath = strKey;
        HANDLE h = m_kernel.NewHandle();
        COpenFile& open = m_open[h];
        open.strKey = strKey;
        open.bRead = bRead;
        open.bWrite = bWrite;
        open.dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        m_kernel.Acquire(kFileKind, h);
        m_kernel.m_dwLastError = 0;
        return h;
    }
    auto it = m_nodes.find(strKey);
    if (it != m_nodes.end() && it->second.bFolder) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if ((dwError = CheckParent(strAbs)) != 0) {
        m_kernel.Fail(dwError);
        return INVALID_HANDLE_VALUE;
    }
    bool bExists = it != m_nodes.end();
    if (bExists && it->second.bDeletePending) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    bool bReadOnly = bExists && (it->second.dwAttrs & FILE_ATTRIBUTE_READONLY);
    switch (dwCreation) {
    case CREATE_NEW:
        if (bExists) {
            m_kernel.Fail(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
        break;
    case OPEN_EXISTING:
    case TRUNCATE_EXISTING:
        if (!bExists) {
            m_kernel.Fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        break;
    default:
        m_kernel.Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool bTruncate = dwCreation == CREATE_ALWAYS || dwCreation == TRUNCATE_EXISTING;
    if (bReadOnly && (bWrite || bTruncate)) {
        m_kernel.Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (bExists && (dwError = CheckSharing(strKey, bRead, bWrite, bDelete, dwShare)) != 0) {
        m_kernel.Fail(dwError);
        return INVALID_HANDLE_VALUE;
    }
    if (!bExists) {
        CNode& node = m_nodes[strKey];
        node.strPath = strAbs;
        node.sd = NewSecurity(strAbs);
    } else if (bTruncate) {
        if (m_nFreeBytes >= 0)
            m_nFreeBytes += static_cast<long long>(it->second.data.size());
        it->second.data.clear();
        it->second.nSparseZeros = 0;
    }
    HANDLE h = m_kernel.NewHandle();
    COpenFile& open = m_open[h];
    open.strKey = strKey;
    open.bRead = bRead;
    open.bWrite = bWrite;
    open.bDelete = bDelete;
    open.dwShare = dwShare;
    m_kernel.Acquire(kFileKind, h);
    m_kernel.m_dwLastError =
        bExists && (dwCreation == CREATE_ALWAYS || dwCreation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : 0;
    return h;
}

BOOL CSimFiles::ReadFile(HANDLE hFile, LPVOID pBuffer, DWORD cbToRead, LPDWORD pcbRead)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (pcbRead != nullptr)
        *pcbRead = 0;
    COpenFile* pOpen = Open(hFile);
    if (pOpen == nullptr)
        return m_kernel.Fail(ERROR_INVALID_HANDLE);
    if (m_kernel.ShouldFail("ReadFile", &dwError))
        return m_kernel.Fail(dwError);
    if (!pOpen->bRead)
        return m_kernel.Fail(ERROR_ACCESS_DENIED);
    CNode& node = m_nodes[pOpen->strKey];
    if (pOpen->strKey == kNulDevice)
        node.data.clear();  // what was written to the null device is gone
    long long nData = static_cast<long long>(node.data.size());
    long long nAvailable = nData + node.nSparseZeros - pOpen->nPos;
    DWORD cb = nAvailable <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(nAvailable, cbToRead));
    DWORD cbData = pOpen->nPos >= nData ? 0 : static_cast<DWORD>(std::min<long long>(nData - pOpen->nPos, cb));
    if (cbData > 0)
        std::memcpy(pBuffer, node.data.data() + pOpen->nPos, cbData);
    if (cb > cbData)
        std::memset(static_cast<char*>(pBuffer) + cbData, 0, cb - cbData);
    pOpen->nPos += cb;
    if (pcbRead != nullptr)
        *pcbRead = cb;
    return TRUE;
}

BOOL CSimFiles::WriteFile(HANDLE hFile, LPCVOID pBuffer, DWORD cbToWrite, LPDWORD pcbWritten)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (pcbWritten != nullptr)
        *pcbWritten = 0;
    COpenFile* pOpen = Open(hFile);
    if (pOpen == nullptr)
        return m_kernel.Fail(ERROR_INVALID_HANDLE);
    if (m_kernel.ShouldFail("WriteFile", &dwError))
        return m_kernel.Fail(dwError);
    if (!pOpen->bWrite)
        return m_kernel.Fail(ERROR_ACCESS_DENIED);
    // Not modelled: writing into a sparse file (only read by the tests).
    if (m_nodes[pOpen->strKey].nSparseZeros > 0)
        return m_kernel.Fail(ERROR_NOT_SUPPORTED);
    for (auto it = m_shortWrites.begin(); it != m_shortWrites.end();) {
        if (--it->first > 0) {
            ++it;
            continue;
        }
        cbToWrite = std::min(cbToWrite, it->second);
        it = m_shortWrites.erase(it);
    }
    std::string& data = m_nodes[pOpen->strKey].data;
    long long nEnd = pOpen->nPos + cbToWrite;
    long long nGrowth = nEnd - static_cast<long long>(data.size());
    if (nGrowth > 0 && m_nFreeBytes >= 0) {
        if (nGrowth > m_nFreeBytes)
            return m_kernel.Fail(ERROR_DISK_FULL);
        m_nFreeBytes -= nGrowth;
    }
    // Appending, the common case, copies the bytes once into storage that grows geometrically; a
    // write past the end fills the gap with zeros first, as NTFS does.
    if (pOpen->nPos == static_cast<long long>(data.size())) {
        if (cbToWrite > 0)
            data.append(static_cast<const char*>(pBuffer), cbToWrite);
    } else {
        if (nEnd > static_cast<long long>(data.size()))
            data.resize(static_cast<size_t>(nEnd));
        if (cbToWrite > 0)
            std::memcpy(&data[static_cast<size_t>(pOpen->nPos)], pBuffer, cbToWrite);
    }
    pOpen->nPos = nEnd;
    if (pcbWritten != nullptr)
        *pcbWritten = cbToWrite;
    return TRUE;
}

DWORD CSimFiles::GetFileSize(HANDLE hFile, LPDWORD pdwSizeHigh)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    COpenFile* pOpen = Open(hFile);
    if (pOpen == nullptr || m_kernel.ShouldFail("GetFileSize", &dwError)) {
        m_kernel.Fail(pOpen == nullptr ? ERROR_INVALID_HANDLE : dwError);
        return INVALID_FILE_SIZE;
    }
    const CNode& node = m_nodes[pOpen->strKey];
    auto nSize = static_cast<uint64_t>(node.data.size()) + static_cast<uint64_t>(node.nSparseZeros);
    if (pdwSizeHigh != nullptr)
        *pdwSizeHigh = static_cast<DWORD>(nSize >> 32);
    auto dwLow = static_cast<DWORD>(nSize);
    if (dwLow == INVALID_FILE_SIZE)
        m_kernel.m_dwLastError = NO_ERROR;  // so that the caller can tell this size from a failure
    return dwLow;
}

DWORD CSimFiles::SetFilePointer(HANDLE hFile, LONG lDistance, PLONG plDistanceHigh, DWORD dwMethod)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    COpenFile* pOpen = Open(hFile);
    if (pOpen == nullptr || m_kernel.ShouldFail("SetFilePointer", &dwError)) {
        m_kernel.Fail(pOpen == nullptr ? ERROR_INVALID_HANDLE : dwError);
        return INVALID_SET_FILE_POINTER;
    }
    const CNode& node = m_nodes[pOpen->strKey];
    long long nDistance =
        plDistanceHigh != nullptr
            ? static_cast<long long>((static_cast<uint64_t>(static_cast<DWORD>(*plDistanceHigh)) << 32) |
                                     static_cast<DWORD>(lDistance))
            : static_cast<long long>(lDistance);
    long long nBase = dwMethod == FILE_BEGIN     ? 0
                      : dwMethod == FILE_CURRENT ? pOpen->nPos
                                                 : static_cast<long long>(node.data.size()) + node.nSparseZeros;
    long long nPos = nBase + nDistance;
    if (nPos < 0) {
        m_kernel.Fail(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (plDistanceHigh == nullptr && nPos > 0xFFFFFFFELL) {
        m_kernel.Fail(ERROR_INVALID_PARAMETER);  // a position a 32-bit result cannot give
        return INVALID_SET_FILE_POINTER;
    }
    pOpen->nPos = nPos;
    if (plDistanceHigh != nullptr)
        *plDistanceHigh = static_cast<LONG>(static_cast<uint64_t>(nPos) >> 32);
    auto dwLow = static_cast<DWORD>(static_cast<uint64_t>(nPos));
    if (dwLow == INVALID_SET_FILE_POINTER)
        m_kernel.m_dwLastError = NO_ERROR;
    return dwLow;
}

BOOL CSimFiles::FlushFileBuffers(HANDLE hFile)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (Open(hFile) == nullptr)
        return m_kernel.Fail(ERROR_INVALID_HANDLE);
    if (m_kernel.ShouldFail("FlushFileBuffers", &dwError))
        return m_kernel.Fail(dwError);
    return TRUE;
}

BOOL CSimFiles::CloseHandle(HANDLE hObject)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    auto it = m_open.find(hObject);
    if (it == m_open.end()) {
        m_kernel.RecordMisuse("CloseHandle of a handle that is not an open file");
        return m_kernel.Fail(ERROR_INVALID_HANDLE);
    }
    std::string strKey = it->second.strKey;
    bool bWrite = it->second.bWrite;
    m_open.erase(it);
    m_kernel.Release(kFileKind, hObject);
    auto itNode = m_nodes.find(strKey);
    if (itNode != m_nodes.end() && (itNode->second.bDeletePending || strKey == kNulDevice) && !IsOpen(strKey)) {
        if (m_nFreeBytes >= 0)
            m_nFreeBytes += static_cast<long long>(itNode->second.data.size());
        m_nodes.erase(itNode);
    }
    // A failing close still closes the handle (a late write error, as on a network drive).
    bool bFail = m_kernel.ShouldFail("CloseHandle", &dwError);
    if (bWrite)
        m_writeCloses.push_back(m_kernel.Calls("CloseHandle"));
    if (bFail)
        return m_kernel.Fail(dwError);
    return TRUE;
}

BOOL CSimFiles::DeleteFileA(LPCSTR pszPath)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("DeleteFileA", &dwError))
        return m_kernel.Fail(dwError);
    if (pszPath == nullptr)
        return m_kernel.Fail(ERROR_PATH_NOT_FOUND);
    if (HasInvalidChar(pszPath, m_kernel.m_nAnsiCodePage))
        return m_kernel.Fail(ERROR_INVALID_NAME);
    auto it = m_nodes.find(Key(Absolute(pszPath)));
    if (it == m_nodes.end())
        return m_kernel.Fail(CheckParent(pszPath) != 0 ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    if (it->second.bFolder || (it->second.dwAttrs & FILE_ATTRIBUTE_READONLY) || it->second.bDeletePending)
        return m_kernel.Fail(ERROR_ACCESS_DENIED);
    if (IsOpen(it->first)) {
        // Deleting opens the file for DELETE: every handle open must share it; then the file goes
        // when the last one is closed.
        if ((dwError = CheckSharing(it->first, false, false, true,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) != 0)
            return m_kernel.Fail(dwError);
        it->second.bDeletePending = true;
        return TRUE;
    }
    if (m_nFreeBytes >= 0)
        m_nFreeBytes += static_cast<long long>(it->second.data.size());
    m_nodes.erase(it);
    return TRUE;
}

BOOL CSimFiles::MoveFileExA(LPCSTR pszExisting, LPCSTR pszNew, DWORD dwFlags)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("MoveFileExA", &dwError))
        return m_kernel.Fail(dwError);
    auto itFrom = m_nodes.find(Key(Absolute(pszExisting)));
    if (itFrom == m_nodes.end())
        return m_kernel.Fail(CheckParent(pszExisting) != 0 ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    if ((dwError = CheckParent(pszNew)) != 0)
        return m_kernel.Fail(dwError);
    std::string strToAbs = Absolute(pszNew);
    std::string strToKey = Key(strToAbs);
    auto itTo = m_nodes.find(strToKey);
    if (itTo != m_nodes.end() && itTo != itFrom) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING))
            return m_kernel.Fail(ERROR_ALREADY_EXISTS);
        if (itTo->second.bFolder || (itTo->second.dwAttrs & FILE_ATTRIBUTE_READONLY))
            return m_kernel.Fail(ERROR_ACCESS_DENIED);
        if (m_nFreeBytes >= 0)
            m_nFreeBytes += static_cast<long long>(itTo->second.data.size());
    }
    if (IsOpen(itFrom->first))
        return m_kernel.Fail(ERROR_SHARING_VIOLATION);
    CNode node = itFrom->second;
    node.strPath = strToAbs;
    m_nodes.erase(itFrom);
    m_nodes[strToKey] = node;
    return TRUE;
}

// An injected ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_UNABLE_TO_MOVE_REPLACEMENT or
// ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 leaves the files as Windows documents for that code; any other
// failure changes nothing.
BOOL CSimFiles::ReplaceFileA(LPCSTR pszReplaced, LPCSTR pszReplacement, LPCSTR pszBackup, DWORD dwFlags)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    bool bFault = m_kernel.ShouldFail("ReplaceFileA", &dwError);
    bool bPartial = dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT || dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    if (bFault && !bPartial)
        return m_kernel.Fail(dwError);
    auto itOld = m_nodes.find(Key(Absolute(pszReplaced)));
    auto itNew = m_nodes.find(Key(Absolute(pszReplacement)));
    if (itOld == m_nodes.end() || itNew == m_nodes.end())
        return m_kernel.Fail(ERROR_FILE_NOT_FOUND);
    if (itOld->second.bFolder || (itOld->second.dwAttrs & FILE_ATTRIBUTE_READONLY))
        return m_kernel.Fail(ERROR_UNABLE_TO_REMOVE_REPLACED);
    if (IsOpen(itOld->first) || IsOpen(itNew->first))
        return m_kernel.Fail(ERROR_SHARING_VIOLATION);
    if (pszBackup != nullptr && CheckParent(pszBackup) != 0)
        return m_kernel.Fail(ERROR_PATH_NOT_FOUND);
    if (bFault && pszBackup != nullptr && dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return m_kernel.Fail(ERROR_UNABLE_TO_MOVE_REPLACEMENT);  // both files keep their names
    // The replaced file leaves its name: to the backup name (replacing a file there), to a name of
    // Windows' choosing for ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 without one, or else it is deleted.
    CNode old = itOld->second;
    std::string strOldKey = itOld->first;
    m_nodes.erase(itOld);
    bool bKept = pszBackup != nullptr || (bFault && dwError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    if (!bKept && m_nFreeBytes >= 0)
        m_nFreeBytes += static_cast<long long>(old.data.size());
    if (bKept) {
        std::string strAway = pszBackup != nullptr ? Absolute(pszBackup) : Absolute(pszReplaced) + "~RF.TMP";
        auto itAway = m_nodes.find(Key(strAway));
        if (itAway != m_nodes.end() && m_nFreeBytes >= 0)
            m_nFreeBytes += static_cast<long long>(itAway->second.data.size());
        CNode& away = m_nodes[Key(strAway)];
        away = old;
        away.strPath = strAway;
    }
    itNew = m_nodes.find(Key(Absolute(pszReplacement)));
    itNew->second.dwAttrs = old.dwAttrs;  // the replacement takes the replaced file's attributes
    itNew->second.sd = old.sd;  // and its security
    if (bFault)
        return m_kernel.Fail(dwError);  // the replacement keeps its own name
    CNode replacement = itNew->second;
    replacement.strPath = old.strPath;
    m_nodes.erase(itNew);
    m_nodes[strOldKey] = replacement;
    return TRUE;
}

DWORD CSimFiles::GetFileAttributesA(LPCSTR pszPath)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetFileAttributesA", &dwError)) {
        m_kernel.Fail(dwError);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (pszPath != nullptr && HasInvalidChar(pszPath, m_kernel.m_nAnsiCodePage)) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    const CNode* pNode = pszPath != nullptr ? Find(pszPath) : nullptr;
    if (pNode == nullptr) {
        m_kernel.Fail(pszPath != nullptr && CheckParent(pszPath) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return pNode->dwAttrs != 0 ? pNode->dwAttrs : FILE_ATTRIBUTE_NORMAL;
}

BOOL CSimFiles::SetFileAttributesA(LPCSTR pszPath, DWORD dwAttrs)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("SetFileAttributesA", &dwError))
        return m_kernel.Fail(dwError);
    CNode* pNode = pszPath != nullptr ? Find(pszPath) : nullptr;
    if (pNode == nullptr)
        return m_kernel.Fail(pszPath != nullptr && CheckParent(pszPath) == 0 ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_PATH_NOT_FOUND);
    // Only these can be set; FILE_ATTRIBUTE_NORMAL alone clears them all.
    const DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                            FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    pNode->dwAttrs = (dwAttrs & kSettable) | (pNode->bFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}

CSimFiles::CNode* CSimFiles::SecurityNode(LPCSTR pszPath)
{
    if (pszPath != nullptr && HasInvalidChar(pszPath, m_kernel.m_nAnsiCodePage)) {
        m_kernel.Fail(ERROR_INVALID_NAME);
        return nullptr;
    }
    CNode* pNode = pszPath != nullptr ? Find(pszPath) : nullptr;
    if (pNode == nullptr)
        m_kernel.Fail(pszPath != nullptr && CheckParent(pszPath) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return pNode;
}

BOOL CSimFiles::GetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd, DWORD cbSd,
                                 LPDWORD pcbNeeded)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetFileSecurityA", &dwError))
        return m_kernel.Fail(dwError);
    const CNode* pNode = SecurityNode(pszPath);
    if (pNode == nullptr)
        return FALSE;
    if (dwInfo & SACL_SECURITY_INFORMATION)
        return m_kernel.Fail(ERROR_PRIVILEGE_NOT_HELD);
    CSdParts stored;
    ReadSelfRelativeSd(pNode->sd, &stored);
    CSdParts parts;  // the parts asked for, with the control bits that describe them
    parts.nRevision = stored.nRevision;
    if (dwInfo & OWNER_SECURITY_INFORMATION) {
        parts.owner = stored.owner;
        parts.wControl |= stored.wControl & SE_OWNER_DEFAULTED;
    }
    if (dwInfo & GROUP_SECURITY_INFORMATION) {
        parts.group = stored.group;
        parts.wControl |= stored.wControl & SE_GROUP_DEFAULTED;
    }
    if (dwInfo & DACL_SECURITY_INFORMATION) {
        parts.bDaclPresent = stored.bDaclPresent;
        parts.dacl = stored.dacl;
        parts.wControl |= stored.wControl & ~(SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED);
    }
    const std::string sd = MakeSelfRelativeSd(parts);
    if (pcbNeeded == nullptr) {
        m_kernel.RecordMisuse("GetFileSecurityA without a place for the length needed");
        return m_kernel.Fail(ERROR_NOACCESS);
    }
    *pcbNeeded = static_cast<DWORD>(sd.size());
    if (pSd == nullptr || cbSd < sd.size())
        return m_kernel.Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(pSd, sd.data(), sd.size());
    return TRUE;
}

// Every check comes before any change: a call that fails changes nothing.
BOOL CSimFiles::SetFileSecurityA(LPCSTR pszPath, SECURITY_INFORMATION dwInfo, PSECURITY_DESCRIPTOR pSd)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("SetFileSecurityA", &dwError))
        return m_kernel.Fail(dwError);
    CNode* pNode = SecurityNode(pszPath);
    if (pNode == nullptr)
        return FALSE;
    if (dwInfo & SACL_SECURITY_INFORMATION)
        return m_kernel.Fail(ERROR_PRIVILEGE_NOT_HELD);
    std::string given;
    CSdParts parts;
    if (!ToSelfRelativeSd(pSd, &given) || !ReadSelfRelativeSd(given, &parts))
        return m_kernel.Fail(ERROR_INVALID_SECURITY_DESCR);
    CSdParts stored;
    ReadSelfRelativeSd(pNode->sd, &stored);
    if (dwInfo & OWNER_SECURITY_INFORMATION) {
        if (parts.owner.empty() || m_ownersAllowed.count(parts.owner) == 0)
            return m_kernel.Fail(ERROR_INVALID_OWNER);
        stored.owner = parts.owner;
        stored.wControl = static_cast<SECURITY_DESCRIPTOR_CONTROL>((stored.wControl & ~SE_OWNER_DEFAULTED) |
                                                                   (parts.wControl & SE_OWNER_DEFAULTED));
    }
    if (dwInfo & GROUP_SECURITY_INFORMATION) {
        if (parts.group.empty())
            return m_kernel.Fail(ERROR_INVALID_PRIMARY_GROUP);
        stored.group = parts.group;
        stored.wControl = static_cast<SECURITY_DESCRIPTOR_CONTROL>((stored.wControl & ~SE_GROUP_DEFAULTED) |
                                                                   (parts.wControl & SE_GROUP_DEFAULTED));
    }
    if (dwInfo & DACL_SECURITY_INFORMATION) {
        stored.bDaclPresent = parts.bDaclPresent;  // a descriptor without a DACL gives a null one
        stored.dacl = parts.dacl;
        stored.wControl = static_cast<SECURITY_DESCRIPTOR_CONTROL>(
            (stored.wControl & (SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED)) |
            (parts.wControl & ~(SE_OWNER_DEFAULTED | SE_GROUP_DEFAULTED | SE_SACL_PRESENT)));
    }
    pNode->sd = MakeSelfRelativeSd(stored);
    return TRUE;
}

UINT CSimFiles::GetTempFileNameA(LPCSTR pszDir, LPCSTR pszPrefix, UINT uUnique, LPSTR pszTempFile)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("GetTempFileNameA", &dwError)) {
        m_kernel.Fail(dwError);
        return 0;
    }
    if (pszDir != nullptr && std::strlen(pszDir) > MAX_PATH - 14) {
        m_kernel.Fail(ERROR_BUFFER_OVERFLOW);  // as documented: at most MAX_PATH - 14 characters
        return 0;
    }
    const CNode* pDir = Find(pszDir);
    if (pDir == nullptr || !pDir->bFolder) {
        m_kernel.Fail(ERROR_DIRECTORY);
        return 0;
    }
    std::string strDir = pszDir;
    if (!strDir.empty() && FindLastBackslash(strDir) + 1 != strDir.size() && strDir.back() != '/')
        strDir += '\\';
    std::string strPrefix = std::string(pszPrefix).substr(0, 3);
    for (;;) {
        unsigned nUnique = uUnique != 0 ? uUnique : (++m_nTempCounter & 0xFFFF);
        char szName[32];
        std::snprintf(szName, sizeof szName, "%s%X.tmp", strPrefix.c_str(), nUnique);
        std::string strPath = strDir + szName;
        if (strPath.size() >= MAX_PATH) {
            m_kernel.Fail(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        if (uUnique == 0 && Exists(strPath))
            continue;
        if (uUnique == 0)
            SetFile(strPath, "");
        std::memcpy(pszTempFile, strPath.c_str(), strPath.size() + 1);
        return nUnique;
    }
}

DWORD CSimFiles::GetCurrentDirectoryA(DWORD cchBuffer, LPSTR pszBuffer)
{
    CSimCodeScope own(false);
    std::string strDir = m_strCurrentDir;
    if (IsRootKey(strDir))
        strDir += "\\";
    if (cchBuffer <= strDir.size())
        return static_cast<DWORD>(strDir.size() + 1);
    std::memcpy(pszBuffer, strDir.c_str(), strDir.size() + 1);
    return static_cast<DWORD>(strDir.size());
}

BOOL CSimFiles::SetCurrentDirectoryA(LPCSTR pszPath)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("SetCurrentDirectoryA", &dwError))
        return m_kernel.Fail(dwError);
    const CNode* pNode = pszPath != nullptr ? Find(pszPath) : nullptr;
    if (pNode == nullptr)
        return m_kernel.Fail(ERROR_FILE_NOT_FOUND);
    if (!pNode->bFolder)
        return m_kernel.Fail(ERROR_DIRECTORY);
    m_strCurrentDir = pNode->strPath;
    return TRUE;
}

}  // namespace qx::sim
