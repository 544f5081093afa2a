// Engine files on the simulated platform: the transform against the stepped reference, Decrypt,
// Encrypt and GetEngineVersion, and what every failure leaves on disk and in the accounting.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine_fixture.h"

namespace qx::test {
namespace {

const std::string kCorruptBox = "Engine Corrupt|File Error|4096";
const std::string kOutputBox = "Cannot open output.|File Error|0";
const std::vector<std::string> kBoth = {"engine.kix", "engine.txt"};

std::string Bytes(size_t cb, unsigned nSeed, bool bRandom = true)  // random, or every value from nSeed on
{
    std::mt19937 random(nSeed);
    std::string text(cb, '\0');
    for (size_t i = 0; i < cb; ++i)
        text[i] = static_cast<char>(bRandom ? random() : nSeed + i);
    return text;
}

class EngineFiles : public EngineTest {
protected:
    std::string EncryptText(const std::string& strText, int nVersion)
    {
        Put(kPlain, strText);
        EXPECT_EQ(Call(Encrypt, kPlain, kEngine, nVersion), 1);
        return File(kEngine);
    }
    // Decrypt fails with the one box given, leaving the old destination and no temporary file.
    void ExpectDecryptRefused(const std::string& strEngine, const std::string& strBox)
    {
        Put(kEngine, strEngine);
        Put(kPlain, "keep me");
        EXPECT_EQ(Call(Decrypt, kEngine, kPlain), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string> {strBox});
        EXPECT_EQ(File(kPlain), "keep me");
        EXPECT_EQ(sim.m_files.List("C:\\qorvex"), kBoth);
    }
};

TEST_F(EngineFiles, TransformFollowsTheKeyAndRunningOffsetAndEveryByteRoundTrips)
{
    // Zero bytes show K[i mod 10] + r(i); the 10th uses the key's zero byte, so only r is left.
    const unsigned kOffsets[] = {15, 16, 19, 24, 31, 40, 51, 64, 79, 96, 105, 116};
    std::string file = EncryptText(std::string(12, '\0'), 41);
    std::string payload = file.substr(4 + static_cast<unsigned char>(file[3]));
    ASSERT_EQ(payload.size(), 13u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(payload[i], static_cast<char>("RODEDURUV"[i % 10] + kOffsets[i])) << i;
    // Past every repetition of key and offset, and larger than the text buffer: both ways.
    std::string text = Bytes(3000000, 7);
    EXPECT_EQ(ParseEngine(EncryptText(text, 0x7FFF9234)).nVersion, 0x9234);  // the low 16 bits, all of them
    EXPECT_TRUE(ParseEngine(File(kEngine)).strText == text);
    Put(kEngine, MakeEngine(text, 50, "xyz"));
    EXPECT_EQ(Call(Decrypt, kEngine, kPlain), 1);
    EXPECT_TRUE(File(kPlain) == text);
    // Encrypt draws N = 0..100 from the time: spread over the range from one second to the next.
    std::set<int> counts;
    for (int64_t nSeconds = 1700000000; nSeconds < 1700000200; ++nSeconds) {
        sim.m_clock.m_nSeconds = nSeconds;
        std::string block = Bytes(512, static_cast<unsigned>(nSeconds), false);
        CParsedEngine engine = ParseEngine(EncryptText(block, 41));  // every byte, every filler count
        ASSERT_EQ(engine.strText, block);
        ASSERT_LE(engine.nFiller, 100);
        counts.insert(engine.nFiller);
        ASSERT_EQ(Call(Decrypt, kEngine, kPlain), 1);
        ASSERT_EQ(File(kPlain), block);
    }
    EXPECT_GT(counts.size(), 60u);
    EXPECT_EQ(ParseEngine(EncryptText("", 30)).strText, "");  // header, filler and a zero checksum
    EXPECT_EQ(Call(Decrypt, kEngine, kPlain), 1);
    EXPECT_EQ(File(kPlain), "");
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EngineFiles, UnsoundEnginesAreRefusedAndLeaveTheDestination)
{
    std::string good = MakeEngine("$EngineVersion='4.1'\r\n$Server='PDC'\r\n", 41, "filler");
    for (std::string foreign : {std::string(), std::string("A"), std::string("C") + good.substr(1)})
        ExpectDecryptRefused(foreign, "Your engine has an invalid version number.|Invalid Engine Version|0");
    for (size_t cb = 1; cb < good.size(); ++cb)
        ExpectDecryptRefused(good.substr(0, cb), kCorruptBox);
    auto changed = [&](size_t i) { return good.substr(0, i) + static_cast<char>(good[i] ^ 0x5A) + good.substr(i + 1); };
    for (size_t i = 4 + 6; i < good.size(); ++i)  // every payload byte and the checksum
        ExpectDecryptRefused(changed(i), kCorruptBox);
    for (size_t i : {1, 2, 4, 9}) {  // version and filler are not checked
        Put(kEngine, changed(i));
        EXPECT_EQ(Call(Decrypt, kEngine, kPlain), 1) << i;
    }
}

TEST_F(EngineFiles, PathsThatCannotBeUsedFailClearlyAndOneFileCanBeBoth)
{
    Put(kEngine, MakeEngine("text", 41, ""));
    Put(kPlain, "text");
    Put("C:\\qorvex\\locked", "locked");
    sim.m_files.SetAttributes("C:\\qorvex\\locked", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Call(Decrypt, "C:\\qorvex\\missing", kPlain), 0);
    EXPECT_EQ(Call(Encrypt, "C:\\qorvex\\missing", kPlain, 41), 0);
    EXPECT_EQ(Call(Decrypt, kEngine, "C:\\qorvex\\locked"), 0);
    EXPECT_EQ(Call(Encrypt, kPlain, "C:\\qorvex\\locked", 41), 0);  // without a box
    EXPECT_EQ(TakeBoxes(), (std::vector<std::string> {"Cannot Find Engine : C:\\qorvex\\missing|Error|4096",
                                                      "Cannot Find Engine : C:\\qorvex\\missing|Error|0", kOutputBox}));
    EXPECT_EQ(File("C:\\qorvex\\locked") + File(kPlain), "lockedtext");
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string> {"engine.kix", "engine.txt", "locked"}));
    EXPECT_EQ(Call(Encrypt, kPlain, kPlain, 41), 1);
    EXPECT_EQ(Call(Decrypt, kPlain, kPlain), 1);
    EXPECT_EQ(File(kPlain), "text");
}

// Every failing platform call, at every point it is made (a full disk among them), ends in a clean
// failure that leaves the destination as it was, or in the complete result.
TEST_F(EngineFiles, EveryInjectedFailureLeavesTheDestinationWholeOrUntouched)
{
    std::string text = Bytes(150000, 5);
    std::string engine = MakeEngine(text, 41, "ff");
    const std::pair<const char*, DWORD> faults[] = {{"CreateFileA", ERROR_ACCESS_DENIED},
                                                    {"ReadFile", ERROR_READ_FAULT},
                                                    {"WriteFile", ERROR_DISK_FULL},
                                                    {"GetFileSize", ERROR_INVALID_HANDLE},
                                                    {"CloseHandle", ERROR_WRITE_FAULT},
                                                    {"GetTempFileNameA", 5},
                                                    {"ReplaceFileA", ERROR_UNABLE_TO_REMOVE_REPLACED},
                                                    {"GetFileAttributesA", ERROR_ACCESS_DENIED}};
    for (auto [pszCall, dwError] : faults) {
        for (int nNth = 1; nNth <= 4; ++nNth) {
            SCOPED_TRACE(std::string(pszCall) + " #" + std::to_string(nNth));
            Put(kEngine, engine);
            Put(kPlain, "old plain");
            sim.m_kernel.FailCall(pszCall, dwError, nNth);
            QXBOOL bDecrypted = Call(Decrypt, kEngine, kPlain);
            EXPECT_EQ(TakeBoxes().size(), bDecrypted ? 0u : 1u);
            EXPECT_TRUE(File(kPlain) == (bDecrypted ? text : "old plain"));
            Put(kPlain, text);
            Put(kEngine, "old engine");
            sim.m_kernel.ClearFaults();
            sim.m_kernel.FailCall(pszCall, dwError, nNth);
            QXBOOL bEncrypted = Call(Encrypt, kPlain, kEngine, 41);
            EXPECT_TRUE(bEncrypted ? ParseEngine(File(kEngine)).strText == text : File(kEngine) == "old engine");
            EXPECT_EQ(sim.m_files.List("C:\\qorvex"), kBoth);
            sim.m_kernel.ClearFaults();
            TakeBoxes();
        }
    }
    sim.m_files.SetFreeBytes(100000);
    ExpectDecryptRefused(engine, kOutputBox);
}

TEST_F(EngineFiles, GetEngineVersionReadsTheHeaderOnly)
{
    const std::string corrupt = MakeEngine("x", 41, "").substr(0, 5) + "\xFF";  // checksum 'x' expected
    const std::string b41("B\x29\x00", 3), c41("C\x29\x00", 3);
    std::vector<std::pair<std::string, int>> cases = {{corrupt, 41}, {b41, 41},    {"", 0},
                                                      {"B", 0},      {"B\x29", 0}, {c41, 0}};
    for (auto [nStored, nGiven] : {std::pair {0, 0}, {25, 0}, {26, 26}, {0xFFFF, 65535}})
        cases.emplace_back(MakeEngine("x", static_cast<uint16_t>(nStored), nStored ? "" : "ab"), nGiven);
    for (const auto& [strFile, nVersion] : cases) {
        Put(kEngine, strFile);
        EXPECT_EQ(Call(GetEngineVersion, kEngine), nVersion) << strFile.size();
    }
    EXPECT_EQ(Call(GetEngineVersion, "C:\\qorvex\\missing.kix"), 0);
    EXPECT_EQ(Call(GetEngineVersion, nullptr), 0);
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
    EXPECT_EQ(Call(GetEngineVersion, kEngine), 0);
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
