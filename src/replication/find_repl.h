// The search of the visible network for the replication share "REPL$".
#pragma once

#include <cstddef>

#include "platform/win_types.h"

namespace qx {

constexpr DWORD kEnumBufferSize = 16384;  // one batch of WNetEnumResourceA
constexpr size_t kRemoteNameChars = 256;  // a remote name, terminator included (the caller's buffer too)
constexpr char kReplSharePrefix[] = "REPL$";

// The part of a remote name after its last backslash (the whole name when it has none), into pszOut
// (kRemoteNameChars). False, with pszOut empty, for a name of kRemoteNameChars characters or more.
bool GetLastComponent(const char* pszRemoteName, char* pszOut);

// Searches the level below pContainer (null: the top of the network) depth first, in the platform's
// order: each entry's remote name is tested, then a container is searched, before the next entry.
// The first remote name whose last component begins "REPL$" (capitals) is written into pszOut
// (kRemoteNameChars) and 1 is returned; 0 when none is found below. A container that cannot be
// opened or fails part way ends its own level only.
int SearchReplShare(LPNETRESOURCEA pContainer, char* pszOut);

}  // namespace qx
