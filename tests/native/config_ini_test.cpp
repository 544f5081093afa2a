// The INI document model: parsing of the lines that can go wrong, matching of names, placement of
// new keys, the cleaned write-back, and the refusals that keep a file that does not fit untouched.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "manager/ini_document.h"
#include "sim_fixture.h"

namespace qx {
namespace {

constexpr char kIni[] = "C:\\cfg\\test.ini";

struct CExpectedLine {
    int32_t nType;
    std::string strName;
    std::string strValue;
};

class ConfigIniTest : public test::SimTest {
protected:
    // Loads kIni holding strRaw, checks the document's lines, destroys the document and returns
    // what it wrote.
    std::string Rewrite(const std::string& strRaw, const std::vector<CExpectedLine>& expected)
    {
        sim.m_files.SetFile(kIni, strRaw);
        {
            auto pDoc = std::make_unique<CIniDocument>(kIni);
            EXPECT_FALSE(pDoc->Refused());
            ExpectLines(*pDoc, expected);
        }
        EXPECT_TRUE(Settled());
        return sim.m_files.GetFile(kIni).value_or("<no file>");
    }

    static void ExpectLines(const CIniDocument& doc, const std::vector<CExpectedLine>& expected)
    {
        ASSERT_EQ(doc.Count(), static_cast<int>(expected.size()));
        for (int i = 0; i < doc.Count(); ++i) {
            SCOPED_TRACE("line " + std::to_string(i));
            EXPECT_EQ(doc.Line(i).m_nType, expected[i].nType);
            EXPECT_EQ(std::string(doc.Line(i).m_szName), expected[i].strName);
            EXPECT_EQ(std::string(doc.Line(i).m_szValue), expected[i].strValue);
        }
    }

    static std::string Lines(int nCount, const char* pszPrefix = "line")
    {
        std::string strText;
        for (int i = 0; i < nCount; ++i)
            strText += pszPrefix + std::to_string(i) + "\r\n";
        return strText;
    }

