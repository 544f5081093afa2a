// Engine files and REPL.BAT server lists over any bytes (the first byte picks which): each reads back
// what was written, a refusal leaves the old file, and nothing stays held.
#include <algorithm>
#include <cstdint>
#include <string>

#include "../tests/native/engine_reference.h"
#include "engine/engine_file.h"
#include "frame/text_buffer.h"
#include "fuzz_check.h"
#include "qxinst.h"
#include "replication/repl_bat.h"
#include "sim/sim_platform.h"

namespace {

const char kEngine[] = "C:\\q\\e.kix";
const char kPlain[] = "C:\\q\\e.txt";
const char kUntouched[] = "untouched";
qx::sim::CSimPlatform* g_pSim = nullptr;

std::string FileOf(const char* pszPath) { return g_pSim->m_files.GetFile(pszPath).value_or("<none>"); }

// Decrypt into a destination holding kUntouched: the text, or one box and the destination untouched.
void CheckDecrypt(const qx::test::CParsedEngine& expected, const char* pszBox)
{
    g_pSim->m_files.SetFile(kPlain, kUntouched);
    g_pSim->m_ui.m_boxes.clear();
    bool bSound = expected.nFiller >= 0;
    Check(Decrypt(kEngine, kPlain) == (bSound ? 1 : 0) && FileOf(kPlain) == (bSound ? expected.strText : kUntouched));
    Check(g_pSim->m_ui.m_boxes.size() == (bSound ? 0u : 1u) && (bSound || g_pSim->m_ui.m_boxes[0].strText == pszBox));
    Check(g_pSim->m_files.List("C:\\q").size() == 2 && g_pSim->Clean());
}

// Decrypt and the loader agree with the reference reader; re-encrypted (from the loaded buffer, and
// streamed) it decodes back; one byte changed after the filler makes it corrupt.
void FuzzEngine(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    const std::string file(reinterpret_cast<const char*>(pData), cb);
    const qx::test::CParsedEngine expected = qx::test::ParseEngine(file);
    const bool bSound = expected.nFiller >= 0;
    sim.m_files.SetFile(kEngine, file);
    CheckDecrypt(expected, cb == 0 || pData[0] != 66 ? "Your engine has an invalid version number." : "Engine Corrupt");
    uint16_t nVersion = 0;
    Check(qx::LoadEngineText(kEngine, &nVersion) == bSound && (!bSound || nVersion == expected.nVersion));
    if (!bSound)
        return;

    sim.m_clock.m_nSeconds = static_cast<int64_t>(cb) * 7919;  // fresh filler
    Check(qx::SaveEngineText(kEngine, nVersion) == 0);  // the text buffer as loaded
    qx::test::CParsedEngine again = qx::test::ParseEngine(FileOf(kEngine));
    Check(again.strText == expected.strText && again.nVersion == expected.nVersion && again.nFiller <= 100);
    sim.m_files.SetFile(kPlain, expected.strText);
    Check(Encrypt(kPlain, kEngine, expected.nVersion | 0x10000) == 1);
    again = qx::test::ParseEngine(FileOf(kEngine));
    Check(again.strText == expected.strText && again.nVersion == expected.nVersion && again.nFiller <= 100);
    CheckDecrypt(again, "");

    std::string engine = FileOf(kEngine);
    size_t nPayload = 4 + static_cast<size_t>(again.nFiller);
    size_t i = nPayload + (cb * 31) % (engine.size() - nPayload);
    engine[i] = static_cast<char>(engine[i] + 1 + pData[cb - 1] % 255);
    sim.m_files.SetFile(kEngine, engine);
    CheckDecrypt(qx::test::CParsedEngine(), "Engine Corrupt");
}

// A server list (up to a NUL) of more than 256 names, a name of 260 characters or a line end is
// refused, the old file kept; else every line ends in CR LF and the set lines give the names back.
void FuzzReplList(const uint8_t* pData, size_t cb)
{
    const char kBat[] = "C:\\q\\REPL.BAT";
    const std::string strList = std::string(reinterpret_cast<const char*>(pData), cb).c_str();
    std::string strJoined = strList.substr(0, strList.size() - (!strList.empty() && strList.back() == ','));
    size_t nNames = strList.empty() ? 0 : 1, nLongest = 0, nRun = 0;
    for (char c : strJoined) {
        nNames += c == ',';
        nRun = c == ',' ? 0 : nRun + 1;
        nLongest = std::max(nLongest, nRun);
    }
    bool bFits = nNames <= qx::kMaxReplServers && nLongest < 260 && strList.find_first_of("\r\n") == std::string::npos;
    g_pSim->m_files.SetFile(kBat, "old\r\n");
    Check(MakeReplBat(kBat, strList.c_str()) == bFits && g_pSim->m_files.List("C:\\q").size() == 1);
    std::string strFile = FileOf(kBat), strNames;
    Check(bFits || strFile == "old\r\n");
    for (size_t i = 0, nEnd; bFits && i < strFile.size(); i = nEnd + 2) {
        Check((nEnd = strFile.find("\r\n", i)) != std::string::npos);
        std::string strLine = strFile.substr(i, nEnd - i);
        Check(strLine.find_first_of("\r\n") == std::string::npos);
        if (strLine.rfind("set SourcePDC=", 0) == 0 || strLine.rfind("set DestBDC", 0) == 0)
            strNames += "," + strLine.substr(strLine.find('=') + 1);
    }
    Check(!bFits || strNames == "," + strJoined);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzEngine, FuzzReplList};
    kTargets[pData[0] % 2](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
