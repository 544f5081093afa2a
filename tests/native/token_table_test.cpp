// The token table: lines split at line feeds, keys matched ignoring case, values, replacing and
// adding lines, the write-back, its limits, and the settings-loading window it shows.
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

// ---- splitting and writing back ----

TEST_F(TokenTable, CrLfLinesKeepTheirCarriageReturnAndWriteBackUnchanged)
{
    const std::string text = "a=1\r\nb=2\r\n";
    for (bool bAddCR : {false, true}) {
        auto pTable = Load(text);
        EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"a=1\r", "b=2\r"}));
        pTable->m_bAddCR = bAddCR;
        EXPECT_EQ(Written(std::move(pTable)), text);
    }
}

TEST_F(TokenTable, AddCREndsNonEmptyLinesWithCrLfAndEmptyOnesWithLf)
{
    auto pTable = Load("$a='0'\n\n$b='2'\r\n");
    pTable->m_bAddCR = true;
    EXPECT_TRUE(pTable->SetLine(0, "$x='1'"));
    EXPECT_EQ(Written(std::move(pTable)), "$x='1'\r\n\n$b='2'\r\n");
}

TEST_F(TokenTable, LastLineWithoutLineFeedIsKeptAndGainsOne)
{
    auto pTable = Load("x");
    EXPECT_EQ(Lines(*pTable), std::vector<std::string>{"x"});
    EXPECT_EQ(Written(std::move(pTable)), "x\n");
}

TEST_F(TokenTable, SingleLineFeedIsOneEmptyLineAndEmptyTextNone)
{
    auto pTable = Load("\n");
    EXPECT_EQ(Lines(*pTable), std::vector<std::string>{""});
    EXPECT_EQ(Written(std::move(pTable)), "\n");
    pTable = Load("");
    EXPECT_EQ(pTable->m_nLines, 0);
    EXPECT_EQ(Written(std::move(pTable)), "");
}

TEST_F(TokenTable, EveryByteButLineFeedStaysInItsLine)
{
    std::string text = AllBytes();
    std::string expected = text;
    expected.erase(expected.find('\n'), 1);
    auto pTable = Load(text);
    ASSERT_EQ(pTable->m_nLines, 2);
    EXPECT_EQ(pTable->m_lines[0] + pTable->m_lines[1], expected);
    EXPECT_EQ(Written(std::move(pTable)), text + "\n");
}

TEST_F(TokenTable, ConstructionResetsTheCursorAndReadsOnlyTheCount)
{
    std::memcpy(g_textBuffer, "a\nb\nLEFTOVER", 12);
    g_textPos = 4;
    auto pTable = std::make_unique<CTokenTable>();
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Written(std::move(pTable)), "a\nb\n");
}

// ---- keys and values ----

TEST_F(TokenTable, FindLineMatchesTheKeyPrefixIgnoringCase)
{
    auto pTable = Load("$names='Y'\n$name='X'\n$Server='PDC'\n\xE9t\xE9='summer'\n");
    EXPECT_EQ(pTable->FindLine("$NAME"), 0);  // $names begins with $name: first match wins
    EXPECT_EQ(pTable->FindLine("$Na"), 0);
    EXPECT_EQ(pTable->FindLine("$name='new'"), 0);
    EXPECT_EQ(pTable->FindLine("$SERVER"), 2);
    EXPECT_EQ(pTable->FindLine("$server 'ignored after the space'"), 2);
    EXPECT_EQ(pTable->FindLine("\xC9T\xC9"), 3);  // cp1252: e-acute upper-cases to E-acute
    EXPECT_EQ(pTable->FindLine("$Servers"), -1);
    EXPECT_EQ(pTable->FindLine("$none"), -1);
}

TEST_F(TokenTable, KeyEndsAtSpaceEqualsOrLineFeed)
{
    EXPECT_EQ(CTokenTable::KeyLength("$name='x'"), 5u);
    EXPECT_EQ(CTokenTable::KeyLength("$name x"), 5u);
    EXPECT_EQ(CTokenTable::KeyLength("$name\nx"), 5u);
    EXPECT_EQ(CTokenTable::KeyLength("$name\tx"), 7u);
    EXPECT_EQ(CTokenTable::KeyLength("=x"), 0u);
    EXPECT_EQ(CTokenTable::KeyLength(""), 0u);
}

