// The manager's files over any bytes; the first byte picks what is fuzzed, the rest is its input.
// Each leaves nothing held.
// 0, the INI document: the file's bytes, then "\0\0" and the changes as NUL-separated triples (key,
//    value, section); "\0\0\0" first: no file at all. Held against a reference reading of the same
//    rules: the lines loaded, each lookup, change and refusal, and the bytes written. A file or
//    change that does not fit is refused whole (the file untouched); a rewrite settles after at most
//    two: the second rewrite of a file equals the third.
// 1, a manager file whose lines end with CR LF (a bare line feed gains its carriage return; some
//    get empty lines up to the limit of lines), through SetManagerVars and GetManagerVars: texts
//    with empty keys change nothing (the file comes back byte for byte); names read the first line
//    that begins with their key, the editor its Editor line, and the lines read, stored again, leave
//    the file as it was; a new line replaces the first line with its key or is appended, and a file
//    that is or would become larger than 10,000 lines is left alone (and read as nothing).
// 2, the REPL.BAT server list (up to the first NUL): the splitter's names joined back with commas
//    give the list (less one comma at its end); a list beyond 256 names, with a name of 260
//    characters or more, or with a line end in a name is refused, and MakeReplBat writes one
//    DestBDC and one xcopy line per name after the first, numbered from 2, or, refused, leaves the
//    old file as it was.
#include <fuzzer/FuzzedDataProvider.h>

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

#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "manager/ini_document.h"
#include "platform/platform.h"
#include "qxinst.h"
#include "replication/repl_bat.h"
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

void FuzzIni(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
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

    CReference document;
    std::string strWritten = Rewrite(sim, bNoFile ? nullptr : &strRaw, changes, &document);
    if (strWritten.empty())
        return;
    // The second rewrite may still change the file (an empty line now between lines goes, a header
    // that ended the file gains an empty last line, blanks set before a value go); the third changes
    // nothing. Only a document of 256 lines whose header ended the file reads back as one line too
    // many, and is refused.
    std::string strAgain = Rewrite(sim, &strWritten, {});
    if (strAgain.empty()) {
        Check(document.lines.size() == qx::kMaxIniLines && document.lines.back().nType == qx::INI_SECTION);
        return;
    }
    Check(Rewrite(sim, &strAgain, {}) == strAgain);
}

// Whether the line begins with the key, ignoring case (upper: the system's upper case of each byte).
bool BeginsWith(const std::string& strLine, const std::string& strKey, const unsigned char* upper)
{
    auto same = [&](char a, char b) {
        return upper[static_cast<unsigned char>(a)] == upper[static_cast<unsigned char>(b)];
    };
    return strLine.size() >= strKey.size() && std::equal(strKey.begin(), strKey.end(), strLine.begin(), same);
}

// A text's key: up to its first space, '=' or line feed (a C string ends at its zero).
std::string KeyOf(const std::string& strText)
{
    std::string text = strText.c_str();
    return text.substr(0, text.find_first_of(std::string(" =\n")));
}

void FuzzManagerText(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    const char kManager[] = "C:\\q\\qxmgr.ini";
    const size_t kMaxText = static_cast<size_t>(qx::kTextBufferSize);
    const size_t kMaxLines = static_cast<size_t>(qx::kMaxTokenLines);
    unsigned char upper[256];
    for (int c = 0; c < 256; ++c)
        upper[c] = static_cast<unsigned char>(c);
    qx::Sys().CharUpperBuffA(reinterpret_cast<char*>(upper), 256);
    auto fileNow = [&] { return sim.m_files.GetFile(kManager).value_or("<none>"); };
    FuzzedDataProvider input(pData, cb);
    std::string file;
    for (char c : input.ConsumeRandomLengthString(4096)) {
        if (c == '\n' && (file.empty() || file.back() != '\r'))
            file += '\r';
        file += c;
    }
    if (file.size() < 2 || file.compare(file.size() - 2, 2, "\r\n") != 0)
        file += "\r\n";
    if (input.ConsumeIntegralInRange(0, 15) == 0) {  // up to either side of the limit of lines
        for (size_t n = input.ConsumeIntegralInRange<size_t>(9990, 10010); n > 0; --n)
            file += "\r\n";
    }
    std::vector<std::string> lines;  // each without its CR LF
    for (size_t nStart = 0; nStart < file.size();) {
        size_t nEnd = file.find("\r\n", nStart);
        lines.push_back(file.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    const size_t nText = file.size() - lines.size();  // CR LF is one character of the text
    const bool bFits = lines.size() <= kMaxLines && nText <= kMaxText;
    auto first = [&](const std::string& strKey) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& s) { return BeginsWith(s, strKey, upper); });
    };
    sim.m_files.SetFile(kManager, file);
    SetManagerVars(kManager, "", " x", "=y", nullptr, "\n");
    Check(fileNow() == file && sim.Clean());

    std::vector<std::vector<char>> buffers(6, std::vector<char>(file.size() + 16, '\0'));
    std::vector<std::string> expected(6);
    for (size_t i = 0; i < 5 && !lines.empty(); ++i) {
        const std::string& strLine = lines[input.ConsumeIntegralInRange<size_t>(0, lines.size() - 1)];
        std::string strName = KeyOf(strLine.substr(0, input.ConsumeIntegralInRange<size_t>(1, 8)));
        std::copy(strName.begin(), strName.end(), buffers[i].begin());
        expected[i] = bFits && !strName.empty() ? first(strName)->c_str() : strName;
    }
    std::string strEditor = "untouched";
    std::copy(strEditor.begin(), strEditor.end(), buffers[5].begin());
    auto itEditor = first("Editor");
    if (bFits && itEditor == lines.end())
        strEditor = "ZARIZAV.EXE";
    else if (bFits)
        strEditor = itEditor->find('=') == std::string::npos ? "" : itEditor->substr(itEditor->find('=') + 1);
    expected[5] = strEditor.c_str();
    GetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data(), buffers[5].data());
    for (size_t i = 0; i < 6; ++i)
        Check(expected[i] == buffers[i].data());
    SetManagerVars(kManager, buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data(),
                   buffers[4].data());
    Check((file.find('\0') != std::string::npos || fileNow() == file) && sim.Clean());  // C strings end at a zero

    sim.m_files.SetFile(kManager, file);
    std::string strKey = KeyOf("QxFuzz" + input.ConsumeRandomLengthString(8));
    auto itOld = first(strKey);
    std::string after = file;
    if (bFits && itOld != lines.end() && nText - itOld->size() + strKey.size() + 4 <= kMaxText) {
        size_t nAt = 0;
        for (auto it = lines.begin(); it != itOld; ++it)
            nAt += it->size() + 2;
        after.replace(nAt, itOld->size(), strKey + "=new");
    } else if (bFits && itOld == lines.end() && lines.size() < kMaxLines && nText + strKey.size() + 5 <= kMaxText) {
        after += strKey + "=new\r\n";
    }
    SetManagerVars(kManager, (strKey + "=new").c_str(), "", "", "", "");
    Check(fileNow() == after);
}

