// The token table over any bytes; the first byte picks what is fuzzed, the rest is its input; each
// leaves nothing held.
// 0, a text (some with empty lines up to either side of 10,000 lines, refused whole beyond) reads
//    back as it was, the loading window's bar moved once a line; then fuzzed searches, sets, inserts
//    and values: a search gives the first line that begins with the key, a line set or inserted reads
//    back where it went, a value is what follows the first '=' less quotes, a full table takes no new
//    line, and the write-back is refused whole (the buffer untouched) when it would not fit.
// 1, a manager file with CR LF line ends through SetManagerVars and GetManagerVars: empty keys change
//    nothing; names read the first whole line that begins with them, the editor its Editor line's
//    value; lines read and stored again leave the file as it was, a new line reads back and storing
//    it twice is storing it once; a file of more than 10,000 lines is left alone and reads as nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "qxinst.h"
#include "sim/sim_platform.h"
#include "sim/sim_text.h"

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;

qx::sim::CSimPlatform* g_pSim = nullptr;

#define Check(...) ((__VA_ARGS__) ? void() : (std::fprintf(stderr, "line %d failed\n", __LINE__), std::abort()))

// Whether the line begins with the key, ignoring case.
bool BeginsWith(const std::string& strLine, const std::string& strKey)
{
    return qx::sim::AnsiUpper(strLine.substr(0, strKey.size())) == qx::sim::AnsiUpper(strKey);
}

// A text's key: up to its first space, '=' or line feed (a C string ends at its zero).
std::string KeyOf(const std::string& strText)
{
    return std::string(strText.c_str(), std::strcspn(strText.c_str(), " =\n"));
}

// The table written back: each line, a carriage return where m_bAddCR wants one, and a line feed.
std::string Written(const qx::CTokenTable& table)
{
    std::string text;
    for (auto it = table.m_lines.begin(); it != table.m_lines.begin() + table.m_nLines; ++it)
        text += *it + (table.m_bAddCR && !it->empty() && it->back() != '\r' ? "\r\n" : "\n");
    return text;
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
    // A text reads back as it was (less no line feed at its end); the window's bar moves once a line.
    std::string strBack = text + (text.empty() || text.back() == '\n' ? "" : "\n");
    size_t nLines = static_cast<size_t>(std::count(strBack.begin(), strBack.end(), '\n'));
    bool bLoads = nLines <= static_cast<size_t>(kMaxTokenLines);
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
    Check(Written(*pTable) == strBack && sim.m_ui.m_log.size() == (bWindow ? nLines + 3 : 0));
    while (input.remaining_bytes() > 0) {
        int nLines = pTable->m_nLines;
        int nIndex = input.ConsumeIntegralInRange(-2, nLines + 1);
        std::string strText = input.ConsumeRandomLengthString(64).c_str();
        switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0: {  // search: the first line that begins with the text's key; then replace or append
            const std::string strKey = KeyOf(strText);
            nIndex = pTable->FindLine(strText.c_str());
            for (int i = 0; i < (nIndex >= 0 ? nIndex + 1 : nLines); ++i)
                Check(BeginsWith(pTable->m_lines[static_cast<size_t>(i)], strKey) == (i == nIndex));
            Check(pTable->SetLine(nIndex, strText.c_str()) == (nIndex >= 0 || nLines < kMaxTokenLines));
            Check(nLines == kMaxTokenLines || pTable->FindLine(strText.c_str()) == (nIndex >= 0 ? nIndex : nLines));
            break;
        }
        case 1: {  // a line made long, to reach the buffer's size (and a little past it, no more)
            size_t cch = std::min(input.ConsumeIntegralInRange<size_t>(0, 400000),
                                  2100000 - std::min<size_t>(pTable->TextSize(), 2100000));
            strText = std::string(cch, input.ConsumeIntegral<char>()).c_str();
            bool bDone = nIndex >= 0 ? nIndex < nLines : nIndex == -1 && nLines < kMaxTokenLines;
            Check(pTable->SetLine(nIndex, strText.c_str()) == bDone &&
                  pTable->m_nLines == nLines + (bDone && nIndex < 0));
            Check(!bDone || pTable->m_lines[static_cast<size_t>(nIndex >= 0 ? nIndex : nLines)] == strText);
            break;
        }
        case 2: {  // an insertion: before line 1 .. m_nLines, never into a full table
            bool bDone = nIndex >= 1 && nIndex <= nLines && nLines < kMaxTokenLines;
            std::string strAfter = bDone ? pTable->m_lines[static_cast<size_t>(nIndex)] : "";
            Check(pTable->InsertLine(nIndex, strText.c_str()) == bDone && pTable->m_nLines == nLines + bDone);
            Check(!bDone || (pTable->m_lines[static_cast<size_t>(nIndex)] == strText &&
                             pTable->m_lines[static_cast<size_t>(nIndex) + 1] == strAfter));
            break;
        }
        case 3: {  // a value: what follows the first '=', without quotes and '=' at either end
            const size_t n = static_cast<size_t>(nLines > 0 ? std::max(nIndex, 0) % nLines : 0);
            std::string strRest = pTable->m_lines[n].substr(pTable->m_lines[n].find('=') + 1);  // npos + 1 is 0
            size_t nFirst = std::min(strRest.find_first_not_of("'="), strRest.size());
            Check(pTable->GetLineValue(static_cast<int>(n)) ==
                  strRest.substr(nFirst, strRest.find_last_not_of("'=") + 1 - nFirst));
            break;
        }
        default:
            pTable->m_bAddCR = input.ConsumeBool();
            break;
        }
    }

    // The write-back; a text that does not fit leaves the buffer untouched.
    const std::string expected = Written(*pTable);
    bool bFits = expected.size() <= static_cast<size_t>(kTextBufferSize);
    std::string before(buffer.data(), std::min<size_t>(text.size(), 4096));
    Check(pTable->TextSize() == expected.size() && pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten) == bFits);
    Check(bFits ? cbWritten == expected.size() && std::memcmp(buffer.data(), expected.data(), expected.size()) == 0
                : cbWritten == text.size() && std::string(buffer.data(), before.size()) == before);
}

