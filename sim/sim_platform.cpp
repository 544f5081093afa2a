#include "sim/sim_platform.h"

namespace qx::sim {

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

void CSimPlatform::ExportReturned() noexcept
{
    CSimCodeScope own(false);
    m_kernel.CheckSettled("window", "held when an export returned");
}

}  // namespace qx::sim
