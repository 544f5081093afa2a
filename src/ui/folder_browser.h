// The folder picker: the shell's standard folder dialog, captioned "Select Location", and the
// file-system path of the folder the user chose.
#pragma once

#include <string>

#include "platform/platform.h"

namespace qx {

constexpr char kFolderDialogTitle[] = "Select Location";

class CFolderBrowser {
public:
    CFolderBrowser() = default;
    virtual ~CFolderBrowser() = default;
    CFolderBrowser(const CFolderBrowser&) = delete;
    CFolderBrowser& operator=(const CFolderBrowser&) = delete;

    // Shows the dialog (no owner, browsing from the desktop, no restriction, no callback) and waits
    // for the user. True when a folder was chosen: m_strPath then holds its path, at most 259
    // characters (a UNC name for a folder reached through the network, a drive path otherwise).
    // False when the user cancelled, or chose an item that has no file-system path (Control Panel,
    // a printer). The process's current directory is the same afterwards as before.
    bool DoBrowse();

    std::string m_strPath;  // the chosen folder's path; empty until one is chosen
};

// The process's current directory, saved when constructed and put back by Restore() or at the
// latest when destroyed. A directory of any length is saved whole.
class CCurrentDirectoryKeeper {
public:
    CCurrentDirectoryKeeper();
    ~CCurrentDirectoryKeeper() { Restore(); }
    CCurrentDirectoryKeeper(const CCurrentDirectoryKeeper&) = delete;
    CCurrentDirectoryKeeper& operator=(const CCurrentDirectoryKeeper&) = delete;

    void Restore();

private:
    std::string m_strDirectory;
    bool m_bSaved = false;
};

}  // namespace qx
