#include "engine/token_table.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "ui/progress_dlg.h"

namespace qx {

namespace {

// A key folded to upper case by the system's ANSI rules, and the lines that begin with it.
//
// Single-byte characters fold through a table of the upper case of every byte, asked of the system
// once per search. On a double-byte code page (932, 936, 949, 950) a lead byte and the byte after it
// are one character: the second byte may lie in a..z and is never folded on its own, and the pair
// matches only a pair, compared as bytes or, when they differ, folded whole. A key and a line cut at
// the same place also end at the same character boundary (no fold gives a lead byte, so a line's
// single byte never matches the first byte of a pair, nor its pair a single byte). The key ends at a
// space, '=' or line feed, none of which is ever the second byte of a pair.
class CFoldedKey {
public:
    CFoldedKey(const char* pszName, size_t nKey) : m_nKey(nKey)
    {
        CPINFO info {};
        if (Sys().GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1) {
            for (size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
                for (unsigned c = info.LeadByte[i]; c <= info.LeadByte[i + 1]; ++c)
                    m_bLead[c] = true;
            }
        }
        for (int c = 0; c < 256; ++c)
            m_upper[c] = static_cast<char>(c);
        // Folded in one call: on a double-byte code page the lead bytes are left out, so that no
        // byte is taken as the second byte of a pair.
        char single[256];
        DWORD cchSingle = 0;
        for (int c = 1; c < 256; ++c) {
            if (!m_bLead[c])
                single[cchSingle++] = static_cast<char>(c);
        }
        Sys().CharUpperBuffA(single, cchSingle);
        for (DWORD i = 0, c = 1; i < cchSingle; ++c) {
            if (!m_bLead[c])
                m_upper[c] = single[i++];
        }
        m_bDoubleByte = info.MaxCharSize > 1;

        // Where the key's double-byte characters begin, read before folding: a lead byte whose second
        // byte is in the key.
        m_strKey.assign(pszName, nKey);
        m_bPairAt.assign(nKey, false);
        for (size_t j = 0; j < nKey;) {
            if (IsLead(m_strKey[j]) && j + 1 < nKey) {
                m_bPairAt[j] = true;
                FoldPair(&m_strKey[j]);
                j += 2;
            } else {
                m_strKey[j] = Upper(m_strKey[j]);
                ++j;
            }
        }
    }

    bool IsPrefixOf(const std::string& strLine) const
    {
        if (strLine.size() < m_nKey)
            return false;  // a line shorter than the key cannot begin with it
        if (!m_bDoubleByte) {
            size_t j = 0;
            while (j < m_nKey && Upper(strLine[j]) == m_strKey[j])
                ++j;
            return j == m_nKey;
        }
        for (size_t j = 0; j < m_nKey;) {
            if (!m_bPairAt[j]) {
                if (Upper(strLine[j]) != m_strKey[j])
                    return false;
                ++j;
                continue;
            }
            char pair[2] = {strLine[j], strLine[j + 1]};
            if (std::memcmp(pair, &m_strKey[j], 2) != 0) {
                FoldPair(pair);
                if (std::memcmp(pair, &m_strKey[j], 2) != 0)
                    return false;
            }
            j += 2;
        }
        return true;
    }

private:
    char Upper(char c) const { return m_upper[static_cast<unsigned char>(c)]; }
    bool IsLead(char c) const { return m_bLead[static_cast<unsigned char>(c)]; }
    static void FoldPair(char* pPair) { Sys().CharUpperBuffA(pPair, 2); }

