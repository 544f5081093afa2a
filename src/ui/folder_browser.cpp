#include "ui/folder_browser.h"

#include <cstring>
#include <vector>

#include "frame/text_fit.h"
#include "platform/reason.h"
#include "platform/unique.h"

namespace qx {

CCurrentDirectoryKeeper::CCurrentDirectoryKeeper()
{
    char szDirectory[MAX_PATH];
    DWORD cch = Files().GetCurrentDirectoryA(sizeof szDirectory, szDirectory);
    if (cch != 0 && cch < sizeof szDirectory) {
        m_strDirectory.assign(szDirectory, cch);
        m_bSaved = true;
        return;
    }
    // Longer than MAX_PATH: the result was the size needed, terminator included.
    if (cch != 0) {
        std::vector<char> directory(cch, '\0');
        DWORD cchGot = Files().GetCurrentDirectoryA(cch, directory.data());
        if (cchGot != 0 && cchGot < cch) {
            m_strDirectory.assign(directory.data(), cchGot);
            m_bSaved = true;
        }
    }
}

void CCurrentDirectoryKeeper::Restore()
{
    if (m_bSaved) {
        Files().SetCurrentDirectoryA(m_strDirectory.c_str());
        m_bSaved = false;
    }
}

bool CFolderBrowser::DoBrowse()
{
    // The dialog writes the chosen item's display name here; the path conversion reuses it.
    char szPath[MAX_PATH];
    szPath[0] = '\0';

    BROWSEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.hwndOwner = nullptr;
    info.pidlRoot = nullptr;
    info.pszDisplayName = szPath;
    info.lpszTitle = kFolderDialogTitle;
    info.ulFlags = 0;
    info.lpfn = nullptr;
    info.lParam = 0;
    info.iImage = 0;

    unique_pidl item;
    {
        CCurrentDirectoryKeeper currentDirectory;
        item.reset(Ui().SHBrowseForFolderA(&info));
        m_strPath.clear();
    }
    if (!item) {
        Reason("no folder was chosen");
        return false;  // cancelled
    }

    // An item without a file-system path is not a folder the host can use: not chosen. The path
    // must end within the buffer; the shell never writes more than MAX_PATH bytes.
    if (!Ui().SHGetPathFromIDListA(item.get(), szPath)) {
        Reason("the item chosen is not a folder of the file system");
        return false;
    }
    size_t cchPath = BoundedLength(szPath, sizeof szPath);
    if (cchPath == 0 || cchPath >= sizeof szPath) {
        Reason("the folder's path is empty or does not end within %u bytes", static_cast<unsigned>(sizeof szPath));
        return false;
    }
    m_strPath.assign(szPath, cchPath);
    return true;
}

}  // namespace qx
