#include "host/dll_host.h"

#include "box_hook.h"

namespace qx::host {

std::string CDllHost::ProgramFolder()
{
    char szPath[MAX_PATH] = {};
    DWORD cch = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string strPath(szPath, cch);
    return strPath.substr(0, strPath.find_last_of("\\/") + 1);
}

CDllHost::CDllHost()
{
    std::string strDll = ProgramFolder() + "QXINST.dll";
    m_hModule = LoadLibraryA(strDll.c_str());
    if (m_hModule == nullptr)
        throw std::runtime_error("cannot load " + strDll + ": error " + std::to_string(GetLastError()));
    CBoxHook::Install(m_hModule);
}

CDllHost::~CDllHost()
{
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
}

}  // namespace qx::host
