// Buffered streams and safely rewritten files over the simulated file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine_fixture.h"
#include "platform/file_stream.h"
#include "rewrite_fixture.h"
#include "shares/share_path.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::kNoFile;

using test::SimTest;

std::string ReadAll(const char* pszPath, CFileStream::Mode mode)
{
    CFileStream stream;
    EXPECT_EQ(stream.OpenRead(pszPath, mode), 0u);
    std::string text;
    for (int c = stream.GetByte(); c != -1; c = stream.GetByte())
        text += static_cast<char>(c);
    return text;
}

TEST_F(SimTest, TextModeReadsCrLfAsLfAndKeepsEveryOtherByte)
{
    std::string raw = "a\r\nb\rc\n\x1A\xFF\r";
    sim.m_files.SetFile("C:\\t.txt", raw);
    EXPECT_EQ(ReadAll("C:\\t.txt", CFileStream::Mode::kText), std::string("a\nb\rc\n\x1A\xFF\r"));
    EXPECT_EQ(ReadAll("C:\\t.txt", CFileStream::Mode::kBinary), raw);
}

TEST_F(SimTest, TextModeCrLfSplitAcrossTheBufferEdgeIsOneLf)
{
    std::string raw(64 * 1024 - 1, 'x');
    raw += "\r\nend";
    sim.m_files.SetFile("C:\\big.txt", raw);
    std::string text = ReadAll("C:\\big.txt", CFileStream::Mode::kText);
    EXPECT_EQ(text.size(), raw.size() - 1);
    EXPECT_EQ(text.substr(text.size() - 4), "\nend");
}

TEST_F(SimTest, TellCountsRawBytes)
{
    sim.m_files.SetFile("C:\\t.txt", "a\r\nb");
    CFileStream stream;
    ASSERT_EQ(stream.OpenRead("C:\\t.txt", CFileStream::Mode::kText), 0u);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(stream.GetByte(), 'a');
    EXPECT_EQ(stream.GetByte(), '\n');
    EXPECT_EQ(stream.Tell(), 3);
    EXPECT_EQ(stream.GetByte(), 'b');
    EXPECT_EQ(stream.Tell(), 4);
    EXPECT_EQ(stream.GetByte(), -1);
}

TEST_F(SimTest, SizesBeyond4GiBAreMeasuredWholeAndAFailedMeasureFailsTheOpen)
{
    const struct {
        long long nSize;
        const char* pszFault;  // GetFileSize fails with ERROR_INVALID_FUNCTION
    } cases[] = {{4, nullptr},
                 {0xFFFFFFFELL, nullptr},
                 {0xFFFFFFFFLL, nullptr},
                 {0x100000000LL, nullptr},
                 {0x123456789LL, nullptr},
                 {0xFFFFFFFFLL, "GetFileSize"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.nSize) + (c.pszFault ? " failing" : ""));
        sim.m_files.SetSparseFile("C:\\big.bin", "head", c.nSize);
        sim.m_kernel.ClearFaults();
        if (c.pszFault != nullptr)
            sim.m_kernel.FailCall(c.pszFault, ERROR_INVALID_FUNCTION);
        sim.m_kernel.m_dwLastError = ERROR_ACCESS_DENIED;  // left by an earlier call
        CFileStream stream;
        EXPECT_EQ(stream.OpenRead("C:\\big.bin", CFileStream::Mode::kBinary),
                  c.pszFault ? static_cast<DWORD>(ERROR_INVALID_FUNCTION) : 0u);
        EXPECT_EQ(stream.IsOpen(), c.pszFault == nullptr);
        EXPECT_EQ(stream.Size(), c.pszFault ? 0 : std::max(c.nSize, 4LL));
    }
}

TEST_F(SimTest, TextModeWritesLfAsCrLf)
{
    CFileStream stream;
    ASSERT_EQ(stream.OpenWrite("C:\\o.txt", CFileStream::Mode::kText), 0u);
    EXPECT_TRUE(stream.PutText("a\nb\r\n"));
    EXPECT_EQ(stream.Close(), 0u);
    EXPECT_EQ(*sim.m_files.GetFile("C:\\o.txt"), "a\r\nb\r\r\n");
}

