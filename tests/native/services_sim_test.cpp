// The simulated service manager itself: it answers like Windows (error codes, access rights mapped
// from the generic ones, deletion that waits for the service to stop and its handles to close),
// moves states on with the clock, and catches handles that are leaked or closed twice.
#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(ServicesSimScm, GenericRightsMapToTheServiceRights)
{
    sim.m_scm.AddService("Svc", "Service");
    unique_schandle manager(OpenManager(GENERIC_READ));
    ASSERT_TRUE(manager);
    {
        unique_schandle reader(Scm().OpenServiceA(manager.get(), "Svc", GENERIC_READ));
        ASSERT_TRUE(reader);
        EXPECT_FALSE(Scm().StartServiceA(reader.get(), 0, nullptr));
        EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(State(reader.get()), static_cast<DWORD>(SERVICE_STOPPED));
    }
    {
        unique_schandle runner(Scm().OpenServiceA(manager.get(), "Svc", GENERIC_EXECUTE));
        ASSERT_TRUE(runner);
        EXPECT_TRUE(Scm().StartServiceA(runner.get(), 0, nullptr));
        SERVICE_STATUS status{};
        EXPECT_TRUE(Scm().ControlService(runner.get(), SERVICE_CONTROL_STOP, &status));
        EXPECT_FALSE(Scm().QueryServiceStatus(runner.get(), &status));  // execute does not read
        EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    // A manager opened for reading cannot create.
    EXPECT_EQ(Scm().CreateServiceA(manager.get(), "New", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\new.exe", nullptr, nullptr,
                                   nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
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

TEST_F(ServicesSimScm, StatesMoveOnWithTheClock)
{
    sim.m_scm.AddService("Svc", "Service", CSimServiceBehaviour::StartPending(2, 1000, 1500));
    unique_schandle manager(OpenManager());
    unique_schandle service(Scm().OpenServiceA(manager.get(), "Svc", SERVICE_ALL_ACCESS));
    ASSERT_TRUE(Scm().StartServiceA(service.get(), 0, nullptr));
    SERVICE_STATUS status{};
    ASSERT_TRUE(Scm().QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
    EXPECT_EQ(status.dwCheckPoint, 1u);
    EXPECT_EQ(status.dwWaitHint, 1500u);
    EXPECT_EQ(status.dwControlsAccepted, 0u);
    sim.m_clock.Advance(999);
    EXPECT_EQ(State(service.get()), static_cast<DWORD>(SERVICE_START_PENDING));
    sim.m_clock.Advance(1);
    ASSERT_TRUE(Scm().QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCheckPoint, 2u);
    sim.m_clock.Advance(1000);
    ASSERT_TRUE(Scm().QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    EXPECT_FALSE(Scm().StartServiceA(service.get(), 0, nullptr));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));
}

TEST_F(ServicesSimScm, MachinesAnswerOnlyWhenAdded)
{
    EXPECT_EQ(Scm().OpenSCManagerA("FARAWAY", nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
    sim.m_scm.AddMachine("FARAWAY");
    unique_schandle remote(Scm().OpenSCManagerA("\\\\faraway", nullptr, SC_MANAGER_CONNECT));
    EXPECT_TRUE(remote);
    unique_schandle local(Scm().OpenSCManagerA("qxserver", "ServicesActive", SC_MANAGER_CONNECT));
    EXPECT_TRUE(local);
    EXPECT_EQ(Scm().OpenSCManagerA(nullptr, "ServicesFailed", SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(ServicesSimScm, KeyNameLookupAsksForALargerBuffer)
{
    sim.m_scm.AddService("QxTavrinService", "Tavrin");
    unique_schandle manager(OpenManager());
    char szKey[8] = {};
    DWORD cch = sizeof szKey;
    EXPECT_FALSE(Scm().GetServiceKeyNameA(manager.get(), "TAVRIN", szKey, &cch));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(cch, 15u);
    char szLarger[16] = {};
    cch = sizeof szLarger;
    EXPECT_TRUE(Scm().GetServiceKeyNameA(manager.get(), "TAVRIN", szLarger, &cch));
    EXPECT_STREQ(szLarger, "QxTavrinService");
    EXPECT_EQ(cch, 15u);
    EXPECT_FALSE(Scm().GetServiceKeyNameA(manager.get(), "Nobody", szLarger, &cch));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

}  // namespace
}  // namespace qx
