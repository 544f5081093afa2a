#include "manager/manager_ini.h"

#include <cstring>
#include <memory>

#include "manager/ini_document.h"
#include "platform/platform.h"

namespace qx {

namespace {
constexpr char kSectionFileLocations[] = "File Locations";
constexpr char kSectionReplication[] = "Replication";
constexpr char kKeyScripts[] = "Scripts";
constexpr char kKeyLogs[] = "Logs";
constexpr char kKeyEditor[] = "Editor";
constexpr DWORD kComputerNameSize = 260;
}  // namespace

bool CManagerIniBuilder::BuildPath(const char* pszFolder, std::string& strPath)
{
    std::string strFolder = pszFolder != nullptr ? pszFolder : "";
    size_t nSlash = strFolder.rfind('\\');
    bool bEndsInSlash = nSlash != std::string::npos && nSlash + 1 == strFolder.size();
    strPath = strFolder;
    if (!strFolder.empty() && !bEndsInSlash)
        strPath += '\\';
    strPath += kManagerIniName;
    return strPath.size() < kMaxManagerIniPath;
}

bool CManagerIniBuilder::BuildScriptsValue(const char* pszScriptsShare, std::string& strValue)
{
    char szComputer[kComputerNameSize] = {};
    DWORD cchComputer = kComputerNameSize;
    if (!Sys().GetComputerNameA(szComputer, &cchComputer))
        return false;
    if (cchComputer >= kComputerNameSize || szComputer[cchComputer] != '\0')
        return false;
    strValue = std::string("\\\\") + szComputer + "\\" + pszScriptsShare;
    return strValue.size() < kMaxScriptsValue;
}

DWORD CManagerIniBuilder::Make(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs,
                               const char* pszEditor)
{
    if (pszScriptsShare == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::string strPath;
    if (!BuildPath(pszFolder, strPath))
        return ERROR_FILENAME_EXCED_RANGE;
    std::string strScripts;
    if (!BuildScriptsValue(pszScriptsShare, strScripts))
        return ERROR_INVALID_DATA;

    // The document is large (256 records of two texts): it lives on the heap, not on the host's stack.
    auto pDocument = std::make_unique<CIniDocument>(strPath.c_str());
    if (pDocument->Refused())
        return ERROR_INVALID_DATA;
    if (!pDocument->SetValue(kKeyScripts, strScripts, kSectionFileLocations) ||
        !pDocument->SetValue(kKeyLogs, pszLogs != nullptr ? pszLogs : "", kSectionFileLocations) ||
        !pDocument->SetValue(kKeyEditor, pszEditor != nullptr ? pszEditor : "", kSectionReplication))
        return ERROR_INVALID_DATA;  // the document is refused and writes nothing
    if (!pDocument->Save())
        return pDocument->SaveError();
    return 0;
}

}  // namespace qx
