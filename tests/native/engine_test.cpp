// The settings engine: the token table, engine files and the four variable exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "engine/token_table.h"
#include "engine_fixture.h"
#include "frame/text_buffer.h"

namespace qx::test {
namespace {

using Lines = std::vector<std::string>;

std::unique_ptr<CTokenTable> Load(const std::string& strText)
{
    auto pTable = std::make_unique<CTokenTable>();
    pTable->Load(strText.data(), strText.size());
    return pTable;
}

// The text written into a buffer of cbBuffer bytes, or "refused" (the buffer untouched).
std::string WrittenText(const CTokenTable& table, size_t cbBuffer)
{
    std::string strBuffer(cbBuffer + 1, '#');  // one byte past the buffer, never to be written
    size_t cbText = 99;
    if (!table.WriteTo(&strBuffer[0], cbBuffer, &cbText))
        return strBuffer == std::string(cbBuffer + 1, '#') && cbText == 99 ? "refused" : "refused, but written";
    if (cbText > cbBuffer || strBuffer[cbBuffer] != '#')
        return "written past the buffer";
    return strBuffer.substr(0, cbText);
}

Lines LinesOf(const CTokenTable& table) { return Lines(table.m_lines.begin(), table.m_lines.begin() + table.m_nLines); }

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
    EXPECT_EQ(LinesOf(*pTable), (Lines {"l0", "l1", "new", "l2", "l3", "last"}));
    pTable = Load("");  // appending to an empty table stores the line
    EXPECT_TRUE(pTable->SetLine(-1, "Scripts=x") && pTable->SetLine(-1, "Logs=y"));
    EXPECT_EQ(WrittenText(*pTable, 64), "Scripts=x\nLogs=y\n");
    pTable = Load(Repeat(kMaxTokenLines, "\n"));  // a full table takes no new line
    EXPECT_FALSE(pTable->InsertLine(5, "new") || pTable->SetLine(-1, "new"));
    EXPECT_EQ(pTable->m_nLines, kMaxTokenLines);
}

TEST_F(TokenTable, KeysIgnoreCaseByTheCharactersOfTheSystemsCodePage)
{
    // Code page 932: ア is 83 41 and ヂ 83 61, a second byte never folded alone; full-width and Cyrillic fold whole.
    const std::tuple<UINT, const char*, const char*, int> cases[] = {
        {932, "$\x83\x41='first'\n$\x83\x61='second'\n", "$\x83\x61='new'", 1},
        {932, "$\x83\x41='first'\n", "$\x83\x61", -1},
        {932, "$\x83\x41x='1'\n$\x83\x41X='2'\n", "$\x83\x41X", 0},
        {932, "$\x82\x60='A'\n", "$\x82\x81='a'", 0},
        {932, "$\x84\x70\x62='1'\n", "$\x84\x40\x42", 0},
        {932, "$\x83\x61\n$\x83=\n", "$\x83", 0},
        {1252, "\xE9t\xE9\n\xE0 la\n", "\xC0", 1},
        {1252, "$\x83\x41='first'\n$\x83\x61='second'\n", "$\x83\x61", 0},  // 1252: a and A
        {1251, "$\xE8\xEC\xFF='1'\n", "$\xC8\xCC\xDF", 0}};
    for (const auto& [nCodePage, pszText, pszName, nLine] : cases) {
        SCOPED_TRACE(std::to_string(nCodePage) + " " + pszName);
        sim.m_system.SetAnsiCodePage(nCodePage);
        EXPECT_EQ(Load(pszText)->FindLine(pszName), nLine);
    }
}

TEST_F(TokenTable, TheTextIsWrittenBackOnlyWhenAskedAndOnlyWhenItFits)
{
    auto pTable = Load("a\r\nb\n\nlast");
    EXPECT_EQ(WrittenText(*pTable, 11), "a\r\nb\n\nlast\n");
    EXPECT_EQ(WrittenText(*pTable, 10), "refused");
    pTable->m_bAddCR = true;
    EXPECT_EQ(pTable->TextSize(), 13u);
    EXPECT_EQ(WrittenText(*pTable, 13), "a\r\nb\r\n\nlast\r\n");
    EXPECT_EQ(WrittenText(*pTable, 12), "refused");
    EXPECT_EQ(WrittenText(*Load(""), 0), "");

    ASSERT_TRUE(pTable->Load("x\ny", 3));
    EXPECT_EQ(WrittenText(*pTable, 64), "x\r\ny\r\n");
    const std::string strTooMany = Repeat(kMaxTokenLines + 1, "x\n");
    EXPECT_FALSE(pTable->Load(strTooMany.data(), strTooMany.size()));
    EXPECT_EQ(pTable->m_nLines, 0);
    EXPECT_EQ(WrittenText(*pTable, 64), "refused");
    ASSERT_TRUE(pTable->Load("z", 1));  // a table refused once loads again
    EXPECT_EQ(WrittenText(*pTable, 64), "z\r\n");
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);  // no loading window
    EXPECT_EQ(WrittenText(*Load("a\nb"), 64), "a\nb\n");
}

