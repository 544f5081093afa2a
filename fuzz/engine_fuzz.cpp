// The engine file and its text over any bytes; the first byte picks what is fuzzed, the rest is its
// input. Each leaves nothing held.
// 0, an engine file, read by Decrypt, by the loader of the script exports and by GetEngineVersion:
//    a sound engine (as the byte-by-byte reference reader sees it) decodes to the reference's text,
//    which encrypted again (streamed, and from the text buffer) decodes back equal, and which one
//    changed payload byte makes unsound; an unsound one is refused with its one box, the
//    destination untouched.
// 1, a text split by the token table (some followed by empty lines up to its limit of lines), then
//    lines found, read, replaced and inserted with fuzzed names, texts and positions, and the table
//    written back, against a plain model: the lines (a text of more than 10,000 lines refused as a
//    whole), the loading window's bar moved once per line, every search, value and change, a
//    refused insertion into a full table, and the write-back, refused whole (the buffer untouched)
//    when it would not fit.
// 2, a text written in text mode reads back unchanged, the read position never past the size.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../tests/native/engine_reference.h"
#include "engine/engine_file.h"
#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "platform/file_stream.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;

const char kEngine[] = "C:\\q\\e.kix";
const char kPlain[] = "C:\\q\\e.txt";
const char kUntouched[] = "untouched";
qx::sim::CSimPlatform* g_pSim = nullptr;

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

std::string FileOf(const char* pszPath) { return g_pSim->m_files.GetFile(pszPath).value_or("<none>"); }

// Decrypt of the engine file into a destination holding kUntouched: the text, or one box; nothing
// held, no temporary file left.
void CheckDecrypt(const qx::test::CParsedEngine& expected, const char* pszBox)
{
    g_pSim->m_files.SetFile(kPlain, kUntouched);
    g_pSim->m_ui.m_boxes.clear();
    bool bSound = expected.nFiller >= 0;
    Check(Decrypt(kEngine, kPlain) == (bSound ? 1 : 0) && FileOf(kPlain) == (bSound ? expected.strText : kUntouched));
    Check(g_pSim->m_ui.m_boxes.size() == (bSound ? 0u : 1u) && (bSound || g_pSim->m_ui.m_boxes[0].strText == pszBox));
    Check(g_pSim->m_files.List("C:\\q").size() == 2 && g_pSim->Clean());
}

void FuzzEngine(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    const std::string file(reinterpret_cast<const char*>(pData), cb);
    const qx::test::CParsedEngine expected = qx::test::ParseEngine(file);
    const bool bSound = expected.nFiller >= 0;
    const bool bBadLead = cb == 0 || pData[0] != 66;
    sim.m_files.SetFile(kEngine, file);
    CheckDecrypt(expected, bBadLead ? "Your engine has an invalid version number." : "Engine Corrupt");

    // The loader of the script exports gives the same verdict and the text in the buffer.
    sim.m_ui.m_boxes.clear();
    uint16_t nVersion = 0;
    Check(qx::LoadEngineText(kEngine, &nVersion) == bSound && sim.m_ui.m_boxes.size() == (bSound ? 0u : 1u));
    Check(!bSound || (static_cast<size_t>(qx::g_textPos) == expected.strText.size() && nVersion == expected.nVersion &&
                      std::memcmp(qx::g_textBuffer, expected.strText.data(), expected.strText.size()) == 0));

    // The version field alone: 26 and above, or 0.
    int nField = !bBadLead && cb >= 3 ? pData[1] | pData[2] << 8 : 0;
    Check(GetEngineVersion(kEngine) == (nField < 26 ? 0 : nField) && sim.Clean());
    if (!bSound)
        return;

    // The text encrypted again, with fresh filler, from the buffer and streamed from a plain file.
    sim.m_clock.m_nSeconds = static_cast<int64_t>(cb) * 7919;
    Check(qx::SaveEngineText(kEngine, expected.nVersion) == 0);
    qx::test::CParsedEngine again = qx::test::ParseEngine(FileOf(kEngine));
    Check(again.strText == expected.strText && again.nVersion == expected.nVersion && again.nFiller <= 100);
    sim.m_files.SetFile(kPlain, expected.strText);
    Check(Encrypt(kPlain, kEngine, expected.nVersion | 0x10000) == 1);
    again = qx::test::ParseEngine(FileOf(kEngine));
    Check(again.strText == expected.strText && again.nVersion == expected.nVersion && again.nFiller <= 100);
    CheckDecrypt(again, "");

    // One payload or checksum byte changed: corrupt.
    std::string engine = FileOf(kEngine);
    size_t nPayload = 4 + static_cast<size_t>(again.nFiller);
    size_t i = nPayload + (cb * 31) % (engine.size() - nPayload);
    engine[i] = static_cast<char>(engine[i] + 1 + pData[cb - 1] % 255);
    sim.m_files.SetFile(kEngine, engine);
    CheckDecrypt(qx::test::CParsedEngine(), "Engine Corrupt");
}

