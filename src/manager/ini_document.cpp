#include "manager/ini_document.h"

#include <cstring>

namespace qx {

namespace {

bool IsIniWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The part of [psz, psz + cch) without white space at either end.
void StripIniWhite(const char*& psz, size_t& cch)
{
    while (cch > 0 && IsIniWhite(psz[0])) {
        ++psz;
        --cch;
    }
    while (cch > 0 && IsIniWhite(psz[cch - 1]))
        --cch;
}

// A sought name, folded and stripped once for a whole search.
class CIniSoughtName {
public:
    explicit CIniSoughtName(const std::string& strName) : m_strFolded(strName)
    {
        if (!m_strFolded.empty())
            Sys().CharUpperBuffA(&m_strFolded[0], static_cast<DWORD>(m_strFolded.size()));
        const char* psz = m_strFolded.data();
        size_t cch = m_strFolded.size();
        StripIniWhite(psz, cch);
        m_strFolded = std::string(psz, cch);
    }

    // Upper-casing neither makes nor unmakes white space and keeps the length, so the stored name
    // is stripped first and folded only when its length can match.
    bool Matches(const char* pszStored) const
    {
        const char* psz = pszStored;
        size_t cch = std::strlen(pszStored);
        StripIniWhite(psz, cch);
        if (cch != m_strFolded.size())
            return false;
        char szFolded[kIniTextSize];
        std::memcpy(szFolded, psz, cch);
        if (cch > 0)
            Sys().CharUpperBuffA(szFolded, static_cast<DWORD>(cch));
        return std::memcmp(szFolded, m_strFolded.data(), cch) == 0;
    }

private:
    std::string m_strFolded;
};

bool CopyIniText(char* psz, const std::string& strText)
{
    if (strText.size() >= static_cast<size_t>(kIniTextSize))
        return false;
    std::memcpy(psz, strText.c_str(), strText.size() + 1);
    return true;
}

// Whether a change writes lines that read back as they were set: a key name that starts with no
// blank, ";" or "[" and holds no "=" after its first character, names and values without a line end
// (or NUL), a section name without "]".
bool ReadsBack(const std::string& strKey, const std::string& strValue, const std::string& strSection)
{
    static const std::string kLineEnds("\n\0", 2);
    return !strKey.empty() && std::strchr(" \t;[", strKey[0]) == nullptr &&
           strKey.find_first_of(kLineEnds) == std::string::npos && strKey.find('=', 1) == std::string::npos &&
           strValue.find_first_of(kLineEnds) == std::string::npos &&
           strSection.find_first_of(kLineEnds + "]") == std::string::npos;
}

int FindLine(const CIniLine* pLines, int nLines, int32_t nType, const std::string& strName)
{
    CIniSoughtName sought(strName);
    for (int i = 0; i < nLines; ++i) {
        if (pLines[i].m_nType == nType && sought.Matches(pLines[i].m_szName))
            return i;
    }
    return -1;
}

}  // namespace

// ---- CIniLine ---------------------------------------------------------------------------------

CIniLine::CIniLine() : m_nType(INI_COMMENT)
{
    m_szName[0] = '\0';
    m_szValue[0] = '\0';
}

bool CIniLine::SetName(const std::string& strText) { return CopyIniText(m_szName, strText); }

bool CIniLine::SetValue(const std::string& strText) { return CopyIniText(m_szValue, strText); }

// ---- CIniReader -------------------------------------------------------------------------------

CIniReader::~CIniReader() { m_stream.Close(); }

DWORD CIniReader::Open(const char* pszPath)
{
    m_stream.Close();
    m_bAtEnd = true;
    m_fault = IniFault::kNone;
    DWORD dwError = m_stream.OpenRead(pszPath, CFileStream::Mode::kText);
    if (dwError != 0)
        return dwError;
    m_nSize = m_stream.Size();
    m_bAtEnd = false;
    return 0;
}

void CIniReader::Fail(IniFault fault)
{
    if (m_fault == IniFault::kNone)
        m_fault = fault;
}

int CIniReader::Next(bool bSkipBlanks)
{
    if (m_bAtEnd)
        return -1;
    int c = m_stream.GetByte();
    while (bSkipBlanks && (c == ' ' || c == '\t'))
        c = m_stream.GetByte();
    if (c < 0) {
        // Nothing left, or the file could not be read on: either way the input ends here.
        if (m_stream.Error() != 0)
            Fail(IniFault::kReadError);
        m_bAtEnd = true;
        return -1;
    }
    if (m_stream.Tell() >= m_nSize)
        m_bAtEnd = true;
    return c;
}

char CIniReader::GetChar(bool bSkipBlanks)
{
    int c = Next(bSkipBlanks);
    return c < 0 ? '\0' : static_cast<char>(c);
}

namespace {

// Fills one text of a record, keeping its length; refuses a character that would not fit.
class CIniTextFill {
public:
    explicit CIniTextFill(char* psz) : m_psz(psz) { m_psz[0] = '\0'; }
    bool Put(char c)
    {
        if (m_cch + 1 >= static_cast<size_t>(kIniTextSize))
            return false;
        m_psz[m_cch++] = c;
        m_psz[m_cch] = '\0';
        return true;
    }

private:
    char* m_psz;
    size_t m_cch = 0;
};

}  // namespace

void CIniReader::ReadLine(CIniLine& line)
{
    CIniTextFill name(line.m_szName);
    CIniTextFill value(line.m_szValue);
    m_fault = IniFault::kNone;
    // Stores one character read from the file; a NUL byte or a text too long refuses the line.
    auto put = [this](CIniTextFill& text, int c) {
        if (c == 0)
            Fail(IniFault::kNulByte);
        else if (!text.Put(static_cast<char>(c)))
            Fail(IniFault::kTooLong);
        return m_fault == IniFault::kNone;
    };

    int c;
    do {
        c = Next(true);
    } while (c == '\n');

    if (c < 0) {
        line.m_nType = INI_TEXT;
    } else if (c == ';') {
        line.m_nType = INI_COMMENT;
        while ((c = Next(false)) >= 0 && c != '\n' && put(name, c)) {
        }
    } else if (c == '[') {
        line.m_nType = INI_SECTION;
        while ((c = Next(false)) >= 0 && c != ']' && put(name, c)) {
        }
    } else {
        line.m_nType = INI_TEXT;
        if (!put(name, c))
            return;
        while ((c = Next(false)) >= 0 && c != '=' && c != '\n' && put(name, c)) {
        }
        if (c == '=' && m_fault == IniFault::kNone) {
            line.m_nType = INI_KEY;
            for (c = Next(m_bSkipBlanksBeforeValue); c >= 0 && c != '\n' && put(value, c); c = Next(false)) {
            }
        }
    }
}

// ---- CIniDocument -----------------------------------------------------------------------------

CIniDocument::CIniDocument(const char* pszPath)
{
    if (pszPath != nullptr)
        Load(pszPath);
}

CIniDocument::~CIniDocument()
{
    if (m_nLines > 0 && m_bUnsaved && !Refused())
        Save();
}

void CIniDocument::Refuse(IniFault fault)
{
    if (m_fault == IniFault::kNone)
        m_fault = fault;
}

bool CIniDocument::Load(const char* pszPath)
{
    m_strPath = pszPath != nullptr ? pszPath : "";
    m_nLines = 0;
    m_bUnsaved = false;
    m_fault = IniFault::kNone;
    m_dwSaveError = 0;

    CIniReader reader;
    DWORD dwError = reader.Open(m_strPath.c_str());
    if (dwError != 0) {
        // A file that is not there yet is created by the next save; one that is there but cannot
        // be read must not be replaced by a document that never saw its lines.
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
            Refuse(IniFault::kOpenError);
        return false;
    }
    while (!reader.AtEnd()) {
        if (m_nLines == kMaxIniLines) {
            Refuse(IniFault::kTooManyLines);
            break;
        }
        reader.ReadLine(m_lines[m_nLines]);
        if (reader.Fault() != IniFault::kNone) {
            Refuse(reader.Fault());
            break;
        }
        ++m_nLines;
    }
    if (Refused()) {
        m_nLines = 0;
        return false;
    }
    m_bUnsaved = m_nLines > 0;
    return true;
}

int CIniDocument::FindSection(const std::string& strName) const
{
    return FindLine(m_lines, m_nLines, INI_SECTION, strName);
}

int CIniDocument::FindKey(const std::string& strName) const { return FindLine(m_lines, m_nLines, INI_KEY, strName); }

bool CIniDocument::SetValue(const std::string& strKey, const std::string& strValue, const std::string& strSection)
{
    if (Refused())
        return false;
    CIniLine keyLine;
    keyLine.m_nType = INI_KEY;
    CIniLine sectionLine;
    sectionLine.m_nType = INI_SECTION;
    if (!keyLine.SetName(strKey) || !keyLine.SetValue(strValue) || !sectionLine.SetName(strSection) ||
        !ReadsBack(strKey, strValue, strSection)) {
        Refuse(IniFault::kBadChange);
        return false;
    }

    int nKey = FindKey(strKey);
    int nSection = nKey < 0 && !strSection.empty() ? FindSection(strSection) : -1;
    int nNew = nKey >= 0 ? 0 : !strSection.empty() && nSection < 0 ? 2 : 1;
    if (m_nLines + nNew > kMaxIniLines) {
        Refuse(IniFault::kBadChange);
        return false;
    }
    if (nKey >= 0) {
        m_lines[nKey] = keyLine;
    } else if (nSection >= 0) {
        for (int i = m_nLines - 1; i > nSection; --i)
            m_lines[i + 1] = m_lines[i];
        m_lines[nSection + 1] = keyLine;
        ++m_nLines;
    } else {
        if (nNew == 2)
            m_lines[m_nLines++] = sectionLine;
        m_lines[m_nLines++] = keyLine;
    }
    m_bUnsaved = true;
    return true;
}

bool CIniDocument::Save()
{
    m_bUnsaved = false;
    if (Refused()) {
        m_dwSaveError = ERROR_INVALID_DATA;
        return false;
    }
    CAtomicFile file(m_strPath);
    m_dwSaveError = file.Create(CFileStream::Mode::kText);
    if (m_dwSaveError != 0)
        return false;
    CFileStream& stream = file.Stream();
    for (int i = 0; i < m_nLines; ++i) {
        // Every line where it stands, an empty plain line as a bare line end.
        const CIniLine& line = m_lines[i];
        switch (line.m_nType) {
        case INI_COMMENT:
            stream.PutByte(';');
            stream.PutText(line.m_szName);
            break;
        case INI_SECTION:
            stream.PutByte('[');
            stream.PutText(line.m_szName);
            stream.PutByte(']');
            break;
        case INI_KEY:
            stream.PutText(line.m_szName);
            stream.PutByte('=');
            stream.PutText(line.m_szValue);
            break;
        default:
            stream.PutText(line.m_szName);
            break;
        }
        if (!stream.PutByte('\n'))
            break;
    }
    m_dwSaveError = file.Commit();
    return m_dwSaveError == 0;
}

}  // namespace qx
