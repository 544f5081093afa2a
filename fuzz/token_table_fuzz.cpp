// The token table over any bytes; the first byte picks what is fuzzed, the rest is its input. Each
// leaves nothing held.
// 0, a text split by the table (some followed by empty lines up to its limit of lines) reads back
//    as it was, with the loading window's bar moved once a line; a text of more than 10,000 lines is
//    refused whole. Then lines found, read, replaced and inserted with fuzzed names, texts and
//    positions: a search gives the first line that begins with the key, a line set or inserted
//    reads back where it went, a value is what follows the first '=' less quotes, a full table takes
//    no new line; the write-back is refused whole (the buffer untouched) when it would not fit.
// 1, a manager file whose lines end with CR LF (a bare line feed gains its carriage return; some
//    get empty lines up to the limit of lines), through SetManagerVars and GetManagerVars: texts
//    with empty keys change nothing; names read the first whole line that begins with their key,
//    the editor its Editor line's value, and the lines read, stored again, leave the file as it
//    was; a new line reads back after it is stored, storing it twice is storing it once, and a file
//    that is or would become larger than 10,000 lines is left alone (and read as nothing).
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

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;

qx::sim::CSimPlatform* g_pSim = nullptr;
unsigned char g_upper[256];  // the system's upper case of each byte

void Check(bool bHolds, int nLine = __builtin_LINE())
{
    if (!bHolds) {
        std::fprintf(stderr, "property of line %d failed\n", nLine);
        std::abort();
    }
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

// Every line of the table written back (a line feed after each, no carriage return added).
std::string Written(const qx::CTokenTable& table)
{
    std::string text;
    for (int i = 0; i < table.m_nLines; ++i)
        text += table.m_lines[static_cast<size_t>(i)] + "\n";
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
    size_t nLines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    std::string strBack = text + (text.empty() || text.back() == '\n' ? "" : "\n");
    nLines += strBack.size() > text.size();
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
            size_t nTotal = pTable->TextSize();
            size_t cch =
                std::min(input.ConsumeIntegralInRange<size_t>(0, 400000), 2100000 - std::min<size_t>(nTotal, 2100000));
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
        case 3:  // a value: what follows the first '=', without quotes and '=' at either end
            if (nLines > 0) {
                const std::string& strLine = pTable->m_lines[static_cast<size_t>(nIndex < 0 ? 0 : nIndex % nLines)];
                std::string strValue = pTable->GetLineValue(nIndex < 0 ? 0 : nIndex % nLines);
                std::string strRest =
                    strLine.substr(strLine.find('=') == std::string::npos ? 0 : strLine.find('=') + 1);
                size_t nFirst = strRest.find_first_not_of("'=");
                Check(strValue == (nFirst == std::string::npos
                                       ? ""
                                       : strRest.substr(nFirst, strRest.find_last_not_of("'=") + 1 - nFirst)));
            }
            break;
        default:
            pTable->m_bAddCR = input.ConsumeBool();
            break;
        }
    }

    // The write-back: each line, a carriage return where m_bAddCR wants one, and a line feed; a text
    // that does not fit leaves the buffer untouched.
    std::string expected;
    for (int i = 0; i < pTable->m_nLines; ++i) {
        const std::string& strLine = pTable->m_lines[static_cast<size_t>(i)];
        expected += strLine + (pTable->m_bAddCR && !strLine.empty() && strLine.back() != '\r' ? "\r\n" : "\n");
    }
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
    std::string text;  // the file as read in text mode, each CR LF one line feed
    for (size_t n = 0; n < file.size(); ++n)
        text += file.compare(n, 2, "\r\n") == 0 ? "" : file.substr(n, 1);
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
    std::string strUpper = "\n" + text;
    qx::Sys().CharUpperBuffA(&strUpper[0], static_cast<DWORD>(strUpper.size()));
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
    for (int c = 0; c < 256; ++c)
        g_upper[c] = static_cast<unsigned char>(c);
    qx::Sys().CharUpperBuffA(reinterpret_cast<char*>(g_upper), 256);
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzTokenTable, FuzzManagerText};
    kTargets[pData[0] % 2](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