// The model's search: the first line that begins with the name's key, ignoring case (upper[] is the
// system's upper case of each byte).
int Find(const std::vector<std::string>& lines, const std::string& strName, const unsigned char* upper)
{
    std::string key = strName.substr(0, strName.find_first_of(std::string(" =\n")));
    auto same = [&](char a, char b) {
        return upper[static_cast<unsigned char>(a)] == upper[static_cast<unsigned char>(b)];
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() >= key.size() && std::equal(key.begin(), key.end(), lines[i].begin(), same))
            return static_cast<int>(i);
    }
    return -1;
}

std::string Value(const std::string& strLine)
{
    size_t nEqual = strLine.find('=');
    std::string value = nEqual == std::string::npos ? strLine : strLine.substr(nEqual + 1);
    value.erase(0, value.find_first_not_of("'="));
    size_t nLast = value.find_last_not_of("'=");
    value.erase(nLast == std::string::npos ? 0 : nLast + 1);
    return value;
}

void FuzzTokenTable(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    unsigned char upper[256];
    for (int c = 0; c < 256; ++c)
        upper[c] = static_cast<unsigned char>(c);
    qx::Sys().CharUpperBuffA(reinterpret_cast<char*>(upper), 256);
    FuzzedDataProvider input(pData, cb);
    // The text; now and then followed by empty lines up to either side of the limit of 10,000 lines.
    // Those go without the loading window (it could not be created), which would cost most of the time.
    std::string text = input.ConsumeRandomLengthString(1024);
    const bool bWindow = input.ConsumeIntegralInRange(0, 15) != 0;
    if (bWindow)
        sim.m_ui.RegisterTemplate(129, {"", {{1004, "msctls_progress32", "Progress1", 0}}});
    else
        text += std::string(input.ConsumeIntegralInRange<size_t>(9990, 10010), '\n');

    // The model's lines: split at line feeds; a last line without one counts when it is not empty.
    // The loading window's log: its bar goes to the bytes read so far at each line.
    std::vector<std::string> lines;
    std::vector<std::string> log = {"create 129", "range 129/1004 0.." + std::to_string(text.size())};
    for (size_t nStart = 0; nStart < text.size();) {
        size_t nFeed = std::min(text.find('\n', nStart), text.size());
        log.push_back("pos 129/1004 " + std::to_string(nStart + 1));
        lines.push_back(text.substr(nStart, nFeed - nStart));
        nStart = nFeed + 1;
    }
    log.push_back("destroy 129");
    bool bLoads = lines.size() <= static_cast<size_t>(kMaxTokenLines);
    static std::vector<char> buffer(kTextBufferSize);  // where the text is written back
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size()));
    size_t cbWritten = text.size();
    auto pTable = std::make_unique<qx::CTokenTable>();
    Check(pTable->Load(text.data(), text.size()) == bLoads && pTable->IsLoaded() == bLoads &&
          sim.m_ui.Dialogs(129).empty());
    if (!bLoads) {
        Check(pTable->m_nLines == 0 && !pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten));
        return;
    }
    Check(sim.m_ui.m_log == (bWindow ? log : std::vector<std::string>()));
    auto same = [&] {
        return pTable->m_nLines == static_cast<int>(lines.size()) &&
               std::equal(lines.begin(), lines.end(), pTable->m_lines.begin());
    };
    Check(same());
    while (input.remaining_bytes() > 0) {
        int nLines = pTable->m_nLines;
        switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0: {  // search, then replace or append the text whose key it is
            std::string strText = input.ConsumeRandomLengthString(64).c_str();
            int nIndex = pTable->FindLine(strText.c_str());
            Check(nIndex == Find(lines, strText, upper));
            bool bFits = nIndex >= 0 || nLines < kMaxTokenLines;
            Check(pTable->SetLine(nIndex, strText.c_str()) == bFits);
            if (nIndex >= 0)
                lines[static_cast<size_t>(nIndex)] = strText;
            else if (bFits)
                lines.push_back(strText);
            break;
        }
        case 1: {  // a line made long, to reach the buffer's size (and a little past it, no more)
            int nIndex = input.ConsumeIntegralInRange(-2, nLines + 1);
            size_t nTotal = 0;
            for (const std::string& strLine : lines)
                nTotal += strLine.size() + 2;
            size_t cch =
                std::min(input.ConsumeIntegralInRange<size_t>(0, 400000), 2100000 - std::min<size_t>(nTotal, 2100000));
            std::string strText = std::string(cch, input.ConsumeIntegral<char>()).c_str();
            bool bDone = nIndex >= 0 ? nIndex < nLines : nIndex == -1 && nLines < kMaxTokenLines;
            Check(pTable->SetLine(nIndex, strText.c_str()) == bDone);
            if (bDone && nIndex >= 0)
                lines[static_cast<size_t>(nIndex)] = strText;
            else if (bDone)
                lines.push_back(strText);
            break;
        }
        case 2: {  // an insertion: before line 1 .. m_nLines, never into a full table
            int nPosition = input.ConsumeIntegralInRange(-1, nLines + 1);
            std::string strText = input.ConsumeRandomLengthString(64).c_str();
            bool bDone = nPosition >= 1 && nPosition <= nLines && nLines < kMaxTokenLines;
            Check(pTable->InsertLine(nPosition, strText.c_str()) == bDone);
            if (bDone)
                lines.insert(lines.begin() + nPosition, strText);
            break;
        }
        case 3:
            if (nLines > 0) {
                int nIndex = input.ConsumeIntegralInRange(0, nLines - 1);
                Check(pTable->GetLineValue(nIndex) == Value(lines[static_cast<size_t>(nIndex)]));
            }
            break;
        default:
            pTable->m_bAddCR = input.ConsumeBool();
            break;
        }
    }
    Check(same());

    // The write-back: each line, a carriage return where m_bAddCR wants one, and a line feed.
    std::string expected;
    for (const std::string& strLine : lines)
        expected += strLine + (pTable->m_bAddCR && !strLine.empty() && strLine.back() != '\r' ? "\r\n" : "\n");
    bool bFits = expected.size() <= static_cast<size_t>(kTextBufferSize);
    std::string before(buffer.data(), std::min<size_t>(text.size(), 4096));
    Check(pTable->TextSize() == expected.size() && pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten) == bFits);
    Check(bFits ? cbWritten == expected.size() && std::memcmp(buffer.data(), expected.data(), expected.size()) == 0
                : cbWritten == text.size() && std::string(buffer.data(), before.size()) == before);
}

void FuzzTextStream(const uint8_t* pData, size_t cb)
{
    std::string text(reinterpret_cast<const char*>(pData), cb);
    {
        qx::CFileStream out;
        Check(out.OpenWrite("C:\\f.txt", qx::CFileStream::Mode::kText) == 0 && out.PutText(text) && out.Close() == 0);
    }
    qx::CFileStream in;
    Check(in.OpenRead("C:\\f.txt", qx::CFileStream::Mode::kText) == 0);
    std::string back;
    for (int c = in.GetByte(); c != -1; c = in.GetByte()) {
        back += static_cast<char>(c);
        Check(in.Tell() <= in.Size());
    }
    Check(back == text && in.Tell() == in.Size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzEngine, FuzzTokenTable, FuzzTextStream};
    kTargets[pData[0] % 3](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
