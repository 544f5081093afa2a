// The local folder behind a share of this machine, read from the server service's share values in
// the registry.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace qx {

constexpr char kSharesKey[] = "SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares";
constexpr size_t kShareArgChars = 1024;  // the share name or UNC path, terminator included
constexpr size_t kShareValueBytes = 1024;  // a share's value read from the registry
constexpr size_t kShareValueScan = 256;  // the path entry must begin within these bytes
constexpr size_t kSharePathBytes = 1024;  // the caller's pszPath

// Results of GetSharePath.
constexpr int kSharePathDone = 1;
constexpr int kSharePathNoKey = 2;
constexpr int kSharePathNoValue = 3;

// The folder of a share's value (NUL-separated name=text entries): the first entry that begins
// within the first kShareValueScan bytes and reads "PATH=" once upper-cased gives the rest of that
// entry, upper-cased and taken whole up to its NUL or the end of the data. False when none does.
bool GetPathFromShareValue(const BYTE* pData, DWORD cbData, std::string* pstrPath);

// GetSharePath's work: cuts a UNC pszShare down to its share name, reads the share's value and
// writes its folder, followed by the rest of the UNC path, into pszPath. Returns 1, 2 or 3.
int LookUpSharePath(char* pszShare, char* pszPath);

}  // namespace qx
