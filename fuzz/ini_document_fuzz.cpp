// The INI document on any file and any change. The input is the file's bytes, then "\0\0" and the
// changes as NUL-separated triples (key, value, section); an input that starts with "\0\0\0" has no
// file at all. A document holds at most 256 lines, each name and value ended within its buffer; a
// key set is found with its value, and a refused change refuses the document; a refused or empty
// document leaves the file untouched, a written one reads back with every key set as it was set
// (less blanks before its value), and a rewrite settles after at most two: the second rewrite of a
// file equals the third.
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
#include "sim/sim_platform.h"

namespace {

constexpr char kFolder[] = "C:\\cfg";
constexpr char kPath[] = "C:\\cfg\\f.ini";

#define Check(...) ((__VA_ARGS__) ? void() : (std::fprintf(stderr, "line %d failed\n", __LINE__), std::abort()))

// At most 256 records, each of a known type with its texts ended within their buffers.
void CheckLines(const qx::CIniDocument& doc)
{
    Check(doc.Count() >= 0 && doc.Count() <= qx::kMaxIniLines);
    for (int i = 0; i < doc.Count(); ++i)
        Check(std::memchr(doc.Line(i).m_szName, 0, qx::kIniTextSize) &&
              std::memchr(doc.Line(i).m_szValue, 0, qx::kIniTextSize) && doc.Line(i).m_nType >= qx::INI_COMMENT &&
              doc.Line(i).m_nType <= qx::INI_KEY);
}

// The value of a key in a document, or nothing.
std::optional<std::string> ValueOf(const qx::CIniDocument& doc, const std::string& strKey)
{
    int nKey = doc.FindKey(strKey);
    return nKey < 0 ? std::nullopt : std::optional<std::string>(doc.Line(nKey).m_szValue);
}

// Loads the file that holds strRaw, makes the changes (key, value, section), and lets the document
// write itself back; the file afterwards, or "" when there is none.
std::string Rewrite(qx::sim::CSimPlatform& sim, const std::string* pRaw, const std::vector<std::string>& changes,
                    bool* pbFull = nullptr)
{
    sim.m_files.AddFolder(kFolder);
    if (pRaw != nullptr)
        sim.m_files.SetFile(kPath, *pRaw);
    std::vector<std::pair<std::string, std::string>> set;  // each key set, with its final value
    bool bWritten = false;
    {
        auto pDoc = std::make_unique<qx::CIniDocument>(kPath);
        CheckLines(*pDoc);
        for (size_t i = 0; i + 2 < changes.size(); i += 3) {
            const std::string &strKey = changes[i], &strValue = changes[i + 1], &strSection = changes[i + 2];
            bool bRefused = pDoc->Refused();
            int nBefore = pDoc->FindKey(strKey), nCount = pDoc->Count();
            bool bSet = pDoc->SetValue(strKey, strValue, strSection);
            CheckLines(*pDoc);
            // A key already there is set where it stands; a new one goes under its section's header
            // (the first one of that name, added when missing), or last for an empty section.
            int nKey = pDoc->FindKey(strKey);
            int nWhere = nBefore >= 0         ? nBefore
                         : strSection.empty() ? pDoc->Count() - 1
                                              : pDoc->FindSection(strSection) + 1;
            Check(bSet ? !bRefused && nKey == nWhere && pDoc->Line(nKey).m_szName == strKey &&
                             ValueOf(*pDoc, strKey) == strValue
                       : pDoc->Refused() && pDoc->Count() == nCount);
            if (bSet)
                set.push_back({strKey, ""});
        }
        for (auto& key : set)
            key.second = ValueOf(*pDoc, key.first).value_or("?");
        bWritten = !pDoc->Refused() && pDoc->Count() > 0;
        if (pbFull != nullptr)
            *pbFull = pDoc->Count() == qx::kMaxIniLines && pDoc->Line(pDoc->Count() - 1).m_nType == qx::INI_SECTION;
    }
    std::optional<std::string> file = sim.m_files.GetFile(kPath);
    Check(sim.m_files.List(kFolder).size() == (file ? 1u : 0u) && sim.Clean());
    if (!bWritten) {
        Check(pRaw != nullptr ? file == *pRaw : !file.has_value());  // untouched
        return "";
    }
    Check(file.has_value() && !file->empty());
    qx::CIniDocument back(kPath);
    for (const auto& key : set) {
        size_t nBlanks = std::min(key.second.find_first_not_of(" \t"), key.second.size());
        Check(back.Refused() || ValueOf(back, key.first) == key.second.substr(nBlanks));
    }
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

    qx::sim::CSimPlatform sim;
    bool bFull = false;
    std::string strWritten = Rewrite(sim, bNoFile ? nullptr : &strRaw, texts, &bFull);
    if (strWritten.empty())
        return 0;
    // The second rewrite may still change the file (an empty line now between lines goes, a header that
    // ended the file gains an empty last line, blanks set before a value go); the third changes nothing.
    // Only a document of 256 lines whose header ended the file reads back a line too many, refused.
    std::string strAgain = Rewrite(sim, &strWritten, {});
    Check(!strAgain.empty() || bFull);
    Check(strAgain.empty() || Rewrite(sim, &strAgain, {}) == strAgain);
    return 0;
}
