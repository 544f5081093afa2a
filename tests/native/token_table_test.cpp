// The token table: lines split at line feeds, keys matched ignoring case, values, replacing and
// adding lines, the write-back and its limits, and the settings-loading window it shows.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "engine/token_table.h"
#include "engine_fixture.h"
#include "frame/text_buffer.h"

namespace qx::test {
namespace {

class TokenTable : public EngineTest {
protected:
    static std::unique_ptr<CTokenTable> Load(const std::string& strText)
    {
        std::memcpy(g_textBuffer, strText.data(), strText.size());
        g_textPos = static_cast<int32_t>(strText.size());
        return std::make_unique<CTokenTable>();
    }
    static std::vector<std::string> Lines(const CTokenTable& table)
    {
        return std::vector<std::string>(table.m_lines.begin(), table.m_lines.begin() + table.m_nLines);
    }
    // Destroys the table and gives the text it wrote back.
    static std::string Written(std::unique_ptr<CTokenTable> pTable)
    {
        pTable.reset();
        return std::string(g_textBuffer, static_cast<size_t>(g_textPos));
    }
    static std::string ManyLines(int nLines, const std::string& strLine)
    {
        std::string text;
        for (int i = 0; i < nLines; ++i)
            text += strLine + "\n";
        return text;
    }
};

TEST_F(TokenTable, LinesSplitAtLineFeedsAndWriteBack)
{
    const struct {
        std::string strText;
        std::vector<std::string> lines;
        std::string strPlain;  // written back with m_bAddCR clear
        std::string strAddCR;  // and set
    } cases[] = {
        {"a=1\r\nb=2\r\n", {"a=1\r", "b=2\r"}, "a=1\r\nb=2\r\n", "a=1\r\nb=2\r\n"},
        {"$a='0'\n\n$b\r\n", {"$a='0'", "", "$b\r"}, "$a='0'\n\n$b\r\n", "$a='0'\r\n\n$b\r\n"},
        {"x", {"x"}, "x\n", "x\r\n"},
        {"\n", {""}, "\n", "\n"},
        {"", {}, "", ""},
        {std::string("\0\x80\xFF\r", 4), {std::string("\0\x80\xFF\r", 4)}, std::string("\0\x80\xFF\r\n", 5),
         std::string("\0\x80\xFF\r\n", 5)},
    };
    for (const auto& c : cases) {
        auto pTable = Load(c.strText);
        EXPECT_EQ(Lines(*pTable), c.lines);
        EXPECT_EQ(Written(std::move(pTable)), c.strPlain);
        pTable = Load(c.strText);
        pTable->m_bAddCR = true;
        EXPECT_EQ(Written(std::move(pTable)), c.strAddCR);
    }
    std::memcpy(g_textBuffer, "a\nb\nLEFTOVER", 12);  // only the count is read
    g_textPos = 4;
    EXPECT_EQ(Lines(CTokenTable()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(TokenTable, KeysMatchLineBeginningsIgnoringCaseAndValuesLoseTheirQuotes)
{
    auto pTable = Load("$names='Y'\n$name='X'\n$Server='PDC'\n\xE9t\xE9='1'\n$EngineVersion='4.1'\r\nA=='b='\n");
    EXPECT_EQ(pTable->FindLine("$NAME"), 0);  // $names begins with $name: the first match wins
    EXPECT_EQ(pTable->FindLine("$name='new'"), 0);
    EXPECT_EQ(pTable->FindLine("$server 'after the space'"), 2);
    EXPECT_EQ(pTable->FindLine("\xC9T\xC9"), 3);  // e-acute and E-acute in the ANSI code page
    EXPECT_EQ(pTable->FindLine("$Servers"), -1);
    EXPECT_EQ(pTable->FindLine(""), 0);  // an empty key matches line 0
    EXPECT_EQ(CTokenTable::KeyLength("$n\nx"), 2u);
    EXPECT_EQ(CTokenTable::KeyLength("$n\tx"), 4u);
    EXPECT_EQ(pTable->GetLineValue(4), "4.1'\r");  // the carriage return stops the trimming
    EXPECT_EQ(pTable->GetLineValue(5), "b");
    EXPECT_EQ(pTable->GetLineValue(2), "PDC");
    EXPECT_EQ(Load("")->FindLine(""), -1);
}

TEST_F(TokenTable, LinesAreReplacedInsertedAndAppended)
{
    auto pTable = Load("l0\nl1\nl2\nl3\n");
    EXPECT_TRUE(pTable->InsertLine(2, "new"));
    EXPECT_FALSE(pTable->InsertLine(0, "before line 0"));
    EXPECT_FALSE(pTable->InsertLine(6, "past the end"));
    EXPECT_TRUE(pTable->SetLine(pTable->FindLine("L3=x"), "L3=x"));
    EXPECT_TRUE(pTable->SetLine(-1, "last"));
    EXPECT_FALSE(pTable->SetLine(6, "out of range"));
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"l0", "l1", "new", "l2", "L3=x", "last"}));
    // Appending to an empty table stores the line.
    pTable = Load("");
    EXPECT_TRUE(pTable->SetLine(-1, "Scripts=x"));
    EXPECT_TRUE(pTable->SetLine(-1, "Logs=y"));
    EXPECT_EQ(Written(std::move(pTable)), "Scripts=x\nLogs=y\n");
}

TEST_F(TokenTable, LimitsRefuseAsAWhole)
{
    auto pTable = Load(ManyLines(kMaxTokenLines, "$v='x'"));
    ASSERT_TRUE(pTable->IsLoaded());
    EXPECT_FALSE(pTable->SetLine(-1, "$new='1'"));  // a full table takes no new line
    EXPECT_FALSE(pTable->InsertLine(5, "$new='1'"));
    EXPECT_TRUE(pTable->SetLine(9999, "$last='1'"));
    EXPECT_EQ(pTable->m_nLines, kMaxTokenLines);
    for (const std::string& text : {ManyLines(kMaxTokenLines, "x") + "tail", ManyLines(kMaxTokenLines + 1, "")}) {
        pTable = Load(text);
        EXPECT_FALSE(pTable->IsLoaded());
        EXPECT_EQ(pTable->m_nLines, 0);
        EXPECT_FALSE(pTable->WriteBack());
    }
    // Exactly 2,000,000 bytes fit; the carriage returns of m_bAddCR would not.
    std::string full = ManyLines(2000, std::string(999, 'v'));
    pTable = Load(full);
    pTable->m_bAddCR = true;
    g_textBuffer[0] = 'Z';
    EXPECT_FALSE(pTable->WriteBack());
    pTable.reset();  // nor does the destruction write
    EXPECT_EQ(g_textBuffer[0], 'Z');
    EXPECT_EQ(Written(Load(full)).size(), full.size());
}

TEST_F(TokenTable, LoadingWindowMovesOncePerLineThenCloses)
{
    RegisterProgressTemplates();
    Load("ab\ncde\n\nf");
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"create 129", "range 129/1004 0..9", "pos 129/1004 1",
                                                         "pos 129/1004 4", "pos 129/1004 8", "pos 129/1004 9",
                                                         "destroy 129"}));
    sim.m_ui.m_log.clear();
    Load("");
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"create 129", "range 129/1004 0..0", "destroy 129"}));
    sim.m_ui.m_log.clear();
    Load(ManyLines(700, std::string(99, 'x')));  // 70,000 bytes: a range above 65535 stays whole
    ASSERT_EQ(sim.m_ui.m_log.size(), 703u);
    EXPECT_EQ(sim.m_ui.m_log[1], "range 129/1004 0..70000");
    EXPECT_EQ(sim.m_ui.m_log[701], "pos 129/1004 69901");
    EXPECT_TRUE(sim.m_ui.Dialogs(kUpdateTemplate).empty());
    EXPECT_TRUE(Settled());
    // A refused text closes its window too; a window that cannot be created does not stop a load.
    EXPECT_FALSE(Load(ManyLines(kMaxTokenLines + 1, "x"))->IsLoaded());
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Lines(*Load("a\nb")), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 4);
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx::test
