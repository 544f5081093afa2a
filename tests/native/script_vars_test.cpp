// GetScriptVars and SetScriptVars: whole lines read and stored in the engine's script, the engine
// version worked out from the script, the limits, and what every failure leaves behind.
#include <gtest/gtest.h>

#include <cstring>

#include "engine_fixture.h"
#include "frame/text_buffer.h"
#include "qxinst.h"

namespace qx::test {
namespace {

const char kEngine[] = "C:\\qorvex\\engine.kix";
const std::string kScript = "; Qorvex login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='C:\\logs'\r\n";

class ScriptVars : public EngineTest {
protected:
    // Six buffers as a host passes them, each large enough for any line of these tests.
    struct CBuffers {
        char sz[6][4096] = {};
        explicit CBuffers(std::vector<std::string> names)
        {
            for (size_t i = 0; i < names.size(); ++i)
                std::strcpy(sz[i], names[i].c_str());
        }
        std::string operator[](size_t i) const { return sz[i]; }
    };

    QXBOOL Get(CBuffers& b) { return GetScriptVars(kEngine, b.sz[0], b.sz[1], b.sz[2], b.sz[3], b.sz[4], b.sz[5]); }
    void Set(std::vector<std::string> lines)
    {
        lines.resize(6);
        SetScriptVars(kEngine, lines[0].c_str(), lines[1].c_str(), lines[2].c_str(), lines[3].c_str(),
                      lines[4].c_str(), lines[5].c_str());
    }
    CParsedEngine Engine() const { return ParseEngine(File(kEngine)).value_or(CParsedEngine{0, -1, "<unsound>"}); }
    std::string TooLargeBox() const { return std::string("Engine too large : ") + kEngine + "|Error|4096"; }
};

// ---- reading ----

TEST_F(ScriptVars, GetReturnsWholeLinesWithTheirCarriageReturn)
{
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, "f"));
    CBuffers b({"$server", "$LOGS='ignored'", "$missing='keep'", "$Engine", "", ""});
    EXPECT_EQ(Get(b), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(b[0], "$Server='PDC'\r");
    EXPECT_EQ(b[1], "$Logs='C:\\logs'\r");
    EXPECT_EQ(b[2], "$missing='keep'");
    EXPECT_EQ(b[3], "$EngineVersion='4.1'\r");
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(File(kEngine), MakeEngine(kScript, 41, "f"));  // reading writes nothing
}

TEST_F(ScriptVars, GetLeavesBuffersWithAnEmptyKeyUnchanged)
{
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, ""));
    CBuffers b({"", " leading space", "=value", "\nx", "$Server", ""});
    EXPECT_EQ(Get(b), 1);
    EXPECT_EQ(b[0], "");
    EXPECT_EQ(b[1], " leading space");
    EXPECT_EQ(b[2], "=value");
    EXPECT_EQ(b[3], "\nx");
    EXPECT_EQ(b[4], "$Server='PDC'\r");
    char szLast[64] = "$Logs";
    EXPECT_EQ(GetScriptVars(kEngine, nullptr, nullptr, nullptr, nullptr, nullptr, szLast), 1);
    EXPECT_STREQ(szLast, "$Logs='C:\\logs'\r");
    EXPECT_TRUE(Settled());
}

TEST_F(ScriptVars, LinesWithZeroAndHighBytesAreReturnedWhole)
{
    std::string line = std::string("$Name='\xE9\xFF\x80") + '\0' + "tail'";
    sim.m_files.SetFile(kEngine, MakeEngine(line + "\r\n", 41, ""));
    CBuffers b({"$NAME"});
    EXPECT_EQ(Get(b), 1);
    EXPECT_EQ(std::string(b.sz[0], line.size() + 2), line + "\r" + '\0');
}

TEST_F(ScriptVars, GetFailuresShowTheEngineBoxAndLeaveEveryBuffer)
{
    std::string corrupt = MakeEngine(kScript, 41, "");
    corrupt[6] = static_cast<char>(corrupt[6] ^ 1);
    std::string foreign = "not an engine";
    const struct {
        const char* pszFile;
        std::string strBox;
    } cases[] = {
        {nullptr, std::string("Cannot Find Engine : ") + kEngine + "|Error|4096"},
        {foreign.c_str(), "Your engine has an invalid version number.|Invalid Engine Version|0"},
        {corrupt.c_str(), "Engine Corrupt|File Error|4096"},
    };
    for (const auto& c : cases) {
        if (c.pszFile != nullptr)
            sim.m_files.SetFile(kEngine, c.pszFile == corrupt.c_str() ? corrupt : foreign);
        CBuffers b({"$Server", "$Logs"});
        EXPECT_EQ(Get(b), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{c.strBox});
        EXPECT_EQ(b[0], "$Server");
        EXPECT_EQ(b[1], "$Logs");
    }
}

