// Captures what the process writes to its standard output (the C runtime's descriptor 1, which a
// loaded DLL shares) while the object lives: the diagnostic lines of the service exports. The bytes
// come as written, without the text-mode line-end translation. Used by qxcall and the Wine tests.
#pragma once

#include <string>

namespace qx::host {

class CStdoutCapture {
public:
    CStdoutCapture();
    ~CStdoutCapture();
    CStdoutCapture(const CStdoutCapture&) = delete;
    CStdoutCapture& operator=(const CStdoutCapture&) = delete;

    // Whether standard output is being captured (false when the temporary file could not be made:
    // the output then goes where it went before).
    bool Active() const { return m_nSaved >= 0; }
    // What was written since the capture began or since the last Take(); forgets it.
    std::string Take();

private:
    int m_nSaved = -1;  // the descriptor standard output had before
    std::string m_strPath;
    long m_nTaken = 0;  // bytes of the file already handed out
};

}  // namespace qx::host