    // The folder holds only the test file (no temporary file left behind).
    void ExpectNoStrayFiles()
    {
        EXPECT_EQ(sim.m_files.List("C:\\cfg"), std::vector<std::string>{"test.ini"});
    }
};

// ---- parsing and write-back ---------------------------------------------------------------------

TEST_F(ConfigIniTest, SectionAndKeyLinesRoundTripUnchanged)
{
    EXPECT_EQ(Rewrite("[Main]\r\nName=Value\r\n", {{INI_SECTION, "Main", ""}, {INI_KEY, "Name", "Value"}}),
              "[Main]\r\nName=Value\r\n");
}

TEST_F(ConfigIniTest, BlanksBeforeTheEqualsStayInTheNameAndThoseAfterItAreDropped)
{
    EXPECT_EQ(Rewrite("  Name \t=  \tsome value  \r\nEmpty=   \r\n",
                      {{INI_KEY, "Name \t", "some value  "}, {INI_KEY, "Empty", ""}}),
              "Name \t=some value  \r\nEmpty=\r\n");
}

TEST_F(ConfigIniTest, OnlyTheFirstEqualsAfterTheFirstCharacterDividesALine)
{
    EXPECT_EQ(Rewrite("=plain\r\n=a=b\r\nk=x=y==\r\n",
                      {{INI_TEXT, "=plain", ""}, {INI_KEY, "=a", "b"}, {INI_KEY, "k", "x=y=="}}),
              "=plain\r\n=a=b\r\nk=x=y==\r\n");
    // "]" as a first character is an ordinary first character too.
    EXPECT_EQ(Rewrite("]x=1\r\n", {{INI_KEY, "]x", "1"}}), "]x=1\r\n");
}

TEST_F(ConfigIniTest, CommentsKeepTheirTextAndAreWrittenWithTheirSemicolon)
{
    EXPECT_EQ(Rewrite("  ; a note = not a key  \r\n;\r\n", {{INI_COMMENT, " a note = not a key  ", ""},
                                                          {INI_COMMENT, "", ""}}),
              "; a note = not a key  \r\n;\r\n");
}

TEST_F(ConfigIniTest, SectionHeaderKeepsBlanksInsideAndSplitsWhatFollowsIntoTheNextLine)
{
    EXPECT_EQ(Rewrite("[ Main ]  k = v\r\n", {{INI_SECTION, " Main ", ""}, {INI_KEY, "k ", "v"}}),
              "[ Main ]\r\nk =v\r\n");
}

TEST_F(ConfigIniTest, AHeaderOnTheLastLineLeavesItsLineEndToAnEmptyLastLine)
{
    // What follows the "]" begins the next line; here that is the file's last line end, so the
    // document ends in an empty line, which stays the one empty last line on every later rewrite.
    EXPECT_EQ(Rewrite("k=v\r\n[Last]\r\n", {{INI_KEY, "k", "v"}, {INI_SECTION, "Last", ""}, {INI_TEXT, "", ""}}),
              "k=v\r\n[Last]\r\n\r\n");
    EXPECT_EQ(Rewrite("k=v\r\n[Last]\r\n\r\n", {{INI_KEY, "k", "v"}, {INI_SECTION, "Last", ""}, {INI_TEXT, "", ""}}),
              "k=v\r\n[Last]\r\n\r\n");
    EXPECT_EQ(Rewrite("[Last]", {{INI_SECTION, "Last", ""}}), "[Last]\r\n");
}

TEST_F(ConfigIniTest, AnUnterminatedBracketTakesTheRestOfTheFile)
{
    EXPECT_EQ(Rewrite("a=1\r\n[open\r\nb=2\r\n", {{INI_KEY, "a", "1"}, {INI_SECTION, "open\nb=2\n", ""}}),
              "a=1\r\n[open\r\nb=2\r\n]\r\n");
}

TEST_F(ConfigIniTest, EmptyLinesInTheMiddleVanishAndAtTheEndBecomeOne)
{
    EXPECT_EQ(Rewrite("a\r\n\r\n   \r\n\t\r\nb\r\n\r\n\r\n\r\n",
                      {{INI_TEXT, "a", ""}, {INI_TEXT, "b", ""}, {INI_TEXT, "", ""}}),
              "a\r\nb\r\n\r\n");
}

TEST_F(ConfigIniTest, ZeroBytesOrATrailingBlankLineGiveOneEmptyTextLine)
{
    EXPECT_EQ(Rewrite("", {{INI_TEXT, "", ""}}), "\r\n");
    EXPECT_EQ(Rewrite("a\r\n   ", {{INI_TEXT, "a", ""}, {INI_TEXT, "", ""}}), "a\r\n\r\n");
    EXPECT_EQ(Rewrite("k=  \t ", {{INI_KEY, "k", ""}}), "k=\r\n");
}

TEST_F(ConfigIniTest, LoneLfEndsALineAndALastLineGetsItsLineEnd)
{
    EXPECT_EQ(Rewrite("[s]\nk=v\nlast", {{INI_SECTION, "s", ""}, {INI_KEY, "k", "v"}, {INI_TEXT, "last", ""}}),
              "[s]\r\nk=v\r\nlast\r\n");
    // A CR that is not followed by LF is an ordinary character.
    EXPECT_EQ(Rewrite("a\rb\r\n", {{INI_TEXT, "a\rb", ""}}), "a\rb\r\n");
}

TEST_F(ConfigIniTest, BytesAbove0x7FAreKeptAsTheyAre)
{
    EXPECT_EQ(Rewrite("[Schl\xFC" "ssel]\r\n\xE4\xF6=\xFF\x80\r\n",
                      {{INI_SECTION, "Schl\xFCssel", ""}, {INI_KEY, "\xE4\xF6", "\xFF\x80"}}),
              "[Schl\xFC" "ssel]\r\n\xE4\xF6=\xFF\x80\r\n");
}

TEST_F(ConfigIniTest, ReaderYieldsTheLastCharacterWithTheEndFlagThenNul)
{
    sim.m_files.SetFile(kIni, "ab\r\n  ");
    {
        CIniReader reader;
        ASSERT_EQ(reader.Open(kIni), 0u);
        EXPECT_EQ(reader.GetChar(false), 'a');
        EXPECT_EQ(reader.GetChar(false), 'b');
        EXPECT_EQ(reader.GetChar(false), '\n');
        EXPECT_FALSE(reader.AtEnd());
        EXPECT_EQ(reader.GetChar(true), '\0');  // blanks that run to the end are no character
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_EQ(reader.GetChar(false), '\0');
    }
    sim.m_files.SetFile(kIni, "x\r\n");
    {
        CIniReader reader;
        ASSERT_EQ(reader.Open(kIni), 0u);
        EXPECT_EQ(reader.GetChar(false), 'x');
        EXPECT_FALSE(reader.AtEnd());
        EXPECT_EQ(reader.GetChar(false), '\n');  // the CR LF pair is one character, the file's last
        EXPECT_TRUE(reader.AtEnd());
    }
    EXPECT_TRUE(Settled());
}

// ---- matching -----------------------------------------------------------------------------------

TEST_F(ConfigIniTest, NamesMatchIgnoringLetterCaseAndBlanksAtTheirEnds)
{
    sim.m_files.SetFile(kIni, "[ File Locations\t]\r\nlogs  =x\r\nLogsX=y\r\n[Schl\xFCssel]\r\n\xFF" "ber=1\r\n"
                              "Stra\xDF" "e=2\r\n");
    CIniDocument doc(kIni);
    EXPECT_EQ(doc.FindSection("file locations"), 0);
    EXPECT_EQ(doc.FindSection("  FILE LOCATIONS \r\n"), 0);
    EXPECT_EQ(doc.FindSection("FileLocations"), -1);
    EXPECT_EQ(doc.FindKey("LOGS"), 1);
    EXPECT_EQ(doc.FindKey("\tLogs "), 1);
    EXPECT_EQ(doc.FindKey("Log"), -1);
    // Upper-casing of the ANSI code page: u-umlaut and y-diaeresis have capitals, sharp s has none.
    EXPECT_EQ(doc.FindSection("SCHL\xDCSSEL"), 3);
    EXPECT_EQ(doc.FindKey("\x9F" "BER"), 4);
    EXPECT_EQ(doc.FindKey("STRA\xDF" "E"), 5);
    EXPECT_EQ(doc.FindKey("STRASSE"), -1);
    // A search changes no stored text.
    EXPECT_EQ(std::string(doc.Line(0).m_szName), " File Locations\t");
    EXPECT_EQ(std::string(doc.Line(4).m_szName), "\xFF" "ber");
}

TEST_F(ConfigIniTest, KeysAndSectionsAreOnlyFoundOnLinesOfTheirKind)
{
    sim.m_files.SetFile(kIni, ";Logs=1\r\n[Logs]\r\nLogs\r\nEditor=1\r\n[Editor]\r\n");
    CIniDocument doc(kIni);
    EXPECT_EQ(doc.FindKey("Logs"), -1);
    EXPECT_EQ(doc.FindSection("Logs"), 1);
    EXPECT_EQ(doc.FindKey("Editor"), 3);
    EXPECT_EQ(doc.FindSection("Editor"), 4);
    EXPECT_EQ(doc.FindSection("Missing"), -1);
}

// ---- SetValue placement -------------------------------------------------------------------------

TEST_F(ConfigIniTest, AKeyInAnotherSectionIsChangedWhereItStandsWithTheGivenName)
{
    sim.m_files.SetFile(kIni, "[A]\r\n  sCRIPTS  = old\r\n[B]\r\nx=1\r\n");
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("Scripts", "new", "B"));
        EXPECT_EQ(doc.Count(), 4);
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), "[A]\r\nScripts=new\r\n[B]\r\nx=1\r\n");
    EXPECT_TRUE(Settled());
}

