// The simulated Windows as a whole: one object per test, installed as the current platform.
//
//   CSimPlatform sim;                 // installs itself; the destructor puts back the previous one
//   sim.m_files.SetFile("C:\\a.txt", "x");
//   sim.m_kernel.FailCall("WriteFile", ERROR_DISK_FULL);
//   ... call the code under test ...
//   EXPECT_TRUE(sim.Clean()) << sim.Report();
//
// Every area of the platform is simulated; each member is the state a test sets up and inspects.
// Each time an export returns, anything it left held (other than windows: the progress window
// stays open between exports) is recorded as a misuse, so Clean() fails for it; so is what the judge
// of export calls, if one is set, finds wrong with the call's result, debug lines and boxes.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_acl.h"
#include "sim/sim_files.h"
#include "sim/sim_kernel.h"
#include "sim/sim_lsa.h"
#include "sim/sim_netenum.h"
#include "sim/sim_netserver.h"
#include "sim/sim_netshare.h"
#include "sim/sim_registry.h"
#include "sim/sim_scm.h"
#include "sim/sim_system.h"
#include "sim/sim_ui.h"

namespace qx::sim {

// One export call as the platform saw it, handed to the judge of export calls as it returns.
struct CSimExportCall {
    std::string strExport;
    bool bHasResult = false;
    int nResult = 0;
    std::vector<std::string> debugLines;  // handed to OutputDebugStringA during the call
    size_t nBoxes = 0;  // message boxes shown during the call
    size_t nBoxesLeftOut = 0;  // boxes the library left out in unattended mode (each would have been shown)
};

class CSimPlatform : public IExportObserver {
public:
    CSimPlatform();
    ~CSimPlatform();
    CSimPlatform(const CSimPlatform&) = delete;
    CSimPlatform& operator=(const CSimPlatform&) = delete;

    CSimKernel m_kernel;
    CSimClock m_clock;
    CSimSystem m_system;
    CSimFiles m_files;
    CSimRegistry m_registry;
    CSimLsa m_lsa;
    CSimNetServer m_netServer;
    CSimAcl m_acl;
    CSimNetShare m_netShare;
    CSimNetEnum m_netEnum;
    CSimScm m_scm;
    CSimUi m_ui;

    CPlatform Platform();
    void ExportCalled(const char* pszExport) noexcept override;
    void ExportReturned(const char* pszExport, bool bHasResult, int nResult) noexcept override;
    void MessageBoxLeftOut(LPCSTR pszText, LPCSTR pszCaption, UINT uType) noexcept override;

    // The boxes the library left out in unattended mode, as it would have shown them (never shown:
    // they are not Windows's, and m_ui.m_boxes does not hold them).
    std::vector<CSimMessageBox> m_boxesLeftOut;

    // Judges each export call as it returns; a text it gives is recorded as a misuse. None is set by
    // default: the native tests set one for every platform, which a test may turn off for its own
    // platform with m_bJudgeCalls.
    using CallJudge = std::string (*)(const CSimExportCall& call);
    static CallJudge s_pfnCallJudge;
    bool m_bJudgeCalls = true;
    // Nothing handed out is still held and nothing was released wrongly.
    bool Clean() const { return m_kernel.Clean(); }
    std::string Report() const { return m_kernel.Report(); }

private:
    CPlatform m_previous;
    size_t m_nLinesAtCall = 0;  // debug lines and boxes when the running export was called
    size_t m_nBoxesAtCall = 0;
    size_t m_nLeftOutAtCall = 0;
};

}  // namespace qx::sim
