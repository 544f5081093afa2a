#include "engine/token_table.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/text_buffer.h"
#include "platform/platform.h"
#include "ui/progress_dlg.h"

namespace qx {

namespace {

// The upper case of every byte by the system's ANSI rules (its code pages are single-byte), asked
// of the system once per search rather than once per line.
struct CUpperTable {
    CUpperTable()
    {
        for (int c = 0; c < 256; ++c)
            upper[c] = static_cast<char>(c);
        Sys().CharUpperBuffA(upper + 1, 255);
    }
    unsigned char operator()(char c) const { return static_cast<unsigned char>(upper[static_cast<unsigned char>(c)]); }
    char upper[256];
};

}  // namespace

CTokenTable::CTokenTable()
{
    int32_t nCount = g_textPos < 0 ? 0 : std::min(g_textPos, kTextBufferSize);
    g_textPos = 0;
    const char* pText = g_textBuffer;
    const char* pEnd = pText + nCount;

    auto pWindow = std::make_unique<CUpdateProgressDlg>();
    pWindow->Open();
    pWindow->SetRange(0, nCount);
    for (const char* p = pText; p < pEnd; ++m_nLines) {
        if (m_nLines == kMaxTokenLines) {
            // One line too many: the text is refused as a whole.
            for (int i = 0; i < m_nLines; ++i)
                std::string().swap(m_lines[static_cast<size_t>(i)]);
            m_nLines = 0;
            m_bLoaded = false;
            return;
        }
        // The bar shows the bytes consumed so far, this line's first byte included.
        pWindow->SetPos(static_cast<int>(p - pText) + 1);
        const char* pFeed = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        const char* pLineEnd = pFeed != nullptr ? pFeed : pEnd;
        m_lines[static_cast<size_t>(m_nLines)].assign(p, static_cast<size_t>(pLineEnd - p));
        p = pFeed != nullptr ? pFeed + 1 : pEnd;
    }
    g_textPos = nCount;
}

CTokenTable::~CTokenTable()
{
    if (m_bLoaded && !m_bWritten)
        WriteBack();
}

size_t CTokenTable::KeyLength(const char* pszName) { return pszName != nullptr ? std::strcspn(pszName, " =\n") : 0; }

int CTokenTable::FindLine(const char* pszName) const
{
    size_t nKey = KeyLength(pszName);
    const CUpperTable upper;
    std::string strKey(nKey, '\0');
    for (size_t j = 0; j < nKey; ++j)
        strKey[j] = static_cast<char>(upper(pszName[j]));
    for (int i = 0; i < m_nLines; ++i) {
        const std::string& strLine = m_lines[static_cast<size_t>(i)];
        if (strLine.size() < nKey)
            continue;  // a line shorter than the key cannot begin with it
        size_t j = 0;
        while (j < nKey && upper(strLine[j]) == static_cast<unsigned char>(strKey[j]))
            ++j;
        if (j == nKey)
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

bool CTokenTable::WriteBack()
{
    m_bWritten = true;
    if (!m_bLoaded || TextSize() > static_cast<size_t>(kTextBufferSize))
        return false;
    char* p = g_textBuffer;
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
    g_textPos = static_cast<int32_t>(p - g_textBuffer);
    return true;
}

}  // namespace qx