    size_t m_nKey;
    std::string m_strKey;
    std::vector<bool> m_bPairAt;
    bool m_bDoubleByte = false;
    bool m_bLead[256] = {};
    char m_upper[256];
};

}  // namespace

bool CTokenTable::Load(const char* pText, size_t cbText)
{
    for (int i = 0; i < m_nLines; ++i)
        std::string().swap(m_lines[static_cast<size_t>(i)]);
    m_nLines = 0;
    m_bLoaded = true;
    const char* pEnd = pText + cbText;

    auto pWindow = std::make_unique<CUpdateProgressDlg>();
    pWindow->Open();
    pWindow->SetRange(0, static_cast<int>(cbText));
    for (const char* p = pText; p < pEnd; ++m_nLines) {
        if (m_nLines == kMaxTokenLines) {
            // One line too many: the text is refused as a whole.
            for (int i = 0; i < m_nLines; ++i)
                std::string().swap(m_lines[static_cast<size_t>(i)]);
            m_nLines = 0;
            m_bLoaded = false;
            return false;
        }
        // The bar shows the bytes consumed so far, this line's first byte included.
        pWindow->SetPos(static_cast<int>(p - pText) + 1);
        const char* pFeed = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        const char* pLineEnd = pFeed != nullptr ? pFeed : pEnd;
        m_lines[static_cast<size_t>(m_nLines)].assign(p, static_cast<size_t>(pLineEnd - p));
        p = pFeed != nullptr ? pFeed + 1 : pEnd;
    }
    return true;
}

size_t CTokenTable::KeyLength(const char* pszName) { return pszName != nullptr ? std::strcspn(pszName, " =\n") : 0; }

int CTokenTable::FindLine(const char* pszName) const
{
    const CFoldedKey key(pszName, KeyLength(pszName));
    for (int i = 0; i < m_nLines; ++i) {
        if (key.IsPrefixOf(m_lines[static_cast<size_t>(i)]))
            return i;
    }
    return -1;
}

std::string CTokenTable::GetLineValue(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nLines)
        return std::string();
    const std::string& strLine = m_lines[static_cast<size_t>(nIndex)];
    size_t nEqual = strLine.find('=');
    size_t nStart = nEqual == std::string::npos ? 0 : nEqual + 1;
    size_t nEnd = strLine.size();
    while (nStart < nEnd && (strLine[nStart] == '\'' || strLine[nStart] == '='))
        ++nStart;
    while (nEnd > nStart && (strLine[nEnd - 1] == '\'' || strLine[nEnd - 1] == '='))
        --nEnd;
    return strLine.substr(nStart, nEnd - nStart);
}

bool CTokenTable::SetLine(int nIndex, const char* pszText)
{
    const char* psz = pszText != nullptr ? pszText : "";
    if (nIndex == -1) {
        if (m_nLines == 0) {
            m_lines[0] = psz;
            m_nLines = 1;
            return true;
        }
        return InsertLine(m_nLines, psz);
    }
    if (nIndex < 0 || nIndex >= m_nLines)
        return false;
    m_lines[static_cast<size_t>(nIndex)] = psz;
    return true;
}

bool CTokenTable::InsertLine(int nPosition, const char* pszText)
{
    if (nPosition < 1 || nPosition > m_nLines || m_nLines >= kMaxTokenLines)
        return false;
    std::string strText = pszText != nullptr ? pszText : "";
    for (int i = m_nLines; i > nPosition; --i)
        m_lines[static_cast<size_t>(i)].swap(m_lines[static_cast<size_t>(i - 1)]);
    m_lines[static_cast<size_t>(nPosition)].swap(strText);
    ++m_nLines;
    return true;
}

size_t CTokenTable::TextSize() const
{
    size_t cb = 0;
    for (int i = 0; i < m_nLines; ++i) {
        const std::string& strLine = m_lines[static_cast<size_t>(i)];
        cb += strLine.size() + 1;
        if (m_bAddCR && !strLine.empty() && strLine.back() != '\r')
            ++cb;
    }
    return cb;
}

bool CTokenTable::WriteTo(char* pBuffer, size_t cbBuffer, size_t* pcbText) const
{
    if (!m_bLoaded || TextSize() > cbBuffer)
        return false;
    char* p = pBuffer;
    for (int i = 0; i < m_nLines; ++i) {
        const std::string& strLine = m_lines[static_cast<size_t>(i)];
        if (!strLine.empty()) {
            std::memcpy(p, strLine.data(), strLine.size());
            p += strLine.size();
            if (m_bAddCR && strLine.back() != '\r')
                *p++ = '\r';
        }
        *p++ = '\n';
    }
    *pcbText = static_cast<size_t>(p - pBuffer);
    return true;
}

}  // namespace qx
