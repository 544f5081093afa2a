// Asking a server for the local folder behind one of its shares.
#pragma once

#include <cstddef>

namespace qx {

constexpr size_t kRemoteShareNameChars = 256;  // wide buffers of the server and share names, terminator included
constexpr size_t kRemotePathBytes = 260;  // the folder handed back (MAX_PATH)

// The part of a share name behind its server: for "\\SRV\DATA\SUB" the text "DATA\SUB", for
// "\\SRV" or "\\SRV\" the empty text; a name that does not begin with two backslashes is itself.
const char* SkipServerPart(const char* pszShare);

// Rewrites pszShare in place to the part behind its server, asks pszServer (null: this machine) for
// the share at level 2 and writes its folder into pszPath (kRemotePathBytes). True when the folder
// was written. Nothing at all is changed when a name does not fit its wide buffer; pszPath is
// untouched when the share cannot be read or its folder does not fit or convert.
bool GetRemoteSharePath(const char* pszServer, char* pszShare, char* pszPath);

}  // namespace qx
