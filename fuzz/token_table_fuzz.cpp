// The token table over any text and fuzzed searches, sets and inserts: each reads back, and the table
// writes back whole or leaves the buffer untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "fuzz_check.h"
#include "sim/sim_platform.h"
#include "sim/sim_text.h"

namespace {

using qx::kMaxTokenLines;
using qx::kTextBufferSize;
using qx::sim::AnsiUpper;

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
    FuzzedDataProvider input(pData, cb);
    std::string text = input.ConsumeRandomLengthString(1024);
    if (input.ConsumeIntegralInRange(0, 15) == 0)  // empty lines up to either side of 10,000 lines
        text += std::string(input.ConsumeIntegralInRange<size_t>(9990, 10010), '\n');
    std::string strBack = text + (text.empty() || text.back() == '\n' ? "" : "\n");
    size_t nLines = static_cast<size_t>(std::count(strBack.begin(), strBack.end(), '\n'));
    bool bLoads = nLines <= static_cast<size_t>(kMaxTokenLines);
    static std::vector<char> buffer(kTextBufferSize);  // where the text is written back
    std::memcpy(buffer.data(), text.data(), std::min(text.size(), buffer.size()));
    size_t cbWritten = text.size();
    auto pTable = std::make_unique<qx::CTokenTable>();
    Check(pTable->Load(text.data(), text.size()) == bLoads && pTable->IsLoaded() == bLoads);
    if (!bLoads) {
        Check(pTable->m_nLines == 0 && !pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten));
        return;
    }
    Check(Written(*pTable) == strBack);  // a line feed added at the end
    while (input.remaining_bytes() > 0) {
        int nLines = pTable->m_nLines;
        int nIndex = input.ConsumeIntegralInRange(-2, nLines + 1);
        std::string strText = input.ConsumeRandomLengthString(64).c_str();
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: {  // search: the first line that begins with the text's key; then replace or append
            const std::string strKey = AnsiUpper(strText.substr(0, strText.find_first_of(" =\n")));
            nIndex = pTable->FindLine(strText.c_str());
            for (int i = 0; i < (nIndex >= 0 ? nIndex + 1 : nLines); ++i)
                Check((AnsiUpper(pTable->m_lines[size_t(i)].substr(0, strKey.size())) == strKey) == (i == nIndex));
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
        default:
            pTable->m_bAddCR = input.ConsumeBool();
            break;
        }
    }

    const std::string expected = Written(*pTable);
    bool bFits = expected.size() <= static_cast<size_t>(kTextBufferSize);
    std::string before(buffer.data(), std::min<size_t>(text.size(), 4096));
    Check(pTable->TextSize() == expected.size() && pTable->WriteTo(buffer.data(), buffer.size(), &cbWritten) == bFits);
    Check(bFits ? cbWritten == expected.size() && std::memcmp(buffer.data(), expected.data(), expected.size()) == 0
                : cbWritten == text.size() && std::string(buffer.data(), before.size()) == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform sim;
    FuzzTokenTable(pData, cb);
    Check(sim.Clean());
    return 0;
}
