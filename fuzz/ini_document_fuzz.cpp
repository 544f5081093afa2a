// The INI document on any file and any change. The input is the file's bytes, then "\0\0" and the
// changes as NUL-separated triples (key, value, section); an input that starts with "\0\0\0" has no
// file at all. Every document is held against a reference reading of the same rules: the lines
// loaded, each lookup, each change and its refusal, and the bytes written. A file or change that
// does not fit is refused whole (nothing cut, the file untouched); a rewrite settles after at most
// two: the second rewrite of a file equals the third.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manager/ini_document.h"
#include "platform/platform.h"
#include "sim/sim_platform.h"

namespace {

constexpr char kFolder[] = "C:\\cfg";
constexpr char kPath[] = "C:\\cfg\\f.ini";

void CheckAt(bool bOk, int nLine)
{
    if (!bOk) {
        std::fprintf(stderr, "property of line %d failed\n", nLine);
        std::abort();
    }
}
#define Check(...) CheckAt((__VA_ARGS__), __LINE__)

struct CLine {
    int32_t nType;
    std::string strName, strValue;
    bool operator==(const CLine& o) const { return nType == o.nType && strName == o.strName && strValue == o.strValue; }
};

// The rules of the file's lines, read character by character from the text as text mode gives it.
struct CReference {
    std::vector<CLine> lines;
    bool bRefused = false;

    void Load(const std::string& strRaw)
    {
        std::string t;  // CR LF pairs read as LF
        for (size_t i = 0; i < strRaw.size(); ++i) {
            if (strRaw[i] == '\r' && i + 1 < strRaw.size() && strRaw[i + 1] == '\n')
                continue;
            t += strRaw[i];
        }
        size_t i = 0;
        bool bEnd = false;
        auto get = [&](bool bSkip) -> int {
            if (bEnd)
                return -1;
            while (bSkip && i < t.size() && (t[i] == ' ' || t[i] == '\t'))
                ++i;
            if (i == t.size()) {
                bEnd = true;
                return -1;
            }
            int c = static_cast<unsigned char>(t[i++]);
            bEnd = i == t.size();
            return c;
        };
        while (!bEnd) {
            CLine line {qx::INI_TEXT, "", ""};
            int c;
            do {
                c = get(true);
            } while (c == '\n');
            if (c == ';' || c == '[') {
                line.nType = c == ';' ? qx::INI_COMMENT : qx::INI_SECTION;
                int stop = c == ';' ? '\n' : ']';
                while ((c = get(false)) >= 0 && c != stop)
                    line.strName += static_cast<char>(c);
            } else if (c >= 0) {
                line.strName += static_cast<char>(c);
                while ((c = get(false)) >= 0 && c != '=' && c != '\n')
                    line.strName += static_cast<char>(c);
                if (c == '=') {
                    line.nType = qx::INI_KEY;
                    for (c = get(true); c >= 0 && c != '\n'; c = get(false))
                        line.strValue += static_cast<char>(c);
                }
            }
            lines.push_back(line);
        }
        bRefused = lines.size() > qx::kMaxIniLines;
        for (const CLine& line : lines) {
            for (const std::string* p : {&line.strName, &line.strValue})
                bRefused = bRefused || p->size() > 255 || p->find('\0') != std::string::npos;
        }
        if (bRefused)
            lines.clear();
    }

    // Fold to upper case in the ANSI code page, then strip white space at both ends.
    static std::string Folded(std::string s)
    {
        if (!s.empty())
            qx::Sys().CharUpperBuffA(&s[0], static_cast<DWORD>(s.size()));
        const char* pszWhite = " \t\r\n\v\f";
        size_t b = s.find_first_not_of(pszWhite);
        return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(pszWhite) - b + 1);
    }
    int Find(int32_t nType, const std::string& strName) const
    {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].nType == nType && Folded(lines[i].strName) == Folded(strName))
                return static_cast<int>(i);
        }
        return -1;
    }

    bool Set(const std::string& k, const std::string& v, const std::string& s)
    {
        bool bReadsBack = !k.empty() && k[0] != ' ' && k[0] != '\t' && k[0] != ';' && k[0] != '[' &&
                          k.find('=', 1) == std::string::npos && (k + v + s).find('\n') == std::string::npos &&
                          s.find(']') == std::string::npos;
        int nKey = Find(qx::INI_KEY, k);
        int nSection = s.empty() ? -1 : Find(qx::INI_SECTION, s);
        size_t nNew = nKey >= 0 ? 0 : !s.empty() && nSection < 0 ? 2 : 1;
        if (bRefused || !bReadsBack || k.size() > 255 || v.size() > 255 || s.size() > 255 ||
            lines.size() + nNew > qx::kMaxIniLines) {
            bRefused = true;
            return false;
        }
        CLine key {qx::INI_KEY, k, v};
        if (nKey >= 0)
            lines[nKey] = key;
        else if (nSection >= 0)
            lines.insert(lines.begin() + nSection + 1, key);
        else if (!s.empty())
            lines.insert(lines.end(), {CLine {qx::INI_SECTION, s, ""}, key});
        else
            lines.push_back(key);
        return true;
    }

    // The file as written, in text mode: every line where it stands.
    std::string Text() const
    {
        std::string strText;
        for (const CLine& l : lines) {
            if (l.nType == qx::INI_COMMENT)
                strText += ";" + l.strName;
            else if (l.nType == qx::INI_SECTION)
                strText += "[" + l.strName + "]";
            else
                strText += l.strName + (l.nType == qx::INI_KEY ? "=" + l.strValue : "");
            strText += "\n";
        }
        std::string strDisk;  // each LF written as CR LF
        for (char c : strText)
            strDisk += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return strDisk;
    }
};

