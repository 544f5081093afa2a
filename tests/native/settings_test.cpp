// The token table and its settings-loading window; the four variable exports built on it (whole lines
// of the engine's script and of the manager file, the engine version, the limits, what every failure
// leaves behind); and the installation progress window driven by the SP exports.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/token_table.h"
#include "engine_fixture.h"
#include "frame/text_buffer.h"
#include "ui/progress_dlg.h"

namespace qx::test {
namespace {

using Lines = std::vector<std::string>;
using Buffers = char[6][4096];  // as a host passes them; the sixth is the manager's editor
const char kManager[] = "C:\\qorvex\\qxmgr.ini";
const std::string kScript = "; login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='C:\\logs'\r\n";
const std::string kIni = "[File Locations]\r\nScripts=\\\\PDC\\NETLOGON\r\nEditor=NOTEPAD.EXE\r\n";
const std::string kTooLargeBox = std::string("Engine too large : ") + kEngine + "|Error|4096";

std::unique_ptr<CTokenTable> Load(const std::string& strText)
{
    std::memcpy(g_textBuffer, strText.data(), strText.size());
    g_textPos = static_cast<int32_t>(strText.size());
    return std::make_unique<CTokenTable>();
}

Lines LinesOf(const CTokenTable& table) { return Lines(table.m_lines.begin(), table.m_lines.begin() + table.m_nLines); }

std::string Repeat(int nTimes, const std::string& strLine, bool bNumbered = false)
{
    std::string text;
    for (int i = 0; i < nTimes; ++i)
        text += bNumbered ? "$v" + std::to_string(i) + strLine : strLine;
    return text;
}

using TokenTable = EngineTest;

TEST_F(TokenTable, KeysMatchLineBeginningsIgnoringCaseValuesLoseTheirQuotesAndLinesAreAdded)
{
    auto pTable = Load("$names='Y'\n$name='X'\n$Server='PDC'\n\xE9t\xE9='1'\n$EngineVersion='4.1'\r\nA=='b='\n");
    EXPECT_EQ(pTable->FindLine("$NAME"), 0);  // $names begins with $name: the first match wins
    EXPECT_EQ(pTable->FindLine("$name='new'"), 0);
    EXPECT_EQ(pTable->FindLine("$server 'after the space'"), 2);
    EXPECT_EQ(pTable->FindLine("\xC9T\xC9"), 3);  // e-acute and E-acute in the ANSI code page
    EXPECT_EQ(pTable->FindLine("$Servers"), -1);
    EXPECT_EQ(pTable->FindLine(""), 0);  // an empty key matches line 0
    EXPECT_EQ(CTokenTable::KeyLength("$n\nx") * 10 + CTokenTable::KeyLength("$n\tx"), 24u);
    EXPECT_EQ(pTable->GetLineValue(4) + "|" + pTable->GetLineValue(5) + "|" + pTable->GetLineValue(2),
              "4.1'\r|b|PDC");  // the carriage return stops the trimming
    EXPECT_EQ(Load("")->FindLine(""), -1);

    pTable = Load("l0\nl1\nl2\nl3\n");
    EXPECT_TRUE(pTable->InsertLine(2, "new") && pTable->SetLine(-1, "last"));
    EXPECT_FALSE(pTable->InsertLine(0, "before line 0") || pTable->InsertLine(7, "past the end") ||
                 pTable->SetLine(6, "out of range"));
    EXPECT_EQ(LinesOf(*pTable), (Lines{"l0", "l1", "new", "l2", "l3", "last"}));
    pTable = Load("");  // appending to an empty table stores the line
    EXPECT_TRUE(pTable->SetLine(-1, "Scripts=x") && pTable->SetLine(-1, "Logs=y"));
    pTable.reset();  // the write-back
    EXPECT_EQ(std::string(g_textBuffer, static_cast<size_t>(g_textPos)), "Scripts=x\nLogs=y\n");
    pTable = Load(Repeat(kMaxTokenLines, "\n"));  // a full table takes no new line
    EXPECT_FALSE(pTable->InsertLine(5, "new") || pTable->SetLine(-1, "new"));
    EXPECT_EQ(pTable->m_nLines, kMaxTokenLines);
}

TEST_F(TokenTable, LoadingWindowMovesOncePerLineThenCloses)
{
    Load("ab\ncde\n\nf");
    Load("");
    EXPECT_EQ(sim.m_ui.m_log, (Lines{"create 129", "range 129/1004 0..9", "pos 129/1004 1", "pos 129/1004 4",
                                     "pos 129/1004 8", "pos 129/1004 9", "destroy 129", "create 129",
                                     "range 129/1004 0..0", "destroy 129"}));
    // A refused text closes its window too; a window that cannot be created does not stop a load.
    EXPECT_FALSE(Load(Repeat(kMaxTokenLines + 1, "x\n"))->IsLoaded());
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LinesOf(*Load("a\nb")), (Lines{"a", "b"}));
    EXPECT_EQ(sim.m_ui.CreatedCount(129), 3);
    EXPECT_TRUE(Settled());
}

class Vars : public EngineTest {
protected:
    QXBOOL GetScript(Buffers& b) { return Call(GetScriptVars, kEngine, b[0], b[1], b[2], b[3], b[4], b[5]); }
    void GetManager(Buffers& b) { Call(GetManagerVars, kManager, b[0], b[1], b[2], b[3], b[4], b[5]); }
    template <typename... T>
    void SetScript(const T&... lines) { Call(SetScriptVars, kEngine, lines...); }
    CParsedEngine Engine() const { return ParseEngine(File(kEngine)); }
};

TEST_F(Vars, GetScriptVarsReturnsWholeLinesAndSkipsEmptyKeys)
{
    std::string line = std::string("$Name='\xE9\xFF") + '\0' + "x'";  // read whole, zero byte and all
    Put(kEngine, MakeEngine(kScript + line + "\r\n", 41, "f"));
    Buffers b = {"$server", "$LOGS='ignored'", "$missing='keep'", " x", "=y", "$NAME"};
    EXPECT_EQ(GetScript(b), 1);
    EXPECT_EQ(std::string(b[0]) + "|" + b[1] + "|" + b[2] + "|" + b[3] + "|" + b[4],
              "$Server='PDC'\r|$Logs='C:\\logs'\r|$missing='keep'| x|=y");  // empty keys: not line 0
    EXPECT_EQ(std::string(b[5], line.size() + 2), line + "\r" + '\0');
    EXPECT_EQ(Call(GetScriptVars, kEngine, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(Vars, SetScriptVarsReplacesAppendsAndRewritesWithCrLfAndTheVersionReadBefore)
{
    Put(kEngine, MakeEngine("$EngineVersion='4.1'\r\n$Server='PDC'\n\n$Logs='x'", 7, "ff"));  // no final LF
    SetScript("$SERVER='BDC'", "$New='1'", "", " skip", "=skip", "$new='2'");
    const std::string kRewritten = "$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n\n$Logs='x'\r\n$new='2'\r\n";
    EXPECT_EQ(Engine().strText, kRewritten);
    EXPECT_EQ(Engine().nVersion, 41);
    EXPECT_TRUE(TakeBoxes().empty());
    const std::pair<const char*, uint16_t> cases[] = {  // or the header keeps its own
        {"$EngineVersion='4.1'\r\n", 41},  {"$EngineVersion='12.5'\r\n", 1},   {"$EngineVersion=' 14'\n", 4},
        {"$EngineVersion='-.5'\n", 0xFFFB}, {"$EngineVersion='x.1'\n", 0},      {"$EngineVersion='4'\r\n", 4},
        {"$EngineVersion='4.'\n", 0x0A0B}, {"$EngineVersion=''\r\n", 0x0A0B}, {"$Server='PDC'\r\n", 0x0A0B}};
    for (const auto& [pszScript, nVersion] : cases) {
        Put(kEngine, MakeEngine(pszScript, 0x0A0B, ""));
        SetScript("$EngineVersion='5.2'", "", "", "", "", "");
        EXPECT_EQ(Engine().nVersion, nVersion) << pszScript;
    }
}

TEST_F(Vars, ScriptFailuresShowTheirBoxAndWriteNothing)
{
    std::string corrupt = MakeEngine(kScript, 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    const struct {
        std::string strEngine, strBox;
        QXBOOL bRead;  // what GetScriptVars gives for "$v5", without a box when it reads
        std::string strRead;
    } cases[] = {
        {corrupt, "Engine Corrupt|File Error|4096", 0, "$v5"},
        {std::string("B\x29\0\x05xx", 6), "Engine Corrupt|File Error|4096", 0, "$v5"},  // ends in its filler
        {"not an engine", "Your engine has an invalid version number.|Invalid Engine Version|0", 0, "$v5"},
        {MakeEngine(std::string(kTextBufferSize + 1, 'x'), 41, ""), kTooLargeBox, 0, "$v5"},
        {MakeEngine(Repeat(10000, "$v=1\r\n") + "$tail", 41, ""), kTooLargeBox, 0, "$v5"},  // 10,001 lines
        {MakeEngine(Repeat(10000, "=1\r\n", true), 41, ""), kTooLargeBox, 1, "$v5=1\r"},  // no room for a line
        {MakeEngine(std::string(kTextBufferSize - 20, 'x') + "\n$v5=1\n$brand_new=1\n", 41, ""), kTooLargeBox, 1,
         "$v5=1"}};  // the same lengths, but no room for CRs
    for (const auto& c : cases) {
        Put(kEngine, c.strEngine);
        SetScript("$v5=2", "$brand_new=1", "", "", "", "");
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{c.strBox});
        EXPECT_TRUE(File(kEngine) == c.strEngine);
        Buffers b = {"$v5"};
        EXPECT_EQ(GetScript(b), c.bRead);
        EXPECT_EQ(b[0], c.strRead);
        EXPECT_EQ(TakeBoxes().size(), c.bRead ? 0u : 1u);
    }
    Call(SetScriptVars, "C:\\qorvex\\none.kix", "$v=1", "", "", "", "", "");  // no engine at all
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096"});
    EXPECT_FALSE(sim.m_files.Exists("C:\\qorvex\\none.kix"));
    // An engine that cannot be replaced, or rewritten on a full disk, stays as it was.
    std::string engine = MakeEngine(kScript, 41, "");
    Put(kEngine, engine);
    sim.m_files.SetAttributes(kEngine, FILE_ATTRIBUTE_READONLY);
    SetScript("$Server='BDC'", "", "", "", "", "");
    sim.m_files.SetAttributes(kEngine, 0);
    sim.m_kernel.FailCall("WriteFile", ERROR_DISK_FULL);
    SetScript("$Server='BDC'", "", "", "", "", "");
    EXPECT_EQ(File(kEngine), engine);
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), std::vector<std::string>{"engine.kix"});
}

TEST_F(Vars, ManagerLinesAndEditor)
{
    const struct {
        std::string strFile, strRead;  // name1, name3, name4 and the editor read from the file
        const char* pszFault = nullptr;
        DWORD dwFault = 0;
    } cases[] = {
        {kIni, "Scripts=\\\\PDC\\NETLOGON|=x|Missing|NOTEPAD.EXE"},  // text mode: no carriage return
        {"EDITOR='C:\\edit.exe' =y= \r\n", "scripts|=x|Missing|'C:\\edit.exe' =y= "},  // unchanged
        {"Editor\r\n", "scripts|=x|Missing|"},
        {"SCRIPTS\r\n", "SCRIPTS|=x|Missing|ZARIZAV.EXE"},
        {kIni, "scripts|=x|Missing|ZARIZAV.EXE", "CreateFileA", ERROR_SHARING_VIOLATION},  // read as empty
        {kIni, "scripts|=x|Missing|untouched", "ReadFile", ERROR_READ_FAULT}};  // nothing changes
    for (const auto& c : cases) {
        if (c.pszFault != nullptr)
            sim.m_kernel.FailCall(c.pszFault, c.dwFault);
        Put(kManager, c.strFile);
        Buffers b = {"scripts", "", "=x", "Missing", "", "untouched"};
        GetManager(b);
        EXPECT_EQ(std::string(b[0]) + "|" + b[2] + "|" + b[3] + "|" + b[5], c.strRead);
        sim.m_kernel.ClearFaults();
    }
}

TEST_F(Vars, ManagerFilesRoundTripByteForByteInTextModeOrAreLeftAlone)
{
    // 0xFF is y-diaeresis in the ANSI code page; 0x00, 0x1A and a lone CR are kept too.
    std::string file = std::string("Name=J\xFFrg\r\nA=\x1A\x80\r\nB=x\ry\r\nZero=") + '\0' + "z\r\n\r\n";
    Put(kManager, file);
    Call(SetManagerVars, kManager, "Name=J\xFFrg", "B=x\ry", "", " skip", "=skip");  // empty keys: not line 0
    EXPECT_EQ(File(kManager), file);
    // A file that does not exist is created with the lines; not so in a folder that does not exist.
    Call(SetManagerVars, "C:\\qorvex\\new.ini", "Scripts=x", "", "Logs=y", "", "");
    EXPECT_EQ(File("C:\\qorvex\\new.ini"), "Scripts=x\r\nLogs=y\r\n");
    Call(SetManagerVars, "C:\\nowhere\\new.ini", "Scripts=x", "", "", "", "");
    EXPECT_FALSE(sim.m_files.Exists("C:\\nowhere"));
    const std::pair<const char*, DWORD> faults[] = {
        {"CreateFileA", ERROR_SHARING_VIOLATION}, {"ReadFile", ERROR_READ_FAULT}, {"WriteFile", ERROR_DISK_FULL}};
    for (auto [pszCall, dwError] : faults) {
        Put(kManager, kIni);
        sim.m_kernel.FailCall(pszCall, dwError);
        Call(SetManagerVars, kManager, "Scripts=new", "", "", "", "");
        EXPECT_EQ(File(kManager), kIni) << pszCall << dwError;
    }
    const std::string kAtLimit = "Editor=E\r\n" + std::string(kTextBufferSize - 10, 'x') + "\r\n";  // CR LF is one
    const struct {
        std::string strFile, strEditor, strSet, strAfter;  // strAfter empty: the file stays as it was
    } limits[] = {{"Editor=E\r\n" + std::string(kTextBufferSize, 'x'), "untouched", "Editor=F", ""},
                  {Repeat(10001, "Editor=E\r\n"), "untouched", "Editor=F", ""},
                  {kAtLimit, "E", "Scripts=x", ""},                       // one more line would not fit
                  {kAtLimit, "E", "Editor=F", "Editor=F" + kAtLimit.substr(8)}};  // the same length fits
    for (const auto& c : limits) {
        Put(kManager, c.strFile);
        Buffers e = {"Editor", "", "", "", "", "untouched"};
        GetManager(e);
        EXPECT_EQ(e[5], c.strEditor);
        Call(SetManagerVars, kManager, c.strSet.c_str(), "", "", "", "");
        EXPECT_TRUE(File(kManager) == (c.strAfter.empty() ? c.strFile : c.strAfter));
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

class ProgressWindow : public EngineTest {
protected:
    void TearDown() override
    {
        SPClose();  // never leave the module's window to the next test
        EngineTest::TearDown();
    }
    // The window's label, range and position once the call is checked to hold nothing but the
    // module's one window, without owner; "closed" when there is none and nothing is held.
    std::string State()
    {
        std::vector<HWND> windows = sim.m_ui.Dialogs(108);
        if (windows.empty() && g_pInstallProgressDlg == nullptr)
            return Settled() ? "closed" : sim.Report();
        if (windows.size() != 1 || sim.m_kernel.Outstanding() != 1 || sim.m_kernel.Outstanding("window") != 1 ||
            !sim.m_kernel.Misuses().empty() || sim.m_ui.Window(windows[0])->hParent != nullptr)
            return sim.Report();
        const sim::CSimWindow& bar = *sim.m_ui.Control(windows[0], 1004);
        return sim.m_ui.Text(windows[0], 1009) + "|" + std::to_string(bar.nLower) + ".." +
               std::to_string(bar.nUpper) + "|" + std::to_string(bar.nPos);
    }
};

TEST_F(ProgressWindow, OpenSetAndCloseTheOneWindow)
{
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);  // for the first open
    const std::pair<void (*)(), std::string> steps[] = {
        {[] { SPOpen(); }, "closed"},              // a window that cannot be created leaves the slot empty
        {[] { SPSetText("nobody"); }, "closed"},   // without a window nothing happens
        {[] { SPSetRange(0, 10); }, "closed"},
        {[] { SPSetPos(3); }, "closed"},
        {[] { SPClose(); }, "closed"},
        {[] { SPOpen(); }, "|0..100|0"},           // the template's "Please Wait..." is never seen
        {[] { SPSetText("Copying"); }, "Copying|0..100|0"},
        {[] { SPSetRange(0, 200000); }, "Copying|0..200000|0"},  // above 65535, kept whole
        {[] { SPSetPos(100000); }, "Copying|0..200000|100000"},
        {[] { SPOpen(); }, "Copying|0..200000|100000"},  // a second open keeps everything
        {[] { SPSetText(nullptr); }, "|0..200000|100000"},
        {[] { SPClose(); }, "closed"},
        {[] { SPClose(); }, "closed"},
        {[] { SPOpen(); }, "|0..100|0"},           // a fresh window
        {[] { CloseInstallProgressDlg(); }, "closed"}};  // what an unload does with a window still open
    for (const auto& [pfnStep, strState] : steps) {
        pfnStep();
        EXPECT_EQ(State(), strState) << "step " << &strState - &steps[0].second;
    }
    // Each bar message sits between a reading and a writing exchange that keep the label.
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{
                                  "create 108", "text 108/1009 ", "text 108/1009 Copying", "range 108/1004 0..200000",
                                  "text 108/1009 Copying", "pos 108/1004 100000", "text 108/1009 Copying",
                                  "text 108/1009 ", "destroy 108", "create 108", "text 108/1009 ", "destroy 108"}));
}

}  // namespace
}  // namespace qx::test
