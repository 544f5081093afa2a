// Arbitrary text split by the token table (some followed by empty lines up to its limit of lines),
// then lines found, read, replaced and inserted with fuzzed names, texts and positions, and the table
// written back. Checked against a plain model: the lines and their count (a text of more than 10,000 lines refused as a
// whole), the loading window's bar moved once per line, every search, value and change, a refused
// insertion into a full table, and the write-back's length and bytes, refused whole (the buffer
// untouched) when it would not fit.
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
#include "frame/text_buffer.h"  // the size of the buffer the exports write the table back into
#include "sim/sim_platform.h"

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform sim;
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
    std::vector<std::string> lines;
    std::vector<std::string> positions;  // where the bar goes at each line: the bytes read so far
    for (size_t nStart = 0; nStart < text.size();) {
        size_t nFeed = std::min(text.find('\n', nStart), text.size());
        if (bWindow)
            positions.push_back("pos 129/1004 " + std::to_string(nStart + 1));
        lines.push_back(text.substr(nStart, nFeed - nStart));
        nStart = nFeed + 1;
    }
    bool bLoads = lines.size() <= static_cast<size_t>(kMaxTokenLines);
    static std::vector<char> buffer(kTextBufferSize);  // where the text is written back
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size()));
    size_t cbWritten = text.size();
    auto pTable = std::make_unique<qx::CTokenTable>();
    Check(pTable->Load(text.data(), text.size()) == bLoads && pTable->IsLoaded() == bLoads &&
          sim.m_ui.Dialogs(129).empty());
    if (!bLoads) {
        Check(pTable->m_nLines == 0 && !pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten));
        pTable.reset();
        Check(sim.Clean());
        return 0;
    }
    std::vector<std::string> log = {"create 129", "range 129/1004 0.." + std::to_string(text.size())};
    log.insert(log.end(), positions.begin(), positions.end());
    log.push_back("destroy 129");
    Check(sim.m_ui.m_log == (bWindow ? log : std::vector<std::string>()));

    auto same = [&] {
        if (pTable->m_nLines != static_cast<int>(lines.size()))
            return false;
        return std::equal(lines.begin(), lines.end(), pTable->m_lines.begin());
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
            std::string strText(cch, input.ConsumeIntegral<char>());
            strText = strText.c_str();
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
    for (const std::string& strLine : lines) {
        expected += strLine;
        if (pTable->m_bAddCR && !strLine.empty() && strLine.back() != '\r')
            expected += '\r';
        expected += '\n';
    }
    bool bFits = expected.size() <= static_cast<size_t>(kTextBufferSize);
    std::string before(buffer.data(), std::min<size_t>(text.size(), 4096));
    Check(pTable->TextSize() == expected.size() && pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten) == bFits);
    pTable.reset();
    if (bFits) {
        Check(cbWritten == expected.size());
        Check(std::memcmp(buffer.data(), expected.data(), expected.size()) == 0);
    } else {
        Check(cbWritten == text.size());
        Check(std::string(buffer.data(), before.size()) == before);
    }
    Check(sim.Clean());
    return 0;
}