void ExpectLines(const qx::CIniDocument& doc, const CReference& ref)
{
    Check(doc.Refused() == ref.bRefused && doc.Count() == static_cast<int>(ref.lines.size()));
    for (int i = 0; i < doc.Count(); ++i) {
        const qx::CIniLine& line = doc.Line(i);
        Check(std::memchr(line.m_szName, 0, qx::kIniTextSize) && std::memchr(line.m_szValue, 0, qx::kIniTextSize));
        Check(ref.lines[i] == CLine {line.m_nType, line.m_szName, line.m_szValue});
    }
}

struct CChange {
    std::string strKey, strValue, strSection;
};

// Loads the file that holds strRaw, makes the changes, and lets the document write itself back;
// the file afterwards, or "" when there is none. The document's lines as saved go to *pDocument.
std::string Rewrite(qx::sim::CSimPlatform& sim, const std::string* pRaw, const std::vector<CChange>& changes,
                    CReference* pDocument = nullptr)
{
    sim.m_files.AddFolder(kFolder);
    if (pRaw != nullptr)
        sim.m_files.SetFile(kPath, *pRaw);
    CReference ref;
    if (pRaw != nullptr)
        ref.Load(*pRaw);
    {
        auto pDoc = std::make_unique<qx::CIniDocument>(kPath);
        ExpectLines(*pDoc, ref);
        for (const CChange& c : changes) {
            Check(pDoc->FindKey(c.strKey) == ref.Find(qx::INI_KEY, c.strKey));
            Check(pDoc->FindSection(c.strSection) == ref.Find(qx::INI_SECTION, c.strSection));
            Check(pDoc->SetValue(c.strKey, c.strValue, c.strSection) == ref.Set(c.strKey, c.strValue, c.strSection));
            ExpectLines(*pDoc, ref);
        }
    }
    if (pDocument != nullptr)
        *pDocument = ref;
    std::optional<std::string> file = sim.m_files.GetFile(kPath);
    Check(sim.m_files.List(kFolder).size() == (file ? 1u : 0u) && sim.Clean());
    if (ref.bRefused || ref.lines.empty()) {
        Check(pRaw != nullptr ? file == *pRaw : !file.has_value());  // untouched
        return "";
    }
    Check(file == ref.Text());
    return *file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    std::string strInput(reinterpret_cast<const char*>(pData), cb);
    bool bNoFile = strInput.compare(0, 3, std::string(3, '\0')) == 0;
    size_t nSplit = bNoFile ? 0 : strInput.find(std::string(2, '\0'));
    std::string strRaw = strInput.substr(0, nSplit);
    std::vector<std::string> texts;
    size_t nNext = bNoFile ? 3 : nSplit == std::string::npos ? cb + 1 : nSplit + 2;
    while (nNext <= cb && texts.size() < 30) {
        size_t nEnd = std::min(strInput.find('\0', nNext), cb);
        texts.push_back(strInput.substr(nNext, nEnd - nNext));
        nNext = nEnd + 1;
    }
    std::vector<CChange> changes;
    for (size_t i = 0; i + 2 < texts.size(); i += 3)
        changes.push_back({texts[i], texts[i + 1], texts[i + 2]});

    qx::sim::CSimPlatform sim;
    CReference document;
    std::string strWritten = Rewrite(sim, bNoFile ? nullptr : &strRaw, changes, &document);
    if (strWritten.empty())
        return 0;
    // The second rewrite may still change the file (an empty line now between lines goes, a header
    // that ended the file gains an empty last line, blanks set before a value go); the third changes
    // nothing. Only a document of 256 lines whose header ended the file reads back as one line too
    // many, and is refused.
    std::string strAgain = Rewrite(sim, &strWritten, {});
    if (strAgain.empty()) {
        Check(document.lines.size() == qx::kMaxIniLines && document.lines.back().nType == qx::INI_SECTION);
        return 0;
    }
    Check(Rewrite(sim, &strAgain, {}) == strAgain);
    return 0;
}
