#include "sim/sim_registry.h"

#include <cstring>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {
const char kKeyKind[] = "hkey";
}

std::string CSimRegistry::Normalize(const std::string& strKey)
{
    std::string strPath = AnsiUpper(strKey);
    while (!strPath.empty() && strPath.back() == '\\')
        strPath.pop_back();
    while (!strPath.empty() && strPath.front() == '\\')
        strPath.erase(0, 1);
    return strPath;
}

void CSimRegistry::AddKey(const std::string& strKey)
{
    std::string strPath = Normalize(strKey);
    for (size_t n = strPath.find('\\'); n != std::string::npos; n = strPath.find('\\', n + 1))
        m_keys[strPath.substr(0, n)];
    m_keys[strPath];
}

void CSimRegistry::SetValue(const std::string& strKey, const std::string& strName, DWORD dwType,
                            const std::string& data)
{
    AddKey(strKey);
    CValue& value = m_keys[Normalize(strKey)].values[AnsiUpper(strName)];
    value.dwType = dwType;
    value.data = data;
}

void CSimRegistry::SetString(const std::string& strKey, const std::string& strName, const std::string& strValue)
{
    SetValue(strKey, strName, REG_SZ, strValue + std::string(1, '\0'));
}

void CSimRegistry::SetMultiString(const std::string& strKey, const std::string& strName,
                                  const std::vector<std::string>& values)
{
    std::string data;
    for (const std::string& strValue : values)
        data += strValue + std::string(1, '\0');
    data += std::string(1, '\0');
    SetValue(strKey, strName, REG_MULTI_SZ, data);
}

void CSimRegistry::RemoveKey(const std::string& strKey)
{
    std::string strPath = Normalize(strKey);
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (it->first == strPath || it->first.rfind(strPath + "\\", 0) == 0)
            it = m_keys.erase(it);
        else
            ++it;
    }
}

void CSimRegistry::DenyKey(const std::string& strKey)
{
    AddKey(strKey);
    m_keys[Normalize(strKey)].bDenied = true;
}

LONG CSimRegistry::RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, HKEY* phkResult)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("RegOpenKeyExA", &dwError))
        return static_cast<LONG>(dwError);
    // HKEY_CURRENT_USER's keys are held under the path "HKEY_CURRENT_USER" (a key of that name
    // directly below HKEY_LOCAL_MACHINE would be taken for them).
    std::string strBase;
    if (hKey == HKEY_CURRENT_USER) {
        strBase = "HKEY_CURRENT_USER";
    } else if (hKey != HKEY_LOCAL_MACHINE) {
        auto it = m_openKeys.find(hKey);
        if (it == m_openKeys.end())
            return ERROR_INVALID_HANDLE;
        strBase = it->second;
    }
    std::string strPath = Normalize(strBase.empty() ? std::string(pszSubKey ? pszSubKey : "")
                                                    : strBase + "\\" + (pszSubKey ? pszSubKey : ""));
    auto it = m_keys.find(strPath);
    if (it == m_keys.end())
        return ERROR_FILE_NOT_FOUND;
    if (it->second.bDenied)
        return ERROR_ACCESS_DENIED;
    HKEY hNew = static_cast<HKEY>(m_kernel.NewHandle());
    m_openKeys[hNew] = strPath;
    m_kernel.Acquire(kKeyKind, hNew);
    *phkResult = hNew;
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                                    LPDWORD pcbData)
{
    DWORD dwError = 0;
    auto itOpen = m_openKeys.find(hKey);
    if (itOpen == m_openKeys.end())
        return ERROR_INVALID_HANDLE;
    if (m_kernel.ShouldFail("RegQueryValueExA", &dwError))
        return static_cast<LONG>(dwError);
    auto itKey = m_keys.find(itOpen->second);
    if (itKey == m_keys.end())
        return ERROR_FILE_NOT_FOUND;  // removed while open
    auto itValue = itKey->second.values.find(AnsiUpper(pszValueName ? pszValueName : ""));
    if (itValue == itKey->second.values.end())
        return ERROR_FILE_NOT_FOUND;
    const CValue& value = itValue->second;
    if (pdwType != nullptr)
        *pdwType = value.dwType;
    DWORD cbValue = static_cast<DWORD>(value.data.size());
    if (pData == nullptr) {
        if (pcbData != nullptr)
            *pcbData = cbValue;
        return ERROR_SUCCESS;
    }
    if (pcbData == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (*pcbData < cbValue) {
        *pcbData = cbValue;
        return ERROR_MORE_DATA;
    }
    std::memcpy(pData, value.data.data(), cbValue);
    // A string stored without its terminating zero gets one behind it when the buffer has room; the
    // size returned stays that of the data.
    bool bString = value.dwType == REG_SZ || value.dwType == REG_EXPAND_SZ || value.dwType == REG_MULTI_SZ;
    if (bString && cbValue > 0 && value.data.back() != '\0' && *pcbData > cbValue)
        pData[cbValue] = 0;
    *pcbData = cbValue;
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegCloseKey(HKEY hKey)
{
    auto it = m_openKeys.find(hKey);
    if (it == m_openKeys.end()) {
        m_kernel.RecordMisuse("RegCloseKey of a key that is not open");
        return ERROR_INVALID_HANDLE;
    }
    m_openKeys.erase(it);
    m_kernel.Release(kKeyKind, hKey);
    return ERROR_SUCCESS;
}

}  // namespace qx::sim
