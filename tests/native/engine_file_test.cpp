// Engine files: the scrambler, the header, Decrypt, Encrypt and GetEngineVersion, on the simulated
// platform, with every failure path checked for what it leaves on disk and in the accounting.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine_fixture.h"
#include "qxinst.h"

namespace qx::test {
namespace {

const char kEngine[] = "C:\\qorvex\\engine.kix";
const char kPlain[] = "C:\\qorvex\\engine.txt";

std::string InvalidVersionBox()
{
    return "Your engine has an invalid version number.|Invalid Engine Version|0";
}
std::string CorruptBox()
{
    return "Engine Corrupt|File Error|4096";
}
std::string CannotOpenOutputBox()
{
    return "Cannot open output.|File Error|0";
}
std::string CannotFindBox(const std::string& strPath, bool bSystemModal)
{
    return "Cannot Find Engine : " + strPath + "|Error|" + (bSystemModal ? "4096" : "0");
}

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
    // Encrypts a text through the export and returns the engine written.
    std::string EncryptText(const std::string& strText, int nVersion)
    {
        sim.m_files.SetFile(kPlain, strText);
        EXPECT_EQ(Encrypt(kPlain, kEngine, nVersion), 1);
        EXPECT_TRUE(Settled());
        return File(kEngine);
    }
    // The folder holds exactly these names (no temporary file left behind).
    void ExpectFolder(const std::vector<std::string>& names) { EXPECT_EQ(sim.m_files.List("C:\\qorvex"), names); }
};

// ---- the transform ----

TEST_F(EngineFiles, ZeroTextShowsKeyAndRunningOffsetSequence)
{
    // With plain bytes of 0 each scrambled byte is K[i mod 10] + r(i); the 10th uses the key's zero
    // byte, so only the running offset is left.
    const unsigned kOffsets[] = {15, 16, 19, 24, 31, 40, 51, 64, 79, 96, 105, 116};
    std::string file = EncryptText(std::string(12, '\0'), 41);
    auto nFiller = static_cast<size_t>(static_cast<unsigned char>(file[3]));
    ASSERT_EQ(file.size(), 5 + nFiller + 12);
    for (size_t i = 0; i < 12; ++i) {
        auto expected = static_cast<unsigned char>(kTestKey[i % 10] + kOffsets[i]);
        EXPECT_EQ(static_cast<unsigned char>(file[4 + nFiller + i]), expected) << "byte " << i;
    }
    EXPECT_EQ(static_cast<unsigned char>(file[4 + nFiller + 9]), 96);
    EXPECT_EQ(file.back(), '\0');  // the sum of twelve zeros
}

TEST_F(EngineFiles, LongTextsFollowTheSteppedTransformBothWays)
{
    // Well past every repetition of the key and offset (2560 bytes), in both directions.
    std::string text = RandomBytes(20000, 7);
    std::string file = EncryptText(text, 0x1234);
    auto parsed = ParseEngine(file);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->strText, text);
    EXPECT_EQ(parsed->nVersion, 0x1234);

    sim.m_files.SetFile(kEngine, MakeEngine(text, 50, "xyz"));
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kPlain), text);
}

TEST_F(EngineFiles, EveryByteValueRoundTripsForEveryFillerCount)
{
    for (int nFiller = 0; nFiller <= 100; ++nFiller) {
        std::string text = AllBytes(nFiller) + AllBytes(3 * nFiller);
        sim.m_files.SetFile(kEngine, MakeEngine(text, 41, RandomBytes(static_cast<size_t>(nFiller), nFiller)));
        ASSERT_EQ(Decrypt(kEngine, kPlain), 1) << nFiller;
        EXPECT_TRUE(Settled());
        ASSERT_EQ(File(kPlain), text) << nFiller;
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EngineFiles, EncryptDrawsFillerOfAtMostOneHundredFromTheTime)
{
    std::string text = AllBytes();
    std::set<int> fillerCounts;
    std::set<std::string> fillers;
    for (int64_t nSeconds = 1700000000; nSeconds < 1700000300; ++nSeconds) {
        sim.m_clock.m_nSeconds = nSeconds;
        std::string file = EncryptText(text, 41);
        auto parsed = ParseEngine(file);
        ASSERT_TRUE(parsed.has_value());
        ASSERT_LE(parsed->nFiller, 100);
        EXPECT_EQ(parsed->strText, text);
        fillerCounts.insert(parsed->nFiller);
        fillers.insert(file.substr(4, static_cast<size_t>(parsed->nFiller)));
        ASSERT_EQ(Decrypt(kEngine, kPlain), 1);
        EXPECT_TRUE(Settled());
        ASSERT_EQ(File(kPlain), text);
    }
    // Different seconds give different filler, counts spread over the whole range.
    EXPECT_GT(fillerCounts.size(), 60u);
    EXPECT_GT(fillers.size(), 250u);
    EXPECT_EQ(*fillerCounts.begin() <= 10, true);
    EXPECT_EQ(*fillerCounts.rbegin() >= 90, true);
}

TEST_F(EngineFiles, EmptyTextIsAHeaderFillerAndZeroChecksum)
{
    std::string file = EncryptText("", 30);
    auto nFiller = static_cast<size_t>(static_cast<unsigned char>(file[3]));
    EXPECT_EQ(file.size(), 5 + nFiller);
    EXPECT_EQ(file.back(), '\0');
    sim.m_files.SetFile(kPlain, "old text");
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kPlain), "");
}

