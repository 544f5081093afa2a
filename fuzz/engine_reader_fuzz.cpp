// Arbitrary bytes as an engine file, read by Decrypt, by the loader of the script exports and by
// GetEngineVersion. Never a crash or an overrun; a sound engine (as the byte-by-byte reference reader
// sees it) decodes to the reference's text, which encrypted again (streamed, and from the text
// buffer) decodes back equal, and which one changed payload byte makes unsound; an unsound engine is
// refused with its one box, the destination untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../tests/native/engine_reference.h"
#include "engine/engine_file.h"
#include "frame/text_buffer.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

const char kEngine[] = "C:\\q\\e.kix";
const char kPlain[] = "C:\\q\\e.txt";
const char kUntouched[] = "untouched";

qx::sim::CSimPlatform* g_pSim = nullptr;

// Aborts unless the condition holds and the platform holds nothing handed out.
void Check(bool bHolds)
{
    if (!bHolds || !g_pSim->Clean())
        std::abort();
}

std::string FileOf(const char* pszPath) { return g_pSim->m_files.GetFile(pszPath).value_or("<none>"); }

// Decrypt of the engine file into a destination holding kUntouched: the text, or one box.
void CheckDecrypt(const qx::test::CParsedEngine& expected, const char* pszBox)
{
    g_pSim->m_files.SetFile(kPlain, kUntouched);
    g_pSim->m_ui.m_boxes.clear();
    bool bSound = expected.nFiller >= 0;
    Check(Decrypt(kEngine, kPlain) == (bSound ? 1 : 0));
    Check(FileOf(kPlain) == (bSound ? expected.strText : kUntouched));
    Check(g_pSim->m_ui.m_boxes.size() == (bSound ? 0u : 1u));
    Check(bSound || g_pSim->m_ui.m_boxes[0].strText == pszBox);
    Check(g_pSim->m_files.List("C:\\q").size() == 2);  // no temporary file left
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform sim;
    g_pSim = &sim;
    const std::string file(reinterpret_cast<const char*>(pData), cb);
    const qx::test::CParsedEngine expected = qx::test::ParseEngine(file);
    const bool bSound = expected.nFiller >= 0;
    const bool bBadLead = cb == 0 || pData[0] != 66;
    sim.m_files.SetFile(kEngine, file);
    CheckDecrypt(expected, bBadLead ? "Your engine has an invalid version number." : "Engine Corrupt");

    // The loader of the script exports gives the same verdict and the text in the buffer.
    sim.m_ui.m_boxes.clear();
    uint16_t nVersion = 0;
    Check(qx::LoadEngineText(kEngine, &nVersion) == bSound);
    Check(sim.m_ui.m_boxes.size() == (bSound ? 0u : 1u));
    Check(!bSound || (static_cast<size_t>(qx::g_textPos) == expected.strText.size() && nVersion == expected.nVersion &&
                      std::memcmp(qx::g_textBuffer, expected.strText.data(), expected.strText.size()) == 0));

    // The version field alone: 26 and above, or 0.
    int nField = !bBadLead && cb >= 3 ? pData[1] | pData[2] << 8 : 0;
    Check(GetEngineVersion(kEngine) == (nField < 26 ? 0 : nField));
    if (!bSound)
        return 0;

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
    return 0;
}
