#include "engine/settings_vars.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/engine_file.h"
#include "engine/token_table.h"
#include "frame/text_buffer.h"
#include "platform/file_stream.h"
#include "platform/reason.h"

namespace qx {

DWORD CManagerText::Read()
{
    g_textPos = 0;
    m_bOpened = false;
    CFileStream stream;
    DWORD dwError = stream.OpenRead(m_pszPath, CFileStream::Mode::kText);
    if (dwError != 0)
        return dwError;
    m_bOpened = true;
    auto* pText = reinterpret_cast<unsigned char*>(g_textBuffer);
    size_t cb = stream.Read(pText, static_cast<size_t>(kTextBufferSize));
    // One more character means the text does not fit.
    unsigned char extra = 0;
    bool bTooLarge = cb == static_cast<size_t>(kTextBufferSize) && stream.Read(&extra, 1) == 1;
    dwError = stream.Error();
    stream.Close();
    if (dwError != 0)
        return dwError;
    if (bTooLarge) {
        Reason("%s passes %d bytes", m_pszPath, kTextBufferSize);
        return ERROR_FILE_TOO_LARGE;
    }
    g_textPos = static_cast<int32_t>(cb);
    return 0;
}

DWORD CManagerText::Write()
{
    return SaveTextBuffer(m_pszPath, CFileStream::Mode::kText,
                          [](CFileStream& stream, const char* pText, size_t cb) { stream.Write(pText, cb); });
}

bool HasKey(const char* pszText) { return pszText != nullptr && CTokenTable::KeyLength(pszText) > 0; }

void CopyToBuffer(char* pszBuffer, const std::string& strText)
{
    std::memcpy(pszBuffer, strText.data(), strText.size());
    pszBuffer[strText.size()] = '\0';
}

uint16_t ScriptEngineVersion(const CTokenTable& table, uint16_t nHeaderVersion)
{
    int nIndex = table.FindLine("$EngineVersion");
    if (nIndex < 0)
        return nHeaderVersion;
    std::string strValue = table.GetLineValue(nIndex);
    if (strValue.size() < 3)
        return nHeaderVersion;
    const char szDigits[3] = {strValue[0], strValue[2], '\0'};
    long nVersion = std::strtol(szDigits, nullptr, 10);
    return static_cast<uint16_t>(static_cast<unsigned long>(nVersion) & 0xFFFF);
}

}  // namespace qx
