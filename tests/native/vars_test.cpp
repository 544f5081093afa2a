// The four variable exports: whole lines read and stored in the engine's script and in the manager
// file, the engine version, the limits, and what every failure leaves behind.
#include <gtest/gtest.h>

#include <cstring>

#include "engine_fixture.h"
#include "frame/text_buffer.h"
#include "qxinst.h"

namespace qx::test {
namespace {

const char kEngine[] = "C:\\qorvex\\engine.kix";
const char kManager[] = "C:\\qorvex\\qxmgr.ini";
const std::string kScript = "; login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='C:\\logs'\r\n";
const std::string kIni = "[File Locations]\r\nScripts=\\\\PDC\\NETLOGON\r\nEditor=NOTEPAD.EXE\r\n";
const std::string kTooLargeBox = std::string("Engine too large : ") + kEngine + "|Error|4096";

class Vars : public EngineTest {
protected:
    // Six buffers as a host passes them (the sixth is the manager's editor).
    struct CBuffers {
        char sz[6][4096] = {};
        explicit CBuffers(std::vector<std::string> texts)
        {
            for (size_t i = 0; i < texts.size(); ++i)
                std::strcpy(sz[i], texts[i].c_str());
        }
        std::string operator[](size_t i) const { return sz[i]; }
    };
    QXBOOL GetScript(CBuffers& b) { return GetScriptVars(kEngine, b.sz[0], b.sz[1], b.sz[2], b.sz[3], b.sz[4], b.sz[5]); }
    void SetScript(std::vector<std::string> l)
    {
        l.resize(6);
        SetScriptVars(kEngine, l[0].c_str(), l[1].c_str(), l[2].c_str(), l[3].c_str(), l[4].c_str(), l[5].c_str());
    }
    void GetManager(CBuffers& b) { GetManagerVars(kManager, b.sz[0], b.sz[1], b.sz[2], b.sz[3], b.sz[4], b.sz[5]); }
    void SetManager(std::vector<std::string> l)
    {
        l.resize(5);
        SetManagerVars(kManager, l[0].c_str(), l[1].c_str(), l[2].c_str(), l[3].c_str(), l[4].c_str());
    }
    CParsedEngine Engine() const { return ParseEngine(File(kEngine)).value_or(CParsedEngine{0, -1, "<unsound>"}); }
};

TEST_F(Vars, GetScriptVarsReturnsWholeLinesAndSkipsEmptyKeys)
{
    std::string line = std::string("$Name='\xE9\xFF") + '\0' + "x'";  // read whole, zero byte and all
    sim.m_files.SetFile(kEngine, MakeEngine(kScript + line + "\r\n", 41, "f"));
    CBuffers b({"$server", "$LOGS='ignored'", "$missing='keep'", " x", "=y", "$NAME"});
    EXPECT_EQ(GetScript(b), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(b[0], "$Server='PDC'\r");
    EXPECT_EQ(b[1], "$Logs='C:\\logs'\r");
    EXPECT_EQ(b[2], "$missing='keep'");
    EXPECT_EQ(b[3], " x");  // not line 0
    EXPECT_EQ(b[4], "=y");
    EXPECT_EQ(std::string(b.sz[5], line.size() + 2), line + "\r" + '\0');
    EXPECT_EQ(GetScriptVars(kEngine, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Vars, SetScriptVarsReplacesAppendsAndRewritesWithCrLf)
{
    RegisterProgressTemplates();
    sim.m_files.SetFile(kEngine, MakeEngine("$EngineVersion='4.1'\n$Server='PDC'\n\n$Logs='x'\r\n", 7, "ff"));
    SetScript({"$SERVER='BDC'", "$New='1'", "", " skip", "=skip", "$new='2'"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Engine().strText, "$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n\n$Logs='x'\r\n$new='2'\r\n");
    EXPECT_EQ(Engine().nVersion, 41);
    EXPECT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 1);  // the loading window, shown and gone
    EXPECT_TRUE(sim.m_ui.Dialogs(kUpdateTemplate).empty());
    SetScriptVars(kEngine, nullptr, "", nullptr, "\n", "", nullptr);  // nothing to store, fresh filler
    EXPECT_EQ(Engine().strText, "$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n\n$Logs='x'\r\n$new='2'\r\n");
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Vars, HeaderGetsTheVersionReadBeforeTheChangeOrKeepsItsOwn)
{
    const std::pair<const char*, uint16_t> cases[] = {
        {"$EngineVersion='4.1'\r\n", 41},  {"$EngineVersion='12.5'\r\n", 1},   {"$EngineVersion=' 14'\n", 4},
        {"$EngineVersion='-.5'\n", 0xFFFB}, {"$EngineVersion='x.1'\n", 0},      {"$EngineVersion='4'\r\n", 4},
        {"$EngineVersion='4.'\n", 0x0A0B}, {"$EngineVersion=''\r\n", 0x0A0B}, {"$Server='PDC'\r\n", 0x0A0B}};
    for (const auto& [pszScript, nVersion] : cases) {
        sim.m_files.SetFile(kEngine, MakeEngine(pszScript, 0x0A0B, ""));
        SetScript({"$EngineVersion='5.2'"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Engine().nVersion, nVersion) << pszScript;
    }
}

TEST_F(Vars, ScriptFailuresShowTheirBoxAndWriteNothing)
{
    std::string corrupt = MakeEngine(kScript, 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    std::string tooManyLines;
    for (int i = 0; i <= 10000; ++i)
        tooManyLines += "$v=1\r\n";
    std::string full;  // 10,000 lines: replacements fit, a new line does not
    for (int i = 0; i < 10000; ++i)
        full += "$v" + std::to_string(i) + "=1\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {corrupt, "Engine Corrupt|File Error|4096"},
        {"not an engine", "Your engine has an invalid version number.|Invalid Engine Version|0"},
        {MakeEngine(std::string(kTextBufferSize + 1, 'x'), 41, ""), kTooLargeBox},
        {MakeEngine(tooManyLines, 41, ""), kTooLargeBox},
        {MakeEngine(full, 41, ""), kTooLargeBox},
        // At the limit already: the carriage returns of the rewrite would not fit.
        {MakeEngine(std::string(kTextBufferSize - 6, 'x') + "\n$v=1\n", 41, ""), kTooLargeBox}};
    for (const auto& [strEngine, strBox] : cases) {
        sim.m_files.SetFile(kEngine, strEngine);
        SetScript({"$v5=2", "$brand_new=1"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{strBox});
        EXPECT_EQ(File(kEngine), strEngine);
        CBuffers b({"$v5"});
        EXPECT_EQ(GetScript(b), strEngine == cases[4].first || strEngine == cases[5].first ? 1 : 0);
        EXPECT_EQ(b[0], strEngine == cases[4].first ? "$v5=1\r" : "$v5");
        TakeBoxes();
    }
    SetScriptVars("C:\\qorvex\\none.kix", "$v=1", "", "", "", "", "");  // no engine at all
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096"});
    EXPECT_FALSE(sim.m_files.Exists("C:\\qorvex\\none.kix"));
}

TEST_F(Vars, AnEngineThatCannotBeReplacedStaysAsItWas)
{
    std::string engine = MakeEngine(kScript, 41, "");
    sim.m_files.SetFile(kEngine, engine);
    sim.m_files.SetAttributes(kEngine, FILE_ATTRIBUTE_READONLY);
    SetScript({"$Server='BDC'"});
    sim.m_files.SetAttributes(kEngine, 0);
    // The engine's own read closes the first handle; the rewrite's is the second.
    const std::pair<const char*, int> faults[] = {{"WriteFile", 1}, {"CloseHandle", 2}, {"ReplaceFileA", 1}};
    for (auto [pszCall, nNth] : faults) {
        sim.m_kernel.FailCall(pszCall, ERROR_DISK_FULL, nNth);
        SetScript({"$Server='BDC'"});
        EXPECT_TRUE(Settled()) << pszCall;
        EXPECT_EQ(File(kEngine), engine) << pszCall;
    }
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), std::vector<std::string>{"engine.kix"});
}

TEST_F(Vars, ManagerLinesAndEditor)
{
    const std::pair<std::string, const char*> cases[] = {
        {kIni, "NOTEPAD.EXE"},
        {"EDITOR = C:\\edit.exe 'x'=y \r\n", " C:\\edit.exe 'x'=y "},
        {"Editors=WRITE.EXE\r\nEditor=NOTEPAD.EXE\r\n", "WRITE.EXE"},
        {"Editor\r\n", ""},
        {"Scripts=x\r\n", "ZARIZAV.EXE"}};
    for (const auto& [strFile, pszEditor] : cases) {
        sim.m_files.SetFile(kManager, strFile);
        CBuffers b({"scripts", "", "=x", "Missing", "", "untouched"});
        GetManager(b);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(b[5], pszEditor) << strFile;
        EXPECT_EQ(b[2], "=x");
        EXPECT_EQ(b[3], "Missing");
        if (strFile == kIni) {
            EXPECT_EQ(b[0], "Scripts=\\\\PDC\\NETLOGON");  // no carriage return: text mode
        }
    }
    sim.m_kernel.FailCall("CreateFileA", ERROR_SHARING_VIOLATION);  // cannot be opened: an empty text
    CBuffers b({"Scripts", "", "", "", "", "untouched"});
    GetManager(b);
    EXPECT_EQ(b[0], "Scripts");
    EXPECT_EQ(b[5], "ZARIZAV.EXE");
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);  // cannot be read through: nothing changes
    CBuffers c({"Scripts", "", "", "", "", "untouched"});
    GetManager(c);
    EXPECT_EQ(c[5], "untouched");
    EXPECT_TRUE(Settled());
}

TEST_F(Vars, ManagerFilesRoundTripByteForByteInTextMode)
{
    // 0xFF is y-diaeresis in the ANSI code page; 0x00, 0x1A and a lone CR are kept too.
    std::string file = std::string("Name=J\xFFrg\r\nA=\x1A\x80\r\nB=x\ry\r\nZero=") + '\0' + "z\r\n\r\n";
    sim.m_files.SetFile(kManager, file);
    SetManager({"Name=J\xFFrg", "B=x\ry"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kManager), file);
    SetManager({"name=new", "Replication=1", "", " skip", "=skip"});
    CBuffers b({"NAME", "replication"});
    GetManager(b);
    EXPECT_EQ(b[0], "name=new");
    EXPECT_EQ(b[1], "Replication=1");
    EXPECT_EQ(File(kManager).substr(0, 10), "name=new\r\n");
    // A file that does not exist is created with the lines.
    std::string strNew = "C:\\qorvex\\new.ini";
    SetManagerVars(strNew.c_str(), "Scripts=x", "", "Logs=y", "", "");
    EXPECT_EQ(File(strNew), "Scripts=x\r\nLogs=y\r\n");
    SetManagerVars("C:\\nowhere\\new.ini", "Scripts=x", "", "", "", "");
    EXPECT_TRUE(Settled());
    EXPECT_FALSE(sim.m_files.Exists("C:\\nowhere"));
}

TEST_F(Vars, ManagerFilesThatCannotBeReadOrAreTooLargeAreLeftAlone)
{
    std::string tooManyLines;
    for (int i = 0; i <= 10000; ++i)
        tooManyLines += "Editor=E\r\n";
    std::string atLimit = "Editor=E\r\n" + std::string(kTextBufferSize - 10, 'x') + "\r\n";  // CR LF is one
    const std::pair<const char*, DWORD> faults[] = {{"CreateFileA", ERROR_ACCESS_DENIED},
                                                   {"CreateFileA", ERROR_SHARING_VIOLATION},
                                                   {"ReadFile", ERROR_READ_FAULT},
                                                   {"WriteFile", ERROR_DISK_FULL},
                                                   {"ReplaceFileA", ERROR_UNABLE_TO_REMOVE_REPLACED}};
    for (auto [pszCall, dwError] : faults) {
        sim.m_files.SetFile(kManager, kIni);
        sim.m_kernel.FailCall(pszCall, dwError);
        SetManager({"Scripts=new"});
        EXPECT_TRUE(Settled()) << pszCall;
        EXPECT_EQ(File(kManager), kIni) << pszCall << dwError;
    }
    for (const std::string& strFile : {"Editor=E\r\n" + std::string(kTextBufferSize, 'x'), tooManyLines, atLimit}) {
        sim.m_files.SetFile(kManager, strFile);
        CBuffers b({"Editor", "", "", "", "", "untouched"});
        GetManager(b);
        EXPECT_EQ(b[5], strFile == atLimit ? "E" : "untouched");
        SetManager({"Scripts=x"});  // refused, also at the limit: one more line would not fit
        EXPECT_TRUE(Settled());
        EXPECT_EQ(File(kManager), strFile);
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
