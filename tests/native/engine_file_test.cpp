// Engine files on the simulated platform: the transform against the stepped reference, Decrypt,
// Encrypt and GetEngineVersion, and what every failure leaves on disk and in the accounting.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine_fixture.h"
#include "qxinst.h"

namespace qx::test {
namespace {

const char kEngine[] = "C:\\qorvex\\engine.kix";
const char kPlain[] = "C:\\qorvex\\engine.txt";
const std::string kInvalidBox = "Your engine has an invalid version number.|Invalid Engine Version|0";
const std::string kCorruptBox = "Engine Corrupt|File Error|4096";
const std::string kOutputBox = "Cannot open output.|File Error|0";

std::string RandomBytes(size_t cb, unsigned nSeed)
{
    std::mt19937 random(nSeed);
    std::string text(cb, '\0');
    for (char& c : text)
        c = static_cast<char>(random() & 0xFF);
    return text;
}

class EngineFiles : public EngineTest {
protected:
    std::string EncryptText(const std::string& strText, int nVersion)
    {
        sim.m_files.SetFile(kPlain, strText);
        EXPECT_EQ(Encrypt(kPlain, kEngine, nVersion), 1);
        EXPECT_TRUE(Settled());
        return File(kEngine);
    }
    // Decrypt fails with the one box given, leaving the old destination and no temporary file.
    void ExpectDecryptRefused(const std::string& strEngine, const std::string& strBox)
    {
        sim.m_files.SetFile(kEngine, strEngine);
        sim.m_files.SetFile(kPlain, "keep me");
        EXPECT_EQ(Decrypt(kEngine, kPlain), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{strBox});
        EXPECT_EQ(File(kPlain), "keep me");
        EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string>{"engine.kix", "engine.txt"}));
    }
};

TEST_F(EngineFiles, TransformFollowsTheKeyAndRunningOffset)
{
    // Zero bytes show K[i mod 10] + r(i); the 10th uses the key's zero byte, so only r is left.
    const unsigned kOffsets[] = {15, 16, 19, 24, 31, 40, 51, 64, 79, 96, 105, 116};
    std::string file = EncryptText(std::string(12, '\0'), 41);
    auto nFiller = static_cast<size_t>(static_cast<unsigned char>(file[3]));
    ASSERT_EQ(file.size(), 5 + nFiller + 12);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(static_cast<unsigned char>(file[4 + nFiller + i]),
                  static_cast<unsigned char>(kTestKey[i % 10] + kOffsets[i])) << i;
    EXPECT_EQ(file.back(), '\0');

    // Well past every repetition of key and offset, both ways.
    std::string text = RandomBytes(20000, 7);
    EXPECT_EQ(ParseEngine(EncryptText(text, 0x7FFF1234)).value_or(CParsedEngine()).nVersion, 0x1234);
    EXPECT_EQ(ParseEngine(File(kEngine)).value_or(CParsedEngine()).strText, text);
    sim.m_files.SetFile(kEngine, MakeEngine(text, 50, "xyz"));
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_EQ(File(kPlain), text);
}

TEST_F(EngineFiles, EveryByteRoundTripsForEveryFillerCount)
{
    for (int nFiller = 0; nFiller <= 100; ++nFiller) {
        std::string text = AllBytes(nFiller) + AllBytes(3 * nFiller);
        sim.m_files.SetFile(kEngine, MakeEngine(text, 41, RandomBytes(static_cast<size_t>(nFiller), nFiller)));
        ASSERT_EQ(Decrypt(kEngine, kPlain), 1) << nFiller;
        EXPECT_TRUE(Settled());
        ASSERT_EQ(File(kPlain), text) << nFiller;
    }
    // Encrypt draws N = 0..100 from the time: spread over the range from one second to the next.
    std::set<int> counts;
    for (int64_t nSeconds = 1700000000; nSeconds < 1700000200; ++nSeconds) {
        sim.m_clock.m_nSeconds = nSeconds;
        auto parsed = ParseEngine(EncryptText(AllBytes(), 41));
        ASSERT_TRUE(parsed.has_value());
        ASSERT_LE(parsed->nFiller, 100);
        ASSERT_EQ(parsed->strText, AllBytes());
        counts.insert(parsed->nFiller);
    }
    EXPECT_GT(counts.size(), 60u);
    // An empty text: header, filler and a zero checksum; it decodes to an empty file.
    std::string empty = EncryptText("", 30);
    EXPECT_EQ(empty.size(), 5u + static_cast<unsigned char>(empty[3]));
    EXPECT_EQ(empty.back(), '\0');
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_EQ(File(kPlain), "");
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EngineFiles, UnsoundEnginesAreRefusedAndLeaveTheDestination)
{
    std::string good = MakeEngine("$EngineVersion='4.1'\r\n$Server='PDC'\r\n", 41, "filler");
    for (std::string foreign : {std::string(), std::string("A"), std::string("C") + good.substr(1)})
        ExpectDecryptRefused(foreign, kInvalidBox);
    for (size_t cb = 1; cb < good.size(); ++cb)
        ExpectDecryptRefused(good.substr(0, cb), kCorruptBox);
    for (size_t i = 4 + 6; i < good.size(); ++i) {  // every payload byte and the checksum
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] + 128);
        ExpectDecryptRefused(bad, kCorruptBox);
    }
    for (size_t i : {1, 2, 4, 9}) {  // version and filler are not checked
        std::string changed = good;
        changed[i] = static_cast<char>(changed[i] ^ 0x5A);
        sim.m_files.SetFile(kEngine, changed);
        EXPECT_EQ(Decrypt(kEngine, kPlain), 1) << i;
    }
}

