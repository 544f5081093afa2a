// Simulated registry: keys of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER with typed values, read
// through opened keys.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

class CSimRegistry final : public IRegistry {
public:
    explicit CSimRegistry(CSimKernel& kernel) : m_kernel(kernel) { }

    // ---- set-up for tests: key paths below HKEY_LOCAL_MACHINE, such as "SYSTEM\...\Shares", or
    // below HKEY_CURRENT_USER when they begin with kCurrentUser ----
    static constexpr const char* kCurrentUser = "HKEY_CURRENT_USER\\";
    void SetValue(const std::string& strKey, const std::string& strName, DWORD dwType, const std::string& data);
    void SetString(const std::string& strKey, const std::string& strName, const std::string& strValue);
    void SetMultiString(const std::string& strKey, const std::string& strName, const std::vector<std::string>& values);
    void AddKey(const std::string& strKey);
    void RemoveKey(const std::string& strKey);
    // Opening this key fails with ERROR_ACCESS_DENIED.
    void DenyKey(const std::string& strKey);

    LONG RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, HKEY* phkResult) override;
    LONG RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                          LPDWORD pcbData) override;
    LONG RegCloseKey(HKEY hKey) override;

    // Where each open key points (its path).
    std::map<HKEY, std::string> m_openKeys;

private:
    struct CValue {
        DWORD dwType = REG_NONE;
        std::string data;
    };
    struct CKey {
        bool bDenied = false;
        std::map<std::string, CValue> values;  // by upper-case name
    };
    static std::string Normalize(const std::string& strKey);

    CSimKernel& m_kernel;
    std::map<std::string, CKey> m_keys;  // by upper-case path
};

}  // namespace qx::sim
