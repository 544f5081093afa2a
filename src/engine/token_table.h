// The token table: the text of one settings file (a decoded engine or a manager file) as lines, so
// that a variable's line can be found by its name, read, replaced or added, and the lines turned back
// into text.
//
// The text comes from, and goes back to, the module's text buffer. Only a line feed separates lines;
// a carriage return that ended a line stays its last character, and every other byte (0x00
// included) stays in the line. A name's key is its beginning up to its first space, '=' or line
// feed; a line matches a name when it begins with the name's key, ignoring case by the system's
// ANSI rules.
//
// Limits: a text of more than kMaxTokenLines lines is refused as a whole (the table stays empty and
// IsLoaded() is false); an insertion into a full table, and a write-back whose text would not fit
// into the buffer, are refused and change nothing.
#pragma once

#include <array>
#include <string>

namespace qx {

constexpr int kMaxTokenLines = 10000;

class CTokenTable {
public:
    // Builds the table from the first g_textPos bytes of g_textBuffer, showing the settings-loading
    // window meanwhile (its bar moved once per line); g_textPos is the count read afterwards, or 0
    // when the text is refused.
    CTokenTable();
    // Writes the lines back into g_textBuffer, unless WriteBack() was called or the load refused.
    ~CTokenTable();
    CTokenTable(const CTokenTable&) = delete;
    CTokenTable& operator=(const CTokenTable&) = delete;

    // False when the text had more than kMaxTokenLines lines and was refused.
    bool IsLoaded() const { return m_bLoaded; }

    // The length of a name's key.
    static size_t KeyLength(const char* pszName);
    // The index of the first line that begins with the name's key, ignoring case, or -1. An empty
    // key matches line 0 of a table that has lines.
    int FindLine(const char* pszName) const;
    // The line's value: the text after its first '=' (the whole line without one), without the
    // quotes and '=' that begin and end it.
    std::string GetLineValue(int nIndex) const;
    // Replaces line nIndex with the text; with -1, adds it as the new last line (the first line of
    // an empty table). False when the index is out of range or the table is full.
    bool SetLine(int nIndex, const char* pszText);
    // Inserts the text before line nPosition (1 .. m_nLines). False, changing nothing, for a
    // position outside that range or a full table.
    bool InsertLine(int nPosition, const char* pszText);
    // The size of the text the write-back would produce.
    size_t TextSize() const;
    // Writes the lines into g_textBuffer (each non-empty line ending with a carriage return first
    // when m_bAddCR is set and it lacks one, every line with a line feed) and sets g_textPos to the
    // text's length. False, writing nothing, when the text would not fit.
    bool WriteBack();

    std::array<std::string, kMaxTokenLines> m_lines;
    int m_nLines = 0;
    bool m_bAddCR = false;

private:
    bool m_bLoaded = true;
    bool m_bWritten = false;
};

}  // namespace qx
