#include "manager/manager_ini.h"

#include <cstring>
#include <memory>

#include "manager/ini_document.h"
#include "platform/ansi_chars.h"
#include "platform/platform.h"
#include "platform/reason.h"

namespace qx {

namespace {
constexpr char kSectionFileLocations[] = "File Locations";
constexpr char kSectionReplication[] = "Replication";
constexpr char kKeyScripts[] = "Scripts";
constexpr char kKeyLogs[] = "Logs";
constexpr char kKeyEditor[] = "Editor";
constexpr DWORD kComputerNameSize = 260;

// Why a document refused a file or a change.
const char* FaultText(IniFault fault)
{
    switch (fault) {
    case IniFault::kTooManyLines:
        return "has more than 256 lines";
    case IniFault::kTooLong:
        return "holds a name or value longer than 255 characters";
    case IniFault::kNulByte:
        return "holds a NUL byte";
    case IniFault::kReadError:
        return "cannot be read to its end";
    case IniFault::kOpenError:
        return "exists but cannot be opened";
    case IniFault::kBadChange:
        return "cannot take a value (longer than 255 characters, with a line end, or past 256 lines)";
    case IniFault::kNone:
        break;
    }
    return "is refused";
}
}  // namespace

bool CManagerIniBuilder::BuildPath(const char* pszFolder, std::string& strPath)
{
    std::string strFolder = pszFolder != nullptr ? pszFolder : "";
    const char* pszSlash = FindLastSeparator(strFolder.c_str(), "\\");
    bool bEndsInSlash = pszSlash != nullptr && pszSlash[1] == '\0';
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
    if (!Sys().GetComputerNameA(szComputer, &cchComputer)) {
        ReasonCall("GetComputerNameA", nullptr, Sys().GetLastError());
        return false;
    }
    if (cchComputer >= kComputerNameSize || szComputer[cchComputer] != '\0')
        return false;
    strValue = std::string("\\\\") + szComputer + "\\" + pszScriptsShare;
    if (strValue.size() >= kMaxScriptsValue)
        Reason("the Scripts value %s passes %d characters", strValue.c_str(), static_cast<int>(kMaxScriptsValue - 1));
    return strValue.size() < kMaxScriptsValue;
}

DWORD CManagerIniBuilder::Make(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs,
                               const char* pszEditor)
{
    if (pszScriptsShare == nullptr) {
        Reason("no scripts share is given");
        return ERROR_INVALID_PARAMETER;
    }
    std::string strPath;
    if (!BuildPath(pszFolder, strPath)) {
        Reason("the path of qxmgr.ini passes %d characters", static_cast<int>(kMaxManagerIniPath - 1));
        return ERROR_FILENAME_EXCED_RANGE;
    }
    std::string strScripts;
    if (!BuildScriptsValue(pszScriptsShare, strScripts))
        return ERROR_INVALID_DATA;

    // The document is large (256 records of two texts): it lives on the heap, not on the host's stack.
    auto pDocument = std::make_unique<CIniDocument>(strPath.c_str());
    if (pDocument->Refused()) {
        Reason("%s %s", strPath.c_str(), FaultText(pDocument->Fault()));
        return ERROR_INVALID_DATA;
    }
    if (!pDocument->SetValue(kKeyScripts, strScripts, kSectionFileLocations) ||
        !pDocument->SetValue(kKeyLogs, pszLogs != nullptr ? pszLogs : "", kSectionFileLocations) ||
        !pDocument->SetValue(kKeyEditor, pszEditor != nullptr ? pszEditor : "", kSectionReplication)) {
        Reason("%s %s", strPath.c_str(), FaultText(pDocument->Fault()));
        return ERROR_INVALID_DATA;  // the document is refused and writes nothing
    }
    if (!pDocument->Save())
        return pDocument->SaveError();
    return 0;
}

}  // namespace qx