TEST_F(SimTest, AClosedStreamReadsAsEmptyAndWritesNothing)
{
    sim.m_files.SetFile("C:\\t.txt", "abc");
    for (CFileStream::Mode mode : {CFileStream::Mode::kBinary, CFileStream::Mode::kText}) {
        CFileStream reader;
        ASSERT_EQ(reader.OpenRead("C:\\t.txt", mode), 0u);
        EXPECT_EQ(reader.GetByte(), 'a');
        EXPECT_EQ(reader.Close(), 0u);
        char data[4] = {};
        EXPECT_EQ(reader.GetByte(), -1);
        EXPECT_EQ(reader.Read(data, sizeof data), 0u);
        EXPECT_EQ(reader.Size(), 0);
        CFileStream writer;
        ASSERT_EQ(writer.OpenWrite("C:\\o.txt", mode), 0u);
        EXPECT_TRUE(writer.PutText("new"));
        EXPECT_EQ(writer.Close(), 0u);
        EXPECT_FALSE(writer.PutByte('x'));
        EXPECT_FALSE(writer.PutText("more"));
        EXPECT_NE(writer.Close(), 0u);
        EXPECT_EQ(*sim.m_files.GetFile("C:\\o.txt"), "new");
    }
}

TEST_F(SimTest, AWriteErrorIsReportedByClose)
{
    sim.m_kernel.FailCall("WriteFile", ERROR_DISK_FULL);
    CFileStream stream;
    ASSERT_EQ(stream.OpenWrite("C:\\o.txt", CFileStream::Mode::kBinary), 0u);
    stream.PutText("data");
    EXPECT_EQ(stream.Close(), static_cast<DWORD>(ERROR_DISK_FULL));
}

// A WriteFile that succeeds with fewer bytes than asked fails the stream, on the buffered path (what
// Close() flushes) and on the direct path (a block of a buffer or more): the target stays as it was.
TEST_F(SimTest, AShortWriteFailsTheFileOnEitherPath)
{
    const size_t kBuffer = 64 * 1024;
    const struct {
        const char* pszWhat;
        std::vector<size_t> blocks;  // written one after the other; 0: kBuffer + 10 bytes one by one
        int nNth;  // the WriteFile that is short
    } cases[] = {
        {"buffered, flushed by the close", {100}, 1},
        {"buffered, a full buffer", {0}, 1},
        {"direct", {3 * kBuffer}, 1},
        {"direct, after a flush", {10, 3 * kBuffer}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        sim.m_files.SetFile("C:\\cfg\\a.ini", "old");
        sim.m_files.WriteShort(c.nNth, 7);
        {
            CAtomicFile file("C:\\cfg\\a.ini");
            ASSERT_EQ(file.Create(CFileStream::Mode::kBinary), 0u);
            for (size_t cb : c.blocks) {
                for (size_t i = 0; cb == 0 && i < kBuffer + 10; ++i)
                    file.Stream().PutByte('n');
                file.Stream().Write(std::string(cb, 'n').data(), cb);
            }
            EXPECT_EQ(file.Commit(), static_cast<DWORD>(ERROR_DISK_FULL));
        }
        EXPECT_EQ(*sim.m_files.GetFile("C:\\cfg\\a.ini"), "old");
        EXPECT_EQ(sim.m_files.List("C:\\cfg"), std::vector<std::string> {"a.ini"});
    }
}

TEST_F(SimTest, AtomicFileReplacesTheTargetOnlyWhenComplete)
{
    sim.m_files.SetFile("C:\\cfg\\a.ini", "old");
    {
        CAtomicFile file("C:\\cfg\\a.ini");
        ASSERT_EQ(file.Create(CFileStream::Mode::kText), 0u);
        file.Stream().PutText("new\n");
        EXPECT_EQ(*sim.m_files.GetFile("C:\\cfg\\a.ini"), "old");
        EXPECT_EQ(file.Commit(), 0u);
    }
    EXPECT_EQ(*sim.m_files.GetFile("C:\\cfg\\a.ini"), "new\r\n");
    EXPECT_EQ(sim.m_files.List("C:\\cfg"), std::vector<std::string> {"a.ini"});
}

TEST_F(SimTest, AtomicFileLeavesTheTargetAndNoTemporaryOnFailure)
{
    sim.m_files.SetFile("C:\\cfg\\a.ini", "old");
    sim.m_files.SetFreeBytes(2);
    {
        CAtomicFile file("C:\\cfg\\a.ini");
        ASSERT_EQ(file.Create(CFileStream::Mode::kBinary), 0u);
        file.Stream().PutText("longer than the disk");
        EXPECT_EQ(file.Commit(), static_cast<DWORD>(ERROR_DISK_FULL));
    }
    EXPECT_EQ(*sim.m_files.GetFile("C:\\cfg\\a.ini"), "old");
    EXPECT_EQ(sim.m_files.List("C:\\cfg"), std::vector<std::string> {"a.ini"});
}

// Each partial outcome of ReplaceFileA leaves the old file or the new one under the target's name
// and Commit() tells which; only when no name can be given back are both files kept.
TEST_F(SimTest, AtomicFileSurvivesEachPartialOutcomeOfReplaceFileA)
{
    const struct {
        DWORD dwError;
        int nMoveFails;  // MoveFileExA fails this many times after it (-1: always)
        DWORD dwCommit;
        std::vector<std::string> files;  // what the folder holds, in name order
    } cases[] = {
        {ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED, {"old"}},
        {ERROR_UNABLE_TO_REMOVE_REPLACED, 0, ERROR_UNABLE_TO_REMOVE_REPLACED, {"old"}},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT, 0, ERROR_UNABLE_TO_MOVE_REPLACEMENT, {"old"}},
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 0, 0, {"new"}},  // the new file is moved into place
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, {"old"}},  // or the old one back
        {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, -1, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, {"old", "new"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dwError) + ", moves failing: " + std::to_string(c.nMoveFails));
        sim::CSimPlatform local;
        local.m_files.SetFile("C:\\cfg\\a.ini", "old");
        local.m_files.SetAttributes("C:\\cfg\\a.ini", FILE_ATTRIBUTE_HIDDEN);
        {
            CAtomicFile file("C:\\cfg\\a.ini");
            ASSERT_EQ(file.Create(CFileStream::Mode::kBinary), 0u);
            file.Stream().PutText("new");
            local.m_kernel.FailCall("ReplaceFileA", c.dwError);
            for (int i = 1; i <= std::max(c.nMoveFails, 0); ++i)
                local.m_kernel.FailCall("MoveFileExA", ERROR_SHARING_VIOLATION, i);
            if (c.nMoveFails < 0)
                local.m_kernel.FailCall("MoveFileExA", ERROR_SHARING_VIOLATION, 0);
            EXPECT_EQ(file.Commit(), c.dwCommit);
        }
        std::vector<std::string> files;
        for (const std::string& strName : local.m_files.List("C:\\cfg"))
            files.push_back(*local.m_files.GetFile("C:\\cfg\\" + strName));
        std::sort(files.begin(), files.end(), std::greater<>());
        EXPECT_EQ(files, c.files);
        if (c.files.size() == 1) {
            EXPECT_EQ(local.m_files.GetFileAttributesA("C:\\cfg\\a.ini"), DWORD(FILE_ATTRIBUTE_HIDDEN));
        }
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
}

