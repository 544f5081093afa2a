// The installed-service probes on the simulated service manager: looked up by display name, the
// states that count, the "SC Manager Error" box when the manager cannot be opened, handles closed.
#include <gtest/gtest.h>

#include "services_fixture.h"

namespace qx {
namespace {

using test::ServicesTest;

struct CProbe {
    const char* pszExport;
    int(QXAPI* pfn)(const char*);
    const char* pszDisplayName;
};
const CProbe kProbes[] = {
    {"KixInstalled", &KixInstalled, "kixtart rpc service"},
    {"ZUVadarInstalled", &ZUVadarInstalled, "Qorvex RPC Service"},
    {"ROVoruzInstalled", &ROVoruzInstalled, "Tavrin"},
};

class ServicesProbe : public ServicesTest {};

TEST_F(ServicesProbe, RunningStartPendingAndPausedCountAsInstalled)
{
    for (const CProbe& probe : kProbes) {
        sim.m_scm.AddService(std::string("Key") + probe.pszExport, probe.pszDisplayName);
        for (DWORD dwState = SERVICE_STOPPED; dwState <= SERVICE_PAUSED; ++dwState) {
            sim.m_scm.SetState(std::string("Key") + probe.pszExport, dwState);
            int nExpected = dwState == SERVICE_RUNNING || dwState == SERVICE_START_PENDING || dwState == SERVICE_PAUSED;
            EXPECT_EQ(probe.pfn(nullptr), nExpected) << probe.pszExport << " state " << dwState;
            EXPECT_TRUE(Settled());
        }
    }
    EXPECT_TRUE(sim.m_ui.m_boxes.empty());
    EXPECT_EQ(TakeOutput(), "");  // the probes write no lines
}

TEST_F(ServicesProbe, EachProbeLooksForItsOwnDisplayNameUnderAnyKeyName)
{
    sim.m_scm.AddService("qorvexrpc", "Qorvex RPC Service");
    sim.m_scm.SetState("qorvexrpc", SERVICE_RUNNING);
    EXPECT_EQ(ZUVadarInstalled(""), 1);
    EXPECT_EQ(KixInstalled(""), 0);
    EXPECT_EQ(ROVoruzInstalled(""), 0);
    EXPECT_TRUE(Settled());

    // The manager compares display names without regard to case.
    sim.m_scm.AddService("KIXRPC", "KiXtart RPC Service");
    sim.m_scm.SetState("KIXRPC", SERVICE_RUNNING);
    EXPECT_EQ(KixInstalled(nullptr), 1);
    EXPECT_TRUE(Settled());

    // A key name that is the display name is not a display name.
    sim.m_scm.AddService("Tavrin", "Something else");
    sim.m_scm.SetState("Tavrin", SERVICE_RUNNING);
    EXPECT_EQ(ROVoruzInstalled(nullptr), 0);
    EXPECT_TRUE(Settled());
}

TEST_F(ServicesProbe, OpensTheActiveDatabaseWithFullAccessThenTheServiceForItsStatus)
{
    sim.m_scm.AddService("QxTavrin", "Tavrin");
    sim.m_scm.SetState("QxTavrin", SERVICE_RUNNING);
    EXPECT_EQ(ROVoruzInstalled(""), 1);
    EXPECT_TRUE(Settled());
    const auto& opens = sim.m_scm.m_opens;
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_FALSE(opens[0].bMachineNull);  // the argument goes to the manager as it is
    EXPECT_EQ(opens[0].strMachine, "");
    EXPECT_EQ(opens[0].strDatabase, "ServicesActive");
    EXPECT_EQ(opens[0].dwAccess, static_cast<DWORD>(SC_MANAGER_ALL_ACCESS));
    EXPECT_EQ(opens[1].strService, "QxTavrin");
    EXPECT_EQ(opens[1].dwAccess, static_cast<DWORD>(SERVICE_QUERY_STATUS));
}

TEST_F(ServicesProbe, UnreachableManagerShowsOneBoxPerCall)
{
    for (const CProbe& probe : kProbes)
        EXPECT_EQ(probe.pfn("FARAWAY"), 0) << probe.pszExport;
    EXPECT_TRUE(Settled());
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 3u);
    for (const auto& box : sim.m_ui.m_boxes) {
        EXPECT_EQ(box.hOwner, nullptr);
        EXPECT_EQ(box.strText, "SC Manager Error");
        EXPECT_EQ(box.strCaption, "KI Err");
        EXPECT_EQ(box.uType, static_cast<UINT>(MB_OK));  // one OK button, no icon, application-modal
    }
}

TEST_F(ServicesProbe, ManagerWithoutFullAccessIsLikeAnUnreachableOne)
{
    sim.m_scm.AddMachine("DC2").dwAllowedAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE |
                                                   SC_MANAGER_QUERY_LOCK_STATUS | READ_CONTROL;
    sim.m_scm.AddService("QxTavrin", "Tavrin", sim::CSimServiceBehaviour::RunsAtOnce(), "DC2");
    sim.m_scm.SetState("QxTavrin", SERVICE_RUNNING, "DC2");
    EXPECT_EQ(ROVoruzInstalled("DC2"), 0);
    EXPECT_TRUE(Settled());
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
    EXPECT_EQ(sim.m_ui.m_boxes[0].strCaption, "KI Err");

    sim.m_scm.Machine("DC2")->dwAllowedAccess = SC_MANAGER_ALL_ACCESS;
    EXPECT_EQ(ROVoruzInstalled("\\\\DC2"), 1);
    EXPECT_TRUE(Settled());
}

TEST_F(ServicesProbe, EveryOtherFailureIsSilentAndClosesItsHandles)
{
    struct Case {
        const char* pszWhat;
        const char* pszFailCall;
        DWORD dwAllowed;
    } cases[] = {
        {"not installed", nullptr, SERVICE_ALL_ACCESS},
        {"key name lookup fails", "GetServiceKeyNameA", SERVICE_ALL_ACCESS},
        {"service may not be queried", nullptr, SERVICE_ALL_ACCESS & ~SERVICE_QUERY_STATUS},
        {"service cannot be opened", "OpenServiceA", SERVICE_ALL_ACCESS},
        {"status cannot be read", "QueryServiceStatus", SERVICE_ALL_ACCESS},
    };
    for (const Case& c : cases) {
        sim::CSimPlatform local;
        if (std::string(c.pszWhat) != "not installed") {
            local.m_scm.AddService("QxTavrin", "Tavrin").dwAllowedAccess = c.dwAllowed;
            local.m_scm.SetState("QxTavrin", SERVICE_RUNNING);
        }
        if (c.pszFailCall != nullptr)
            local.m_kernel.FailCall(c.pszFailCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(ROVoruzInstalled(nullptr), 0) << c.pszWhat;
        EXPECT_TRUE(local.m_ui.m_boxes.empty()) << c.pszWhat;
        EXPECT_EQ(local.m_system.m_strStdout, "") << c.pszWhat;
        EXPECT_TRUE(local.Clean()) << c.pszWhat << ": " << local.Report();
    }
}

TEST_F(ServicesProbe, KeyNameTooLongForTheBufferIsNotFound)
{
    std::string strKey(256, 'k');  // needs 257 bytes with its zero
    sim.m_scm.AddService(strKey, "Tavrin");
    sim.m_scm.SetState(strKey, SERVICE_RUNNING);
    EXPECT_EQ(ROVoruzInstalled(nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_scm.m_opens.size(), 1u);  // no service was opened
}

}  // namespace
}  // namespace qx
