// The INI document model: the lines a file loads as and the form it is written back in,
// name matching, the placement of new keys, and the refusals that leave a file untouched.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manager/ini_document.h"
#include "sim_fixture.h"

namespace qx {
namespace {

constexpr char kIni[] = "C:\\cfg\\test.ini";

struct CLineCase {
    int32_t nType;
    std::string strName, strValue;
    bool operator==(const CLineCase& o) const
    {
        return nType == o.nType && strName == o.strName && strValue == o.strValue;
    }
};
void PrintTo(const CLineCase& l, std::ostream* pOut)
{
    *pOut << l.nType << ' ' << ::testing::PrintToString(l.strName) << '=' << ::testing::PrintToString(l.strValue);
}

struct CChange {
    std::string strKey, strValue, strSection;
    bool bAccepted;
};

std::string Lines(int nCount, const std::string& strPrefix = "line")
{
    std::string strText;
    for (int i = 0; i < nCount; ++i)
        strText += strPrefix + std::to_string(i) + "\r\n";
    return strText;
}

class ConfigIniTest : public test::SimTest {
protected:
    void SetUp() override { sim.m_files.AddFolder("C:\\cfg"); }

    // Loads kIni (holding *pRaw, or missing), checks the lines when given, makes the changes, lets
    // the document write itself back, and returns the file (nullopt: none).
    std::optional<std::string> Rewrite(const std::optional<std::string>& raw, const std::vector<CLineCase>* pLines,
                                       const std::vector<CChange>& changes = {})
    {
        if (raw)
            sim.m_files.SetFile(kIni, *raw);
        {
            auto pDoc = std::make_unique<CIniDocument>(kIni);
            std::vector<CLineCase> lines;
            for (int i = 0; i < pDoc->Count(); ++i)
                lines.push_back({pDoc->Line(i).m_nType, pDoc->Line(i).m_szName, pDoc->Line(i).m_szValue});
            if (pLines != nullptr) {
                EXPECT_EQ(lines, *pLines);
            }
            for (const CChange& c : changes) {
                SCOPED_TRACE("set " + c.strKey.substr(0, 20));
                int nBefore = pDoc->Count();
                EXPECT_EQ(pDoc->SetValue(c.strKey, c.strValue, c.strSection), c.bAccepted);
                EXPECT_TRUE(c.bAccepted || (pDoc->Refused() && pDoc->Count() == nBefore));
            }
        }
        EXPECT_TRUE(Settled());
        EXPECT_LE(sim.m_files.List("C:\\cfg").size(), 1u);  // no temporary file left
        return sim.m_files.GetFile(kIni);
    }
};

TEST_F(ConfigIniTest, EachKindOfLineLoadsAndIsWrittenBackInCleanedForm)
{
    const std::string n255(255, 'n'), v255(255, 'v');
    struct {
        const char* pszWhat;
        std::string strRaw;
        std::vector<CLineCase> lines;
        std::string strWritten;
        std::string strSettled = {};  // what a second rewrite gives, when it differs
    } cases[] = {
        {"header and key",
         "[Main]\r\nName=Value\r\n",
         {{INI_SECTION, "Main", ""}, {INI_KEY, "Name", "Value"}},
         "[Main]\r\nName=Value\r\n"},
        {"blanks around =",
         "  Name \t=  \tsome value  \r\nEmpty=   \r\n",
         {{INI_KEY, "Name \t", "some value  "}, {INI_KEY, "Empty", ""}},
         "Name \t=some value  \r\nEmpty=\r\n"},
        {"first = and ] are name characters",
         "=plain\r\n=a=b\r\nk=x=y==\r\n]x=1\r\n",
         {{INI_TEXT, "=plain", ""}, {INI_KEY, "=a", "b"}, {INI_KEY, "k", "x=y=="}, {INI_KEY, "]x", "1"}},
         "=plain\r\n=a=b\r\nk=x=y==\r\n]x=1\r\n"},
        {"comments",
         "  ; a note = not a key  \r\n;\r\n",
         {{INI_COMMENT, " a note = not a key  ", ""}, {INI_COMMENT, "", ""}},
         "; a note = not a key  \r\n;\r\n"},
        {"a key after a header",
         "[ Main ]  k = v\r\n",
         {{INI_SECTION, " Main ", ""}, {INI_KEY, "k ", "v"}},
         "[ Main ]\r\nk =v\r\n"},
        {"a header last, its line end an empty line",
         "k=v\r\n[Last]\r\n",
         {{INI_KEY, "k", "v"}, {INI_SECTION, "Last", ""}, {INI_TEXT, "", ""}},
         "k=v\r\n[Last]\r\n\r\n"},
        // A header that ends the file gains its line end, which the next reading takes for an
        // empty last line: the second rewrite adds it, the third changes nothing.
        {"a header ending the file", "[Last]", {{INI_SECTION, "Last", ""}}, "[Last]\r\n", "[Last]\r\n\r\n"},
        {"a lone [", "[", {{INI_SECTION, "", ""}}, "[]\r\n", "[]\r\n\r\n"},
        {"unterminated [",
         "a=1\r\n[open\r\nb=2\r\n",
         {{INI_KEY, "a", "1"}, {INI_SECTION, "open\nb=2\n", ""}},
         "a=1\r\n[open\r\nb=2\r\n]\r\n",
         "a=1\r\n[open\r\nb=2\r\n]\r\n\r\n"},
        {"empty lines",
         "a\r\n\r\n   \r\n\t\r\nb\r\n\r\n\r\n\r\n",
         {{INI_TEXT, "a", ""}, {INI_TEXT, "b", ""}, {INI_TEXT, "", ""}},
         "a\r\nb\r\n\r\n"},
        {"zero bytes", "", {{INI_TEXT, "", ""}}, "\r\n"},
        {"blanks ending the file", "a\r\n   ", {{INI_TEXT, "a", ""}, {INI_TEXT, "", ""}}, "a\r\n\r\n"},
        {"blanks after = ending the file", "k=  \t ", {{INI_KEY, "k", ""}}, "k=\r\n"},
        {"lone LF, no last line end",
         "[s]\nk=v\nlast",
         {{INI_SECTION, "s", ""}, {INI_KEY, "k", "v"}, {INI_TEXT, "last", ""}},
         "[s]\r\nk=v\r\nlast\r\n"},
        {"lone CR", "a\rb\r\n", {{INI_TEXT, "a\rb", ""}}, "a\rb\r\n"},
        {"bytes above 0x7F",
         "[Schl\xFC"
         "ssel]\r\n\xE4\xF6=\xFF\x80\r\n",
         {{INI_SECTION, "Schl\xFCssel", ""}, {INI_KEY, "\xE4\xF6", "\xFF\x80"}},
         "[Schl\xFC"
         "ssel]\r\n\xE4\xF6=\xFF\x80\r\n"},
        {"255 characters fit",
         "[" + n255 + "]\r\n" + n255 + "=" + v255 + "\r\n;" + n255 + "\r\n",
         {{INI_SECTION, n255, ""}, {INI_KEY, n255, v255}, {INI_COMMENT, n255, ""}},
         "[" + n255 + "]\r\n" + n255 + "=" + v255 + "\r\n;" + n255 + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        const std::string& strSettled = c.strSettled.empty() ? c.strWritten : c.strSettled;
        EXPECT_EQ(Rewrite(c.strRaw, &c.lines), c.strWritten);
        EXPECT_EQ(Rewrite(c.strWritten, nullptr), strSettled);
        EXPECT_EQ(Rewrite(strSettled, nullptr), strSettled);  // settled after two rewrites
    }
    EXPECT_EQ(Rewrite(Lines(kMaxIniLines, "  line"), nullptr), Lines(kMaxIniLines));  // 256 lines fit
}

TEST_F(ConfigIniTest, TheReaderGivesTheLastCharacterWithTheEndFlagThenNul)
{
    CIniReader reader;
    sim.m_files.SetFile(kIni, "ab\r\n");
    ASSERT_EQ(reader.Open(kIni), 0u);
    EXPECT_EQ(std::string({reader.GetChar(false), reader.GetChar(true)}), "ab");
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.GetChar(false), '\n');  // a CR LF pair is one character, here the last
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.GetChar(false), '\0');
    sim.m_files.SetFile(kIni, "a \t");
    ASSERT_EQ(reader.Open(kIni), 0u);
    EXPECT_EQ(reader.GetChar(false), 'a');
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.GetChar(true), '\0');  // blanks that run to the end are no character
    EXPECT_TRUE(reader.AtEnd());
}

