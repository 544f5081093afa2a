// The token table over any bytes; the first byte picks what is fuzzed, the rest is its input. Each
// leaves nothing held.
// 0, a text split by the table (some followed by empty lines up to its limit of lines), then lines
//    found, read, replaced and inserted with fuzzed names, texts and positions, and the table written
//    back, against a plain model: the lines (a text of more than 10,000 lines refused as a whole),
//    the loading window's bar moved once per line, every search, value and change, a refused
//    insertion into a full table, and the write-back, refused whole (the buffer untouched) when it
//    would not fit.
// 1, a manager file whose lines end with CR LF (a bare line feed gains its carriage return; some
//    get empty lines up to the limit of lines), through SetManagerVars and GetManagerVars: texts
//    with empty keys change nothing (the file comes back byte for byte); names read the first line
//    that begins with their key, the editor its Editor line, and the lines read, stored again, leave
//    the file as it was; a new line replaces the first line with its key or is appended, and a file
//    that is or would become larger than 10,000 lines is left alone (and read as nothing).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;

qx::sim::CSimPlatform* g_pSim = nullptr;
unsigned char g_upper[256];  // the system's upper case of each byte

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

// Whether the line begins with the key, ignoring case.
bool BeginsWith(const std::string& strLine, const std::string& strKey)
{
    auto same = [](char a, char b) {
        return g_upper[static_cast<unsigned char>(a)] == g_upper[static_cast<unsigned char>(b)];
    };
    return strLine.size() >= strKey.size() && std::equal(strKey.begin(), strKey.end(), strLine.begin(), same);
}

// A text's key: up to its first space, '=' or line feed (a C string ends at its zero).
std::string KeyOf(const std::string& strText)
{
    std::string text = strText.c_str();
    return text.substr(0, text.find_first_of(std::string(" =\n")));
}

// The model's search: the first line that begins with the text's key.
int Find(const std::vector<std::string>& lines, const std::string& strText)
{
    auto it =
        std::find_if(lines.begin(), lines.end(), [&](const std::string& s) { return BeginsWith(s, KeyOf(strText)); });
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
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
            Check(nIndex == Find(lines, strText));
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

void FuzzManagerText(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    const char kManager[] = "C:\\q\\qxmgr.ini";
    const size_t kMaxText = static_cast<size_t>(qx::kTextBufferSize);
    const size_t kMaxLines = static_cast<size_t>(qx::kMaxTokenLines);
    auto fileNow = [&] { return sim.m_files.GetFile(kManager).value_or("<none>"); };
    FuzzedDataProvider input(pData, cb);
    std::string file;
    for (char c : input.ConsumeRandomLengthString(4096)) {
        if (c == '\n' && (file.empty() || file.back() != '\r'))
            file += '\r';
        file += c;
    }
    if (file.size() < 2 || file.compare(file.size() - 2, 2, "\r\n") != 0)
        file += "\r\n";
    if (input.ConsumeIntegralInRange(0, 15) == 0) {  // up to either side of the limit of lines
        for (size_t n = input.ConsumeIntegralInRange<size_t>(9990, 10010); n > 0; --n)
            file += "\r\n";
    }
    std::vector<std::string> lines;  // each without its CR LF
    for (size_t nStart = 0; nStart < file.size();) {
        size_t nEnd = file.find("\r\n", nStart);
        lines.push_back(file.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    const size_t nText = file.size() - lines.size();  // CR LF is one character of the text
    const bool bFits = lines.size() <= kMaxLines && nText <= kMaxText;
    auto first = [&](const std::string& strKey) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& s) { return BeginsWith(s, strKey); });
    };
    sim.m_files.SetFile(kManager, file);
    SetManagerVars(kManager, "", " x", "=y", nullptr, "\n");
    Check(fileNow() == file && sim.Clean());

    std::vector<std::vector<char>> buffers(6, std::vector<char>(file.size() + 16, '\0'));
    std::vector<std::string> expected(6);
    for (size_t i = 0; i < 5 && !lines.empty(); ++i) {
        const std::string& strLine = lines[input.ConsumeIntegralInRange<size_t>(0, lines.size() - 1)];
        std::string strName = KeyOf(strLine.substr(0, input.ConsumeIntegralInRange<size_t>(1, 8)));
        std::copy(strName.begin(), strName.end(), buffers[i].begin());
        expected[i] = bFits && !strName.empty() ? first(strName)->c_str() : strName;
    }
    std::string strEditor = "untouched";
    std::copy(strEditor.begin(), strEditor.end(), buffers[5].begin());
    auto itEditor = first("Editor");
    if (bFits && itEditor == lines.end())
        strEditor = "ZARIZAV.EXE";
    else if (bFits)
        strEditor = itEditor->find('=') == std::string::npos ? "" : itEditor->substr(itEditor->find('=') + 1);
    expected[5] = strEditor.c_str();
    GetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data(), buffers[5].data());
    for (size_t i = 0; i < 6; ++i)
        Check(expected[i] == buffers[i].data());
    SetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data());
    Check((file.find('\0') != std::string::npos || fileNow() == file) && sim.Clean());  // C strings end at a zero

    sim.m_files.SetFile(kManager, file);
    std::string strKey = KeyOf("QxFuzz" + input.ConsumeRandomLengthString(8));
    auto itOld = first(strKey);
    std::string after = file;
    if (bFits && itOld != lines.end() && nText - itOld->size() + strKey.size() + 4 <= kMaxText) {
        size_t nAt = 0;
        for (auto it = lines.begin(); it != itOld; ++it)
            nAt += it->size() + 2;
        after.replace(nAt, itOld->size(), strKey + "=new");
    } else if (bFits && itOld == lines.end() && lines.size() < kMaxLines && nText + strKey.size() + 5 <= kMaxText) {
        after += strKey + "=new\r\n";
    }
    SetManagerVars(kManager, (strKey + "=new").c_str(), "", "", "", "");
    Check(fileNow() == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    for (int c = 0; c < 256; ++c)
        g_upper[c] = static_cast<unsigned char>(c);
    qx::Sys().CharUpperBuffA(reinterpret_cast<char*>(g_upper), 256);
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzTokenTable, FuzzManagerText};
    kTargets[pData[0] % 2](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
