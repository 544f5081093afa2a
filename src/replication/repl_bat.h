// The replication batch file REPL.BAT: copies the suite's scripts from the QXscripts$ share of the
// primary domain controller into the NETLOGON share of that controller and of every backup
// controller.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace qx {

constexpr int kMaxReplServers = 256;
constexpr size_t kMaxReplServerName = 260;  // a name's buffer, its NUL included

// The server list "PDC,BDC,BDC...": every character between two commas is a name, unchanged (blanks
// kept, an empty name counts); a comma at the very end adds no name; an empty text has no names.
// A name's number in the file is its position counting from 1: the first backup controller is 2.
class CReplServerList {
public:
    // False, and no names, when the list has more than 256 names, a name of 260 characters or more,
    // or a name holding a CR or LF.
    bool Split(const char* pszServers);

    int Count() const { return static_cast<int>(m_names.size()); }
    // The name of number nNumber (1 to Count()).
    const std::string& Name(int nNumber) const { return m_names[static_cast<size_t>(nNumber - 1)]; }

private:
    std::vector<std::string> m_names;
};

class CReplBatWriter {
public:
    // The file's bytes, with CR LF line ends (the names hold no line end: Split refuses them).
    static std::string Text(const CReplServerList& servers);
    // Writes the file through a temporary file that takes its place only when complete; 0 or the
    // Win32 error code (then the file is as it was).
    static DWORD Write(const char* pszBatFile, const CReplServerList& servers);
};

}  // namespace qx