TEST_F(ScriptVars, ConsecutiveCallsSeeNothingOfEachOther)
{
    std::string longScript = kScript + "$Only='in the long one'\r\n";
    sim.m_files.SetFile(kEngine, MakeEngine(longScript, 41, ""));
    CBuffers first({"$Only"});
    EXPECT_EQ(Get(first), 1);
    sim.m_files.SetFile(kEngine, MakeEngine("$Server='BDC'\r\n", 41, ""));
    CBuffers second({"$Only", "$Server"});
    EXPECT_EQ(Get(second), 1);
    EXPECT_EQ(second[0], "$Only");
    EXPECT_EQ(second[1], "$Server='BDC'\r");
}

TEST_F(ScriptVars, EachCallShowsTheLoadingWindowWhileTheScriptIsSplit)
{
    RegisterProgressTemplates();
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, ""));
    CBuffers b({"$Server"});
    EXPECT_EQ(Get(b), 1);
    Set({"$Server='BDC'"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 2);
    EXPECT_TRUE(sim.m_ui.Dialogs(kUpdateTemplate).empty());
    EXPECT_EQ(sim.m_ui.m_log[1], "range 129/1004 0.." + std::to_string(kScript.size()));
}

// ---- writing ----

TEST_F(ScriptVars, SetReplacesMatchingLinesAndAddsCarriageReturns)
{
    sim.m_files.SetFile(kEngine, MakeEngine("$EngineVersion='4.1'\n$Server='PDC'\n\n$Logs='x'\r\n", 7, ""));
    Set({"$SERVER='BDC'"});
    EXPECT_TRUE(Settled());
    CParsedEngine engine = Engine();
    EXPECT_EQ(engine.strText, "$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n\n$Logs='x'\r\n");
    EXPECT_EQ(engine.nVersion, 41);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(ScriptVars, SetAppendsNewKeysOnceThenReplacesThem)
{
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, ""));
    Set({"$New='1'", "$new='2'", "", "=skipped", " skipped", "$Logs='D:\\logs'"});
    EXPECT_EQ(Engine().strText,
              "; Qorvex login script\r\n$EngineVersion='4.1'\r\n$Server='PDC'\r\n$Logs='D:\\logs'\r\n$new='2'\r\n");
}

TEST_F(ScriptVars, SetIgnoresNullAndEmptyKeyedTexts)
{
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, ""));
    SetScriptVars(kEngine, nullptr, "", " x", "=y", "\n", nullptr);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(Engine().strText, kScript);  // line 0 kept
}

