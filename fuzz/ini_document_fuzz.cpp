// The INI document on any file and changes: the input is the file, "\0\0", then NUL-separated triples
// (key, value, section); one that starts with "\0\0\0" has no file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "manager/ini_document.h"
#include "sim/sim_platform.h"

namespace {

constexpr char kFolder[] = "C:\\cfg";
constexpr char kPath[] = "C:\\cfg\\f.ini";

// At most 256 records, each of a known type with its texts ended within their buffers.
void CheckLines(const qx::CIniDocument& doc)
{
    Check(doc.Count() >= 0 && doc.Count() <= qx::kMaxIniLines);
    for (int i = 0; i < doc.Count(); ++i)
        Check(std::memchr(doc.Line(i).m_szName, 0, qx::kIniTextSize) &&
              std::memchr(doc.Line(i).m_szValue, 0, qx::kIniTextSize) && doc.Line(i).m_nType >= qx::INI_COMMENT &&
              doc.Line(i).m_nType <= qx::INI_KEY);
}

std::optional<std::string> ValueOf(const qx::CIniDocument& doc, const std::string& strKey)
{
    int nKey = doc.FindKey(strKey);
    return nKey < 0 ? std::nullopt : std::optional<std::string>(doc.Line(nKey).m_szValue);
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

    // A refused change refuses the document and leaves the file untouched; else every key set reads back.
    qx::sim::CSimPlatform sim;
    sim.m_files.AddFolder(kFolder);
    if (!bNoFile)
        sim.m_files.SetFile(kPath, strRaw);
    std::vector<std::pair<std::string, std::string>> set;  // each key set, with its final value
    bool bWritten = false;
    {
        auto pDoc = std::make_unique<qx::CIniDocument>(kPath);
        CheckLines(*pDoc);
        for (size_t i = 0; i + 2 < texts.size(); i += 3) {
            const std::string &strKey = texts[i], &strValue = texts[i + 1], &strSection = texts[i + 2];
            bool bRefused = pDoc->Refused();
            int nCount = pDoc->Count();
            bool bSet = pDoc->SetValue(strKey, strValue, strSection);
            CheckLines(*pDoc);
            Check(bSet ? !bRefused && ValueOf(*pDoc, strKey) == strValue : pDoc->Refused() && pDoc->Count() == nCount);
            if (bSet)
                set.push_back({strKey, ""});
        }
        for (auto& key : set)
            key.second = ValueOf(*pDoc, key.first).value_or("?");
        bWritten = !pDoc->Refused() && pDoc->Count() > 0;
    }
    std::optional<std::string> file = sim.m_files.GetFile(kPath);
    Check(sim.m_files.List(kFolder).size() == (file ? 1u : 0u) && sim.Clean());
    if (!bWritten) {
        Check(!bNoFile ? file == strRaw : !file.has_value());  // untouched
        return 0;
    }
    Check(file.has_value() && !file->empty());
    qx::CIniDocument back(kPath);
    for (const auto& key : set) {
        size_t nBlanks = std::min(key.second.find_first_not_of(" \t"), key.second.size());
        Check(back.Refused() || ValueOf(back, key.first) == key.second.substr(nBlanks));
    }
    return 0;
}