void FuzzReplList(qx::sim::CSimPlatform& sim, const uint8_t* pData, size_t cb)
{
    const char kBat[] = "C:\\q\\REPL.BAT";
    std::string strList(reinterpret_cast<const char*>(pData), cb);
    strList = strList.substr(0, strList.find('\0'));
    std::string strJoined = strList;  // what the names must join back to
    if (!strJoined.empty() && strJoined.back() == ',')
        strJoined.pop_back();
    // The list's shape, counted independently of the splitter.
    size_t nNames = strList.empty() ? 0 : 1, nLongest = 0, nRun = 0;
    for (char c : strJoined) {
        nNames += c == ',';
        nRun = c == ',' ? 0 : nRun + 1;
        nLongest = std::max(nLongest, nRun);
    }
    bool bFits = nNames <= qx::kMaxReplServers && nLongest < 260 && strList.find_first_of("\r\n") == std::string::npos;
    qx::CReplServerList servers;
    Check(servers.Split(strList.c_str()) == bFits && servers.Count() == (bFits ? static_cast<int>(nNames) : 0));
    std::string strBack;
    for (int k = 1; k <= servers.Count(); ++k)
        strBack += (k > 1 ? "," : "") + servers.Name(k);
    Check(!bFits || strBack == strJoined);

    sim.m_files.SetFile(kBat, "old\r\n");
    Check(MakeReplBat(kBat, strList.c_str()) == bFits && sim.m_files.List("C:\\q").size() == 1);
    std::string strFile = sim.m_files.GetFile(kBat).value_or("");
    if (!bFits) {
        Check(strFile == "old\r\n");
        return;
    }
    std::vector<std::string> lines;  // every line ends in CR LF
    for (size_t i = 0; i < strFile.size(); i = strFile.find("\r\n", i) + 2) {
        Check(strFile.find("\r\n", i) != std::string::npos);
        lines.push_back(strFile.substr(i, strFile.find("\r\n", i) - i));
    }
    // 13 fixed lines, and a DestBDC and an xcopy line per name after the first.
    size_t nBackups = nNames > 0 ? nNames - 1 : 0;
    Check(lines.size() == 13 + 2 * nBackups);
    std::string strNames = lines[5].substr(0, 14) == "set SourcePDC=" ? lines[5].substr(14) : "?";
    for (size_t k = 2; k <= nBackups + 1; ++k) {
        std::string strSet = "set DestBDC" + std::to_string(k) + "=";
        Check(lines[4 + k].compare(0, strSet.size(), strSet) == 0);
        strNames += "," + lines[4 + k].substr(strSet.size());
        Check(lines[11 + nBackups + k] == "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC" +
                                              std::to_string(k) + "%\\%destfolder% %copyflags%");
    }
    Check(strNames == strJoined);
    Check(lines[6 + nBackups] == "" && lines[12 + nBackups].rfind("xcopy \\\\%sourcePDC%", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 1)
        return 0;
    qx::sim::CSimPlatform sim;
    void (*const kTargets[])(qx::sim::CSimPlatform&, const uint8_t*, size_t) = {FuzzIni, FuzzManagerText, FuzzReplList};
    kTargets[pData[0] % 3](sim, pData + 1, cb - 1);
    Check(sim.Clean());
    return 0;
}