TEST_F(ConfigIniTest, NewKeysGoDirectlyUnderTheirHeaderInReverseOrderOfAdding)
{
    sim.m_files.SetFile(kIni, "[S]\r\nold=0\r\n[T]\r\nt=1\r\n");
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("first", "1", "s"));
        EXPECT_TRUE(doc.SetValue("second", "2", "S"));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), "[S]\r\nsecond=2\r\nfirst=1\r\nold=0\r\n[T]\r\nt=1\r\n");
    EXPECT_TRUE(Settled());
}

TEST_F(ConfigIniTest, NewSectionsAreAppendedAndAnEmptySectionAppendsTheKeyAlone)
{
    sim.m_files.SetFile(kIni, "[A]\r\na=1\r\n");
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("b", "2", "B"));
        EXPECT_TRUE(doc.SetValue("c", "3", ""));
        EXPECT_EQ(doc.FindSection("B"), 2);
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=3\r\n");
    EXPECT_TRUE(Settled());
}

TEST_F(ConfigIniTest, AMissingFileIsCreatedOnlyWhenTheDocumentGotLines)
{
    sim.m_files.AddFolder("C:\\cfg");
    {
        CIniDocument doc(kIni);
        EXPECT_FALSE(doc.Refused());
        EXPECT_EQ(doc.Count(), 0);
        EXPECT_EQ(doc.Path(), kIni);
    }
    EXPECT_FALSE(sim.m_files.Exists(kIni));
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("k", "v", "S"));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), "[S]\r\nk=v\r\n");
    EXPECT_TRUE(Settled());
}

