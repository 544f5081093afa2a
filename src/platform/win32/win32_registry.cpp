#include "platform/win32/win32_platform.h"

namespace qx {
namespace {

class CWin32Registry final : public IRegistry {
public:
    LONG RegOpenKeyExA(HKEY hKey, LPCSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, HKEY* phkResult) override
    {
        return ::RegOpenKeyExA(hKey, pszSubKey, dwOptions, samDesired, phkResult);
    }
    LONG RegQueryValueExA(HKEY hKey, LPCSTR pszValueName, LPDWORD pReserved, LPDWORD pdwType, LPBYTE pData,
                          LPDWORD pcbData) override
    {
        return ::RegQueryValueExA(hKey, pszValueName, pReserved, pdwType, pData, pcbData);
    }
    LONG RegCloseKey(HKEY hKey) override { return ::RegCloseKey(hKey); }
};

}  // namespace

IRegistry& Win32Registry()
{
    static CWin32Registry s_registry;
    return s_registry;
}

}  // namespace qx
