// The token table: lines found by their keys ignoring case, values, inserted and appended lines, the
// explicit load and write-back, the line limit and the settings-loading window moved once per line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

#include "engine/token_table.h"
#include "engine_fixture.h"

namespace qx::test {
namespace {

using Lines = std::vector<std::string>;

std::unique_ptr<CTokenTable> Load(const std::string& strText)
{
    auto pTable = std::make_unique<CTokenTable>();
    pTable->Load(strText.data(), strText.size());
    return pTable;
}

// The table's text as written into a buffer of cbBuffer bytes, or "refused" (the buffer then checked
// to be untouched).
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
    // The code page, the text, the name sought and the line expected. Code page 932: ア is 83 41 and
    // ヂ 83 61, a second byte in a..z never folded on its own; full-width a and A, Cyrillic a and A
    // fold whole; single bytes after a pair fold; a lead byte that ends the key is one byte.
    const std::tuple<UINT, const char*, const char*, int> cases[] = {
        {932, "$\x83\x41='first'\n$\x83\x61='second'\n", "$\x83\x61='new'", 1},
        {932, "$\x83\x41='first'\n$\x83\x61='second'\n", "$\x83\x41", 0},
        {932, "$\x83\x41='first'\n", "$\x83\x61", -1},
        {932, "$\x83\x41x='1'\n$\x83\x41X='2'\n", "$\x83\x41X", 0},
        {932, "$\x82\x60='A'\n", "$\x82\x81='a'", 0},
        {932, "$\x82\x81='a'\n", "$\x82\x60", 0},
        {932,
         "$\x84\x70"
         "b='1'\n",
         "$\x84\x40"
         "B",
         0},
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
    // Each line ends with a line feed; with m_bAddCR a non-empty line without its carriage return
    // gets one; the text fills the buffer exactly or is refused, the buffer untouched.
    auto pTable = Load("a\r\nb\n\nlast");
    EXPECT_EQ(WrittenText(*pTable, 11), "a\r\nb\n\nlast\n");
    EXPECT_EQ(WrittenText(*pTable, 10), "refused");
    pTable->m_bAddCR = true;
    EXPECT_EQ(pTable->TextSize(), 13u);
    EXPECT_EQ(WrittenText(*pTable, 13), "a\r\nb\r\n\nlast\r\n");
    EXPECT_EQ(WrittenText(*pTable, 12), "refused");
    EXPECT_EQ(WrittenText(*Load(""), 0), "");

    // A load replaces what the table held; a refused load leaves it empty and writes nothing.
    ASSERT_TRUE(pTable->Load("x\ny", 3));
    EXPECT_EQ(WrittenText(*pTable, 64), "x\r\ny\r\n");
    const std::string strTooMany = Repeat(kMaxTokenLines + 1, "x\n");
    EXPECT_FALSE(pTable->Load(strTooMany.data(), strTooMany.size()));
    EXPECT_EQ(pTable->m_nLines, 0);
    EXPECT_EQ(WrittenText(*pTable, 64), "refused");
    ASSERT_TRUE(pTable->Load("z", 1));  // a table refused once loads again
    EXPECT_EQ(WrittenText(*pTable, 64), "z\r\n");
}

TEST_F(TokenTable, LoadingWindowMovesOncePerLineThenCloses)
{
    Load("ab\ncde\n\nf");
    Load("");
    EXPECT_EQ(sim.m_ui.m_log,
              (Lines {"create 129", "range 129/1004 0..9", "pos 129/1004 1", "pos 129/1004 4", "pos 129/1004 8",
                      "pos 129/1004 9", "destroy 129", "create 129", "range 129/1004 0..0", "destroy 129"}));
    // A refused text closes its window too; a window that cannot be created does not stop a load.
    EXPECT_FALSE(Load(Repeat(kMaxTokenLines + 1, "x\n"))->IsLoaded());
    sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LinesOf(*Load("a\nb")), (Lines {"a", "b"}));
    EXPECT_EQ(sim.m_ui.CreatedCount(129), 3);
    EXPECT_TRUE(Settled());
}

// Memory running out inside the loading window's initialisation: the load goes on without the
// window, and no exception goes through the system's frames.
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

}  // namespace
}  // namespace qx::test