TEST_F(SimTest, AtomicFileAbandonedWithoutCommitChangesNothing)
{
    {
        CAtomicFile file("C:\\new.txt");
        ASSERT_EQ(file.Create(CFileStream::Mode::kBinary), 0u);
        file.Stream().PutText("partial");
    }
    EXPECT_FALSE(sim.m_files.Exists("C:\\new.txt"));
    EXPECT_TRUE(sim.m_files.List("C:\\").empty());
}

TEST_F(SimTest, AtomicFileKeepsAReadOnlyTargetAndFails)
{
    sim.m_files.SetFile("C:\\ro.txt", "old");
    sim.m_files.SetAttributes("C:\\ro.txt", FILE_ATTRIBUTE_READONLY);
    CAtomicFile file("C:\\ro.txt");
    ASSERT_EQ(file.Create(CFileStream::Mode::kBinary), 0u);
    file.Stream().PutText("new");
    EXPECT_NE(file.Commit(), 0u);
    EXPECT_EQ(*sim.m_files.GetFile("C:\\ro.txt"), "old");
}

// The temporary file's folder may be MAX_PATH - 14 characters long, as GetTempFileNameA allows.
TEST_F(SimTest, AtomicFileTakesAFolderUpToTheTemporaryFileLimit)
{
    for (size_t cchFolder : {MAX_PATH - 15, MAX_PATH - 14, MAX_PATH - 13}) {  // with its final backslash
        SCOPED_TRACE(cchFolder);
        std::string strFolder = "C:\\" + std::string(cchFolder - 4, 'd') + "\\";
        sim.m_files.AddFolder(strFolder);
        sim.m_files.SetFile(strFolder + "a.ini", "old");
        CAtomicFile file(strFolder + "a.ini");
        DWORD dwError = file.Create(CFileStream::Mode::kBinary);
        bool bFits = cchFolder <= MAX_PATH - 14;
        EXPECT_EQ(dwError, bFits ? 0u : static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        file.Stream().PutText("new");
        EXPECT_EQ(file.Commit() == 0, bFits);
        EXPECT_EQ(*sim.m_files.GetFile(strFolder + "a.ini"), bFits ? "new" : "old");
        EXPECT_EQ(sim.m_files.List(strFolder).size(), 1u);
    }
}

TEST_F(SimTest, AtomicFileRefusesAFolderOrAMissingFolder)
{
    sim.m_files.AddFolder("C:\\dir");
    CAtomicFile folder("C:\\dir");
    EXPECT_EQ(folder.Create(CFileStream::Mode::kBinary), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CAtomicFile missing("C:\\nowhere\\x.txt");
    EXPECT_NE(missing.Create(CFileStream::Mode::kBinary), 0u);
}

// The six exports that rewrite a file give the same files, attributes and results whether
// ReplaceFileA exists (Windows 2000 and later) or not (NT 4.0: a rename over the target).
TEST(AtomicFileFallback, EveryRewritingExportIsTheSameWithAndWithoutReplaceFileA)
{
    using test::kEngine, test::kPlain, test::kIni, test::kBat;
    const char kNew[] = "C:\\Qorvex\\new.txt";
    const std::string strEngine = test::MakeEngine("$EngineVersion='4.1'\r\n$Server='PDC'\r\n", 41, "ff");
    const struct {
        const char* pszWhat;
        const char* pszTarget;
        std::string strOld;  // kNoFile: none
        DWORD dwAttrs;  // the old file's
        std::function<int()> call;
        int nResult;  // -1: none, and the file is rewritten
    } rows[] = {
        {"Decrypt", kPlain, "old", FILE_ATTRIBUTE_HIDDEN, [&] { return int(Decrypt(kEngine, kPlain)); }, 1},
        {"Decrypt, read-only", kPlain, "old", FILE_ATTRIBUTE_READONLY, [&] { return int(Decrypt(kEngine, kPlain)); },
         0},
        {"Decrypt, new", kNew, kNoFile, 0, [&] { return int(Decrypt(kEngine, kNew)); }, 1},
        {"Encrypt", kEngine, strEngine, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN,
         [&] { return int(Encrypt(kPlain, kEngine, 41)); }, 1},
        {"SetScriptVars", kEngine, strEngine, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN,
         [&] { return SetScriptVars(kEngine, "$Server='BDC'", "", "", "", "", ""), -1; }, -1},
        {"SetManagerVars", kIni, "Logs=x\r\n", 0, [&] { return SetManagerVars(kIni, "Logs=y", "", "", "", ""), -1; },
         -1},
        {"SetManagerVars, new", kIni, kNoFile, 0, [&] { return SetManagerVars(kIni, "Logs=y", "", "", "", ""), -1; },
         -1},
        {"MakeManagerINI", kIni, "x=1\r\n", FILE_ATTRIBUTE_HIDDEN,
         [&] { return int(MakeManagerINI(test::kFolder, "S$", "L", "E")); }, 1},
        {"MakeManagerINI, new", kIni, kNoFile, 0, [&] { return int(MakeManagerINI(test::kFolder, "S$", "L", "E")); },
         1},
        {"MakeReplBat", kBat, "old", FILE_ATTRIBUTE_ARCHIVE, [&] { return int(MakeReplBat(kBat, "PDC,BDC")); }, 1},
        {"MakeReplBat, read-only", kBat, "old", FILE_ATTRIBUTE_READONLY,
         [&] { return int(MakeReplBat(kBat, "PDC,BDC")); }, 0},
    };
    struct COutcome {
        int nResult;
        std::string strFile;
        DWORD dwAttrs;
        std::vector<std::string> names;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        std::vector<COutcome> outcomes;
        for (bool bAbsent : {false, true}) {
            sim::CSimPlatform local;
            local.m_ui.RegisterTemplate(129, {"", {{1004, "msctls_progress32", "", 0}}});  // the loading window
            local.m_files.SetFile(kEngine, strEngine);
            local.m_files.SetFile(kPlain, "$Server='PDC'\r\n");
            if (row.strOld != kNoFile) {
                local.m_files.SetFile(row.pszTarget, row.strOld);
                local.m_files.SetAttributes(row.pszTarget, row.dwAttrs);
            }
            if (bAbsent)
                local.m_kernel.MakeAbsent("ReplaceFileA");
            int nResult = row.call();
            outcomes.push_back({nResult, local.m_files.GetFile(row.pszTarget).value_or(kNoFile),
                                local.m_files.GetFileAttributesA(row.pszTarget), local.m_files.List(test::kFolder)});
            EXPECT_TRUE(local.Clean()) << local.Report();
        }
        const COutcome& present = outcomes[0];
        const COutcome& absent = outcomes[1];
        EXPECT_EQ(present.nResult, row.nResult);
        EXPECT_EQ(present.strFile != row.strOld, row.nResult != 0);
        DWORD dwAttrs = row.strOld == kNoFile ? FILE_ATTRIBUTE_ARCHIVE : row.dwAttrs;
        EXPECT_EQ(present.dwAttrs, dwAttrs != 0 ? dwAttrs : FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(absent.nResult, present.nResult);
        EXPECT_TRUE(absent.strFile == present.strFile);
        EXPECT_EQ(absent.dwAttrs, present.dwAttrs);
        EXPECT_EQ(absent.names, present.names);
    }
}

// Paths and UNC names split by character in the ANSI code page. In code page 932 表 (95 5C), ソ
// (83 5C) and 能 (94 5C) are one character each, whose second byte is no backslash; in code page 1252
// the same bytes are two characters, the second a backslash, and the same calls work by that reading.
TEST(AnsiCodePage, PathsAndShareNamesAreSplitByCharacter)
{
    using Platform = sim::CSimPlatform;
    auto written = [](Platform& p, const char* pszPath) { return p.m_files.GetFile(pszPath).value_or(kNoFile); };
    auto replBat = [&](Platform& p) {
        int nResult = MakeReplBat("C:\\d2\\\x95\\.bat", "PDC,BDC");
        return std::to_string(nResult) + " " + written(p, "C:\\d2\\\x95\\.bat").substr(0, 9);
    };
    auto managerVars = [&](Platform& p) {
        SetManagerVars("C:\\d2\\\x83\\.ini", "Logs=x", "", "", "", "");
        return written(p, "C:\\d2\\\x83\\.ini");
    };
    auto encrypt = [&](Platform& p) {
        p.m_files.SetFile(test::kPlain, "$Server='PDC'\r\n");
        int nResult = Encrypt(test::kPlain, "C:\\d2\\\x94\\.kix", 41);
        return std::to_string(nResult) + " " + test::ParseEngine(written(p, "C:\\d2\\\x94\\.kix")).strText;
    };
    auto managerIni = [&](Platform& p) {
        int nResult = MakeManagerINI("C:\\d\\\x95\\", "S$", "L", "E");
        return std::to_string(nResult) + " " + written(p, "C:\\d\\\x95\\\\qxmgr.ini").substr(0, 16);
    };
    auto sharePath = [](Platform& p) {
        p.m_registry.SetMultiString(kSharesKey, "\x95\\", {"Path=C:\\Table"});
        p.m_registry.SetMultiString(kSharesKey, "\x95", {"Path=C:\\Bullet"});
        char szShare[1024] = "\\\\srv\\\x95\\\\rest";
        char szPath[1024] = "untouched";
        int nResult = GetSharePath(szShare, szPath);
        return std::to_string(nResult) + " " + szShare + " " + szPath;
    };
    auto sharePathRemote = [](Platform& p) {
        p.m_netShare.PutShare("\\\\QXDC2", "C$", "E:\\");
        char szShare[256] = "\\\\\x83\\\\C$";
        char szPath[260] = "untouched";
        int nResult = GetSharePathRemote("\\\\QXDC2", szShare, szPath);
        return std::to_string(nResult) + " " + szShare + " " + szPath;
    };
    const struct {
        UINT nCodePage;
        const char* pszFolder;  // made before the call
        std::function<std::string(Platform&)> call;
        std::string strOutcome;
    } rows[] = {
        {932, "C:\\d2", replBat, "1 @echo off"},
        {1252, "C:\\d2\\\x95", replBat, "1 @echo off"},
        {932, "C:\\d2", managerVars, "Logs=x\r\n"},
        {1252, "C:\\d2\\\x83", managerVars, "Logs=x\r\n"},
        {932, "C:\\d2", encrypt, "1 $Server='PDC'\r\n"},
        {1252, "C:\\d2\\\x94", encrypt, "1 $Server='PDC'\r\n"},
        {932, "C:\\d\\\x95\\", managerIni, "1 [File Locations]"},
        {1252, "C:\\d\\\x95\\", managerIni, "1 [File Locations]"},
        {932, "C:\\d", sharePath, "1 \x95\\ C:\\TABLE\\rest"},
        {1252, "C:\\d", sharePath, "1 \x95 C:\\BULLET\\\\rest"},
        {932, "C:\\d", sharePathRemote, "1 C$ E:\\"},
        {1252, "C:\\d", sharePathRemote, "0 \\C$ untouched"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.nCodePage) + " " + row.strOutcome);
        Platform local;
        local.m_system.SetAnsiCodePage(row.nCodePage);
        local.m_ui.RegisterTemplate(129, {"", {{1004, "msctls_progress32", "", 0}}});  // the loading window
        local.m_files.AddFolder(row.pszFolder);
        EXPECT_EQ(row.call(local), row.strOutcome);
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
}

// The engine and manager-file exports through every failure, as MakeManagerINI and MakeReplBat are
// in their own tests. The void exports count as writing when the file changed.
class RewriteSweep : public test::RewriteTest {
protected:
    void SetUp() override
    {
        RewriteTest::SetUp();
        sim.m_ui.RegisterTemplate(129, {"", {{1004, "msctls_progress32", "", 0}}});
        sim.m_files.SetFile(kSourceEngine, strEngine);
        sim.m_files.SetFile(kSourcePlain, strText);
    }
    void Sweep(const char* pszPath, const std::function<QXBOOL()>& make, const std::string& strOld,
               const std::string& strNew, bool bOverNoFile = true)
    {
        ExpectEachFailureKeepsOldOrNew(pszPath,
                                       {"GetFileAttributesA", "GetTempFileNameA", "CreateFileA", "GetFileSize",
                                        "ReadFile", "WriteFile", "CloseHandle", "ReplaceFileA", "MoveFileExA",
                                        "SetFileAttributesA"},
                                       make, strOld, strNew, strNew, bOverNoFile);
    }

    const char* kSourceEngine = "C:\\src\\engine.kix";
    const char* kSourcePlain = "C:\\src\\engine.txt";
    const char* kEngine = "C:\\Qorvex\\engine.kix";
    const std::string strText = "$EngineVersion='4.1'\r\n$Server='PDC'\r\n";
    const std::string strEngine = test::MakeEngine(strText, 41, "ff");
};

TEST_F(RewriteSweep, DecryptKeepsTheOldFileOrTheNewOne)
{
    Sweep(
        test::kIni, [&] { return Decrypt(kSourceEngine, test::kIni); }, "old", strText);
}

TEST_F(RewriteSweep, EncryptKeepsTheOldFileOrTheNewOne)
{
    ASSERT_EQ(Encrypt(kSourcePlain, kEngine, 41), 1);  // the filler follows the clock, which stands still
    const std::string strEncrypted = File(kEngine);
    ASSERT_EQ(test::ParseEngine(strEncrypted).strText, strText);
    Sweep(
        kEngine, [&] { return Encrypt(kSourcePlain, kEngine, 41); }, "old", strEncrypted);
}

TEST_F(RewriteSweep, SetScriptVarsKeepsTheOldFileOrTheNewOne)
{
    Put(kEngine, strEngine);
    SetScriptVars(kEngine, "$Server='BDC'", "", "", "", "", "");
    const std::string strSet = File(kEngine);
    ASSERT_EQ(test::ParseEngine(strSet).strText, "$EngineVersion='4.1'\r\n$Server='BDC'\r\n");
    auto make = [&] {
        SetScriptVars(kEngine, "$Server='BDC'", "", "", "", "", "");
        return QXBOOL(File(kEngine) != strEngine);
    };
    Sweep(kEngine, make, strEngine, strSet, false);  // without an engine it writes nothing
}

TEST_F(RewriteSweep, SetManagerVarsKeepsTheOldFileOrTheNewOne)
{
    auto make = [&] {
        SetManagerVars(test::kIni, "Logs=new", "", "", "", "");
        return QXBOOL(File(test::kIni) != "Logs=old\r\n" && File(test::kIni) != kNoFile);
    };
    Sweep(test::kIni, make, "Logs=old\r\n", "Logs=new\r\n");
}

// Without ReplaceFileA the new file takes the old one's security: whole, or its DACL alone where the
// owner cannot be given. A security that cannot be read or given leaves the old file whole and fails
// the export with the call's reason.
TEST_F(RewriteSweep, WithoutReplaceFileATheOldSecurityIsKeptOrTheOldFileStays)
{
    sim.m_kernel.MakeAbsent("ReplaceFileA");
    const std::string strLocked = LockedSecurity();
    sim::CSdParts userOwned;
    ASSERT_TRUE(sim::ReadSelfRelativeSd(strLocked, &userOwned));
    userOwned.owner = sim::SidFromString("S-1-5-21-1-2-3-1013");
    sim::CSdParts daclAlone;  // on the new file's own owner and group
    ASSERT_TRUE(sim::ReadSelfRelativeSd(sim.m_files.Security(test::kFolder), &daclAlone));
    daclAlone.dacl = userOwned.dacl;
    const std::string strFolders = sim.m_files.Security(test::kFolder);
    const char kGetFailed[] = "GetFileSecurityA C:\\Qorvex\\REPL.BAT failed: ";
    const struct {
        const char* pszWhat;
        std::string strOld;
        const char* pszFault;
        DWORD dwError;
        int nNth;
        QXBOOL bResult;
        std::string strSecurity, strReason;
    } rows[] = {
        {"kept whole", strLocked, nullptr, 0, 0, 1, strLocked, ""},
        {"an owner that may not be given", sim::MakeSelfRelativeSd(userOwned), nullptr, 0, 0, 1,
         sim::MakeSelfRelativeSd(daclAlone), ""},
        {"no right to give an owner", strLocked, "SetFileSecurityA", ERROR_PRIVILEGE_NOT_HELD, 1, 1,
         sim::MakeSelfRelativeSd(daclAlone), ""},
        {"a volume without security", strLocked, "GetFileSecurityA", ERROR_NOT_SUPPORTED, 1, 1, strFolders, ""},
        {"no access to the security", strLocked, "GetFileSecurityA", ERROR_ACCESS_DENIED, 1, 0, strLocked,
         kGetFailed + std::string("5")},
        {"too small a buffer again", strLocked, "GetFileSecurityA", ERROR_INSUFFICIENT_BUFFER, 2, 0, strLocked,
         kGetFailed + std::string("122")},
        {"a descriptor refused", strLocked, "SetFileSecurityA", ERROR_INVALID_SECURITY_DESCR, 1, 0, strLocked,
         "SetFileSecurityA C:\\Qorvex\\qx?.tmp failed: 1338"},
        {"the DACL refused too", strLocked, "SetFileSecurityA", ERROR_ACCESS_DENIED, 0, 0, strLocked,
         "SetFileSecurityA C:\\Qorvex\\qx?.tmp failed: 5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        Put(test::kBat, "old");
        sim.m_files.SetSecurity(test::kBat, row.strOld);
        size_t nLines = sim.m_system.DebugLines().size();
        if (row.pszFault != nullptr)
            sim.m_kernel.FailCall(row.pszFault, row.dwError, row.nNth);
        EXPECT_EQ(MakeBat("PDC,BDC"), row.bResult);
        sim.m_kernel.ClearFaults();
        EXPECT_EQ(File(test::kBat) != "old", row.bResult == 1);
        EXPECT_TRUE(sim.m_files.Security(test::kBat) == row.strSecurity);
        ExpectAlone(test::kBat);
        std::string strReason;
        for (size_t i = nLines; i < sim.m_system.DebugLines().size(); ++i)
            strReason += sim.m_system.DebugLines()[i];
        size_t nTemp = strReason.find("\\qx");  // the temporary file's number varies
        if (nTemp != std::string::npos && strReason.find(".tmp", nTemp) != std::string::npos)
            strReason.replace(nTemp + 3, strReason.find(".tmp", nTemp) - nTemp - 3, "?");
        EXPECT_EQ(strReason, row.strReason.empty() ? "" : "QXINST: MakeReplBat: " + row.strReason + "\n");
    }
}

}  // namespace
}  // namespace qx
