// The token table: the text of one settings file (a decoded engine or a manager file) as lines, so
// that a variable's line can be found by its name, read, replaced or added, and the lines turned back
// into text.
//
// The table is loaded from a text and written back into a buffer by explicit calls (the exports
// load it from the module's text buffer and write it back there). Only a line feed separates lines;
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
#include <cstddef>
#include <string>

namespace qx {

constexpr int kMaxTokenLines = 10000;

class CTokenTable {
public:
    CTokenTable() = default;
    CTokenTable(const CTokenTable&) = delete;
    CTokenTable& operator=(const CTokenTable&) = delete;

    // Builds the table from the cbText bytes of pText, in place of what it held, showing the
    // settings-loading window meanwhile (its bar moved once per line). False, the table empty, when
    // the text has more than kMaxTokenLines lines and is refused.
    bool Load(const char* pText, size_t cbText);
    // False when the last load was refused.
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
    // Writes the lines into pBuffer (each non-empty line ending with a carriage return first when
    // m_bAddCR is set and it lacks one, every line with a line feed) and sets *pcbText to the text's
    // length. False, writing nothing, when the text would not fit cbBuffer bytes or the load was
    // refused.
    bool WriteTo(char* pBuffer, size_t cbBuffer, size_t* pcbText) const;

    std::array<std::string, kMaxTokenLines> m_lines;
    int m_nLines = 0;
    bool m_bAddCR = false;

private:
    bool m_bLoaded = true;
};

}  // namespace qx
