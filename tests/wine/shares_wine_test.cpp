// The shares area under Wine: GetSharePath against share values written into the prefix's registry (the
// security primitives are held to advapi32 in the differential test). No test reaches NetShareSetInfo,
// a Wine stub that raises.
#include <gtest/gtest.h>

#include <cstring>
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
    std::string strName = "QXWT" + std::to_string(GetCurrentProcessId()) + "_SCRIPTS";
    std::string strHuge = strName + "_HUGE";
    std::string strLower = strName;
    CharLowerA(&strLower[0]);
    auto set = [hKey](const std::string& strValue, const std::string& data) {
        EXPECT_EQ(RegSetValueExA(hKey, strValue.c_str(), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    };
    set(strName, std::string("CSCFlags=0\0MaxUses=4294967295\0Path=C:\\Qorvex\\Scripts\0Type=0\0\0", 61));
    set(strHuge, "Path=C:\\x" + std::string(1100, '\0'));
    struct Case {
        std::string strIn;
        int nResult;
        std::string strShare;
        const char* pszPath;
    } cases[] = {
        {strName, 1, strName, "C:\\QORVEX\\SCRIPTS"},
        {"\\\\ANYSERVER\\" + strLower + "\\Logon\\Users", 1, strLower, "C:\\QORVEX\\SCRIPTS\\Logon\\Users"},
        {strHuge, 3, strHuge, "untouched"},  // more than 1024 bytes
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
    RegDeleteValueA(hKey, strHuge.c_str());
    RegCloseKey(hKey);
}

}  // namespace
}  // namespace qx::host