TEST_F(ScriptVars, HeaderGetsTheVersionReadBeforeTheChange)
{
    const struct {
        const char* pszValue;
        uint16_t nExpected;
    } cases[] = {{"4.1", 41}, {"3.0", 30}, {"12.5", 1}, {" 14", 4}, {" 4.1", 0}, {"-.5", 0xFFFB}, {"x.1", 0}, {"9.9.9", 99}};
    for (const auto& c : cases) {
        sim.m_files.SetFile(kEngine, MakeEngine(std::string("$EngineVersion='") + c.pszValue + "'\r\n", 7, ""));
        Set({"$EngineVersion='5.2'"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Engine().nVersion, c.nExpected) << c.pszValue;
        EXPECT_EQ(Engine().strText, "$EngineVersion='5.2'\r\n");
    }
}

TEST_F(ScriptVars, WithoutAVersionValueTheHeadersNumberIsKept)
{
    for (std::string script : {std::string("$Server='PDC'\r\n"), std::string("$EngineVersion='4'\n"),
                               std::string("$EngineVersion=''\r\n"), std::string("$ENGINEVERSION='4.'\n")}) {
        sim.m_files.SetFile(kEngine, MakeEngine(script, 0x0A0B, ""));
        Set({"$Server='BDC'"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(Engine().nVersion, 0x0A0B) << script;
    }
}

TEST_F(ScriptVars, SetRewritesWithFreshFillerEvenWithoutAChange)
{
    sim.m_files.SetFile(kEngine, MakeEngine(kScript, 41, std::string(37, 'f')));
    sim.m_clock.m_nSeconds = 1234567;
    Set({});
    CParsedEngine engine = Engine();
    EXPECT_EQ(engine.strText, kScript);
    EXPECT_NE(File(kEngine), MakeEngine(kScript, 41, std::string(37, 'f')));
}

TEST_F(ScriptVars, SetFailuresWriteNothing)
{
    Set({"$Server='BDC'"});  // no engine at all
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{std::string("Cannot Find Engine : ") + kEngine + "|Error|4096"});
    EXPECT_FALSE(sim.m_files.Exists(kEngine));

    std::string corrupt = MakeEngine(kScript, 41, "");
    corrupt.back() = static_cast<char>(corrupt.back() + 1);
    sim.m_files.SetFile(kEngine, corrupt);
    Set({"$Server='BDC'"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Engine Corrupt|File Error|4096"});
    EXPECT_EQ(File(kEngine), corrupt);
}

TEST_F(ScriptVars, AnEngineThatCannotBeReplacedStaysAsItWas)
{
    std::string engine = MakeEngine(kScript, 41, "");
    sim.m_files.SetFile(kEngine, engine);
    sim.m_files.SetAttributes(kEngine, FILE_ATTRIBUTE_READONLY);
    Set({"$Server='BDC'"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(File(kEngine), engine);

    sim.m_files.SetAttributes(kEngine, 0);
    // The engine's own read closes the first handle; the rewrite's is the second.
    const std::pair<const char*, int> faults[] = {
        {"WriteFile", 1}, {"CloseHandle", 2}, {"ReplaceFileA", 1}, {"GetTempFileNameA", 1}};
    for (auto [pszCall, nNth] : faults) {
        sim.m_kernel.FailCall(pszCall, ERROR_DISK_FULL, nNth);
        Set({"$Server='BDC'"});
        EXPECT_TRUE(Settled()) << pszCall;
        EXPECT_EQ(File(kEngine), engine) << pszCall;
        EXPECT_EQ(sim.m_files.List("C:\\qorvex"), std::vector<std::string>{"engine.kix"});
    }
    sim.m_kernel.ClearFaults();
}

// ---- limits ----

TEST_F(ScriptVars, ScriptsOfMoreThanTwoMillionBytesOrTenThousandLinesAreRefused)
{
    std::string tooLong(kTextBufferSize + 1, 'x');
    std::string tooManyLines;
    for (int i = 0; i <= 10000; ++i)
        tooManyLines += "$v=1\r\n";
    for (const std::string& script : {tooLong, tooManyLines}) {
        std::string engine = MakeEngine(script, 41, "");
        sim.m_files.SetFile(kEngine, engine);
        CBuffers b({"$v", "$EngineVersion"});
        EXPECT_EQ(Get(b), 0);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{TooLargeBox()});
        EXPECT_EQ(b[0], "$v");
        Set({"$v=2"});
        EXPECT_TRUE(Settled());
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{TooLargeBox()});
        EXPECT_EQ(File(kEngine), engine);
    }
}

TEST_F(ScriptVars, AChangeThatWouldOverflowIsRefusedAsAWhole)
{
    // A full table takes replacements but no new line.
    std::string full;
    for (int i = 0; i < 10000; ++i)
        full += "$v" + std::to_string(i) + "=1\r\n";
    std::string engine = MakeEngine(full, 41, "");
    sim.m_files.SetFile(kEngine, engine);
    Set({"$v5=2"});
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_NE(Engine().strText.find("$v5=2\r\n"), std::string::npos);
    engine = File(kEngine);
    Set({"$v6=3", "$brand_new=1"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{TooLargeBox()});
    EXPECT_EQ(File(kEngine), engine);

    // A text exactly at the limit whose lines gain carriage returns on the rewrite.
    std::string atLimit = std::string(kTextBufferSize - 6, 'x') + "\n$a=1\n";
    engine = MakeEngine(atLimit, 41, "");
    sim.m_files.SetFile(kEngine, engine);
    CBuffers b({"$a"});
    EXPECT_EQ(Get(b), 1);  // reading is fine
    EXPECT_EQ(b[0], "$a=1");
    Set({"$a=2"});
    EXPECT_TRUE(Settled());
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{TooLargeBox()});
    EXPECT_EQ(File(kEngine), engine);
}

TEST_F(ScriptVars, AScriptOfExactlyTheLimitsIsChanged)
{
    std::string script;
    for (int i = 0; i < 9999; ++i)
        script += "$v" + std::to_string(i) + "='" + std::string(180, static_cast<char>('a' + i % 26)) + "'\r\n";
    script += std::string(kTextBufferSize - script.size() - 2, 'z') + "\r\n";
    ASSERT_EQ(script.size(), static_cast<size_t>(kTextBufferSize));  // and 10,000 lines
    sim.m_files.SetFile(kEngine, MakeEngine(script, 41, ""));
    Set({"$v5000='changed'"});
    EXPECT_TRUE(Settled());
    EXPECT_TRUE(TakeBoxes().empty());
    std::string text = Engine().strText;
    EXPECT_NE(text.find("\r\n$v5000='changed'\r\n$v5001='"), std::string::npos);
    EXPECT_EQ(text.size(), script.size() - 180 + 7);
}

}  // namespace
}  // namespace qx::test