TEST_F(TokenTable, AnAllocationFailingAsTheLoadingWindowOpensLoadsWithoutIt)
{
    auto load = [&] {
        sim.m_ui.m_log.clear();
        std::string strRun;
        for (const std::string& strLine : LinesOf(*Load("a\nb")))
            strRun += strLine + " ";
        long nMoves = std::count_if(sim.m_ui.m_log.begin(), sim.m_ui.m_log.end(),
                                    [](const std::string& strEntry) { return strEntry.rfind("pos ", 0) == 0; });
        return strRun + "|" + std::to_string(sim.m_ui.Dialogs(129).size()) + "|" + std::to_string(nMoves) +
               (sim.Clean() ? "" : "|" + sim.Report());
    };
    EXPECT_GE(EachProcedureAllocationFails(load, "a b |0|0", "a b |0|2"), 1);
}

const std::string kCorruptBox = "Engine Corrupt|File Error|4096";
const std::string kOutputBox = "Cannot open output.|File Error|0";

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
        EXPECT_EQ(Settle(Encrypt, kPlain, kEngine, nVersion), 1);
        return File(kEngine);
    }
    // Decrypt fails with the one box given, leaving the old destination and no temporary file.
    void ExpectDecryptRefused(const std::string& strEngine, const std::string& strBox)
    {
        Put(kEngine, strEngine);
        Put(kPlain, "keep me");
        EXPECT_EQ(Settle(Decrypt, kEngine, kPlain), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string> {strBox});
        EXPECT_EQ(File(kPlain), "keep me");
        EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string> {"engine.kix", "engine.txt"}));
    }
};

TEST_F(EngineFiles, TransformFollowsTheKeyAndRunningOffsetAndEveryByteRoundTrips)
{
    // Zero bytes show K[i mod 10] + r(i); the 10th uses the key's zero byte.
    const unsigned kOffsets[] = {15, 16, 19, 24, 31, 40, 51, 64, 79, 96, 105, 116};
    std::string file = EncryptText(std::string(12, '\0'), 41);
    std::string payload = file.substr(4 + static_cast<unsigned char>(file[3]));
    ASSERT_EQ(payload.size(), 13u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(payload[i], static_cast<char>("RODEDURUV"[i % 10] + kOffsets[i])) << i;
    std::string text = Bytes(3000000, 7);
    EXPECT_EQ(ParseEngine(EncryptText(text, 0x7FFF9234)).nVersion, 0x9234);  // the low 16 bits, all of them
    EXPECT_TRUE(ParseEngine(File(kEngine)).strText == text);
    Put(kEngine, MakeEngine(text, 50, "xyz"));
    EXPECT_EQ(Settle(Decrypt, kEngine, kPlain), 1);
    EXPECT_TRUE(File(kPlain) == text);
    // Encrypt draws 0..100 filler bytes from the time.
    std::set<int> counts;
    for (int64_t nSeconds = 1700000000; nSeconds < 1700000200; ++nSeconds) {
        sim.m_clock.m_nSeconds = nSeconds;
        std::string block = Bytes(512, static_cast<unsigned>(nSeconds), false);
        CParsedEngine engine = ParseEngine(EncryptText(block, 41));  // every byte, every filler count
        ASSERT_EQ(engine.strText, block);
        ASSERT_LE(engine.nFiller, 100);
        counts.insert(engine.nFiller);
        ASSERT_EQ(Settle(Decrypt, kEngine, kPlain), 1);
        ASSERT_EQ(File(kPlain), block);
    }
    EXPECT_GT(counts.size(), 60u);
    EXPECT_EQ(ParseEngine(EncryptText("", 30)).strText, "");  // header, filler and a zero checksum
    EXPECT_EQ(Settle(Decrypt, kEngine, kPlain), 1);
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
        EXPECT_EQ(Settle(Decrypt, kEngine, kPlain), 1) << i;
    }
}

