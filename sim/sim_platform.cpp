#include "sim/sim_platform.h"

#include <cstddef>

namespace qx::sim {

CSimPlatform::CallJudge CSimPlatform::s_pfnCallJudge = nullptr;

CSimPlatform::CSimPlatform()
    : m_system(m_kernel),
      m_files(m_kernel),
      m_registry(m_kernel),
      m_lsa(m_kernel, m_system.m_strComputerName),
      m_netServer(m_kernel),
      m_acl(m_kernel),
      m_netShare(m_kernel, m_files, m_system.m_strComputerName),
      m_netEnum(m_kernel),
      m_scm(m_kernel, m_clock, m_lsa, m_system.m_strComputerName),
      m_ui(m_kernel, m_files)
{
    m_previous = SetPlatform(Platform());
}

CSimPlatform::~CSimPlatform() { SetPlatform(m_previous); }

CPlatform CSimPlatform::Platform()
{
    CPlatform platform;
    platform.pFiles = &m_files;
    platform.pClock = &m_clock;
    platform.pSystem = &m_system;
    platform.pRegistry = &m_registry;
    platform.pScm = &m_scm;
    platform.pLsa = &m_lsa;
    platform.pNetServer = &m_netServer;
    platform.pAcl = &m_acl;
    platform.pNetShare = &m_netShare;
    platform.pNetEnum = &m_netEnum;
    platform.pUi = &m_ui;
    platform.pObserver = this;
    return platform;
}

void CSimPlatform::ExportCalled(const char*) noexcept
{
    CSimCodeScope own(false);
    m_nLinesAtCall = m_system.DebugLines().size();
    m_nBoxesAtCall = m_ui.m_boxes.size();
    m_nLeftOutAtCall = m_boxesLeftOut.size();
}

void CSimPlatform::ExportReturned(const char* pszExport, bool bHasResult, int nResult) noexcept
{
    CSimCodeScope own(false);
    m_kernel.CheckSettled("window", "held when an export returned");
    if (s_pfnCallJudge == nullptr || !m_bJudgeCalls)
        return;
    const std::vector<std::string>& lines = m_system.DebugLines();
    CSimExportCall call;
    call.strExport = pszExport;
    call.bHasResult = bHasResult;
    call.nResult = nResult;
    if (lines.size() > m_nLinesAtCall)
        call.debugLines.assign(lines.begin() + static_cast<std::ptrdiff_t>(m_nLinesAtCall), lines.end());
    call.nBoxes = m_ui.m_boxes.size() > m_nBoxesAtCall ? m_ui.m_boxes.size() - m_nBoxesAtCall : 0;
    call.nBoxesLeftOut = m_boxesLeftOut.size() > m_nLeftOutAtCall ? m_boxesLeftOut.size() - m_nLeftOutAtCall : 0;
    std::string strWrong = s_pfnCallJudge(call);
    if (!strWrong.empty())
        m_kernel.RecordMisuse(strWrong);
}

void CSimPlatform::MessageBoxLeftOut(LPCSTR pszText, LPCSTR pszCaption, UINT uType) noexcept
{
    m_boxesLeftOut.push_back({nullptr, pszText != nullptr ? pszText : "", pszCaption != nullptr ? pszCaption : "", uType});
}

}  // namespace qx::sim