TEST_F(TokenTable, EmptyKeyMatchesLineZeroOfATableWithLines)
{
    auto pTable = Load("first\nsecond\n");
    EXPECT_EQ(pTable->FindLine(""), 0);
    EXPECT_EQ(pTable->FindLine(" x"), 0);
    pTable = Load("");
    EXPECT_EQ(pTable->FindLine(""), -1);
}

TEST_F(TokenTable, GetLineValueStripsQuotesAndEqualsButKeepsTheCarriageReturn)
{
    auto pTable = Load("$EngineVersion='4.1'\r\n$EngineVersion='4.1'\nplain\nA=='b='\nEditor=\nx='it''s'\n");
    EXPECT_EQ(pTable->GetLineValue(0), "4.1'\r");
    EXPECT_EQ(pTable->GetLineValue(1), "4.1");
    EXPECT_EQ(pTable->GetLineValue(2), "plain");
    EXPECT_EQ(pTable->GetLineValue(3), "b");
    EXPECT_EQ(pTable->GetLineValue(4), "");
    EXPECT_EQ(pTable->GetLineValue(5), "it''s");
}

// ---- changing lines ----

TEST_F(TokenTable, SetLineReplacesWholeLinesAndAppendsUnmatched)
{
    auto pTable = Load("a=1\nb=2\n");
    EXPECT_TRUE(pTable->SetLine(pTable->FindLine("B=3"), "B=3"));
    EXPECT_TRUE(pTable->SetLine(pTable->FindLine("c=4"), "c=4"));
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"a=1", "B=3", "c=4"}));
    EXPECT_FALSE(pTable->SetLine(3, "out of range"));
    EXPECT_FALSE(pTable->SetLine(-2, "out of range"));
    EXPECT_EQ(pTable->m_nLines, 3);
}

TEST_F(TokenTable, AppendingToAnEmptyTableStoresTheLine)
{
    auto pTable = Load("");
    EXPECT_TRUE(pTable->SetLine(-1, "Scripts=\\\\PDC\\NETLOGON"));
    EXPECT_TRUE(pTable->SetLine(-1, "Logs=C:\\logs"));
    EXPECT_EQ(Written(std::move(pTable)), "Scripts=\\\\PDC\\NETLOGON\nLogs=C:\\logs\n");
}

TEST_F(TokenTable, InsertLineMovesLaterLinesDownAndNeverInsertsBeforeLineZero)
{
    auto pTable = Load("l0\nl1\nl2\nl3\n");
    EXPECT_TRUE(pTable->InsertLine(2, "new"));
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"l0", "l1", "new", "l2", "l3"}));
    EXPECT_FALSE(pTable->InsertLine(0, "before"));
    EXPECT_FALSE(pTable->InsertLine(-1, "before"));
    EXPECT_FALSE(pTable->InsertLine(6, "past the end"));
    EXPECT_TRUE(pTable->InsertLine(5, "last"));
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"l0", "l1", "new", "l2", "l3", "last"}));
}

// ---- limits ----

TEST_F(TokenTable, TenThousandLinesLoadAndOneMoreIsRefused)
{
    auto pTable = Load(ManyLines(kMaxTokenLines, "$v='x'"));
    EXPECT_TRUE(pTable->IsLoaded());
    EXPECT_EQ(pTable->m_nLines, kMaxTokenLines);
    // A last line without a line feed counts too.
    pTable = Load(ManyLines(kMaxTokenLines, "$v='x'") + "tail");
    EXPECT_FALSE(pTable->IsLoaded());
    EXPECT_EQ(pTable->m_nLines, 0);
    pTable = Load(ManyLines(kMaxTokenLines + 1, ""));
    EXPECT_FALSE(pTable->IsLoaded());
    EXPECT_FALSE(pTable->WriteBack());
}

