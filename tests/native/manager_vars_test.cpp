// GetManagerVars and SetManagerVars: lines of the manager file, read and written in text mode.
#include <gtest/gtest.h>

#include <cstring>

#include "engine_fixture.h"
#include "frame/text_buffer.h"
#include "qxinst.h"

namespace qx::test {
namespace {

const char kManager[] = "C:\\qorvex\\qxmgr.ini";
const std::string kIni = "[File Locations]\r\nScripts=\\\\PDC\\NETLOGON\r\nLogs=C:\\logs\r\nEditor=NOTEPAD.EXE\r\n";

class ManagerVars : public EngineTest {
protected:
    struct CBuffers {
        char sz[6][512] = {};
        explicit CBuffers(std::vector<std::string> names, const char* pszEditor = "untouched")
        {
            for (size_t i = 0; i < names.size(); ++i)
                std::strcpy(sz[i], names[i].c_str());
            std::strcpy(sz[5], pszEditor);
        }
        std::string operator[](size_t i) const { return sz[i]; }
        std::string Editor() const { return sz[5]; }
    };

    void Get(CBuffers& b, const char* pszManager = kManager)
    {
        GetManagerVars(pszManager, b.sz[0], b.sz[1], b.sz[2], b.sz[3], b.sz[4], b.sz[5]);
    }
    void Set(std::vector<std::string> lines, const char* pszManager = kManager)
    {
        lines.resize(5);
        SetManagerVars(pszManager, lines[0].c_str(), lines[1].c_str(), lines[2].c_str(), lines[3].c_str(),
                       lines[4].c_str());
    }
};

TEST_F(ManagerVars, GetReturnsLinesWithoutCarriageReturnsAndTheEditor)
{
    sim.m_files.SetFile(kManager, kIni);
    CBuffers b({"scripts", "LOGS=old", "Missing=keep", "", "=x"});
    Get(b);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(b[0], "Scripts=\\\\PDC\\NETLOGON");
    EXPECT_EQ(b[1], "Logs=C:\\logs");
    EXPECT_EQ(b[2], "Missing=keep");
    EXPECT_EQ(b[3], "");
    EXPECT_EQ(b[4], "=x");
    EXPECT_EQ(b.Editor(), "NOTEPAD.EXE");
    EXPECT_EQ(File(kManager), kIni);
}

TEST_F(ManagerVars, EditorIsTheTextAfterTheFirstEqualsOrTheDefault)
{
    const struct {
        std::string strFile;
        const char* pszEditor;
    } cases[] = {
        {"Editor=NOTEPAD.EXE\r\n", "NOTEPAD.EXE"},
        {"EDITOR = C:\\edit.exe 'x'=y \r\n", " C:\\edit.exe 'x'=y "},
        {"Editor\r\n", ""},
        {"Editors=WRITE.EXE\r\nEditor=NOTEPAD.EXE\r\n", "WRITE.EXE"},  // the first line beginning with editor
        {"Scripts=x\r\n", "ZARIZAV.EXE"},
        {"", "ZARIZAV.EXE"},
    };
    for (const auto& c : cases) {
        sim.m_files.SetFile(kManager, c.strFile);
        CBuffers b({});
        Get(b);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(b.Editor(), c.pszEditor) << c.strFile;
    }
    CBuffers missing({"Scripts"});
    Get(missing, "C:\\qorvex\\none.ini");
    EXPECT_EQ(missing.Editor(), "ZARIZAV.EXE");
    EXPECT_EQ(missing[0], "Scripts");
    GetManagerVars(kManager, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(Settled());
}

TEST_F(ManagerVars, SetThenGetGivesBackTheLinesAndTheFileHasCrLf)
{
    sim.m_files.SetFile(kManager, kIni);
    Set({"scripts=\\\\BDC\\NETLOGON", "Replication=1", "", " skipped", "=skipped"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kManager),
              "[File Locations]\r\nscripts=\\\\BDC\\NETLOGON\r\nLogs=C:\\logs\r\nEditor=NOTEPAD.EXE\r\nReplication=1\r\n");
    CBuffers b({"Scripts", "replication"});
    Get(b);
    EXPECT_EQ(b[0], "scripts=\\\\BDC\\NETLOGON");
    EXPECT_EQ(b[1], "Replication=1");
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ManagerVars, AFileOfCrLfLinesRoundTripsByteForByte)
{
    // 0xFF is the letter y-diaeresis of the ANSI code page; 0x00, 0x1A and a lone CR are kept too.
    std::string file = std::string("Name=J\xFFrg\r\nA=\x1A\x80\r\nB=x\ry\r\nZero=") + '\0' + "z\r\n\r\n";
    sim.m_files.SetFile(kManager, file);
    Set({"Name=J\xFFrg", "B=x\ry"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kManager), file);
    CBuffers b({"name"});
    Get(b);
    EXPECT_EQ(b[0], "Name=J\xFFrg");
}

TEST_F(ManagerVars, AMissingFileIsCreatedWithTheLines)
{
    sim.m_files.AddFolder("C:\\qorvex");
    Set({"Scripts=\\\\PDC\\NETLOGON", "", "Logs=C:\\logs"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kManager), "Scripts=\\\\PDC\\NETLOGON\r\nLogs=C:\\logs\r\n");
    // In a folder that does not exist nothing can be created.
    Set({"Scripts=x"}, "C:\\nowhere\\qxmgr.ini");
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(sim.m_files.Exists("C:\\nowhere"));
    // All slots empty: nothing to store, an empty file.
    Set({}, "C:\\qorvex\\empty.ini");
    EXPECT_EQ(File("C:\\qorvex\\empty.ini"), "");
}

TEST_F(ManagerVars, AFileThatCannotBeReadIsNeverEmptied)
{
    sim.m_files.SetFile(kManager, kIni);
    const std::pair<const char*, DWORD> faults[] = {{"CreateFileA", ERROR_ACCESS_DENIED},
                                                   {"CreateFileA", ERROR_SHARING_VIOLATION},
                                                   {"ReadFile", ERROR_READ_FAULT},
                                                   {"GetFileSizeEx", ERROR_INVALID_HANDLE}};
    for (auto [pszCall, dwError] : faults) {
        sim.m_kernel.FailCall(pszCall, dwError);
        Set({"Scripts=new"});
        EXPECT_TRUE(Settled()) << pszCall;
        EXPECT_EQ(File(kManager), kIni) << pszCall << " " << dwError;
    }
    sim.m_files.AddFolder("C:\\qorvex\\folder.ini");
    Set({"Scripts=new"}, "C:\\qorvex\\folder.ini");
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ManagerVars, GetAfterAReadErrorLeavesEveryBuffer)
{
    sim.m_files.SetFile(kManager, kIni);
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
    CBuffers b({"Scripts"});
    Get(b);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(b[0], "Scripts");
    EXPECT_EQ(b.Editor(), "untouched");
    // A file that cannot be opened reads as empty.
    sim.m_kernel.FailCall("CreateFileA", ERROR_ACCESS_DENIED);
    Get(b);
    EXPECT_EQ(b[0], "Scripts");
    EXPECT_EQ(b.Editor(), "ZARIZAV.EXE");
}

TEST_F(ManagerVars, WriteFailuresLeaveTheOldFile)
{
    sim.m_files.SetFile(kManager, kIni);
    sim.m_files.SetAttributes(kManager, FILE_ATTRIBUTE_READONLY);
    Set({"Scripts=new"});
    EXPECT_EQ(File(kManager), kIni);
    sim.m_files.SetAttributes(kManager, 0);
    sim.m_files.SetFreeBytes(10);
    Set({"Scripts=new"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kManager), kIni);
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), std::vector<std::string>{"qxmgr.ini"});
}

TEST_F(ManagerVars, TextsBeyondTheLimitsAreRefusedSilently)
{
    std::string tooLong = "Editor=E\r\n" + std::string(kTextBufferSize, 'x');
    std::string tooManyLines;
    for (int i = 0; i <= 10000; ++i)
        tooManyLines += "Editor=E\r\n";
    for (const std::string& file : {tooLong, tooManyLines}) {
        sim.m_files.SetFile(kManager, file);
        CBuffers b({"Editor"});
        Get(b);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(b[0], "Editor");
        EXPECT_EQ(b.Editor(), "untouched");
        Set({"Editor=NEW"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(File(kManager), file);
    }
    EXPECT_TRUE(TakeBoxes().empty());

    // CR LF pairs are one character of the text: 2,000,000 characters fit.
    std::string atLimit = "Editor=E\r\n" + std::string(kTextBufferSize - 9 - 1, 'x') + "\r\n";
    sim.m_files.SetFile(kManager, atLimit);
    CBuffers b({});
    Get(b);
    EXPECT_EQ(b.Editor(), "E");
    // Appending a line would go beyond: refused.
    Set({"Scripts=x"});
    EXPECT_EQ(File(kManager), atLimit);
    Set({"Editor=F"});
    EXPECT_EQ(File(kManager).substr(0, 10), "Editor=F\r\n");
}

}  // namespace
}  // namespace qx::test
