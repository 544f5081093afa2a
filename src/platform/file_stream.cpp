#include "platform/file_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ansi_chars.h"
#include "platform/reason.h"

namespace qx {

namespace {
// A write that succeeded with fewer bytes than it was given: the disk is full. Gives its reason.
DWORD ShortWrite(DWORD cbWritten, DWORD cbGiven)
{
    Reason("WriteFile wrote %u of %u bytes", static_cast<unsigned>(cbWritten), static_cast<unsigned>(cbGiven));
    return ERROR_DISK_FULL;
}
}  // namespace

CFileStream::~CFileStream() { Close(); }

DWORD CFileStream::Open(const char* pszPath, DWORD dwAccess, DWORD dwCreation, Mode mode)
{
    Close();
    m_dwError = 0;
    m_mode = mode;
    m_bWriting = (dwAccess & GENERIC_WRITE) != 0;
    m_nPos = m_nLength = 0;
    m_nBufferStart = m_nSize = 0;
    m_bAtEnd = false;
    if (pszPath == nullptr)
        return ERROR_INVALID_PARAMETER;
    m_file.reset(Files().CreateFileA(pszPath, dwAccess, FILE_SHARE_READ, dwCreation, FILE_ATTRIBUTE_NORMAL));
    if (!m_file)  // a reader's caller knows whether a missing file is a failure, and says so itself
        return m_bWriting ? ReasonCall("CreateFileA", pszPath, Sys().GetLastError()) : Sys().GetLastError();
    if (!m_buffer)
        m_buffer.reset(new unsigned char[kBufferSize]);  // not zeroed: only what was filled is read
    if (!m_bWriting) {
        DWORD dwHigh = 0;
        DWORD dwLow = Files().GetFileSize(m_file.get(), &dwHigh);
        DWORD dwError = dwLow == INVALID_FILE_SIZE ? Sys().GetLastError() : NO_ERROR;
        if (dwError != NO_ERROR) {
            m_file.reset();
            return dwError;
        }
        m_nSize = static_cast<int64_t>((static_cast<uint64_t>(dwHigh) << 32) | dwLow);
    }
    return 0;
}

DWORD CFileStream::OpenRead(const char* pszPath, Mode mode) { return Open(pszPath, GENERIC_READ, OPEN_EXISTING, mode); }

DWORD CFileStream::OpenWrite(const char* pszPath, Mode mode)
{
    return Open(pszPath, GENERIC_WRITE, CREATE_ALWAYS, mode);
}

void CFileStream::Fail(DWORD dwError)
{
    if (m_dwError == 0)
        m_dwError = dwError != 0 ? dwError : ERROR_WRITE_FAULT;
}

bool CFileStream::Refill()
{
    if (m_bAtEnd || !m_file || m_bWriting)
        return false;
    m_nBufferStart += static_cast<int64_t>(m_nLength);
    m_nPos = m_nLength = 0;
    DWORD cbRead = 0;
    if (!Files().ReadFile(m_file.get(), m_buffer.get(), static_cast<DWORD>(kBufferSize), &cbRead)) {
        Fail(ReasonCall("ReadFile", nullptr, Sys().GetLastError()));
        m_bAtEnd = true;
        return false;
    }
    if (cbRead == 0) {
        m_bAtEnd = true;
        return false;
    }
    m_nLength = cbRead;
    return true;
}

int CFileStream::RawGet()
{
    if (m_nPos >= m_nLength && !Refill())
        return -1;
    return m_buffer[m_nPos++];
}

int CFileStream::RawPeek()
{
    if (m_nPos >= m_nLength) {
        // Keep the file offset right: the refill moves the buffer start past what was consumed.
        if (!Refill())
            return -1;
    }
    return m_buffer[m_nPos];
}

// A refill, or a CR that may begin a CR LF pair.
int CFileStream::GetByteSlowly()
{
    int c = RawGet();
    if (c == '\r' && m_mode == Mode::kText && RawPeek() == '\n')
        c = RawGet();
    return c;
}

size_t CFileStream::Read(void* pData, size_t cb)
{
    unsigned char* p = static_cast<unsigned char*>(pData);
    size_t nDone = 0;
    if (m_mode == Mode::kText) {
        for (int c; nDone < cb && (c = GetByte()) != -1; ++nDone)
            p[nDone] = static_cast<unsigned char>(c);
        return nDone;
    }
    while (nDone < cb) {
        if (m_nPos >= m_nLength && cb - nDone >= kBufferSize) {
            // The buffer is drained and a whole buffer or more is wanted: read straight into place.
            size_t nDirect = ReadDirect(p + nDone, cb - nDone);
            if (nDirect == 0)
                break;
            nDone += nDirect;
            continue;
        }
        if (m_nPos >= m_nLength && !Refill())
            break;
        size_t nTake = std::min(cb - nDone, m_nLength - m_nPos);
        std::memcpy(p + nDone, m_buffer.get() + m_nPos, nTake);
        m_nPos += nTake;
        nDone += nTake;
    }
    return nDone;
}

size_t CFileStream::ReadDirect(unsigned char* p, size_t cb)
{
    if (m_bAtEnd || !m_file || m_bWriting)
        return 0;
    m_nBufferStart += static_cast<int64_t>(m_nLength);
    m_nPos = m_nLength = 0;
    DWORD cbRead = 0;
    DWORD cbWanted = static_cast<DWORD>(std::min<size_t>(cb, 0x40000000));
    if (!Files().ReadFile(m_file.get(), p, cbWanted, &cbRead)) {
        Fail(ReasonCall("ReadFile", nullptr, Sys().GetLastError()));
        m_bAtEnd = true;
        return 0;
    }
    if (cbRead == 0)
        m_bAtEnd = true;
    m_nBufferStart += cbRead;
    return cbRead;
}

bool CFileStream::Flush()
{
    if (!m_file || !m_bWriting || m_nLength == 0)
        return m_dwError == 0;
    DWORD cbWritten = 0;
    BOOL bOk = Files().WriteFile(m_file.get(), m_buffer.get(), static_cast<DWORD>(m_nLength), &cbWritten);
    if (!bOk)
        Fail(ReasonCall("WriteFile", nullptr, Sys().GetLastError()));
    else if (cbWritten != m_nLength)
        Fail(ShortWrite(cbWritten, static_cast<DWORD>(m_nLength)));
    m_nBufferStart += static_cast<int64_t>(m_nLength);
    m_nLength = 0;
    return m_dwError == 0;
}

bool CFileStream::RawPut(unsigned char c)
{
    if (!m_file || !m_bWriting) {
        Fail(ERROR_INVALID_HANDLE);
        return false;
    }
    if (m_nLength == kBufferSize && !Flush())
        return false;
    m_buffer[m_nLength++] = c;
    return m_dwError == 0;
}

bool CFileStream::PutByte(unsigned char c)
{
    if (c == '\n' && m_mode == Mode::kText && !RawPut('\r'))
        return false;
    return RawPut(c);
}

bool CFileStream::Write(const void* pData, size_t cb)
{
    const unsigned char* p = static_cast<const unsigned char*>(pData);
    if (m_mode == Mode::kBinary)
        return WriteBlock(p, cb);
    // Text mode: the runs between line feeds go as blocks, each line feed as CR LF.
    static const unsigned char kCrLf[] = {'\r', '\n'};
    while (cb > 0) {
        const void* pLf = std::memchr(p, '\n', cb);
        size_t nRun = pLf ? static_cast<size_t>(static_cast<const unsigned char*>(pLf) - p) : cb;
        if (!WriteBlock(p, nRun) || (pLf && !WriteBlock(kCrLf, 2)))
            return false;
        nRun += pLf ? 1 : 0;
        p += nRun;
        cb -= nRun;
    }
    return true;
}

bool CFileStream::WriteBlock(const unsigned char* p, size_t cb)
{
    if (cb == 0)
        return true;
    if (!m_file || !m_bWriting) {
        Fail(ERROR_INVALID_HANDLE);
        return false;
    }
    while (cb > 0) {
        if (m_nLength == kBufferSize && !Flush())
            return false;
        if (m_nLength == 0 && cb >= kBufferSize) {
            // Nothing buffered and a whole buffer or more to write: write it straight from place.
            DWORD cbWrite = static_cast<DWORD>(std::min<size_t>(cb, 0x40000000));
            DWORD cbWritten = 0;
            if (!Files().WriteFile(m_file.get(), p, cbWrite, &cbWritten)) {
                Fail(ReasonCall("WriteFile", nullptr, Sys().GetLastError()));
                return false;
            }
            m_nBufferStart += cbWritten;
            if (cbWritten != cbWrite) {
                Fail(ShortWrite(cbWritten, cbWrite));
                return false;
            }
            p += cbWrite;
            cb -= cbWrite;
            continue;
        }
        size_t nTake = std::min(cb, kBufferSize - m_nLength);
        std::memcpy(m_buffer.get() + m_nLength, p, nTake);
        m_nLength += nTake;
        p += nTake;
        cb -= nTake;
    }
    return m_dwError == 0;
}

bool CFileStream::PutText(const char* pszText) { return Write(pszText, std::strlen(pszText)); }

DWORD CFileStream::Close()
{
    if (!m_file)
        return m_dwError;
    if (m_bWriting)
        Flush();
    HANDLE h = m_file.release();
    if (!Files().CloseHandle(h) && m_bWriting)
        Fail(ReasonCall("CloseHandle", nullptr, Sys().GetLastError()));
    m_buffer.reset();
    // Closed, the stream reads as empty (GetByte's fast path sees nothing buffered) and writes nothing.
    m_nPos = m_nLength = 0;
    m_nBufferStart = m_nSize = 0;
    m_bAtEnd = true;
    return m_dwError;
}

// ---------------------------------------------------------------------------------------------

std::string FolderOfPath(const std::string& strPath)
{
    if (const char* pszSlash = FindLastSeparator(strPath.c_str(), "\\/"))
        return strPath.substr(0, static_cast<size_t>(pszSlash - strPath.c_str()) + 1);
    if (strPath.size() >= 2 && strPath[1] == ':')
        return strPath.substr(0, 2);
    return ".";
}

CAtomicFile::CAtomicFile(std::string strTarget) : m_strTarget(std::move(strTarget)) { }

CAtomicFile::~CAtomicFile() { Abandon(); }

void CAtomicFile::Abandon()
{
    m_stream.Close();
    for (std::string* pstrPath : {&m_strTemp, &m_strBackup}) {
        if (!pstrPath->empty()) {
            Files().DeleteFileA(pstrPath->c_str());
            pstrPath->clear();
        }
    }
}

DWORD CAtomicFile::Create(CFileStream::Mode mode)
{
    Abandon();
    DWORD dwAttrs = Files().GetFileAttributesA(m_strTarget.c_str());
    if (dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & FILE_ATTRIBUTE_DIRECTORY)) {
        Reason("%s is a folder", m_strTarget.c_str());
        return ERROR_ACCESS_DENIED;
    }
    char szTemp[MAX_PATH + 16] = {};
    std::string strFolder = FolderOfPath(m_strTarget);
    if (strFolder.size() > MAX_PATH - 14) {  // GetTempFileNameA's limit
        Reason("the folder of %s is too long for a temporary file", m_strTarget.c_str());
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (Files().GetTempFileNameA(strFolder.c_str(), "qx", 0, szTemp) == 0)
        return ReasonCall("GetTempFileNameA", strFolder.c_str(), Sys().GetLastError());
    m_strTemp = szTemp;
    DWORD dwError = m_stream.OpenWrite(m_strTemp.c_str(), mode);
    if (dwError != 0)
        Abandon();
    return dwError;
}

namespace {
// The last error of the call that failed (never 0), given as the failure's reason.
DWORD LastFailure(const char* pszCall, const std::string& strObject)
{
    DWORD dwError = Sys().GetLastError();
    return ReasonCall(pszCall, strObject.c_str(), dwError != 0 ? dwError : ERROR_WRITE_FAULT);
}
}  // namespace

DWORD CAtomicFile::Commit()
{
    if (m_strTemp.empty())
        return ERROR_INVALID_HANDLE;
    DWORD dwError = m_stream.Close();
    if (dwError == 0)
        dwError = PutInPlace();
    if (dwError == 0) {
        m_strTemp.clear();
        return 0;
    }
    Abandon();
    return dwError;
}

DWORD CAtomicFile::PutInPlace()
{
    DWORD dwAttrs = Files().GetFileAttributesA(m_strTarget.c_str());
    if (dwAttrs == INVALID_FILE_ATTRIBUTES)
        return Files().MoveFileExA(m_strTemp.c_str(), m_strTarget.c_str(), MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : LastFailure("MoveFileExA", m_strTarget);
    // A bare file name is given its folder: Wine's ReplaceFileA refuses one without (error 267).
    std::string strReplaced = *FindSeparator(m_strTarget.c_str(), "\\/:") == '\0' ? ".\\" + m_strTarget : m_strTarget;
    char szBackup[MAX_PATH + 16] = {};
    if (Files().GetTempFileNameA(FolderOfPath(m_strTarget).c_str(), "qx", 0, szBackup) == 0)
        return LastFailure("GetTempFileNameA", FolderOfPath(m_strTarget));
    m_strBackup = szBackup;
    if (Files().ReplaceFileA(strReplaced.c_str(), m_strTemp.c_str(), m_strBackup.c_str(),
                             REPLACEFILE_IGNORE_MERGE_ERRORS)) {
        Files().DeleteFileA(m_strBackup.c_str());
        m_strBackup.clear();
        return 0;
    }
    DWORD dwError = Sys().GetLastError();
    if (dwError != ERROR_CALL_NOT_IMPLEMENTED)  // NT 4.0: not a failure, the rename below is the way
        dwError = LastFailure("ReplaceFileA", m_strTarget);
    switch (dwError) {
    case ERROR_CALL_NOT_IMPLEMENTED:
        Files().DeleteFileA(m_strBackup.c_str());
        m_strBackup.clear();
        return RenameOver(dwAttrs);
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
        // The old file is under the backup name, the new one still under its temporary name: the new
        // one takes the target's name, or else the old one takes it back.
        if (Files().MoveFileExA(m_strTemp.c_str(), m_strTarget.c_str(), MOVEFILE_WRITE_THROUGH)) {
            m_strTemp.clear();
            Files().DeleteFileA(m_strBackup.c_str());
            m_strBackup.clear();
            return 0;
        }
        if (!Files().MoveFileExA(m_strBackup.c_str(), m_strTarget.c_str(), MOVEFILE_WRITE_THROUGH))
            m_strTemp.clear();  // neither could be moved: both files are kept rather than one lost
        m_strBackup.clear();
        return dwError;
    default:
        // Both files keep their names (ERROR_UNABLE_TO_MOVE_REPLACEMENT too, as a backup name was
        // given); the backup name may still hold its empty placeholder.
        return dwError;
    }
}

namespace {
// The target's security given to the file that replaces it, as ReplaceFileA gives it: its DACL, and
// its owner and group where the caller may give them. 0 or the Win32 error code.
DWORD CopyFileSecurity(const std::string& strFrom, const std::string& strTo)
{
    const SECURITY_INFORMATION kOwnerGroupDacl =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::vector<DWORD> sd;  // DWORDs, for the descriptor's alignment
    DWORD cbNeeded = 0;
    while (!Files().GetFileSecurityA(strFrom.c_str(), kOwnerGroupDacl, sd.data(),
                                     static_cast<DWORD>(sd.size() * sizeof(DWORD)), &cbNeeded)) {
        DWORD dwError = Sys().GetLastError();
        if (dwError == ERROR_NOT_SUPPORTED)
            return 0;  // a volume that keeps no security: there is none to keep
        if (dwError != ERROR_INSUFFICIENT_BUFFER || cbNeeded <= sd.size() * sizeof(DWORD))
            return LastFailure("GetFileSecurityA", strFrom);
        sd.resize((cbNeeded + sizeof(DWORD) - 1) / sizeof(DWORD));
    }
    if (Files().SetFileSecurityA(strTo.c_str(), kOwnerGroupDacl, sd.data()))
        return 0;
    // Windows gives an owner other than the caller or a group of its token only with the restore
    // privilege, which a setup does not enable (ERROR_INVALID_OWNER), and the caller may lack the
    // right to give an owner or group at all. The new file then keeps the DACL alone, owned by the
    // account that wrote it: the DACL decides who may read and change the file, and that account
    // could replace the file anyway. A DACL that cannot be given fails the rewrite.
    DWORD dwError = Sys().GetLastError();
    bool bOwnerRefused = dwError == ERROR_INVALID_OWNER || dwError == ERROR_INVALID_PRIMARY_GROUP ||
                         dwError == ERROR_ACCESS_DENIED || dwError == ERROR_PRIVILEGE_NOT_HELD;
    if (bOwnerRefused && Files().SetFileSecurityA(strTo.c_str(), DACL_SECURITY_INFORMATION, sd.data()))
        return 0;
    return LastFailure("SetFileSecurityA", strTo);
}
}  // namespace

// NT 4.0's way: the temporary file takes the target's security and attributes and is renamed over
// it (in the same folder, so the target is replaced whole or not at all). A rename keeps the
// security that the temporary file was created with (its folder's), so the target's is given to it
// first: a file locked down by an administrator stays locked down.
DWORD CAtomicFile::RenameOver(DWORD dwTargetAttrs)
{
    if (dwTargetAttrs & FILE_ATTRIBUTE_READONLY) {  // as ReplaceFileA refuses it
        Reason("%s is read-only", m_strTarget.c_str());
        return ERROR_ACCESS_DENIED;
    }
    DWORD dwError = CopyFileSecurity(m_strTarget, m_strTemp);
    if (dwError != 0)
        return dwError;
    const DWORD kSettable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    DWORD dwAttrs = dwTargetAttrs & kSettable;
    if (!Files().SetFileAttributesA(m_strTemp.c_str(), dwAttrs != 0 ? dwAttrs : FILE_ATTRIBUTE_NORMAL))
        return LastFailure("SetFileAttributesA", m_strTemp);
    if (!Files().MoveFileExA(m_strTemp.c_str(), m_strTarget.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return LastFailure("MoveFileExA", m_strTarget);
    return 0;
}

}  // namespace qx
