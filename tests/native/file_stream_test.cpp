// Buffered streams and safely rewritten files over the simulated file system.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "engine_reference.h"
#include "platform/file_stream.h"
#include "rewrite_fixture.h"
#include "shares/share_path.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using test::kNoFile;
using test::SimTest;
using Sim = sim::CSimPlatform;
constexpr size_t kBuffer = 64 * 1024;
constexpr auto kText = CFileStream::Mode::kText, kBinary = CFileStream::Mode::kBinary;

// Text mode reads CR LF as LF, also across the buffer's edge; sizes beyond 4 GiB; a closed stream reads nothing.
TEST_F(SimTest, AStreamReadsItsFileWholeAndMeasuresIt)
{
    const std::string strEdge = std::string(kBuffer - 1, 'x');
    const struct {
        std::string raw;
        CFileStream::Mode mode;
        std::string strText;
        long long nSize = 0;  // sparse beyond raw; 0: raw's size
        DWORD dwFault = 0;  // of GetFileSize
    } cases[] = {
        {"a\r\nb\rc\n\x1A\xFF\r", kText, "a\nb\rc\n\x1A\xFF\r"},
        {"a\r\nb\rc\n\x1A\xFF\r", kBinary, "a\r\nb\rc\n\x1A\xFF\r"},
        {strEdge + "\r\nend", kText, strEdge + "\nend"},
        {"head", kBinary, "head", 0xFFFFFFFFLL},
        {"head", kBinary, "head", 0x123456789LL},
        {"head", kBinary, "", 0xFFFFFFFFLL, ERROR_INVALID_FUNCTION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strText.substr(0, 8) + " " + std::to_string(c.nSize));
        sim.m_files.SetSparseFile("C:\\t.txt", c.raw, std::max<long long>(c.nSize, c.raw.size()));
        if (c.dwFault != 0)
            sim.m_kernel.FailCall("GetFileSize", c.dwFault);
        sim.m_kernel.m_dwLastError = ERROR_ACCESS_DENIED;  // left by an earlier call
        CFileStream stream;
        EXPECT_EQ(stream.OpenRead("C:\\t.txt", c.mode), c.dwFault);
        EXPECT_EQ(stream.Size(), c.dwFault ? 0 : std::max<long long>(c.nSize, c.raw.size()));
        std::string text;
        for (int ch = 0; text.size() < c.raw.size() && (ch = stream.GetByte()) != -1;)
            text += static_cast<char>(ch);
        EXPECT_EQ(text, c.strText);
        EXPECT_EQ(stream.Tell(), c.dwFault ? 0 : static_cast<long long>(c.raw.size()));
        char data[4] = {};
        stream.Close();  // a closed stream reads as empty
        EXPECT_TRUE(stream.GetByte() == -1 && stream.Read(data, sizeof data) == 0);
    }
}