TEST_F(EngineFiles, VersionIsStoredLowByteFirstFromTheLow16Bits)
{
    std::string file = EncryptText("x", 0x7FFF1234);
    EXPECT_EQ(static_cast<unsigned char>(file[1]), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(file[2]), 0x12);
    EXPECT_EQ(GetEngineVersion(kEngine), 0x1234);
    EXPECT_TRUE(Settled());
}

// ---- unsound engines ----

TEST_F(EngineFiles, ForeignOrEmptyFileIsAnInvalidVersionAndLeavesTheDestination)
{
    for (std::string file : {std::string(), std::string("A"), std::string("MZ\x90\x00", 4), MakeEngine("x", 41, "")}) {
        if (!file.empty() && file[0] == 66)
            file[0] = 67;
        sim.m_files.SetFile(kEngine, file);
        sim.m_files.SetFile(kPlain, "keep me");
        EXPECT_EQ(Decrypt(kEngine, kPlain), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{InvalidVersionBox()});
        EXPECT_EQ(File(kPlain), "keep me");
        ExpectFolder({"engine.kix", "engine.txt"});
    }
}

TEST_F(EngineFiles, AnyChangedPayloadOrChecksumByteIsCorrupt)
{
    std::string text = "$EngineVersion='4.1'\r\n$Server='PDC'\r\n";
    std::string good = MakeEngine(text, 41, "filler");
    for (size_t i = 4 + 6; i < good.size(); ++i) {
        for (int nDelta : {1, 128, 255}) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] + nDelta);
            sim.m_files.SetFile(kEngine, bad);
            sim.m_files.SetFile(kPlain, "keep me");
            EXPECT_EQ(Decrypt(kEngine, kPlain), 0) << i;
            EXPECT_TRUE(Settled());
            EXPECT_EQ(TakeBoxes(), std::vector<std::string>{CorruptBox()}) << i;
            EXPECT_EQ(File(kPlain), "keep me");
        }
    }
    ExpectFolder({"engine.kix", "engine.txt"});
}

TEST_F(EngineFiles, ChangedFillerOrVersionIsStillSound)
{
    std::string text = "$x='1'\r\n";
    std::string good = MakeEngine(text, 41, "abcdef");
    for (size_t i : {1, 2, 4, 5, 9}) {
        std::string changed = good;
        changed[i] = static_cast<char>(changed[i] ^ 0x5A);
        sim.m_files.SetFile(kEngine, changed);
        EXPECT_EQ(Decrypt(kEngine, kPlain), 1) << i;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(File(kPlain), text);
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EngineFiles, TruncatedEnginesAreNeverSound)
{
    std::string good = MakeEngine("$a='1'\r\n", 41, std::string(20, 'f'));
    for (size_t cb = 0; cb < good.size(); ++cb) {
        sim.m_files.SetFile(kEngine, good.substr(0, cb));
        EXPECT_EQ(Decrypt(kEngine, kPlain), 0) << cb;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{cb == 0 ? InvalidVersionBox() : CorruptBox()}) << cb;
        EXPECT_FALSE(sim.m_files.Exists(kPlain));
    }
}

// ---- paths ----

