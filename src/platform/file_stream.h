// Buffered file streams over the platform's file handles, in binary or text mode.
//
// Text mode is the C runtime's Windows text mode, done here so that it behaves the same on every
// platform: on reading, a CR LF pair is one LF (a lone CR stays); on writing, each LF becomes CR LF.
// Unlike the C runtime it gives no byte a special meaning: 0x1A and 0xFF are ordinary characters.
//
// Every failure is kept: the first Win32 error code of a stream is its Error(), and Close()
// reports it, so a full disk is never taken for success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/unique.h"

namespace qx {

class CFileStream {
public:
    enum class Mode { kBinary, kText };

    CFileStream() = default;
    ~CFileStream();
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // Opens an existing file for reading; 0 or the Win32 error code.
    DWORD OpenRead(const char* pszPath, Mode mode);
    // Creates a file, or empties an existing one, for writing; 0 or the Win32 error code.
    DWORD OpenWrite(const char* pszPath, Mode mode);
    bool IsOpen() const { return static_cast<bool>(m_file); }

    // The next character (0..255), or -1 at the end of the file or after a read error.
    int GetByte()
    {
        if (m_nPos < m_nLength && (m_buffer[m_nPos] != '\r' || m_mode == Mode::kBinary))
            return m_buffer[m_nPos++];
        return GetByteSlowly();
    }
    // Up to cb characters, as GetByte gives them (in binary mode by whole blocks); fewer only at the
    // end of the file or after a read error (then Error() is set).
    size_t Read(void* pData, size_t cb);
    // The file's size in bytes, measured when it was opened for reading.
    int64_t Size() const { return m_nSize; }
    // The file offset of the next byte to be read (text translation does not change it).
    int64_t Tell() const { return m_nBufferStart + static_cast<int64_t>(m_nPos); }

    bool PutByte(unsigned char c);
    // Writes cb characters as PutByte does (in binary mode by whole blocks).
    bool Write(const void* pData, size_t cb);
    bool PutText(const char* pszText);
    bool PutText(const std::string& strText) { return Write(strText.data(), strText.size()); }

    // Writes what is buffered and closes the file; 0 or the first error the stream met. A closed
    // stream reads as empty and fails every write.
    DWORD Close();
    DWORD Error() const { return m_dwError; }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    DWORD Open(const char* pszPath, DWORD dwAccess, DWORD dwCreation, Mode mode);
    int GetByteSlowly();
    int RawGet();
    int RawPeek();
    bool Refill();
    size_t ReadDirect(unsigned char* p, size_t cb);
    bool Flush();
    bool RawPut(unsigned char c);
    bool WriteBlock(const unsigned char* p, size_t cb);
    void Fail(DWORD dwError);

    unique_file m_file;
    Mode m_mode = Mode::kBinary;
    bool m_bWriting = false;
    std::unique_ptr<unsigned char[]> m_buffer;  // kBufferSize bytes while open
    size_t m_nPos = 0;
    size_t m_nLength = 0;
    int64_t m_nBufferStart = 0;
    int64_t m_nSize = 0;
    bool m_bAtEnd = false;
    DWORD m_dwError = 0;
};

// A file rewritten safely: the new contents go to a temporary file beside the target, which takes
// the target's place only when it is complete (ReplaceFileA where the target exists, keeping its
// attributes and security; a move where it does not). Where ReplaceFileA is missing (NT 4.0), the
// temporary file takes the target's security (its DACL, and its owner and group where the caller
// may give them) and attributes and is renamed over it in the same folder. Destroyed
// without Commit(), or after a failed one, the temporary file is deleted and the target is as it was.
// ReplaceFileA is given a backup name beside the target, so that each of its partial failures leaves
// the old file or the new one under the target's name, and nothing else behind.
class CAtomicFile {
public:
    explicit CAtomicFile(std::string strTarget);
    ~CAtomicFile();
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file and opens it for writing; 0 or the Win32 error code.
    DWORD Create(CFileStream::Mode mode);
    CFileStream& Stream() { return m_stream; }
    // Completes the file and puts it in the target's place; 0 or the Win32 error code.
    DWORD Commit();

private:
    void Abandon();
    DWORD PutInPlace();
    DWORD RenameOver(DWORD dwTargetAttrs);

    std::string m_strTarget;
    std::string m_strTemp;
    std::string m_strBackup;  // while ReplaceFileA may have moved the old file there
    CFileStream m_stream;
};

// The folder part of a path ("C:\dir\" of "C:\dir\file"), or "." when it has none.
std::string FolderOfPath(const std::string& strPath);

}  // namespace qx