TEST_F(ConfigIniTest, AnExplicitSaveIsNotRepeatedByTheDestructor)
{
    sim.m_files.SetFile(kIni, "a=1\r\n");
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("a", "2", ""));
        EXPECT_TRUE(doc.Save());
        sim.m_files.SetFile(kIni, "changed by someone else\r\n");
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), "changed by someone else\r\n");
    EXPECT_TRUE(Settled());
}

// ---- limits: refused, never cut -----------------------------------------------------------------

TEST_F(ConfigIniTest, TheFullCapacityLoadsAndIsWrittenBackWhole)
{
    // Blanks at the line starts make the rewrite visible.
    sim.m_files.SetFile(kIni, Lines(kMaxIniLines, "  line"));
    {
        CIniDocument doc(kIni);
        EXPECT_FALSE(doc.Refused());
        ASSERT_EQ(doc.Count(), kMaxIniLines);
        EXPECT_EQ(std::string(doc.Line(kMaxIniLines - 1).m_szName), "line255");
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), Lines(kMaxIniLines));
    sim.m_files.SetFile(kIni, Lines(kMaxIniLines, "  line"));
    {
        CIniDocument doc(kIni);
        // A text line of the key's name is no key: the key would be a 257th line.
        EXPECT_EQ(doc.FindKey("line7"), -1);
        EXPECT_FALSE(doc.SetValue("line7", "now a key", ""));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), Lines(kMaxIniLines, "  line"));
    EXPECT_TRUE(Settled());
}

TEST_F(ConfigIniTest, FilesThatDoNotFitAreRefusedAndNeverRewritten)
{
    const std::string strLong255(255, 'n');
    struct CCase {
        const char* pszWhat;
        std::string strRaw;
        IniFault fault;
    } cases[] = {
        {"257 lines", Lines(kMaxIniLines + 1), IniFault::kTooManyLines},
        {"256 lines and an empty last line", Lines(kMaxIniLines) + "\r\n", IniFault::kTooManyLines},
        {"a name of 256", "[s]\r\n" + strLong255 + "n=1\r\n", IniFault::kTooLong},
        {"a value of 256", "k=" + strLong255 + "v\r\n", IniFault::kTooLong},
        {"a comment of 256", ";" + strLong255 + "c\r\n", IniFault::kTooLong},
        {"an unterminated [ with a long tail", "[open\r\n" + std::string(300, 'x') + "\r\n", IniFault::kTooLong},
        {"a NUL byte", std::string("k=a\0b\r\n", 7), IniFault::kNulByte},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        sim.m_files.SetFile(kIni, c.strRaw);
        {
            CIniDocument doc(kIni);
            EXPECT_TRUE(doc.Refused());
            EXPECT_EQ(doc.Fault(), c.fault);
            EXPECT_EQ(doc.Count(), 0);
            EXPECT_FALSE(doc.SetValue("k", "v", "s"));
            EXPECT_FALSE(doc.Save());
        }
        EXPECT_EQ(*sim.m_files.GetFile(kIni), c.strRaw);
        ExpectNoStrayFiles();
        EXPECT_TRUE(Settled());
    }
}

TEST_F(ConfigIniTest, LongestNamesAndValuesFitExactly)
{
    const std::string strName(255, 'n');
    const std::string strValue(255, 'v');
    std::string strRaw = "[" + strName + "]\r\n" + strName + "=" + strValue + "\r\n;" + strName + "\r\n";
    EXPECT_EQ(Rewrite(strRaw, {{INI_SECTION, strName, ""}, {INI_KEY, strName, strValue}, {INI_COMMENT, strName, ""}}),
              strRaw);
}

TEST_F(ConfigIniTest, AChangeThatDoesNotFitRefusesTheWholeDocument)
{
    const std::string strOriginal = "[S]\r\nk=1\r\n";
    struct CCase {
        const char* pszWhat;
        std::string strKey, strValue, strSection;
    } cases[] = {
        {"a value of 256", "k", std::string(256, 'v'), "S"},
        {"a key of 256", std::string(256, 'k'), "v", "S"},
        {"a section of 256", "new", "v", std::string(256, 's')},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        sim.m_files.SetFile(kIni, strOriginal);
        {
            CIniDocument doc(kIni);
            EXPECT_TRUE(doc.SetValue("other", "changed first", "S"));
            EXPECT_FALSE(doc.SetValue(c.strKey, c.strValue, c.strSection));
            EXPECT_TRUE(doc.Refused());
            EXPECT_EQ(doc.Count(), 3);  // the refused change made none of its own
            EXPECT_FALSE(doc.SetValue("k", "2", "S"));
        }
        // Neither the refused change nor the one before it reached the file.
        EXPECT_EQ(*sim.m_files.GetFile(kIni), strOriginal);
        EXPECT_TRUE(Settled());
    }
}

