#include "stdout_capture.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

namespace qx::host {

CStdoutCapture::CStdoutCapture()
{
    char szFolder[MAX_PATH] = {};
    char szFile[MAX_PATH] = {};
    DWORD cchFolder = GetTempPathA(MAX_PATH, szFolder);
    if (cchFolder == 0 || cchFolder >= MAX_PATH || GetTempFileNameA(szFolder, "qxo", 0, szFile) == 0)
        return;
    m_strPath = szFile;
    int nFile = _open(szFile, _O_WRONLY | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (nFile < 0) {
        DeleteFileA(szFile);
        return;
    }
    std::fflush(stdout);
    m_nSaved = _dup(1);
    if (m_nSaved < 0 || _dup2(nFile, 1) != 0) {
        if (m_nSaved >= 0)
            _close(m_nSaved);
        m_nSaved = -1;
        _close(nFile);
        DeleteFileA(szFile);
        return;
    }
    _close(nFile);
}

CStdoutCapture::~CStdoutCapture()
{
    if (m_nSaved < 0)
        return;
    std::fflush(stdout);
    _dup2(m_nSaved, 1);
    _close(m_nSaved);
    DeleteFileA(m_strPath.c_str());
}

std::string CStdoutCapture::Take()
{
    if (m_nSaved < 0)
        return std::string();
    std::fflush(stdout);
    std::string strText;
    FILE* pFile = std::fopen(m_strPath.c_str(), "rb");
    if (pFile == nullptr)
        return strText;
    if (std::fseek(pFile, m_nTaken, SEEK_SET) == 0) {
        char buffer[4096];
        size_t cb;
        while ((cb = std::fread(buffer, 1, sizeof buffer, pFile)) > 0)
            strText.append(buffer, cb);
    }
    std::fclose(pFile);
    m_nTaken += static_cast<long>(strText.size());
    return strText;
}

}  // namespace qx::host
