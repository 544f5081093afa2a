// The four variable exports: whole lines of the engine's script and of the manager file, the engine
// version, the limits, and what every failure leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "engine_fixture.h"
#include "frame/text_buffer.h"

namespace qx::test {
namespace {

using Buffers = char[6][4096];  // as a host passes them; the sixth is the manager's editor
const char kManager[] = "C:\\qorvex\\qxmgr.ini";
const std::string kScript = "; login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='C:\\logs'\r\n";
const std::string kIni = "[File Locations]\r\nScripts=\\\\PDC\\NETLOGON\r\nEditor=NOTEPAD.EXE\r\n";
const std::string kTooLargeBox = std::string("Engine too large : ") + kEngine + "|Error|4096";

class SettingsVars : public EngineTest {
protected:
    QXBOOL GetScript(Buffers& b) { return Call(GetScriptVars, kEngine, b[0], b[1], b[2], b[3], b[4], b[5]); }
    void GetManager(Buffers& b) { Call(GetManagerVars, kManager, b[0], b[1], b[2], b[3], b[4], b[5]); }
    template <typename... T> void SetScript(const T&... lines) { Call(SetScriptVars, kEngine, lines...); }
    CParsedEngine Engine() const { return ParseEngine(File(kEngine)); }
};

TEST_F(SettingsVars, GetScriptVarsReturnsWholeLinesAndSkipsEmptyKeys)
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

TEST_F(SettingsVars, SetScriptVarsReplacesAppendsAndRewritesWithCrLfAndTheVersionReadBefore)
{
    Put(kEngine, MakeEngine("$EngineVersion='4.1'\r\n$Server='PDC'\n\n$Logs='x'", 7, "ff"));  // no final LF
    SetScript("$SERVER='BDC'", "$New='1'", "", " skip", "=skip", "$new='2'");
    const std::string kRewritten = "$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n\n$Logs='x'\r\n$new='2'\r\n";
    EXPECT_EQ(Engine().strText, kRewritten);
    EXPECT_EQ(Engine().nVersion, 41);
    EXPECT_TRUE(TakeBoxes().empty());
    const std::pair<const char*, uint16_t> cases[] = {
        // or the header keeps its own
        {"$EngineVersion='4.1'\r\n", 41},   {"$EngineVersion='12.5'\r\n", 1},  {"$EngineVersion=' 14'\n", 4},
        {"$EngineVersion='-.5'\n", 0xFFFB}, {"$EngineVersion='x.1'\n", 0},     {"$EngineVersion='4'\r\n", 4},
        {"$EngineVersion='4.'\n", 0x0A0B},  {"$EngineVersion=''\r\n", 0x0A0B}, {"$Server='PDC'\r\n", 0x0A0B}};
    for (const auto& [pszScript, nVersion] : cases) {
        Put(kEngine, MakeEngine(pszScript, 0x0A0B, ""));
        SetScript("$EngineVersion='5.2'", "", "", "", "", "");
        EXPECT_EQ(Engine().nVersion, nVersion) << pszScript;
    }
}

TEST_F(SettingsVars, ScriptFailuresShowTheirBoxAndWriteNothing)
{
    std::string corrupt = MakeEngine(kScript, 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    // The engine, the box SetScriptVars shows, and what GetScriptVars reads for "$v5" (unchanged:
    // nothing, with a box): one that ends in its filler, 10,001 lines, no room for a new line, the
    // same lengths but no room for CRs.
    const std::string kCorruptBox = "Engine Corrupt|File Error|4096";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {corrupt, kCorruptBox, "$v5"},
        {std::string("B\x29\0\x05xx", 6), kCorruptBox, "$v5"},
        {"not an engine", "Your engine has an invalid version number.|Invalid Engine Version|0", "$v5"},
        {MakeEngine(std::string(kTextBufferSize + 1, 'x'), 41, ""), kTooLargeBox, "$v5"},
        {MakeEngine(Repeat(10000, "$v=1\r\n") + "$tail", 41, ""), kTooLargeBox, "$v5"},
        {MakeEngine(Repeat(10000, "=1\r\n", true), 41, ""), kTooLargeBox, "$v5=1\r"},
        {MakeEngine(std::string(kTextBufferSize - 20, 'x') + "\n$v5=1\n$brand_new=1\n", 41, ""), kTooLargeBox,
         "$v5=1"}};
    for (const auto& [strEngine, strBox, strRead] : cases) {
        Put(kEngine, strEngine);
        SetScript("$v5=2", "$brand_new=1", "", "", "", "");
        EXPECT_EQ(TakeBoxes(), std::vector<std::string> {strBox});
        EXPECT_TRUE(File(kEngine) == strEngine);
        Buffers b = {"$v5"};
        EXPECT_EQ(GetScript(b), strRead != "$v5");
        EXPECT_EQ(b[0], strRead);
        EXPECT_EQ(TakeBoxes().size(), strRead != "$v5" ? 0u : 1u);
    }
    Call(SetScriptVars, "C:\\qorvex\\none.kix", "$v=1", "", "", "", "", "");  // no engine at all
    EXPECT_EQ(TakeBoxes(), std::vector<std::string> {"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096"});
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
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), std::vector<std::string> {"engine.kix"});
}

