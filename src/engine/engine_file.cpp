#include "engine/engine_file.h"

#include <algorithm>

#include "frame/message_box.h"
#include "frame/text_buffer.h"
#include "platform/reason.h"

namespace qx {

namespace {

// The shift sequence K[i mod 10] + r(i) modulo 256 repeats every 2560 bytes: the key every 10, the
// quadratic part of r every 512 and its key-index part every 2560 (256 rounds of 0+1+...+9 = 45).
// The table holds two periods, so that a whole period can be read from any phase.
constexpr size_t kShiftPeriod = 2560;

struct CShiftTable {
    unsigned char shift[2 * kShiftPeriod] = {};
    bool bRepeats = false;
};

constexpr CShiftTable MakeShiftTable()
{
    CShiftTable table;
    unsigned nKey = 0;
    unsigned nOffset = 15;
    for (size_t i = 0; i < 2 * kShiftPeriod; ++i) {
        table.shift[i] = static_cast<unsigned char>(static_cast<unsigned char>(kEngineKey[nKey]) + nOffset);
        nKey = nKey + 1 == 10 ? 0 : nKey + 1;
        nOffset = (nOffset + nKey + static_cast<unsigned>(i)) & 0xFF;
        if (i + 1 == kShiftPeriod)  // after one period the key index and offset are back at the start
            table.bRepeats = nKey == 0 && nOffset == 15;
    }
    return table;
}

constexpr CShiftTable kShifts = MakeShiftTable();
static_assert(kShifts.bRepeats, "the engine's shift sequence repeats every 2560 bytes");

// One whole period, in loops of a fixed length that the compiler turns into vector code.
unsigned char ScramblePeriod(const unsigned char* __restrict pIn, unsigned char* __restrict pOut,
                             const unsigned char* __restrict pShift)
{
    unsigned char nSum = 0;
    for (size_t i = 0; i < kShiftPeriod; ++i) {
        nSum = static_cast<unsigned char>(nSum + pIn[i]);
        pOut[i] = static_cast<unsigned char>(pIn[i] + pShift[i]);
    }
    return nSum;
}

unsigned char UnscramblePeriod(unsigned char* __restrict p, const unsigned char* __restrict pShift)
{
    unsigned char nSum = 0;
    for (size_t i = 0; i < kShiftPeriod; ++i) {
        auto c = static_cast<unsigned char>(p[i] - pShift[i]);
        p[i] = c;
        nSum = static_cast<unsigned char>(nSum + c);
    }
    return nSum;
}

void ShowEngineBox(const std::string& strText, const char* pszCaption, UINT uModality)
{
    ShowMessageBox(strText.c_str(), pszCaption, MB_OK | uModality);
}

}  // namespace

// ---- scrambler ------------------------------------------------------------------------------

void CEngineScrambler::Scramble(const unsigned char* pIn, unsigned char* pOut, size_t cb)
{
    for (; cb >= kShiftPeriod; pIn += kShiftPeriod, pOut += kShiftPeriod, cb -= kShiftPeriod)
        m_nSum += ScramblePeriod(pIn, pOut, kShifts.shift + m_nPhase);
    for (size_t i = 0; i < cb; ++i) {
        m_nSum += pIn[i];
        pOut[i] = static_cast<unsigned char>(pIn[i] + kShifts.shift[m_nPhase]);
        m_nPhase = m_nPhase + 1 == kShiftPeriod ? 0 : m_nPhase + 1;
    }
}

void CEngineScrambler::Unscramble(unsigned char* p, size_t cb)
{
    for (; cb >= kShiftPeriod; p += kShiftPeriod, cb -= kShiftPeriod)
        m_nSum += UnscramblePeriod(p, kShifts.shift + m_nPhase);
    for (size_t i = 0; i < cb; ++i) {
        p[i] = static_cast<unsigned char>(p[i] - kShifts.shift[m_nPhase]);
        m_nSum += p[i];
        m_nPhase = m_nPhase + 1 == kShiftPeriod ? 0 : m_nPhase + 1;
    }
}

// ---- reading --------------------------------------------------------------------------------

DWORD CEngineReader::Open(const char* pszPath)
{
    m_scrambler = CEngineScrambler();
    m_nVersion = 0;
    m_nPayload = 0;
    DWORD dwError = m_stream.OpenRead(pszPath, CFileStream::Mode::kBinary);
    return dwError != 0 ? ReasonCall("CreateFileA", pszPath, dwError) : 0;
}

bool CEngineReader::ReadVersion()
{
    if (m_stream.GetByte() != kEngineLeadByte) {
        Reason("not an engine: the first byte is not 66");
        return false;
    }
    int nLow = m_stream.GetByte();
    int nHigh = m_stream.GetByte();
    if (nLow < 0 || nHigh < 0) {
        Reason("the engine ends inside its version number");
        return false;
    }
    m_nVersion = static_cast<uint16_t>(nLow | (nHigh << 8));
    return true;
}

CEngineReader::Header CEngineReader::ReadHeader()
{
    int64_t nSize = m_stream.Size();
    if (m_stream.GetByte() != kEngineLeadByte)
        return Header::kBadLead;
    int nLow = m_stream.GetByte();
    int nHigh = m_stream.GetByte();
    int nFiller = m_stream.GetByte();
    if (nLow < 0 || nHigh < 0 || nFiller < 0)
        return Header::kTruncated;
    m_nVersion = static_cast<uint16_t>(nLow | (nHigh << 8));
    // The payload's length comes from the file's size: there must be room for the filler and the
    // checksum byte.
    if (nSize < kEngineHeaderSize + nFiller + 1)
        return Header::kTruncated;
    unsigned char filler[256];
    if (m_stream.Read(filler, static_cast<size_t>(nFiller)) != static_cast<size_t>(nFiller))
        return Header::kTruncated;
    m_nPayload = nSize - kEngineHeaderSize - nFiller - 1;
    return Header::kSound;
}

size_t CEngineReader::ReadText(unsigned char* p, size_t cb)
{
    size_t nRead = m_stream.Read(p, cb);
    m_scrambler.Unscramble(p, nRead);
    return nRead;
}

bool CEngineReader::ReadChecksum()
{
    int nStored = m_stream.GetByte();
    return nStored >= 0 && m_stream.Error() == 0 && nStored == m_scrambler.Checksum();
}

// ---- writing --------------------------------------------------------------------------------

bool CEngineWriter::WriteHeader(uint16_t nVersion, CEngineRandom& random)
{
    m_scrambler = CEngineScrambler();
    unsigned char header[kEngineHeaderSize + kMaxFillerCount];
    int nFiller = random.Next() / 327;  // 0..100
    header[0] = static_cast<unsigned char>(kEngineLeadByte);
    header[1] = static_cast<unsigned char>(nVersion & 0xFF);
    header[2] = static_cast<unsigned char>(nVersion >> 8);
    header[3] = static_cast<unsigned char>(nFiller);
    for (int i = 0; i < nFiller; ++i)
        header[kEngineHeaderSize + i] = static_cast<unsigned char>(random.Next() & 0xFF);
    return m_stream.Write(header, static_cast<size_t>(kEngineHeaderSize + nFiller));
}

bool CEngineWriter::WriteText(const void* pText, size_t cb)
{
    const unsigned char* p = static_cast<const unsigned char*>(pText);
    while (cb > 0) {
        size_t n = std::min(cb, m_chunk.size());
        m_scrambler.Scramble(p, m_chunk.data(), n);
        if (!m_stream.Write(m_chunk.data(), n))
            return false;
        p += n;
        cb -= n;
    }
    return true;
}

bool CEngineWriter::WriteChecksum() { return m_stream.PutByte(m_scrambler.Checksum()); }

// ---- message boxes --------------------------------------------------------------------------

void ShowCannotFindEngine(const char* pszPath, bool bSystemModal)
{
    ShowEngineBox(std::string("Cannot Find Engine : ") + (pszPath != nullptr ? pszPath : ""), "Error",
                  bSystemModal ? MB_SYSTEMMODAL : MB_APPLMODAL);
}

void ShowInvalidEngineVersion()
{
    Reason("not an engine: the first byte is not 66");
    ShowEngineBox("Your engine has an invalid version number.", "Invalid Engine Version", MB_APPLMODAL);
}

void ShowEngineCorrupt()
{
    Reason("the engine is cut short or its checksum does not match");
    ShowEngineBox("Engine Corrupt", "File Error", MB_SYSTEMMODAL);
}

void ShowCannotOpenOutput() { ShowEngineBox("Cannot open output.", "File Error", MB_APPLMODAL); }

void ShowEngineTooLarge(const char* pszPath)
{
    Reason("the script passes or would pass %d bytes or 10000 lines", kTextBufferSize);
    ShowEngineBox(std::string("Engine too large : ") + (pszPath != nullptr ? pszPath : ""), "Error", MB_SYSTEMMODAL);
}

// ---- the engine and the text buffer ---------------------------------------------------------

bool LoadEngineText(const char* pszPath, uint16_t* pnVersion)
{
    g_textPos = 0;
    CEngineReader reader;
    if (reader.Open(pszPath) != 0) {
        ShowCannotFindEngine(pszPath, true);
        return false;
    }
    switch (reader.ReadHeader()) {
    case CEngineReader::Header::kBadLead:
        reader.Close();
        ShowInvalidEngineVersion();
        return false;
    case CEngineReader::Header::kTruncated:
        reader.Close();
        ShowEngineCorrupt();
        return false;
    case CEngineReader::Header::kSound:
        break;
    }
    if (reader.PayloadSize() > kTextBufferSize) {
        reader.Close();
        ShowEngineTooLarge(pszPath);
        return false;
    }
    size_t cb = static_cast<size_t>(reader.PayloadSize());
    auto* pText = reinterpret_cast<unsigned char*>(g_textBuffer);
    bool bSound = reader.ReadText(pText, cb) == cb && reader.ReadChecksum();
    reader.Close();
    if (!bSound) {
        ShowEngineCorrupt();
        return false;
    }
    g_textPos = static_cast<int32_t>(cb);
    if (pnVersion != nullptr)
        *pnVersion = reader.Version();
    return true;
}

DWORD COutputFile::Create(CFileStream::Mode mode)
{
    if (m_pszPath == nullptr) {
        Reason("the path of the file to write is null");
        return ERROR_INVALID_PARAMETER;
    }
    DWORD dwAttrs = Files().GetFileAttributesA(m_pszPath);
    if (dwAttrs != INVALID_FILE_ATTRIBUTES && (dwAttrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        Reason("%s is read-only or a folder", m_pszPath);
        return ERROR_ACCESS_DENIED;
    }
    return m_file.Create(mode);
}

DWORD SaveTextBuffer(const char* pszPath, CFileStream::Mode mode,
                     const std::function<void(CFileStream& stream, const char* pText, size_t cb)>& write)
{
    int32_t nCount = std::clamp<int32_t>(g_textPos, 0, kTextBufferSize);
    g_textPos = 0;
    COutputFile file(pszPath);
    DWORD dwError = file.Create(mode);
    if (dwError != 0)
        return dwError;
    write(file.Stream(), g_textBuffer, static_cast<size_t>(nCount));
    g_textPos = nCount;  // the text has been read through
    return file.Commit();  // reports the first write error of the stream
}

DWORD SaveEngineText(const char* pszPath, uint16_t nVersion)
{
    return SaveTextBuffer(pszPath, CFileStream::Mode::kBinary, [&](CFileStream& stream, const char* pText, size_t cb) {
        CEngineRandom random(Clock().GetTimeSeconds());
        CEngineWriter writer(stream);
        writer.WriteHeader(nVersion, random) && writer.WriteText(pText, cb) && writer.WriteChecksum();
    });
}

// Unscrambles an engine into a plain file, streaming (no size limit). Every file is closed, and the
// destination either complete or untouched, when it returns.
DecryptResult DecryptEngine(const char* pszSource, const char* pszDest)
{
    CEngineReader reader;
    if (reader.Open(pszSource) != 0)
        return DecryptResult::kCannotFindEngine;
    COutputFile output(pszDest);
    if (output.Create(CFileStream::Mode::kBinary) != 0)
        return DecryptResult::kCannotOpenOutput;
    switch (reader.ReadHeader()) {
    case CEngineReader::Header::kBadLead:
        return DecryptResult::kInvalidVersion;
    case CEngineReader::Header::kTruncated:
        return DecryptResult::kCorrupt;
    case CEngineReader::Header::kSound:
        break;
    }
    std::vector<unsigned char> chunk(kEngineChunk);
    for (int64_t nLeft = reader.PayloadSize(); nLeft > 0;) {
        size_t n = static_cast<size_t>(std::min<int64_t>(nLeft, static_cast<int64_t>(chunk.size())));
        if (reader.ReadText(chunk.data(), n) != n)
            return DecryptResult::kCorrupt;
        if (!output.Stream().Write(chunk.data(), n))
            return DecryptResult::kCannotOpenOutput;
        nLeft -= static_cast<int64_t>(n);
    }
    if (!reader.ReadChecksum())
        return DecryptResult::kCorrupt;
    reader.Close();  // before the destination, which may be the same file, is replaced
    return output.Commit() == 0 ? DecryptResult::kDone : DecryptResult::kCannotOpenOutput;
}

// Scrambles a plain file into an engine, streaming (no size limit).
EncryptResult EncryptEngine(const char* pszSource, const char* pszDest, uint16_t nVersion)
{
    CFileStream source;
    if (DWORD dwError = source.OpenRead(pszSource, CFileStream::Mode::kBinary); dwError != 0) {
        ReasonCall("CreateFileA", pszSource, dwError);
        return EncryptResult::kCannotFindEngine;
    }
    COutputFile output(pszDest);
    if (output.Create(CFileStream::Mode::kBinary) != 0)
        return EncryptResult::kFailed;
    CEngineRandom random(Clock().GetTimeSeconds());
    CEngineWriter writer(output.Stream());
    if (!writer.WriteHeader(nVersion, random))
        return EncryptResult::kFailed;
    std::vector<unsigned char> chunk(kEngineChunk);
    for (;;) {
        size_t n = source.Read(chunk.data(), chunk.size());
        if (n == 0)
            break;
        if (!writer.WriteText(chunk.data(), n))
            return EncryptResult::kFailed;
    }
    if (source.Close() != 0 || !writer.WriteChecksum())
        return EncryptResult::kFailed;
    return output.Commit() == 0 ? EncryptResult::kDone : EncryptResult::kFailed;
}

}  // namespace qx