TEST_F(ConfigIniTest, NamesMatchInAnyLetterCaseAndBlanksAtTheirEndsOnLinesOfTheirKind)
{
    sim.m_files.SetFile(kIni, "[ File Locations\t]\r\nlogs  =x\r\nLogsX=y\r\n[Schl\xFCssel]\r\n\xFF"
                              "ber=1\r\n"
                              "Stra\xDF"
                              "e=2\r\n;Editor=1\r\nEditor\r\n[Editor]\r\n");
    CIniDocument doc(kIni);
    struct {
        std::string strName;
        int nSection, nKey;
    } cases[] = {
        {"file locations", 0, -1},
        {"  FILE LOCATIONS \r\n", 0, -1},
        {"FileLocations", -1, -1},
        {"LOGS", -1, 1},
        {"\tLogs ", -1, 1},
        {"Log", -1, -1},
        {"SCHL\xDCSSEL", 3, -1},
        {"\x9F"
         "BER",
         -1, 4},
        {"STRA\xDF"
         "E",
         -1, 5},
        {"STRASSE", -1, -1},
        {"Editor", 8, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strName);
        EXPECT_EQ(doc.FindSection(c.strName), c.nSection);
        EXPECT_EQ(doc.FindKey(c.strName), c.nKey);
    }
    EXPECT_STREQ(doc.Line(0).m_szName, " File Locations\t");  // a search changes no stored text
}

