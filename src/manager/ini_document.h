// The INI document model: a small INI file held in memory as an ordered list of typed lines, so that
// keys can be set and the whole file written back with everything else in it kept (comments, lines
// it does not understand, the order of lines).
//
// Section and key names are matched without regard to letter case (the system's ANSI upper-casing)
// or to white space at their ends; values are plain text. Loading drops empty lines between lines
// and the blanks at the start of lines, and makes the empty lines at the end of a file (or a file of
// zero bytes) one empty plain line; every line is written back where it stands, with CR LF line
// ends. So a rewrite may change a file twice (an empty line that now stands between lines goes on
// the next one, a header that ended the file gains an empty last line), and the third changes nothing.
//
// Capacity: 256 lines of at most 255 characters of name and 255 of value. Nothing is ever cut: a file
// that does not fit (more lines, a longer name or value, a NUL byte, a read error) or a change that
// does not fit or would not read back as set (a line end in a key or value, a key that would read
// as another kind of line, a "]" in a section name) refuses the document as a whole, and a refused
// document never writes its file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_stream.h"

namespace qx {

enum IniLineType : int32_t {
    INI_COMMENT = 0,  // first non-blank character ";": name holds the text after it
    INI_SECTION = 1,  // first non-blank character "[": name holds the text up to the next "]"
    INI_TEXT = 2,  // any other line without "=" after its first character: name holds the line
    INI_KEY = 3,  // any other line with such an "=": name before it, value after it
};

constexpr int kMaxIniLines = 256;
constexpr int kIniTextSize = 256;  // a name or value buffer: 255 characters and the NUL

// One line of a document: a plain record, copied by value.
class CIniLine {
public:
    CIniLine();

    // Replaces the name or the value; false (nothing changed) when the text is longer than 255.
    bool SetName(const std::string& strText);
    bool SetValue(const std::string& strText);

    int32_t m_nType;
    char m_szName[kIniTextSize];
    char m_szValue[kIniTextSize];
};

// Why a reader or a document refuses its file.
enum class IniFault {
    kNone,
    kTooManyLines,  // more than 256 lines
    kTooLong,  // a name or value longer than 255 characters
    kNulByte,  // a NUL byte, which no record's text can hold
    kReadError,  // the file could not be read to its end
    kOpenError,  // the file exists but cannot be opened (no access, in use)
    kBadChange,  // a change that does not fit (a text too long, no room for its lines)
};

// Turns a file's characters into line records while a document loads. The file is read in text
// mode (a CR LF pair is one LF); its size and position are counted in bytes on disk.
class CIniReader {
public:
    CIniReader() = default;
    virtual ~CIniReader();
    CIniReader(const CIniReader&) = delete;
    CIniReader& operator=(const CIniReader&) = delete;

    // Closes what is open and opens pszPath; 0 or the Win32 error code.
    DWORD Open(const char* pszPath);
    // The next character, spaces and tabs skipped first when bSkipBlanks; NUL once the input is
    // used up (AtEnd() then says so: a character read with AtEnd() set is the last one).
    char GetChar(bool bSkipBlanks);
    // Reads the next line record into line.
    void ReadLine(CIniLine& line);

    bool AtEnd() const { return m_bAtEnd; }
    // kNone, or why the last ReadLine could not give the line as it stands in the file.
    IniFault Fault() const { return m_fault; }

private:
    // The next character (0..255), or -1 at the end.
    int Next(bool bSkipBlanks);
    void Fail(IniFault fault);

    CFileStream m_stream;
    int64_t m_nSize = 0;
    bool m_bAtEnd = true;
    bool m_bSkipBlanksBeforeValue = true;
    IniFault m_fault = IniFault::kNone;
};

class CIniDocument {
public:
    // Loads pszPath when it is not null. A file that does not exist gives an empty document that
    // creates the file when it saves.
    explicit CIniDocument(const char* pszPath = nullptr);
    // Writes the document back when it holds lines that were not saved since they were loaded or
    // last changed, unless it was refused.
    virtual ~CIniDocument();
    CIniDocument(const CIniDocument&) = delete;
    CIniDocument& operator=(const CIniDocument&) = delete;

    // Sets the path and reads the file. False when it cannot be read (then the document is empty;
    // Refused() tells a file that is missing from one that is there and cannot be held).
    bool Load(const char* pszPath);
    // Index of the first section header / key line whose name matches; -1 when there is none.
    // Names match when, folded to upper case in the system's ANSI code page and stripped of white
    // space (space, tab, CR, LF, VT, FF) at both ends, they are equal. Keys are sought over the
    // whole document, not within one section.
    int FindSection(const std::string& strName) const;
    int FindKey(const std::string& strName) const;
    // Sets a key: where it stands if it is anywhere in the document (the line takes the key's
    // name as given); otherwise directly under its section's header, or appended with a new header
    // (or alone, for an empty section). False, and the document refused, when a text is longer
    // than 255 characters or would not read back as set, or the new lines would pass 256.
    bool SetValue(const std::string& strKey, const std::string& strValue, const std::string& strSection);
    // Writes every line to the path, an empty plain line as a bare line end, through a temporary
    // file that takes the file's place only when complete. False when the document is refused or
    // the file cannot be written.
    bool Save();

    bool Refused() const { return m_fault != IniFault::kNone; }
    IniFault Fault() const { return m_fault; }
    DWORD SaveError() const { return m_dwSaveError; }
    const std::string& Path() const { return m_strPath; }
    int Count() const { return m_nLines; }
    const CIniLine& Line(int nIndex) const { return m_lines[nIndex]; }

private:
    void Refuse(IniFault fault);

    std::string m_strPath;
    CIniLine m_lines[kMaxIniLines];
    int32_t m_nLines = 0;
    bool m_bUnsaved = false;
    IniFault m_fault = IniFault::kNone;
    DWORD m_dwSaveError = 0;
};

}  // namespace qx