// Memory running out anywhere in GetScriptVars gives 0 with all six buffers as they were, never some
// lines read and the others not.
TEST_F(SettingsVars, GetScriptVarsOutOfMemoryLeavesEveryBufferUnchanged)
{
    Put(kEngine, MakeEngine(kScript + "$Long='" + std::string(40, 'x') + "'\r\n", 41, "f"));
    auto get = [&] {
        Buffers b = {"$server", "$logs", "$missing", "", "$LONG", "; login"};
        QXBOOL bRead = OwnCode([&] { return GetScriptVars(kEngine, b[0], b[1], b[2], b[3], b[4], b[5]); });
        std::string strGot = std::to_string(bRead);
        for (const char* pszBuffer : b)
            strGot += "|" + std::string(pszBuffer);
        return strGot + (sim.Clean() ? "" : "|" + sim.Report());
    };
    const std::string strRead =
        "1|$Server='PDC'\r|$Logs='C:\\logs'\r|$missing||$Long='" + std::string(40, 'x') + "'\r|; login script\r";
    EXPECT_GE(EachProcedureAllocationFails(get, "0|$server|$logs|$missing||$LONG|; login", strRead, true), 10);
}

TEST_F(SettingsVars, EnginesOf4GiBAndBeyondAreTooLarge)
{
    const std::string strHead = MakeEngine(kScript, 41, "");
    for (long long nSize : {0xFFFFFFFFLL, 0x100000000LL + static_cast<long long>(strHead.size())}) {
        SCOPED_TRACE(nSize);
        sim.m_files.SetSparseFile(kEngine, strHead, nSize);
        Buffers b = {"$Server"};
        EXPECT_EQ(GetScript(b), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string> {kTooLargeBox});
        EXPECT_EQ(b[0], std::string("$Server"));
    }
}

TEST_F(SettingsVars, ManagerLinesAndEditor)
{
    // The file, name1, name3, name4 and the editor read from it (text mode: no carriage return; the
    // editor's text unchanged), and the call failing: an unopened file reads as empty, a failed read
    // changes nothing.
    const std::tuple<std::string, std::string, const char*, DWORD> cases[] = {
        {kIni, "Scripts=\\\\PDC\\NETLOGON|=x|Missing|NOTEPAD.EXE", nullptr, 0},
        {"EDITOR='C:\\edit.exe' =y= \r\n", "scripts|=x|Missing|'C:\\edit.exe' =y= ", nullptr, 0},
        {"Editor\r\n", "scripts|=x|Missing|", nullptr, 0},
        {"SCRIPTS\r\n", "SCRIPTS|=x|Missing|ZARIZAV.EXE", nullptr, 0},
        {kIni, "scripts|=x|Missing|ZARIZAV.EXE", "CreateFileA", ERROR_SHARING_VIOLATION},
        {kIni, "scripts|=x|Missing|untouched", "ReadFile", ERROR_READ_FAULT}};
    for (const auto& [strFile, strRead, pszFault, dwFault] : cases) {
        if (pszFault != nullptr)
            sim.m_kernel.FailCall(pszFault, dwFault);
        Put(kManager, strFile);
        Buffers b = {"scripts", "", "=x", "Missing", "", "untouched"};
        GetManager(b);
        EXPECT_EQ(std::string(b[0]) + "|" + b[2] + "|" + b[3] + "|" + b[5], strRead);
        sim.m_kernel.ClearFaults();
    }
}

TEST_F(SettingsVars, ManagerFilesRoundTripByteForByteInTextModeOrAreLeftAlone)
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
    // The file, the editor read, the line set, the file after (empty: as it was).
    const std::tuple<std::string, std::string, std::string, std::string> limits[] = {
        {"Editor=E\r\n" + std::string(kTextBufferSize, 'x'), "untouched", "Editor=F", ""},
        {Repeat(10001, "Editor=E\r\n"), "untouched", "Editor=F", ""},
        {kAtLimit, "E", "Scripts=x", ""},  // one more line would not fit
        {kAtLimit, "E", "Editor=F", "Editor=F" + kAtLimit.substr(8)}};  // the same length fits
    for (const auto& [strFile, strEditor, strSet, strAfter] : limits) {
        Put(kManager, strFile);
        Buffers e = {"Editor", "", "", "", "", "untouched"};
        GetManager(e);
        EXPECT_EQ(e[5], strEditor);
        Call(SetManagerVars, kManager, strSet.c_str(), "", "", "", "");
        EXPECT_TRUE(File(kManager) == (strAfter.empty() ? strFile : strAfter));
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