// A file or a change that does not fit, or would not read back as set, refuses the document: no
// change is made and the file stays as it was.
TEST_F(ConfigIniTest, NewKeysGoUnderTheirHeaderOrAreAppendedAndWhatDoesNotFitIsRefusedWhole)
{
    const std::string strS = "[S]\r\nk=1\r\n", strFull = "[S]\r\n" + Lines(kMaxIniLines - 2), s255(255, 's');
    struct {
        const char* pszWhat;
        std::optional<std::string> raw;
        std::vector<CChange> changes;
        std::optional<std::string> written;
    } cases[] = {
        {"a key in another section",
         "[A]\r\n  sCRIPTS  = old\r\n[B]\r\nx=1\r\n",
         {{"Scripts", "new", "B", true}},
         "[A]\r\nScripts=new\r\n[B]\r\nx=1\r\n"},
        {"new keys under the header",
         "[S]\r\nold=0\r\n[T]\r\nt=1\r\n",
         {{"first", "1", "s", true}, {"second", "2", "S", true}},
         "[S]\r\nsecond=2\r\nfirst=1\r\nold=0\r\n[T]\r\nt=1\r\n"},
        {"a new section, an empty one",
         "[A]\r\na=1\r\n",
         {{"b", "2", "B", true}, {"c", "3", "", true}},
         "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=3\r\n"},
        // An empty last line is written where it stands: before what is appended, after what goes
        // under the header above it.
        {"after empty last lines", "x=1\r\n\r\n\r\n", {{"y", "2", "New", true}}, "x=1\r\n\r\n[New]\r\ny=2\r\n"},
        {"after a zero-byte file", "", {{"y", "2", "New", true}}, "\r\n[New]\r\ny=2\r\n"},
        {"after a last line of blanks", "x=1\r\n \t ", {{"y", "2", "", true}}, "x=1\r\n\r\ny=2\r\n"},
        {"after a header last",
         "[S]\r\n",
         {{"k", "1", "S", true}, {"y", "2", "New", true}},
         "[S]\r\nk=1\r\n\r\n[New]\r\ny=2\r\n"},
        {"no file, a key", std::nullopt, {{"k", "v", "S", true}}, "[S]\r\nk=v\r\n"},
        {"no file, no key", std::nullopt, {}, std::nullopt},
        {"a value of 256",
         strS,
         {{"o", "1", "S", true}, {"k", std::string(256, 'v'), "S", false}, {"k", "2", "S", false}},
         strS},
        {"a key of 256", strS, {{std::string(256, 'k'), "v", "S", false}}, strS},
        {"a section of 256", strS, {{"new", "v", s255 + "s", false}}, strS},
        {"a line end in a value", strS, {{"k", "a\nb", "S", false}}, strS},
        {"] in a section", strS, {{"n", "v", "a]b", false}}, strS},
        {"no room for a section", strFull, {{"k", "v", "New", false}}, strFull},
        {"room for one key",
         strFull,
         {{"k", "v", "S", true}, {"K", "in place", "New", true}, {"k2", "v", "S", false}},
         strFull},
        {"no room for a key", strFull + "k=v\r\n", {{"k2", "v", "", false}}, strFull + "k=v\r\n"},
        {"room at the end", strFull, {{"k", "v", "", true}}, strFull + "k=v\r\n"},
        {"a text line is no key", Lines(kMaxIniLines), {{"line7", "v", "", false}}, Lines(kMaxIniLines)},
        {"257 lines", Lines(kMaxIniLines + 1), {{"k", "v", "S", false}}, Lines(kMaxIniLines + 1)},
        {"256 lines, an empty last",
         Lines(kMaxIniLines) + "\r\n",
         {{"k", "v", "S", false}},
         Lines(kMaxIniLines) + "\r\n"},
        {"a name of 256", "[s]\r\n" + s255 + "n=1\r\n", {{"k", "v", "s", false}}, "[s]\r\n" + s255 + "n=1\r\n"},
        {"a value of 256 in the file", "k=" + s255 + "v\r\n", {{"k", "v", "", false}}, "k=" + s255 + "v\r\n"},
        {"a comment of 256", ";" + s255 + "c\r\n", {{"k", "v", "", false}}, ";" + s255 + "c\r\n"},
        {"an unterminated [, a long tail", "[o\r\n" + s255, {{"k", "v", "", false}}, "[o\r\n" + s255},
        {"a NUL byte", std::string("k=a\0b\r\n", 7), {{"k", "v", "", false}}, std::string("k=a\0b\r\n", 7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszWhat);
        if (sim.m_files.Exists(kIni))
            sim.m_files.DeleteFileA(kIni);
        EXPECT_EQ(Rewrite(c.raw, nullptr, c.changes), c.written);
    }
    // Keys that would read back as another line or another key.
    for (const char* pszKey : {"a\nb", "a=b", ";k", "[k", " k", "\tk", ""}) {
        SCOPED_TRACE(pszKey);
        EXPECT_EQ(Rewrite(strS, nullptr, {{pszKey, "v", "S", false}}), strS);
    }
}

}  // namespace
}  // namespace qx
