// The engine file: the suite's main login script, stored scrambled.
//
//   offset 0       1 byte   lead byte, always 66
//   offset 1       2 bytes  engine version number, little-endian
//   offset 3       1 byte   filler count N (0..100 in files written here)
//   offset 4       N bytes  random filler, ignored when reading
//   offset 4+N     L bytes  the scrambled text
//   offset 4+N+L   1 byte   checksum: the sum of the L plain bytes, modulo 256
//
// Nothing follows the checksum, so L is the file's size less 5 + N.
//
// Every payload byte i is shifted by K[i mod 10] + r(i) (modulo 256), K being "RODEDURUV" and its
// zero byte, and r the running offset: 15 for byte 0, then after byte i it grows by the next key
// index plus i. Engine files are always written whole to a temporary file beside the target, which
// takes the target's place only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_stream.h"

namespace qx {

constexpr int kEngineLeadByte = 66;
constexpr int kEngineHeaderSize = 4;  // lead byte, version, filler count
constexpr int kMaxFillerCount = 100;
constexpr int kLowestEngineVersion = 26;
constexpr char kEngineKey[10] = {'R', 'O', 'D', 'E', 'D', 'U', 'R', 'U', 'V', '\0'};
// Files are moved in chunks of whole repetitions of the shift sequence (2560 bytes), at least as
// large as a stream's buffer so that they bypass it.
constexpr size_t kEngineChunk = 26 * 2560;

// The scrambling transform with its checksum, for one file from its first payload byte on.
class CEngineScrambler {
public:
    // Scrambles cb plain bytes into pOut (a separate buffer), adding them to the checksum.
    void Scramble(const unsigned char* pIn, unsigned char* pOut, size_t cb);
    // Unscrambles cb bytes in place, adding the plain bytes to the checksum.
    void Unscramble(unsigned char* p, size_t cb);
    unsigned char Checksum() const { return static_cast<unsigned char>(m_nSum); }

private:
    size_t m_nPhase = 0;  // the position in the shift sequence, which repeats every 2560 bytes
    uint32_t m_nSum = 0;
};

// The filler's random numbers: 0..32767, seeded with the time in seconds. The seed is mixed first,
// so that files written in consecutive seconds get filler of different lengths.
class CEngineRandom {
public:
    explicit CEngineRandom(int64_t nSeed) : m_nState(Mix(static_cast<uint64_t>(nSeed))) { }
    int Next()
    {
        m_nState = m_nState * 214013u + 2531011u;
        return static_cast<int>((m_nState >> 16) & 0x7FFF);
    }

private:
    static uint32_t Mix(uint64_t n)
    {
        n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ull;
        n = (n ^ (n >> 27)) * 0x94D049BB133111EBull;
        return static_cast<uint32_t>(n ^ (n >> 31));
    }

    uint32_t m_nState;
};

// Reads an engine file: header, then the unscrambled payload, then the checksum.
class CEngineReader {
public:
    enum class Header { kSound, kBadLead, kTruncated };

    // Opens the file for binary reading; 0 or the Win32 error code.
    DWORD Open(const char* pszPath);
    // Reads the lead byte, the version and the filler. kBadLead: the first byte is not 66 (an
    // empty file included); kTruncated: the file ends before its checksum could be.
    Header ReadHeader();
    // Reads the lead byte and the version only: false when the lead byte is not 66 or the file ends
    // inside the version field.
    bool ReadVersion();
    uint16_t Version() const { return m_nVersion; }
    // The number of text bytes, known after ReadHeader.
    int64_t PayloadSize() const { return m_nPayload; }
    // Reads and unscrambles up to cb text bytes; fewer only when the file ends early or a read fails.
    size_t ReadText(unsigned char* p, size_t cb);
    // Reads the stored checksum after the whole text: true when it matches the text read.
    bool ReadChecksum();
    DWORD Close() { return m_stream.Close(); }

private:
    CFileStream m_stream;
    CEngineScrambler m_scrambler;
    uint16_t m_nVersion = 0;
    int64_t m_nPayload = 0;
};

// Writes an engine file into a stream: header with fresh filler, the scrambled text, the checksum.
class CEngineWriter {
public:
    explicit CEngineWriter(CFileStream& stream) : m_stream(stream), m_chunk(kEngineChunk) { }
    // The lead byte, the version (low byte first) and N = 0..100 random filler bytes.
    bool WriteHeader(uint16_t nVersion, CEngineRandom& random);
    bool WriteText(const void* pText, size_t cb);
    bool WriteChecksum();

private:
    CFileStream& m_stream;
    CEngineScrambler m_scrambler;
    std::vector<unsigned char> m_chunk;
};

// The engine's message boxes (no owner, OK only, no icon).
void ShowCannotFindEngine(const char* pszPath, bool bSystemModal);
void ShowInvalidEngineVersion();
void ShowEngineCorrupt();
void ShowCannotOpenOutput();
void ShowEngineTooLarge(const char* pszPath);

// Fills g_textBuffer with the text of the engine at pszPath (g_textPos is its length) and gives the
// version of its header. False after the matching message box: the engine cannot be opened, its
// lead byte is not 66, it is corrupt or truncated, or its text is larger than the buffer.
bool LoadEngineText(const char* pszPath, uint16_t* pnVersion = nullptr);

// Replaces the engine at pszPath with the first g_textPos bytes of g_textBuffer, scrambled, with
// the given version and fresh filler. 0 or the Win32 error code (the engine is then as it was).
DWORD SaveEngineText(const char* pszPath, uint16_t nVersion);

// A file rewritten whole or not at all (CAtomicFile), whose path may be null. A null path, and a
// read-only or folder target (it could not be replaced), are refused at once.
class COutputFile {
public:
    explicit COutputFile(const char* pszPath) : m_pszPath(pszPath), m_file(pszPath != nullptr ? pszPath : "") { }
    // Creates the temporary file; 0 or the Win32 error code.
    DWORD Create(CFileStream::Mode mode);
    CFileStream& Stream() { return m_file.Stream(); }
    DWORD Commit() { return m_file.Commit(); }

private:
    const char* m_pszPath;
    CAtomicFile m_file;
};

// Replaces the file at pszPath with what write() puts into its stream from the first g_textPos
// bytes of g_textBuffer (g_textPos is that count again afterwards). 0 or the Win32 error code (the
// file is then as it was).
DWORD SaveTextBuffer(const char* pszPath, CFileStream::Mode mode,
                     const std::function<void(CFileStream& stream, const char* pText, size_t cb)>& write);

// The outcome of DecryptEngine: done, or which of Decrypt's message boxes is due.
enum class DecryptResult { kDone, kCannotFindEngine, kCannotOpenOutput, kInvalidVersion, kCorrupt };

// Unscrambles an engine into a plain file, streaming (no size limit). Every file is closed, and the
// destination either complete or untouched, when it returns.
DecryptResult DecryptEngine(const char* pszSource, const char* pszDest);

// The outcome of EncryptEngine: done, the source cannot be opened, or the engine not written.
enum class EncryptResult { kDone, kCannotFindEngine, kFailed };

// Scrambles a plain file into an engine, streaming (no size limit).
EncryptResult EncryptEngine(const char* pszSource, const char* pszDest, uint16_t nVersion);

}  // namespace qx