TEST_F(EngineFiles, PathsThatCannotBeUsedFailClearly)
{
    sim.m_files.SetFile(kEngine, MakeEngine("text", 41, ""));
    sim.m_files.SetFile(kPlain, "text");
    sim.m_files.AddFolder("C:\\qorvex\\out");
    sim.m_files.SetFile("C:\\qorvex\\locked", "locked");
    sim.m_files.SetAttributes("C:\\qorvex\\locked", FILE_ATTRIBUTE_READONLY);
    for (const char* pszSource : {"C:\\qorvex\\missing", "C:\\nowhere\\e.kix", "C:\\qorvex\\out"}) {
        EXPECT_EQ(Decrypt(pszSource, "C:\\qorvex\\new"), 0);
        EXPECT_EQ(Encrypt(pszSource, "C:\\qorvex\\new", 41), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{"Cannot Find Engine : " + std::string(pszSource) + "|Error|4096",
                                                         "Cannot Find Engine : " + std::string(pszSource) + "|Error|0"}));
    }
    for (const char* pszDest : {"C:\\qorvex\\out", "C:\\missing\\out.txt", "C:\\qorvex\\locked"}) {
        EXPECT_EQ(Decrypt(kEngine, pszDest), 0);
        EXPECT_EQ(Encrypt(kPlain, pszDest, 41), 0);  // without a box
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{kOutputBox});
    }
    EXPECT_EQ(File("C:\\qorvex\\locked"), "locked");
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string>{"engine.kix", "engine.txt", "locked", "out"}));
    // Source and destination may be one file.
    EXPECT_EQ(Encrypt(kPlain, kPlain, 41), 1);
    EXPECT_EQ(Decrypt(kPlain, kPlain), 1);
    EXPECT_EQ(File(kPlain), "text");
}

// Every failing platform call, at every point it is made (a full disk among them), ends in a clean
// failure that leaves the destination as it was, or in the complete result.
TEST_F(EngineFiles, EveryInjectedFailureLeavesTheDestinationWholeOrUntouched)
{
    std::string text = RandomBytes(150000, 5);
    std::string engine = MakeEngine(text, 41, "ff");
    const std::pair<const char*, DWORD> faults[] = {
        {"CreateFileA", ERROR_ACCESS_DENIED}, {"ReadFile", ERROR_READ_FAULT},     {"WriteFile", ERROR_DISK_FULL},
        {"GetFileSizeEx", ERROR_INVALID_HANDLE}, {"CloseHandle", ERROR_WRITE_FAULT}, {"GetTempFileNameA", 5},
        {"ReplaceFileA", ERROR_UNABLE_TO_REMOVE_REPLACED}, {"GetFileAttributesA", ERROR_ACCESS_DENIED}};
    for (auto [pszCall, dwError] : faults) {
        for (int nNth = 1; nNth <= 4; ++nNth) {
            sim.m_files.SetFile(kEngine, engine);
            sim.m_files.SetFile(kPlain, "old plain");
            sim.m_kernel.FailCall(pszCall, dwError, nNth);
            QXBOOL bDecrypted = Decrypt(kEngine, kPlain);
            EXPECT_TRUE(Settled()) << pszCall << nNth;
            EXPECT_EQ(TakeBoxes().size(), bDecrypted ? 0u : 1u);
            EXPECT_EQ(File(kPlain), bDecrypted ? text : "old plain") << pszCall << nNth;

            sim.m_files.SetFile(kPlain, text);
            sim.m_files.SetFile(kEngine, "old engine");
            sim.m_kernel.ClearFaults();
            sim.m_kernel.FailCall(pszCall, dwError, nNth);
            QXBOOL bEncrypted = Encrypt(kPlain, kEngine, 41);
            EXPECT_TRUE(Settled()) << pszCall << nNth;
            TakeBoxes();
            EXPECT_EQ(bEncrypted ? ParseEngine(File(kEngine)).value_or(CParsedEngine()).strText : File(kEngine),
                      bEncrypted ? text : "old engine") << pszCall << nNth;
            EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string>{"engine.kix", "engine.txt"}));
            sim.m_kernel.ClearFaults();
        }
    }
    sim.m_files.SetFreeBytes(100000);
    ExpectDecryptRefused(engine, kOutputBox);
}

TEST_F(EngineFiles, EnginesBeyondTheTextBufferStreamWithoutLimit)
{
    std::string text = RandomBytes(3000000, 11);
    EXPECT_EQ(ParseEngine(EncryptText(text, 41)).value_or(CParsedEngine()).strText, text);
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_EQ(File(kPlain), text);
}

TEST_F(EngineFiles, GetEngineVersionReadsTheHeaderOnly)
{
    std::string corrupt = MakeEngine("x", 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    const std::pair<std::string, int> cases[] = {
        {MakeEngine("x", 0, "ab"), 0},  {MakeEngine("x", 25, ""), 0}, {MakeEngine("x", 26, ""), 26},
        {MakeEngine("x", 0xFFFF, ""), 65535}, {corrupt, 41}, {std::string("B\x29\x00", 3), 41},
        {"", 0}, {"B", 0}, {"B\x29", 0}, {std::string("C\x29\x00", 3), 0}};
    for (const auto& [strFile, nVersion] : cases) {
        sim.m_files.SetFile(kEngine, strFile);
        EXPECT_EQ(GetEngineVersion(kEngine), nVersion) << strFile.size();
        EXPECT_TRUE(Settled());
    }
    EXPECT_EQ(GetEngineVersion("C:\\qorvex\\missing.kix"), 0);
    EXPECT_EQ(GetEngineVersion(nullptr), 0);
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
    EXPECT_EQ(GetEngineVersion(kEngine), 0);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
