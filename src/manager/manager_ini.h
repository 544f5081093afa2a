// The manager's configuration file qxmgr.ini: where the installation put the scripts share, the
// logs and the replication editor. The file is merged, never replaced: every other section, key and
// comment stays, and only the three keys are set.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace qx {

constexpr char kManagerIniName[] = "qxmgr.ini";
constexpr size_t kMaxManagerIniPath = 512;  // the path buffer, its NUL included
constexpr size_t kMaxScriptsValue = 260;  // the Scripts value buffer, its NUL included

class CManagerIniBuilder {
public:
    // The file's path in pszFolder (null or empty: the bare file name, against the current
    // directory): a backslash goes between them unless the folder ends in one. False when the path
    // would not fit its buffer.
    static bool BuildPath(const char* pszFolder, std::string& strPath);
    // "\\computer\share". False when the computer name cannot be read or the text does not fit.
    static bool BuildScriptsValue(const char* pszScriptsShare, std::string& strValue);

    // Sets Scripts and Logs under [File Locations] and Editor under [Replication] and writes the
    // file. 0, or the Win32 error code of why nothing was written.
    DWORD Make(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs, const char* pszEditor);
};

}  // namespace qx
