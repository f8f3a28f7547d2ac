// Stopping services that the service control manager refuses to stop: a service another running
// service depends on, and handles opened without the needed rights. Under Wine the services are
// the fixture service, created with their dependencies.

#include "toolkit/service_cleanup.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/services.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/system_texts.h"

#ifdef _WIN32
#include "support/fixture_service.h"
#include "support/win_machine.h"
#else
#include "platform/sim/sim_services.h"
#endif

namespace {

constexpr char16_t kBase[] = u"QtvFixtureBase";
constexpr char16_t kDependent[] = u"QtvFixtureDependent";

class ServiceStopTest : public LogTest {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        RemoveFixtureService(W(kDependent));
        RemoveFixtureService(W(kBase));
        ASSERT_TRUE(StartFixtureService(W(kBase), 0));
        ASSERT_TRUE(StartFixtureService(W(kDependent), 0, SERVICE_DEMAND_START, {W(kBase)}));
#else
        machine.services().addService(kBase, SERVICE_RUNNING);
        machine.services().addService(kDependent, SERVICE_RUNNING);
        machine.services().setDependencies(kDependent, {kBase});
#endif
    }

#ifdef _WIN32
    void TearDown() override
    {
        RemoveFixtureService(W(kDependent));
        RemoveFixtureService(W(kBase));
    }
#endif
};

TEST_F(ServiceStopTest, AServiceIsNotStoppedWhileOneThatDependsOnItRuns)
{
#ifdef _WIN32
    // Wine does not look at dependents: it stops the service another running one depends on.
    // Windows refuses with ERROR_DEPENDENT_SERVICES_RUNNING, and the simulated machine answers as
    // Windows does, so this refusal is checked there only.
    // The stop reaches the service on its own thread, so a poll may still see it stop-pending:
    // a dot for each second of that.
    EXPECT_TRUE(StopServiceWithWait(kBase, &log, 10));
    const std::string written = ToUtf8(text());
    EXPECT_TRUE(std::regex_match(written, std::regex("Stopping service \"QtvFixtureBase\"\\.{3,}stopped\r\n")))
        << written;
#else
    EXPECT_FALSE(StopServiceWithWait(kBase, &log, 10));
    EXPECT_TRUE(WithSystemText(ToUtf8(text()),
                               "Stopping service \"QtvFixtureBase\"...error encountered: Windows Error 0x41b: ",
                               ERROR_DEPENDENT_SERVICES_RUNNING, "\r\n"));
    EXPECT_TRUE(CheckServiceRunning(kBase, &log));

    // Once its dependent has stopped, it stops too.
    EXPECT_TRUE(StopServiceWithWait(kDependent, &log, 10));
    EXPECT_TRUE(StopServiceWithWait(kBase, &log, 10));
    EXPECT_EQ(text(), u"Checking if \"QtvFixtureBase\" is running...service is running\r\n"
                      u"Stopping service \"QtvFixtureDependent\"...stopped\r\n"
                      u"Stopping service \"QtvFixtureBase\"...stopped\r\n");
#endif
}

TEST_F(ServiceStopTest, AHandleWithoutTheRightRefusesTheStopAndTheDeletion)
{
    const UniqueServiceHandle manager(Os().openSCManager(nullptr, u"ServicesActive", SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager);
    const UniqueServiceHandle queryOnly(Os().openService(manager.get(), kDependent, SERVICE_QUERY_STATUS));
    ASSERT_TRUE(queryOnly);

    SERVICE_STATUS status{};
    EXPECT_FALSE(Os().controlService(queryOnly.get(), SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Os().deleteService(queryOnly.get()));
    EXPECT_EQ(Os().getLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(Os().queryServiceStatus(queryOnly.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
}

} // namespace