TEST_F(TokenTable, AFullTableRefusesInsertionsButTakesReplacements)
{
    auto pTable = Load(ManyLines(kMaxTokenLines, "$v='x'"));
    EXPECT_FALSE(pTable->SetLine(-1, "$new='1'"));
    EXPECT_FALSE(pTable->InsertLine(5, "$new='1'"));
    EXPECT_EQ(pTable->m_nLines, kMaxTokenLines);
    EXPECT_TRUE(pTable->SetLine(9999, "$last='1'"));
    EXPECT_EQ(pTable->m_lines[9999], "$last='1'");
}

TEST_F(TokenTable, AWriteBackBeyondTheBufferWritesNothing)
{
    std::string line(999, 'v');
    std::string text = ManyLines(2000, line);  // exactly 2,000,000 bytes
    ASSERT_EQ(text.size(), static_cast<size_t>(kTextBufferSize));
    auto pTable = Load(text);
    pTable->m_bAddCR = true;  // would add 2000 carriage returns
    EXPECT_EQ(pTable->TextSize(), text.size() + 2000);
    g_textBuffer[0] = 'Z';
    EXPECT_FALSE(pTable->WriteBack());
    EXPECT_EQ(g_textBuffer[0], 'Z');
    EXPECT_EQ(g_textPos, static_cast<int32_t>(text.size()));
    pTable.reset();  // nor does the destruction
    EXPECT_EQ(g_textBuffer[0], 'Z');

    pTable = Load(text);
    EXPECT_TRUE(pTable->WriteBack());  // the same text fits exactly
    EXPECT_EQ(g_textPos, kTextBufferSize);
}

// ---- the settings-loading window ----

TEST_F(TokenTable, LoadingWindowMovesOncePerLineAndCloses)
{
    RegisterProgressTemplates();
    auto pTable = Load("ab\ncde\n\nf");
    ASSERT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 1);
    EXPECT_TRUE(sim.m_ui.Dialogs(kUpdateTemplate).empty());  // gone once the table is filled
    EXPECT_TRUE(Settled());
    std::vector<std::string> expected = {"create 129", "range 129/1004 0..9", "pos 129/1004 1", "pos 129/1004 4",
                                         "pos 129/1004 8", "pos 129/1004 9", "destroy 129"};
    EXPECT_EQ(sim.m_ui.m_log, expected);
    EXPECT_EQ(pTable->m_nLines, 4);
}

TEST_F(TokenTable, LoadingWindowOfAnEmptyTextHasNoPosition)
{
    RegisterProgressTemplates();
    auto pTable = Load("");
    EXPECT_EQ(sim.m_ui.m_log, (std::vector<std::string>{"create 129", "range 129/1004 0..0", "destroy 129"}));
    EXPECT_TRUE(Settled());
}

TEST_F(TokenTable, LoadingWindowOfALongTextKeepsItsWholeRange)
{
    RegisterProgressTemplates();
    std::string text = ManyLines(700, std::string(99, 'x'));  // 70,000 bytes
    auto pTable = Load(text);
    ASSERT_EQ(sim.m_ui.m_log.size(), 703u);
    EXPECT_EQ(sim.m_ui.m_log[1], "range 129/1004 0..70000");
    EXPECT_EQ(sim.m_ui.m_log[2], "pos 129/1004 1");
    EXPECT_EQ(sim.m_ui.m_log[701], "pos 129/1004 69901");  // the last line's first byte
    EXPECT_TRUE(Settled());
}

TEST_F(TokenTable, ATableLoadsWithoutItsWindow)
{
    RegisterProgressTemplates();
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    auto pTable = Load("a\nb\n");
    EXPECT_EQ(Lines(*pTable), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(TokenTable, ARefusedTextClosesItsWindow)
{
    RegisterProgressTemplates();
    auto pTable = Load(ManyLines(kMaxTokenLines + 1, "x"));
    EXPECT_FALSE(pTable->IsLoaded());
    EXPECT_EQ(sim.m_ui.CreatedCount(kUpdateTemplate), 1);
    EXPECT_TRUE(sim.m_ui.Dialogs(kUpdateTemplate).empty());
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx::test