TEST_F(ConfigIniTest, NewLinesThatWouldPass256AreRefused)
{
    // 255 lines: room for one key under an existing section, not for a new section and its key.
    std::string strRaw = "[S]\r\n" + Lines(kMaxIniLines - 2);
    sim.m_files.SetFile(kIni, strRaw);
    {
        CIniDocument doc(kIni);
        ASSERT_EQ(doc.Count(), kMaxIniLines - 1);
        EXPECT_FALSE(doc.SetValue("k", "v", "New"));
        EXPECT_EQ(doc.Count(), kMaxIniLines - 1);
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), strRaw);
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("k", "v", "S"));
        EXPECT_EQ(doc.Count(), kMaxIniLines);
        EXPECT_TRUE(doc.SetValue("K", "changed in place", "New"));  // a known key needs no line
        EXPECT_FALSE(doc.SetValue("k2", "v", "S"));
        EXPECT_FALSE(doc.SetValue("k3", "v", ""));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), strRaw);
    {
        CIniDocument doc(kIni);
        EXPECT_TRUE(doc.SetValue("k", "v", ""));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), strRaw + "k=v\r\n");
    EXPECT_TRUE(Settled());
}

// ---- platform failures --------------------------------------------------------------------------

TEST_F(ConfigIniTest, AFileThatIsThereButCannotBeReadIsNeverReplaced)
{
    const std::string strOriginal = "[S]\r\nk=1\r\n";
    struct CCase {
        const char* pszCall;
        DWORD dwError;
        IniFault fault;
    } cases[] = {
        {"CreateFileA", ERROR_ACCESS_DENIED, IniFault::kOpenError},
        {"CreateFileA", ERROR_SHARING_VIOLATION, IniFault::kOpenError},
        {"GetFileSizeEx", ERROR_INVALID_HANDLE, IniFault::kOpenError},
        {"ReadFile", ERROR_READ_FAULT, IniFault::kReadError},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszCall);
        sim.m_files.SetFile(kIni, strOriginal);
        sim.m_kernel.FailCall(c.pszCall, c.dwError);
        {
            CIniDocument doc(kIni);
            EXPECT_EQ(doc.Fault(), c.fault);
            EXPECT_FALSE(doc.SetValue("k", "2", "S"));
        }
        sim.m_kernel.ClearFaults();
        EXPECT_EQ(*sim.m_files.GetFile(kIni), strOriginal);
        ExpectNoStrayFiles();
        EXPECT_TRUE(Settled());
    }
}

TEST_F(ConfigIniTest, AFailedSaveLeavesTheOldFileAndNoTemporaryFile)
{
    const std::string strOriginal = "[S]\r\nk=1\r\n";
    struct CCase {
        const char* pszCall;
        DWORD dwError;
    } cases[] = {
        {"WriteFile", ERROR_DISK_FULL},   {"CloseHandle", ERROR_WRITE_FAULT}, {"GetTempFileNameA", ERROR_ACCESS_DENIED},
        {"ReplaceFileA", ERROR_ACCESS_DENIED},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszCall);
        sim.m_files.SetFile(kIni, strOriginal);
        {
            CIniDocument doc(kIni);
            EXPECT_TRUE(doc.SetValue("k", "2", "S"));
            sim.m_kernel.FailCall(c.pszCall, c.dwError);
            EXPECT_FALSE(doc.Save());
            EXPECT_EQ(doc.SaveError(), c.dwError);
            sim.m_kernel.ClearFaults();
        }
        EXPECT_EQ(*sim.m_files.GetFile(kIni), strOriginal);
        ExpectNoStrayFiles();
        EXPECT_TRUE(Settled());
    }
    // A full disk, as the file system reports it.
    sim.m_files.SetFreeBytes(4);
    {
        CIniDocument doc(kIni);
        EXPECT_FALSE(doc.Save());
        EXPECT_EQ(doc.SaveError(), static_cast<DWORD>(ERROR_DISK_FULL));
    }
    EXPECT_EQ(*sim.m_files.GetFile(kIni), strOriginal);
    ExpectNoStrayFiles();
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
