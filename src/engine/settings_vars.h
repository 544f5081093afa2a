// What the four variable exports share: the manager file as plain text in the module's text buffer,
// the engine version worked out from the script, and the handling of the caller's lines and buffers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

namespace qx {

class CTokenTable;

// The manager file, read and written in text mode (CR LF on disk, LF in the text). Every byte is
// kept, 0xFF included, so a file whose lines end with CR LF round-trips byte for byte.
class CManagerText {
public:
    explicit CManagerText(const char* pszPath) : m_pszPath(pszPath) { }

    // Fills g_textBuffer with the file's text (g_textPos is its length). 0; or the error of the
    // open (the text is then empty and Opened() false); or a read error; or ERROR_FILE_TOO_LARGE for
    // a text larger than the buffer (the text is then empty).
    DWORD Read();
    bool Opened() const { return m_bOpened; }
    // Replaces the file with the first g_textPos bytes of g_textBuffer, or creates it. 0 or the
    // Win32 error code (the file is then as it was).
    DWORD Write();

private:
    const char* m_pszPath;
    bool m_bOpened = false;
};

// A caller's text that names a line: not null and with a non-empty key. The others are slots the
// host leaves unused, which change nothing and read nothing.
bool HasKey(const char* pszText);

// Copies a whole line, and a terminating zero, into a caller's buffer.
void CopyToBuffer(char* pszBuffer, const std::string& strText);

// The engine version number from the script's $EngineVersion value: its first and third characters
// read as a decimal number ("4.1" gives 41, "12.5" gives 1), low 16 bits. nHeaderVersion when the
// script has no such line or its value is shorter than three characters.
uint16_t ScriptEngineVersion(const CTokenTable& table, uint16_t nHeaderVersion);

}  // namespace qx