TEST_F(EngineFiles, DecryptOfAMissingOrFolderSourceShowsCannotFindEngine)
{
    sim.m_files.AddFolder("C:\\qorvex\\folder.kix");
    for (const char* pszSource : {"C:\\qorvex\\missing.kix", "C:\\nowhere\\engine.kix", "C:\\qorvex\\folder.kix"}) {
        EXPECT_EQ(Decrypt(pszSource, kPlain), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{CannotFindBox(pszSource, true)});
        EXPECT_FALSE(sim.m_files.Exists(kPlain));
    }
}

TEST_F(EngineFiles, DecryptToAnUnwritableDestinationShowsCannotOpenOutput)
{
    sim.m_files.SetFile(kEngine, MakeEngine("text", 41, ""));
    sim.m_files.AddFolder("C:\\qorvex\\out");
    sim.m_files.SetFile("C:\\qorvex\\locked.txt", "locked");
    sim.m_files.SetAttributes("C:\\qorvex\\locked.txt", FILE_ATTRIBUTE_READONLY);
    for (const char* pszDest : {"C:\\qorvex\\out", "C:\\missing\\out.txt", "C:\\qorvex\\locked.txt"}) {
        EXPECT_EQ(Decrypt(kEngine, pszDest), 0) << pszDest;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{CannotOpenOutputBox()});
    }
    EXPECT_EQ(File("C:\\qorvex\\locked.txt"), "locked");
    ExpectFolder({"engine.kix", "locked.txt", "out"});
}

TEST_F(EngineFiles, DecryptAndEncryptWorkInPlace)
{
    std::string text = AllBytes() + "\r\n$x='1'\r\n";
    sim.m_files.SetFile(kEngine, text);
    EXPECT_EQ(Encrypt(kEngine, kEngine, 41), 1);
    EXPECT_TRUE(Settled());
    auto parsed = ParseEngine(File(kEngine));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->strText, text);
    EXPECT_EQ(Decrypt(kEngine, kEngine), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kEngine), text);
    ExpectFolder({"engine.kix"});
}

TEST_F(EngineFiles, EncryptOfAMissingSourceReturnsZeroAndLeavesTheDestination)
{
    sim.m_files.SetFile(kEngine, "existing engine");
    EXPECT_EQ(Encrypt("C:\\qorvex\\missing.txt", kEngine, 41), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{CannotFindBox("C:\\qorvex\\missing.txt", false)});
    EXPECT_EQ(File(kEngine), "existing engine");
}

TEST_F(EngineFiles, EncryptToAnUnwritableDestinationReturnsZeroWithoutABox)
{
    sim.m_files.SetFile(kPlain, "text");
    sim.m_files.AddFolder("C:\\qorvex\\out");
    sim.m_files.SetFile("C:\\qorvex\\locked.kix", "locked");
    sim.m_files.SetAttributes("C:\\qorvex\\locked.kix", FILE_ATTRIBUTE_READONLY);
    for (const char* pszDest : {"C:\\qorvex\\out", "C:\\missing\\e.kix", "C:\\qorvex\\locked.kix"}) {
        EXPECT_EQ(Encrypt(kPlain, pszDest, 41), 0) << pszDest;
        EXPECT_TRUE(Settled());
    }
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(File("C:\\qorvex\\locked.kix"), "locked");
    ExpectFolder({"engine.txt", "locked.kix", "out"});
}

TEST_F(EngineFiles, AFullDiskFailsAndLeavesTheOldFile)
{
    std::string text = RandomBytes(300000, 3);
    sim.m_files.SetFile(kEngine, MakeEngine(text, 41, ""));
    sim.m_files.SetFile(kPlain, "old plain");
    sim.m_files.SetFreeBytes(100000);
    EXPECT_EQ(Decrypt(kEngine, kPlain), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{CannotOpenOutputBox()});
    EXPECT_EQ(File(kPlain), "old plain");

    sim.m_files.SetFile(kPlain, text);
    std::string oldEngine = File(kEngine);
    EXPECT_EQ(Encrypt(kPlain, kEngine, 41), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kEngine), oldEngine);
    ExpectFolder({"engine.kix", "engine.txt"});
}