// Each partial outcome of ReplaceFileA leaves the old file or the new one (both when no name can be given back).
TEST(AtomicFile, ReplacesTheTargetOnlyWhenComplete)
{
    auto shortWrite = [](int nNth) { return [=](Sim& sim) { sim.m_files.WriteShort(nNth, 7); }; };
    auto replaceFails = [](DWORD dwError, int nMoveFails) {  // MoveFileExA fails that often after it (-1: always)
        return [=](Sim& sim) {
            sim.m_kernel.FailCall("ReplaceFileA", dwError);
            for (int i = nMoveFails < 0 ? 0 : 1; i <= std::max(nMoveFails, 0); ++i)
                sim.m_kernel.FailCall("MoveFileExA", ERROR_SHARING_VIOLATION, i);
        };
    };
    auto folder = [](std::string strFolder) { return [=](Sim& sim) { sim.m_files.AddFolder(strFolder); }; };
    const std::string strLimit = "C:\\" + std::string(MAX_PATH - 18, 'd') + "\\";  // MAX_PATH - 14 with its backslash
    const std::string strOver = strLimit.substr(0, strLimit.size() - 1) + "e\\";
    constexpr DWORD kAbandoned = 0xFFFFFFFF;  // no Commit
    constexpr DWORD kFull = ERROR_DISK_FULL, k1177 = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    const struct {
        const char* pszWhat;
        std::function<void(Sim&)> setUp;  // on a hidden C:\cfg\a.ini holding "old"
        std::vector<size_t> blocks;  // written one after the other (0: kBuffer + 10 bytes one by one); none: "a\nb"
        DWORD dwCreate, dwCommit;
        const char* pszFiles;  // the folders' files, by their contents in falling order
        std::string strTarget = "C:\\cfg\\a.ini";
    } rows[] = {
        {"complete", nullptr, {}, 0, 0, "a\r\nb"},
        {"abandoned", nullptr, {}, 0, kAbandoned, "old", "C:\\cfg\\new.txt"},
        {"a failing write", [](Sim& sim) { sim.m_kernel.FailCall("WriteFile", kFull); }, {3}, 0, kFull, "old"},
        {"short, flushed by the close", shortWrite(1), {100}, 0, kFull, "old"},
        {"short, a full buffer", shortWrite(1), {0}, 0, kFull, "old"},
        {"short, direct", shortWrite(1), {3 * kBuffer}, 0, kFull, "old"},
        {"refused", replaceFails(ERROR_ACCESS_DENIED, 0), {3}, 0, ERROR_ACCESS_DENIED, "old"},
        {"1175", replaceFails(ERROR_UNABLE_TO_REMOVE_REPLACED, 0), {3}, 0, ERROR_UNABLE_TO_REMOVE_REPLACED, "old"},
        {"1176", replaceFails(ERROR_UNABLE_TO_MOVE_REPLACEMENT, 0), {3}, 0, ERROR_UNABLE_TO_MOVE_REPLACEMENT, "old"},
        {"1177: the new file moved into place", replaceFails(k1177, 0), {3}, 0, 0, "nnn"},
        {"1177: or the old one back", replaceFails(k1177, 1), {3}, 0, k1177, "old"},
        {"1177: neither", replaceFails(k1177, -1), {3}, 0, k1177, "old nnn"},
        {"a folder", folder("C:\\cfg\\dir"), {3}, ERROR_ACCESS_DENIED, 0, "old", "C:\\cfg\\dir"},
        {"a missing folder", nullptr, {3}, ERROR_DIRECTORY, 0, "old", "C:\\cfg\\none\\a.ini"},
        {"the longest folder", folder(strLimit), {3}, 0, 0, "old nnn", strLimit + "a.ini"},
        {"a longer folder", folder(strOver), {3}, ERROR_FILENAME_EXCED_RANGE, 0, "old", strOver + "a.ini"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        Sim sim;
        sim.m_files.SetFile("C:\\cfg\\a.ini", "old");
        sim.m_files.SetAttributes("C:\\cfg\\a.ini", FILE_ATTRIBUTE_HIDDEN);
        if (row.setUp)
            row.setUp(sim);
        {
            CAtomicFile file(row.strTarget);
            EXPECT_EQ(file.Create(row.blocks.empty() ? kText : kBinary), row.dwCreate);
            for (size_t cb : row.blocks) {
                for (size_t i = 0; cb == 0 && i < kBuffer + 10; ++i)
                    file.Stream().PutByte('n');
                file.Stream().Write(std::string(cb, 'n').data(), cb);
            }
            file.Stream().PutText(row.blocks.empty() ? "a\nb" : "");
            if (row.dwCreate == 0 && row.dwCommit != kAbandoned) {
                EXPECT_EQ(file.Commit(), row.dwCommit);
                EXPECT_FALSE(file.Stream().PutByte('x') || file.Stream().PutText("more"));
                EXPECT_NE(file.Stream().Close(), 0u);
            }
        }
        sim.m_kernel.ClearFaults();
        std::multiset<std::string, std::greater<>> files;
        for (const std::string& strFolder :
             std::set<std::string> {"C:\\cfg", row.strTarget.substr(0, row.strTarget.rfind('\\'))})
            for (const std::string& strName : sim.m_files.List(strFolder))
                if (auto file = sim.m_files.GetFile(strFolder + "\\" + strName))
                    files.insert(file->substr(0, 5));
        std::string strFiles;
        for (const std::string& strFile : files)
            strFiles += (strFiles.empty() ? "" : " ") + strFile;
        EXPECT_EQ(strFiles, row.pszFiles);
        EXPECT_TRUE(sim.m_files.GetFileAttributesA("C:\\cfg\\a.ini") & FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(sim.Clean()) << sim.Report();
    }
}

// In code page 932 表 (95 5C) and ソ (83 5C) are one character, in 1252 two: the second a backslash.
TEST(AnsiCodePage, PathsAndShareNamesAreSplitByCharacter)
{
    auto written = [](Sim& p, const char* pszPath) { return p.m_files.GetFile(pszPath).value_or(kNoFile); };
    auto replBat = [&](Sim& p) {
        int nResult = MakeReplBat("C:\\d2\\\x95\\.bat", "PDC,BDC");
        return std::to_string(nResult) + " " + written(p, "C:\\d2\\\x95\\.bat").substr(0, 9);
    };
    auto managerIni = [&](Sim& p) {
        int nResult = MakeManagerINI("C:\\d\\\x95\\", "S$", "L", "E");
        return std::to_string(nResult) + " " + written(p, "C:\\d\\\x95\\\\qxmgr.ini").substr(0, 16);
    };
    auto sharePath = [](Sim& p) {
        p.m_registry.SetMultiString(kSharesKey, "\x95\\", {"Path=C:\\Table"});
        p.m_registry.SetMultiString(kSharesKey, "\x95", {"Path=C:\\Bullet"});
        char szShare[1024] = "\\\\srv\\\x95\\\\rest", szPath[1024] = "untouched";
        return std::to_string(GetSharePath(szShare, szPath)) + " " + szShare + " " + szPath;
    };
    auto sharePathRemote = [](Sim& p) {
        p.m_netShare.PutShare("\\\\QXDC2", "C$", "E:\\");
        char szShare[256] = "\\\\\x83\\\\C$", szPath[260] = "untouched";
        return std::to_string(GetSharePathRemote("\\\\QXDC2", szShare, szPath)) + " " + szShare + " " + szPath;
    };
    const struct {
        UINT nCodePage;
        const char* pszFolder;  // made before the call
        std::function<std::string(Sim&)> call;
        std::string strOutcome;
    } rows[] = {
        {932, "C:\\d2", replBat, "1 @echo off"},
        {932, "C:\\d\\\x95\\", managerIni, "1 [File Locations]"},
        {932, "C:\\d", sharePath, "1 \x95\\ C:\\TABLE\\rest"},
        {1252, "C:\\d", sharePath, "1 \x95 C:\\BULLET\\\\rest"},
        {932, "C:\\d", sharePathRemote, "1 C$ E:\\"},
        {1252, "C:\\d", sharePathRemote, "0 \\C$ untouched"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.nCodePage) + " " + row.strOutcome);
        Sim local;
        local.m_system.SetAnsiCodePage(row.nCodePage);
        local.m_files.AddFolder(row.pszFolder);
        EXPECT_EQ(row.call(local), row.strOutcome);
        EXPECT_TRUE(local.Clean()) << local.Report();
    }
}

// The engine and manager-file exports through every failure; the void exports count as writing when the file changed.
class RewriteSweep : public test::RewriteTest, public ::testing::WithParamInterface<int> {
protected:
    const char* kSourceEngine = "C:\\src\\engine.kix";
    const char* kEngine = "C:\\Qorvex\\engine.kix";
    const std::string strText = "$EngineVersion='4.1'\r\n$Server='PDC'\r\n";
    const std::string strEngine = test::MakeEngine(strText, 41, "ff");
};

TEST_P(RewriteSweep, KeepsTheOldFileOrTheNewOne)
{
    using test::kIni;
    sim.m_ui.RegisterTemplate(129, {"", {{1004, "msctls_progress32", "", 0}}});
    sim.m_files.SetFile(kSourceEngine, strEngine);
    sim.m_files.SetFile("C:\\src\\engine.txt", strText);
    auto changed = [&](const char* pszPath, const std::string& strOld) {
        return QXBOOL(File(pszPath) != strOld && File(pszPath) != kNoFile);
    };
    const struct {
        const char* pszPath;
        std::string strOld;
        std::function<QXBOOL()> make;
        std::string strText;  // the new file's, its engine's text for an engine
        bool bOverNoFile = true;  // SetScriptVars writes nothing without an engine
    } rows[] = {
        {kIni, "old", [&] { return Decrypt(kSourceEngine, kIni); }, strText},
        {kEngine, "old", [&] { return Encrypt("C:\\src\\engine.txt", kEngine, 41); }, strText},
        {kEngine, strEngine,
         [&] { return SetScriptVars(kEngine, "$Server='BDC'", "", "", "", "", ""), changed(kEngine, strEngine); },
         "$EngineVersion='4.1'\r\n$Server='BDC'\r\n", false},
        {kIni, "Logs=old\r\n",
         [&] { return SetManagerVars(kIni, "Logs=new", "", "", "", ""), changed(kIni, "Logs=old\r\n"); },
         "Logs=new\r\n"},
    };
    const auto& row = rows[GetParam()];
    Put(row.pszPath, row.strOld);
    ASSERT_EQ(row.make(), 1);  // Encrypt's filler follows the clock, which stands still
    const std::string strNew = File(row.pszPath);
    ASSERT_EQ(row.pszPath == kEngine ? test::ParseEngine(strNew).strText : strNew, row.strText);
    ExpectEachFailureKeepsOldOrNew(row.pszPath,
                                   {"GetFileAttributesA", "GetTempFileNameA", "CreateFileA", "GetFileSize", "ReadFile",
                                    "WriteFile", "CloseHandle", "ReplaceFileA", "MoveFileExA", "SetFileAttributesA"},
                                   row.make, row.strOld, strNew, strNew, row.bOverNoFile);
}

INSTANTIATE_TEST_SUITE_P(Exports, RewriteSweep, ::testing::Range(0, 4));

// Without ReplaceFileA the new file takes the old one's security, or its DACL alone; else the old file stays.
TEST_F(RewriteSweep, WithoutReplaceFileATheOldSecurityIsKeptOrTheOldFileStays)
{
    sim.m_kernel.MakeAbsent("ReplaceFileA");
    const std::string strLocked = LockedSecurity(), strFolders = sim.m_files.Security(test::kFolder);
    sim::CSdParts userOwned, daclAlone;  // daclAlone: on the new file's own owner and group
    ASSERT_TRUE(sim::ReadSelfRelativeSd(strLocked, &userOwned));
    userOwned.owner = sim::SidFromString("S-1-5-21-1-2-3-1013");
    ASSERT_TRUE(sim::ReadSelfRelativeSd(strFolders, &daclAlone));
    daclAlone.dacl = userOwned.dacl;
    const std::string strDaclAlone = sim::MakeSelfRelativeSd(daclAlone);
    const struct {
        const char* pszWhat;
        std::string strOld;
        const char* pszFault;
        DWORD dwError;
        int nNth;
        QXBOOL bResult;
        std::string strSecurity;
    } rows[] = {
        {"kept whole", strLocked, nullptr, 0, 0, 1, strLocked},
        {"an owner that may not be given", sim::MakeSelfRelativeSd(userOwned), nullptr, 0, 0, 1, strDaclAlone},
        {"no right to give an owner", strLocked, "SetFileSecurityA", ERROR_PRIVILEGE_NOT_HELD, 1, 1, strDaclAlone},
        {"a volume without security", strLocked, "GetFileSecurityA", ERROR_NOT_SUPPORTED, 1, 1, strFolders},
        {"no access to the security", strLocked, "GetFileSecurityA", ERROR_ACCESS_DENIED, 1, 0, strLocked},
        {"too small a buffer again", strLocked, "GetFileSecurityA", ERROR_INSUFFICIENT_BUFFER, 2, 0, strLocked},
        {"a descriptor refused", strLocked, "SetFileSecurityA", ERROR_INVALID_SECURITY_DESCR, 1, 0, strLocked},
        {"the DACL refused too", strLocked, "SetFileSecurityA", ERROR_ACCESS_DENIED, 0, 0, strLocked},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        Put(test::kBat, "old");
        sim.m_files.SetSecurity(test::kBat, row.strOld);
        if (row.pszFault != nullptr)
            sim.m_kernel.FailCall(row.pszFault, row.dwError, row.nNth);
        EXPECT_EQ(MakeBat("PDC,BDC"), row.bResult);
        sim.m_kernel.ClearFaults();
        EXPECT_EQ(File(test::kBat) != "old", row.bResult == 1);
        EXPECT_TRUE(sim.m_files.Security(test::kBat) == row.strSecurity);
        ExpectAlone(test::kBat);
    }
}

}  // namespace
}  // namespace qx