// A manager file with CR LF line ends through SetManagerVars and GetManagerVars.
void FuzzManagerText(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    const char kManager[] = "C:\\q\\qxmgr.ini";
    auto fileNow = [&] { return sim.m_files.GetFile(kManager).value_or("<none>"); };
    FuzzedDataProvider input(pData, cb);
    std::string text = input.ConsumeRandomLengthString(4096), file;  // the file as text mode reads it
    text += text.empty() || text.back() != '\n' ? "\n" : "";
    if (input.ConsumeIntegralInRange(0, 15) == 0)  // up to either side of the limit of lines
        text += std::string(input.ConsumeIntegralInRange<size_t>(9990, 10010), '\n');
    for (char c : text)
        file += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const size_t nLines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    const bool bFits =
        nLines <= static_cast<size_t>(kMaxTokenLines) && text.size() <= static_cast<size_t>(kTextBufferSize);
    // Texts with empty keys change nothing.
    sim.m_files.SetFile(kManager, file);
    SetManagerVars(kManager, "", " x", "=y", nullptr, "\n");
    Check(fileNow() == file && sim.Clean());

    // Names of lines read the first line with their key (a file too large reads as nothing), and
    // stored again leave the file as it was (C strings end at a zero).
    std::vector<std::vector<char>> buffers(6, std::vector<char>(file.size() + 16, '\0'));
    std::vector<std::string> names(6, "");
    for (size_t i = 0; i < 5; ++i) {
        size_t nAt = text.rfind('\n', input.ConsumeIntegralInRange<size_t>(0, text.size() - 1)) + 1;
        names[i] = KeyOf(text.substr(nAt, input.ConsumeIntegralInRange<size_t>(1, 8)));
        std::copy(names[i].begin(), names[i].end(), buffers[i].begin());
    }
    GetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data(), buffers[5].data());
    // A line read is the first that begins with its key: its first occurrence is a whole line (up to
    // a line feed, or to a zero where a C string ends).
    auto line = [&](const std::string& strRead) {
        size_t nAt = ("\n" + text).find("\n" + strRead);
        return nAt != std::string::npos && std::strchr("\n", (text + '\n')[nAt + strRead.size()]) != nullptr;
    };
    for (size_t i = 0; i < 5; ++i) {
        std::string strRead = buffers[i].data();
        Check(bFits && !names[i].empty() ? BeginsWith(strRead, names[i]) && line(strRead) : strRead == names[i]);
    }
    std::string strUpper = qx::sim::AnsiUpper("\n" + text);
    size_t nEditor = strUpper.find("\nEDITOR");  // the Editor line, where it starts in the text
    std::string strEditor = buffers[5].data();
    std::string strLine = text.substr(0, text.find('\n', nEditor)).substr(std::min(nEditor, text.size()));
    std::string strValue = strLine.find('=') == std::string::npos ? "" : strLine.substr(strLine.find('=') + 1);
    Check(strEditor == (!bFits ? "" : nEditor == std::string::npos ? "ZARIZAV.EXE" : strValue.c_str()));
    SetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data());
    Check((file.find('\0') != std::string::npos || fileNow() == file) && sim.Clean());

    // A new line: read back after it is stored (unless the file is or would become too large), and
    // storing it twice is storing it once.
    sim.m_files.SetFile(kManager, file);
    strLine = KeyOf("QxFuzz" + input.ConsumeRandomLengthString(8)) + "=new";
    SetManagerVars(kManager, strLine.c_str(), "", "", "", "");
    std::string after = fileNow();
    std::vector<char> back(after.size() + 16, '\0');
    std::copy(strLine.begin(), strLine.end() - 4, back.begin());
    GetManagerVars(kManager, back.data(), nullptr, nullptr, nullptr, nullptr, nullptr);
    bool bRoom = bFits && nLines < static_cast<size_t>(kMaxTokenLines) &&
                 text.size() + strLine.size() + 1 <= static_cast<size_t>(kTextBufferSize);
    Check((bFits || after == file) && (!bRoom || std::string(back.data()) == strLine));
    SetManagerVars(kManager, strLine.c_str(), "", "", "", "");
    Check(fileNow() == after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzTokenTable, FuzzManagerText};
    kTargets[pData[0] % 2](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