TEST_F(EngineFiles, EnginesBeyondTheTextBufferStreamWithoutLimit)
{
    std::string text = RandomBytes(3000000, 11);
    std::string file = EncryptText(text, 41);
    EXPECT_EQ(ParseEngine(file).value_or(CParsedEngine()).strText, text);
    sim.m_files.SetFile(kPlain, "");
    EXPECT_EQ(Decrypt(kEngine, kPlain), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kPlain), text);
}

// Every failing platform call, at every point it is made, ends in a clean failure that leaves the
// destination as it was, or in a complete result.
TEST_F(EngineFiles, EveryInjectedFailureLeavesTheDestinationWholeOrUntouched)
{
    std::string text = RandomBytes(150000, 5);
    std::string engine = MakeEngine(text, 41, "ff");
    const char* calls[] = {"CreateFileA", "ReadFile", "WriteFile", "GetFileSizeEx", "CloseHandle",
                           "GetTempFileNameA", "ReplaceFileA", "GetFileAttributesA"};
    for (const char* pszCall : calls) {
        for (int nNth = 1; nNth <= 4; ++nNth) {
            sim.m_files.SetFile(kEngine, engine);
            sim.m_files.SetFile(kPlain, "old plain");
            sim.m_kernel.ClearFaults();
            sim.m_kernel.FailCall(pszCall, ERROR_WRITE_FAULT, nNth);
            QXBOOL bDecrypted = Decrypt(kEngine, kPlain);
            EXPECT_TRUE(Settled()) << pszCall << " " << nNth;
            std::vector<std::string> boxes = TakeBoxes();
            if (bDecrypted) {
                EXPECT_EQ(File(kPlain), text) << pszCall << " " << nNth;
                EXPECT_TRUE(boxes.empty());
            } else {
                EXPECT_EQ(File(kPlain), "old plain") << pszCall << " " << nNth;
                EXPECT_EQ(boxes.size(), 1u);
            }
            ExpectFolder({"engine.kix", "engine.txt"});

            sim.m_files.SetFile(kPlain, text);
            sim.m_files.SetFile(kEngine, "old engine");
            sim.m_kernel.ClearFaults();
            sim.m_kernel.FailCall(pszCall, ERROR_WRITE_FAULT, nNth);
            QXBOOL bEncrypted = Encrypt(kPlain, kEngine, 41);
            EXPECT_TRUE(Settled()) << pszCall << " " << nNth;
            TakeBoxes();
            if (bEncrypted)
                EXPECT_EQ(ParseEngine(File(kEngine)).value_or(CParsedEngine()).strText, text);
            else
                EXPECT_EQ(File(kEngine), "old engine") << pszCall << " " << nNth;
            ExpectFolder({"engine.kix", "engine.txt"});
        }
    }
    sim.m_kernel.ClearFaults();
}

// ---- GetEngineVersion ----

TEST_F(EngineFiles, GetEngineVersionAcceptsTwentySixAndAbove)
{
    const struct {
        uint16_t nField;
        int nResult;
    } cases[] = {{0, 0}, {1, 0}, {25, 0}, {26, 26}, {41, 41}, {0x0100, 256}, {0xFFFF, 65535}};
    for (const auto& c : cases) {
        sim.m_files.SetFile(kEngine, MakeEngine("x", c.nField, "ab"));
        EXPECT_EQ(GetEngineVersion(kEngine), c.nResult) << c.nField;
        EXPECT_TRUE(Settled());
    }
    // Only the header is read: a corrupt payload does not matter.
    std::string corrupt = MakeEngine("x", 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    sim.m_files.SetFile(kEngine, corrupt);
    EXPECT_EQ(GetEngineVersion(kEngine), 41);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(EngineFiles, GetEngineVersionOfUnreadableHeadersIsZero)
{
    for (std::string file : {std::string(), std::string("B"), std::string("B\x29"), std::string("C\x29\x00", 3)}) {
        sim.m_files.SetFile(kEngine, file);
        EXPECT_EQ(GetEngineVersion(kEngine), 0) << file.size();
        EXPECT_TRUE(Settled());
    }
    sim.m_files.SetFile(kEngine, std::string("B\x29\x00", 3));  // a header alone is enough
    EXPECT_EQ(GetEngineVersion(kEngine), 41);
    EXPECT_EQ(GetEngineVersion("C:\\qorvex\\missing.kix"), 0);
    EXPECT_EQ(GetEngineVersion(nullptr), 0);
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
    EXPECT_EQ(GetEngineVersion(kEngine), 0);
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
