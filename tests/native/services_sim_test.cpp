// The simulated service manager itself: it refuses what Windows refuses with the same codes, deletes
// a service only once it has stopped and its handles are closed, and catches handles that are leaked
// or closed twice. (Its timelines and access checks are exercised through the exports' tests.)
#include <gtest/gtest.h>

#include "platform/unique.h"
#include "sim_fixture.h"

namespace qx {
namespace {

using sim::CSimServiceBehaviour;
using test::SimTest;

class ServicesSimScm : public SimTest {
protected:
    SC_HANDLE OpenManager(DWORD dwAccess = SC_MANAGER_ALL_ACCESS)
    {
        return Scm().OpenSCManagerA(nullptr, nullptr, dwAccess);
    }
    DWORD State(SC_HANDLE hService)
    {
        SERVICE_STATUS status{};
        EXPECT_TRUE(Scm().QueryServiceStatus(hService, &status));
        return status.dwCurrentState;
    }
};

TEST(ServicesSimAccounting, HandlesAreAccountedAndADoubleCloseIsAMisuse)
{
    sim::CSimPlatform sim;
    sim.m_scm.AddService("Svc", "Service");
    SC_HANDLE hManager = Scm().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE hService = Scm().OpenServiceA(hManager, "svc", SERVICE_QUERY_STATUS);  // names ignore case
    ASSERT_NE(hService, nullptr);
    EXPECT_EQ(sim.m_kernel.Outstanding("schandle"), 2u);
    EXPECT_FALSE(sim.Clean());
    EXPECT_TRUE(Scm().CloseServiceHandle(hService));
    EXPECT_TRUE(Scm().CloseServiceHandle(hManager));
    EXPECT_TRUE(sim.Clean()) << sim.Report();
    EXPECT_FALSE(Scm().CloseServiceHandle(hManager));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
}

TEST_F(ServicesSimScm, CreationRefusesWhatWindowsRefuses)
{
    sim.m_scm.AddService("Taken", "Taken display");
    sim.m_lsa.AddAccount("", "known", "S-1-5-21-1-2-3-1001");
    unique_schandle manager(OpenManager());
    struct Case {
        const char* pszName;
        const char* pszDisplay;
        const char* pszAccount;
        DWORD dwError;
    } cases[] = {
        {"Taken", "Fresh", nullptr, ERROR_SERVICE_EXISTS},
        {"Fresh", "taken DISPLAY", nullptr, ERROR_DUPLICATE_SERVICE_NAME},
        {"Fresh", "Taken", nullptr, ERROR_DUPLICATE_SERVICE_NAME},
        {"Bad\\Name", "Fresh", nullptr, ERROR_INVALID_NAME},
        {"", "Fresh", nullptr, ERROR_INVALID_NAME},
        {"Fresh", "Fresh", ".\\unknown", ERROR_INVALID_SERVICE_ACCOUNT},
        {"Fresh", "Fresh", "OTHERDOM\\known", ERROR_INVALID_SERVICE_ACCOUNT},
    };
    for (const Case& c : cases) {
        SC_HANDLE h = Scm().CreateServiceA(manager.get(), c.pszName, c.pszDisplay, SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                           "C:\\fresh.exe", nullptr, nullptr, "RPCSS\0", c.pszAccount, nullptr);
        EXPECT_EQ(h, nullptr) << c.pszName << " / " << c.pszDisplay;
        EXPECT_EQ(Sys().GetLastError(), c.dwError) << c.pszName << " / " << c.pszDisplay;
    }
    unique_schandle created(Scm().CreateServiceA(manager.get(), "Fresh", "Fresh", SERVICE_ALL_ACCESS,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                                 SERVICE_ERROR_NORMAL, "C:\\fresh.exe", nullptr, nullptr,
                                                 "RPCSS\0Other\0", ".\\known", "pw"));
    ASSERT_TRUE(created);
    EXPECT_EQ(sim.m_scm.Service("Fresh")->dependencies, (std::vector<std::string>{"RPCSS", "Other"}));
    EXPECT_EQ(sim.m_scm.m_creates.back().dependencies, std::string("RPCSS\0Other\0\0", 13));
    // Its dependency "Other" does not exist: it cannot start.
    EXPECT_FALSE(Scm().StartServiceA(created.get(), 0, nullptr));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DEPENDENCY_DELETED));
}

TEST_F(ServicesSimScm, DeletionWaitsForTheServiceToStopAndItsHandlesToClose)
{
    sim.m_scm.AddService("Svc", "Service", CSimServiceBehaviour::SlowStop(500));
    sim.m_scm.SetState("Svc", SERVICE_RUNNING);
    unique_schandle manager(OpenManager());
    unique_schandle service(Scm().OpenServiceA(manager.get(), "Svc", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(Scm().DeleteService(service.get()));
    EXPECT_FALSE(Scm().DeleteService(service.get()));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    SERVICE_STATUS status{};
    ASSERT_TRUE(Scm().ControlService(service.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
    sim.m_clock.Advance(500);
    EXPECT_EQ(State(service.get()), static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_NE(sim.m_scm.Service("Svc"), nullptr);  // still open
    service.reset();
    EXPECT_EQ(sim.m_scm.Service("Svc"), nullptr);
    EXPECT_EQ(Scm().OpenServiceA(manager.get(), "Svc", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
}  // namespace qx
