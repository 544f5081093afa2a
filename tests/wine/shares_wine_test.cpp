// The shares area under Wine: GetSharePath against share values written into the prefix's registry (the
// security primitives are held to advapi32 in the differential test). No test reaches NetShareSetInfo,
// a Wine stub that raises.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "host/dll_host.h"
#include "platform/platform.h"

namespace qx::host {
namespace {

TEST(SharesPath, ReadsShareValuesOfTheRealRegistry)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares", 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    std::unique_ptr<HKEY__, decltype(&RegCloseKey)> key(hKey, &RegCloseKey);
    std::string strName = "QXWT" + std::to_string(GetCurrentProcessId()) + "_SCRIPTS";
    std::string strLower = strName;
    CharLowerA(&strLower[0]);
    const char kValue[] = "CSCFlags=0\0MaxUses=4294967295\0Path=C:\\Qorvex\\Scripts\0Type=0\0";
    ASSERT_EQ(
        RegSetValueExA(hKey, strName.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kValue), sizeof kValue),
        ERROR_SUCCESS);
    struct Case {
        std::string strIn;
        int nResult;
        std::string strShare;
        const char* pszPath;
    } cases[] = {
        {strName, 1, strName, "C:\\QORVEX\\SCRIPTS"},
        {"\\\\ANYSERVER\\" + strLower + "\\Logon\\Users", 1, strLower, "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {strName + "_NOSUCH", 3, strName + "_NOSUCH", "untouched"},
    };
    CDllHost host;
    for (const Case& c : cases) {
        char szShare[1100];
        char szPath[1100] = "untouched";
        std::strcpy(szShare, c.strIn.c_str());
        EXPECT_EQ(QX_EXPORT(host, GetSharePath)(szShare, szPath), c.nResult) << c.strIn;
        EXPECT_EQ(szShare, c.strShare) << c.strIn;
        EXPECT_STREQ(szPath, c.pszPath) << c.strIn;
    }
    RegDeleteValueA(hKey, strName.c_str());
}

}  // namespace
}  // namespace qx::host
