#include "shares/share_path.h"

#include <cstring>

#include "frame/text_fit.h"
#include "platform/ansi_chars.h"
#include "platform/platform.h"
#include "platform/reason.h"
#include "platform/unique.h"

namespace qx {

bool GetPathFromShareValue(const BYTE* pData, DWORD cbData, std::string* pstrPath)
{
    static const char kPathEntry[] = "PATH=";
    const size_t cchPathEntry = sizeof kPathEntry - 1;
    size_t nAt = 0;
    while (nAt < kShareValueScan && nAt < cbData) {
        size_t nEnd = nAt;
        while (nEnd < cbData && pData[nEnd] != 0)
            ++nEnd;
        std::string strEntry(reinterpret_cast<const char*>(pData + nAt), nEnd - nAt);
        if (!strEntry.empty())
            Sys().CharUpperBuffA(&strEntry[0], static_cast<DWORD>(strEntry.size()));
        if (strEntry.compare(0, cchPathEntry, kPathEntry) == 0 && strEntry.size() >= cchPathEntry) {
            *pstrPath = strEntry.substr(cchPathEntry);
            return true;
        }
        nAt = nEnd;
        while (nAt < cbData && pData[nAt] == 0)
            ++nAt;
    }
    return false;
}

int LookUpSharePath(char* pszShare, char* pszPath)
{
    if (pszShare == nullptr || pszPath == nullptr) {
        Reason("the share or the buffer for its path is null");
        return kSharePathNoValue;
    }
    if (!TextFits(pszShare, kShareArgChars)) {  // longer than the name buffer: refused untouched
        Reason("the share argument has %u characters or more", static_cast<unsigned>(kShareArgChars));
        return kSharePathNoValue;
    }

    std::string strRest;
    if (pszShare[0] == '\\' && pszShare[1] == '\\') {
        // \\server\share\rest: the server plays no part, the local registry is read.
        const char* p = FindSeparator(pszShare + 2, "\\");
        if (*p == '\\')
            ++p;
        const char* pszEnd = FindSeparator(p, "\\");
        strRest = pszEnd;
        size_t cchName = static_cast<size_t>(pszEnd - p);
        std::memmove(pszShare, p, cchName);
        pszShare[cchName] = '\0';
        if (cchName == 0) {  // no share part: "\\SRV" or "\\SRV\"
            Reason("the UNC path names no share");
            return kSharePathNoValue;
        }
    }

    BYTE abValue[kShareValueBytes];
    DWORD cbValue = sizeof abValue;
    {
        unique_hkey key;
        if (LONG nError = Reg().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharesKey, 0, KEY_QUERY_VALUE, key.put())) {
            ReasonCall("RegOpenKeyExA", kSharesKey, static_cast<DWORD>(nError));
            return kSharePathNoKey;
        }
        DWORD dwType = REG_NONE;
        if (LONG nError = Reg().RegQueryValueExA(key.get(), pszShare, nullptr, &dwType, abValue, &cbValue)) {
            ReasonCall("RegQueryValueExA", pszShare, static_cast<DWORD>(nError));
            return kSharePathNoValue;
        }
    }
    std::string strPath;
    if (!GetPathFromShareValue(abValue, cbValue < sizeof abValue ? cbValue : sizeof abValue, &strPath)) {
        Reason("the value of %s has no PATH= entry in its first %u bytes", pszShare,
               static_cast<unsigned>(kShareValueScan));
        return kSharePathNoValue;
    }
    std::string strOut = strPath + strRest;
    if (strOut.size() >= kSharePathBytes) {
        Reason("the folder and the rest have %u characters or more", static_cast<unsigned>(kSharePathBytes));
        return kSharePathNoValue;
    }
    std::memcpy(pszPath, strOut.c_str(), strOut.size() + 1);
    return kSharePathDone;
}

}  // namespace qx
