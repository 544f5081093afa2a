// Arbitrary bytes as a manager file whose lines end with CR LF (a bare line feed gains its carriage
// return; some files get empty lines up to the limit of lines), through SetManagerVars and
// GetManagerVars:
// - texts with empty keys change nothing: the file comes back byte for byte, 0x00 and 0xFF included;
// - names read the first line that begins with their key, and the editor its Editor line; the lines
//   read, stored again, leave the file as it was;
// - a new line replaces the first line with its key or is appended, and a file that is or would
//   become larger than 10,000 lines is left alone (and read as nothing).
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

const char kManager[] = "C:\\q\\qxmgr.ini";
const size_t kMaxText = static_cast<size_t>(qx::kTextBufferSize);
const size_t kMaxLines = static_cast<size_t>(qx::kMaxTokenLines);
qx::sim::CSimPlatform* g_pSim = nullptr;

// Aborts unless the condition holds and the platform holds nothing handed out.
void Check(bool bHolds)
{
    if (!bHolds || !g_pSim->Clean())
        std::abort();
}

std::string File() { return g_pSim->m_files.GetFile(kManager).value_or("<none>"); }

// The line begins with the key, ignoring case (g_upper: the system's upper case of each byte).
unsigned char g_upper[256];

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    for (int c = 0; c < 256; ++c)
        g_upper[c] = static_cast<unsigned char>(c);
    qx::Sys().CharUpperBuffA(reinterpret_cast<char*>(g_upper), 256);
    FuzzedDataProvider input(pData, cb);
    std::string file;
    for (char c : input.ConsumeRandomLengthString(4096)) {
        if (c == '\n' && (file.empty() || file.back() != '\r'))
            file += '\r';
        file += c;
    }
    if (file.size() < 2 || file.compare(file.size() - 2, 2, "\r\n") != 0)
        file += "\r\n";
    // Now and then followed by empty lines up to either side of the limit of 10,000 lines.
    if (input.ConsumeIntegralInRange(0, 15) == 0) {
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
    Check(File() == file);

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
    Check(file.find('\0') != std::string::npos || File() == file);  // C strings end at a zero byte

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
    Check(File() == after);
    return 0;
}