TEST_F(EngineFiles, PathsThatCannotBeUsedFailClearlyAndOneFileCanBeBoth)
{
    sim.m_files.SetFreeBytes(100000);  // a full disk
    ExpectDecryptRefused(MakeEngine(Bytes(150000, 5), 41, "ff"), kOutputBox);
    sim.m_files.SetFreeBytes(-1);
    Put(kEngine, MakeEngine("text", 41, ""));
    Put(kPlain, "text");
    Put("C:\\qorvex\\locked", "locked");
    sim.m_files.SetAttributes("C:\\qorvex\\locked", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Settle(Decrypt, "C:\\qorvex\\missing", kPlain), 0);
    EXPECT_EQ(Settle(Encrypt, "C:\\qorvex\\missing", kPlain, 41), 0);
    EXPECT_EQ(Settle(Decrypt, kEngine, "C:\\qorvex\\locked"), 0);
    EXPECT_EQ(Settle(Encrypt, kPlain, "C:\\qorvex\\locked", 41), 0);  // without a box
    EXPECT_EQ(TakeBoxes(), (std::vector<std::string> {"Cannot Find Engine : C:\\qorvex\\missing|Error|4096",
                                                      "Cannot Find Engine : C:\\qorvex\\missing|Error|0", kOutputBox}));
    EXPECT_EQ(File("C:\\qorvex\\locked") + File(kPlain), "lockedtext");
    EXPECT_EQ(Settle(Decrypt, kEngine, nullptr) + Settle(Encrypt, kPlain, nullptr, 41), 0);  // no destination
    EXPECT_EQ(TakeBoxes(), std::vector<std::string> {kOutputBox});
    EXPECT_EQ(sim.m_files.List("C:\\qorvex"), (std::vector<std::string> {"engine.kix", "engine.txt", "locked"}));
    EXPECT_EQ(Settle(Encrypt, kPlain, kPlain, 41), 1);
    EXPECT_EQ(Settle(Decrypt, kPlain, kPlain), 1);
    EXPECT_EQ(File(kPlain), "text");
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
        EXPECT_EQ(Settle(GetEngineVersion, kEngine), nVersion) << strFile.size();
    }
    EXPECT_EQ(Settle(GetEngineVersion, "C:\\qorvex\\missing.kix"), 0);
    EXPECT_EQ(Settle(GetEngineVersion, nullptr), 0);
    sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
    EXPECT_EQ(Settle(GetEngineVersion, kEngine), 0);
    EXPECT_TRUE(TakeBoxes().empty());
}

using Buffers = char[6][4096];  // as a host passes them; the sixth is the manager's editor
const char kManager[] = "C:\\qorvex\\qxmgr.ini";
const std::string kScript = "; login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='C:\\logs'\r\n";
const std::string kIni = "[File Locations]\r\nScripts=\\\\PDC\\NETLOGON\r\nEditor=NOTEPAD.EXE\r\n";
const std::string kTooLargeBox = std::string("Engine too large : ") + kEngine + "|Error|4096";

