// Engine files and the files written through the same streams, over any bytes; the first byte picks
// what is fuzzed, the rest is its input; each leaves nothing held.
// 0, an engine file through Decrypt, the script exports' loader and GetEngineVersion: a sound one
//    (as the byte-by-byte reference reader sees it) decodes to the reference's text, which encrypted
//    again (streamed, and from the text buffer) decodes back equal, and one changed payload byte
//    makes it unsound; an unsound one is refused with its one box, the destination untouched.
// 1, a text written in text mode reads back unchanged, the read position never past the size.
// 2, a REPL.BAT server list (up to a NUL): the splitter's names join back to it (less a last comma);
//    more than 256 names, one of 260 characters or a line end in one is refused (the old file kept);
//    else every line ends in CR LF, the set lines give the names back and each after the first gets a copy.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../tests/native/engine_reference.h"
#include "engine/engine_file.h"
#include "frame/text_buffer.h"
#include "platform/file_stream.h"
#include "qxinst.h"
#include "replication/repl_bat.h"
#include "sim/sim_platform.h"

namespace {

const char kEngine[] = "C:\\q\\e.kix";
const char kPlain[] = "C:\\q\\e.txt";
const char kUntouched[] = "untouched";
qx::sim::CSimPlatform* g_pSim = nullptr;

#define Check(...) ((__VA_ARGS__) ? void() : (std::fprintf(stderr, "line %d failed\n", __LINE__), std::abort()))

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

void FuzzReplList(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform& sim = *g_pSim;
    const char kBat[] = "C:\\q\\REPL.BAT";
    const std::string strList = std::string(reinterpret_cast<const char*>(pData), cb).c_str();  // up to a NUL
    // What the names must join back to: the list less one comma at its end.
    std::string strJoined = strList.substr(0, strList.size() - (!strList.empty() && strList.back() == ','));
    // The list's shape, counted independently of the splitter.
    size_t nNames = strList.empty() ? 0 : 1, nLongest = 0, nRun = 0;
    for (char c : strJoined) {
        nNames += c == ',';
        nRun = c == ',' ? 0 : nRun + 1;
        nLongest = std::max(nLongest, nRun);
    }
    bool bFits = nNames <= qx::kMaxReplServers && nLongest < 260 && strList.find_first_of("\r\n") == std::string::npos;
    qx::CReplServerList servers;
    Check(servers.Split(strList.c_str()) == bFits && servers.Count() == (bFits ? static_cast<int>(nNames) : 0));
    std::string strBack;
    for (int k = 1; k <= servers.Count(); ++k)
        strBack += (k > 1 ? "," : "") + servers.Name(k);
    Check(!bFits || strBack == strJoined);

    sim.m_files.SetFile(kBat, "old\r\n");
    Check(MakeReplBat(kBat, strList.c_str()) == bFits && sim.m_files.List("C:\\q").size() == 1);
    std::string strFile = sim.m_files.GetFile(kBat).value_or("");
    if (!bFits) {
        Check(strFile == "old\r\n");
        return;
    }
    // Every line ends in CR LF; the names read back from the set lines; one copy per name after the first.
    std::string strNames;
    size_t nCopies = 0;
    for (size_t i = 0, nEnd; i < strFile.size(); i = nEnd + 2) {
        Check((nEnd = strFile.find("\r\n", i)) != std::string::npos);
        std::string strLine = strFile.substr(i, nEnd - i);
        Check(strLine.find_first_of("\r\n") == std::string::npos);
        if (strLine.rfind("set SourcePDC=", 0) == 0 || strLine.rfind("set DestBDC", 0) == 0)
            strNames += "," + strLine.substr(strLine.find('=') + 1);
        nCopies += strLine.rfind("xcopy ", 0) == 0 && strLine.find("%destBDC") != std::string::npos;
    }
    Check(strNames == "," + strJoined && nCopies + 1 == std::max<size_t>(nNames, 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    void (*const kTargets[])(const uint8_t*, size_t) = {FuzzEngine, FuzzTextStream, FuzzReplList};
    kTargets[pData[0] % 3](pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
