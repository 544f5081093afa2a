#include "domain/domain.h"

#include <cstring>

#include "frame/text_fit.h"
#include "platform/reason.h"
#include "platform/wide_text.h"

namespace qx {

// ---- the machine's role ----

int RoleOfProductType(const char* pchValue, size_t cbValue)
{
    static const char kServerPrefix[] = "ServerNT";
    constexpr size_t kPrefixLength = sizeof kServerPrefix - 1;
    size_t cchValue = BoundedLength(pchValue, cbValue);
    if (cchValue >= kPrefixLength && std::memcmp(pchValue, kServerPrefix, kPrefixLength) == 0)
        return kRoleServer;

    std::string strUpper(pchValue, cchValue);
    if (!strUpper.empty())
        Sys().CharUpperBuffA(&strUpper[0], static_cast<DWORD>(strUpper.size()));
    if (strUpper == "LANMANNT")
        return kRoleDomainController;
    if (strUpper == "SERVERNT")
        return kRoleServer;
    if (strUpper == "WINNT")
        return kRoleWorkstation;
    return kRoleUnknown;
}

int ReadMachineRole()
{
    char szValue[kProductTypeBufferSize];
    DWORD cbValue = sizeof szValue;
    szValue[0] = '\0';
    {
        unique_hkey key;
        if (LONG lError = Reg().RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductOptionsKey, 0, KEY_QUERY_VALUE, key.put())) {
            ReasonCall("RegOpenKeyExA", kProductOptionsKey, static_cast<DWORD>(lError));
            return kRoleUnknown;
        }
        LONG lResult = Reg().RegQueryValueExA(key.get(), kProductTypeValue, nullptr, nullptr,
                                              reinterpret_cast<LPBYTE>(szValue), &cbValue);
        if (lResult != ERROR_SUCCESS) {
            ReasonCall("RegQueryValueExA", kProductTypeValue, static_cast<DWORD>(lResult));
            return kRoleUnknown;
        }
    }
    // A value that fills the whole buffer has no terminator: only the bytes read are looked at.
    size_t cbRead = cbValue < sizeof szValue ? cbValue : sizeof szValue;
    int nRole = RoleOfProductType(szValue, cbRead);
    if (nRole == kRoleUnknown)
        Reason("the product type \"%s\" is none of LanmanNT, ServerNT, WinNT",
               std::string(szValue, BoundedLength(szValue, cbRead)).c_str());
    return nRole;
}

// ---- the system language ----

int LanguageCodeOf(LANGID langId)
{
    struct CLanguage {
        WORD wPrimary;
        WORD wLastSublanguage;
        int nCode;
    };
    static const CLanguage kLanguages[] = {
        {0x09, 13, kLanguageEnglish},  // 0x0409 United States .. 0x3409 Philippines
        {0x07, 5, kLanguageGerman},  // 0x0407 Germany .. 0x1407 Liechtenstein
        {0x0A, 20, kLanguageSpanish},  // 0x040A traditional sort .. 0x500A Puerto Rico
        {0x0C, 6, kLanguageFrench},  // 0x040C France .. 0x180C Monaco
    };
    WORD wPrimary = static_cast<WORD>(langId & 0x3FF);
    WORD wSublanguage = static_cast<WORD>(langId >> 10);
    for (const CLanguage& language : kLanguages) {
        if (wPrimary == language.wPrimary && wSublanguage >= 1 && wSublanguage <= language.wLastSublanguage)
            return language.nCode;
    }
    return kLanguageOther;
}

// ---- the domain's controllers ----

NET_API_STATUS CServerList::Enumerate()
{
    m_buffer.reset();
    m_nEntries = 0;
    DWORD nRead = 0;
    DWORD nTotal = 0;
    NET_API_STATUS status = NetServer().NetServerEnum(nullptr, 100, m_buffer.put(), MAX_PREFERRED_LENGTH, &nRead,
                                                      &nTotal, kControllerTypes, nullptr, nullptr);
    if (status != NERR_Success) {
        m_buffer.reset();  // a partial answer (ERROR_MORE_DATA) still comes in a buffer
        return status;
    }
    m_nEntries = m_buffer ? nRead : 0;
    return status;
}

bool CServerList::GetName(DWORD nIndex, char (&szName)[kServerNameSize]) const
{
    szName[0] = '\0';
    if (nIndex >= m_nEntries)
        return false;
    const auto* pEntries = reinterpret_cast<const SERVER_INFO_100*>(m_buffer.get());
    LPCWSTR pwszName = pEntries[nIndex].sv100_name;
    if (pwszName == nullptr)
        return false;
    // A name that the ANSI code page cannot carry, or that would not fit with its terminator, is
    // refused; the buffer then holds an empty text.
    return ToAnsi(pwszName, szName, kServerNameSize);
}

int ServerAtIndex(unsigned int nIndex, std::string& strName)
{
    CServerList servers;
    if (NET_API_STATUS status = servers.Enumerate(); status != NERR_Success)
        ReasonCall("NetServerEnum", nullptr, status);

    char szLocal[kServerNameSize];
    DWORD cchLocal = sizeof szLocal;
    if (!Sys().GetComputerNameA(szLocal, &cchLocal))
        szLocal[0] = '\0';
    szLocal[kMaxServerNameChars] = '\0';

    strName.clear();
    if (nIndex > servers.GetCount()) {
        Reason("index %u is past the end of the list (this machine and %u controllers)", nIndex,
               static_cast<unsigned>(servers.GetCount()));
        return kEnumServersEnd;
    }
    if (nIndex == 0) {
        // Without its own name this machine cannot be listed: the host skips the entry.
        if (szLocal[0] == '\0')
            return kEnumServersSkip;
        strName = szLocal;
        return kEnumServersName;
    }

    char szServer[kServerNameSize];
    if (!servers.GetName(nIndex - 1, szServer))
        return kEnumServersSkip;
    Sys().CharUpperBuffA(szServer, static_cast<DWORD>(std::strlen(szServer)));
    Sys().CharUpperBuffA(szLocal, static_cast<DWORD>(std::strlen(szLocal)));
    if (std::strcmp(szServer, szLocal) == 0)
        return kEnumServersSkip;
    strName = szServer;
    return kEnumServersName;
}

}  // namespace qx