class SettingsVars : public EngineTest {
protected:
    QXBOOL GetScript(Buffers& b) { return Settle(GetScriptVars, kEngine, b[0], b[1], b[2], b[3], b[4], b[5]); }
    void GetManager(Buffers& b) { Settle(GetManagerVars, kManager, b[0], b[1], b[2], b[3], b[4], b[5]); }
    template <typename... T> void SetScript(const T&... lines) { Settle(SetScriptVars, kEngine, lines...); }
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
    EXPECT_EQ(Settle(GetScriptVars, kEngine, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
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
    // The engine, SetScriptVars' box, and what GetScriptVars reads for "$v5" ("$v5": nothing, with a box).
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {corrupt, kCorruptBox, "$v5"},
        {std::string("B\x29\0\x05xx", 6), kCorruptBox, "$v5"},
        {"not an engine", "Your engine has an invalid version number.|Invalid Engine Version|0", "$v5"},
        {MakeEngine(std::string(kTextBufferSize + 1, 'x'), 41, ""), kTooLargeBox, "$v5"},
        {MakeEngine(Repeat(10000, "$v=1\r\n") + "$tail", 41, ""), kTooLargeBox, "$v5"},
        {MakeEngine(Numbered("$v", 0, 9999, "=1\r\n"), 41, ""), kTooLargeBox, "$v5=1\r"},
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
    Settle(SetScriptVars, "C:\\qorvex\\none.kix", "$v=1", "", "", "", "", "");  // no engine at all
    EXPECT_EQ(TakeBoxes(), std::vector<std::string> {"Cannot Find Engine : C:\\qorvex\\none.kix|Error|4096"});
    EXPECT_FALSE(sim.m_files.Exists("C:\\qorvex\\none.kix"));
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
    sim.m_files.SetSparseFile(kEngine, strHead, 0x100000000LL + static_cast<long long>(strHead.size()));
    Buffers b = {"$Server"};
    EXPECT_EQ(GetScript(b), 0);
    EXPECT_EQ(TakeBoxes(), std::vector<std::string> {kTooLargeBox});
    EXPECT_EQ(b[0], std::string("$Server"));
}

TEST_F(SettingsVars, ManagerLinesAndEditor)
{
    // The file, name1, name3, name4 and the editor read, and the call failing.
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
    std::string file = std::string("Name=J\xFFrg\r\nA=\x1A\x80\r\nB=x\ry\r\nZero=") + '\0' + "z\r\n\r\n";
    Put(kManager, file);
    Settle(SetManagerVars, kManager, "Name=J\xFFrg", "B=x\ry", "", " skip", "=skip");  // empty keys: not line 0
    EXPECT_EQ(File(kManager), file);
    Settle(SetManagerVars, "C:\\qorvex\\new.ini", "Scripts=x", "", "Logs=y", "", "");
    EXPECT_EQ(File("C:\\qorvex\\new.ini"), "Scripts=x\r\nLogs=y\r\n");
    Settle(SetManagerVars, "C:\\nowhere\\new.ini", "Scripts=x", "", "", "", "");
    EXPECT_FALSE(sim.m_files.Exists("C:\\nowhere"));
    const std::pair<const char*, DWORD> faults[] = {
        {"CreateFileA", ERROR_SHARING_VIOLATION}, {"ReadFile", ERROR_READ_FAULT}, {"WriteFile", ERROR_DISK_FULL}};
    for (auto [pszCall, dwError] : faults) {
        Put(kManager, kIni);
        sim.m_kernel.FailCall(pszCall, dwError);
        Settle(SetManagerVars, kManager, "Scripts=new", "", "", "", "");
        EXPECT_EQ(File(kManager), kIni) << pszCall << dwError;
    }
    const std::string kAtLimit = "Editor=E\r\n" + std::string(kTextBufferSize - 10, 'x') + "\r\n";
    // The file, the editor read, the line set, the file after (empty: as it was); CR LF counts one.
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
        Settle(SetManagerVars, kManager, strSet.c_str(), "", "", "", "");
        EXPECT_TRUE(File(kManager) == (strAfter.empty() ? strFile : strAfter));
    }
    EXPECT_TRUE(TakeBoxes().empty());
}

}  // namespace
}  // namespace qx::test
