#include "toolkit/service_cleanup.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/sim/sim_services.h"
#include "support/recipe_test.h"

namespace {

class ServiceCleanupTest : public LogTest {
protected:
    SimServices& services() { return machine.services(); }
};

TEST_F(ServiceCleanupTest, ChecksReportExistenceAndState)
{
    services().addService(u"ZantrelAgent", SERVICE_RUNNING);
    services().addService(u"ZantrelRelay", SERVICE_STOPPED);

    EXPECT_TRUE(CheckServiceExists(u"ZantrelAgent", &log));
    EXPECT_FALSE(CheckServiceExists(u"Nope", &log));
    EXPECT_TRUE(CheckServiceRunning(u"ZantrelAgent", &log));
    EXPECT_FALSE(CheckServiceRunning(u"ZantrelRelay", &log));
    EXPECT_FALSE(CheckServiceRunning(u"Nope", &log));
    EXPECT_EQ(text(), u"Checking for \"ZantrelAgent\" service...exists\r\n"
                      u"Checking for \"Nope\" service...not found\r\n"
                      u"Checking if \"ZantrelAgent\" is running...service is running\r\n"
                      u"Checking if \"ZantrelRelay\" is running...service not running\r\n"
                      u"Checking if \"Nope\" is running...service does not exist\r\n");
}

TEST_F(ServiceCleanupTest, AccessDeniedIsDescribed)
{
    machine.failCall(SimCall::OpenSCManager, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CheckServiceExists(u"ZantrelAgent", &log));
    machine.failCall(SimCall::OpenSCManager, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(StopServiceWithWait(u"ZantrelAgent", &log, 10));
    EXPECT_EQ(text(), u"Checking for \"ZantrelAgent\" service...Windows Error 0x5: Access denied.\r\n"
                      u"Stopping service \"ZantrelAgent\"...error encountered: Windows Error 0x5: Access denied.\r\n");
}

TEST_F(ServiceCleanupTest, StopAfterTwoAndAHalfSecondsWritesThreeDots)
{
    services().addService(u"ZantrelAgent", SERVICE_RUNNING, 2500);
    const auto start = machine.now();

    EXPECT_TRUE(StopServiceWithWait(u"ZantrelAgent", &log, 10));

    EXPECT_EQ(text(), u"Stopping service \"ZantrelAgent\"......stopped\r\n");
    EXPECT_EQ(machine.now() - start, 2500u);
}

TEST_F(ServiceCleanupTest, ServiceThatNeverStopsIsAbandonedAfterTenDots)
{
    services().addService(u"Stuck", SERVICE_RUNNING, std::nullopt);

    EXPECT_FALSE(StopAndDeleteService(u"Stuck", &log, 10));

    EXPECT_EQ(text(), u"Stopping service \"Stuck\"...." u".........abandoning wait.  Service not stopped.\r\n");
    EXPECT_EQ(machine.callCount(SimCall::QueryServiceStatus), 101u) << "one state query, then 100 polls";
    EXPECT_FALSE(services().markedForDeletion(u"Stuck"));
}

TEST_F(ServiceCleanupTest, ServiceAlreadyStoppingGetsNoSecondStop)
{
    services().addService(u"Leaving", SERVICE_RUNNING);
    services().setStopPending(u"Leaving", 50);

    EXPECT_TRUE(StopServiceWithWait(u"Leaving", &log, 10));

    EXPECT_EQ(services().stopControlsReceived(u"Leaving"), 0u);
    EXPECT_EQ(text(), u"Stopping service \"Leaving\"....stopped\r\n");
}

TEST_F(ServiceCleanupTest, StopAndDeleteRemovesTheService)
{
    services().addService(u"ZantrelAgent", SERVICE_RUNNING, 0);
    services().addService(u"ZantrelRelay", SERVICE_STOPPED);

    EXPECT_TRUE(StopAndDeleteService(u"ZantrelAgent", &log, 10));
    EXPECT_TRUE(StopAndDeleteService(u"ZantrelRelay", &log, 10));

    EXPECT_FALSE(services().exists(u"ZantrelAgent"));
    EXPECT_FALSE(services().exists(u"ZantrelRelay"));
    EXPECT_EQ(text(), u"Stopping service \"ZantrelAgent\"...stopped\r\n"
                      u"Deleting service \"ZantrelAgent\"...deleted\r\n"
                      u"Stopping service \"ZantrelRelay\"...service is already stopped\r\n"
                      u"Deleting service \"ZantrelRelay\"...deleted\r\n");
}

TEST_F(ServiceCleanupTest, MissingServiceIsSuccessWrittenTwice)
{
    EXPECT_TRUE(StopAndDeleteService(u"Gone", &log, 10));
    EXPECT_EQ(text(), u"Stopping service \"Gone\"...service does not exist\r\n"
                      u"Deleting service \"Gone\"...service does not exist\r\n");
}

TEST_F(ServiceCleanupTest, ServiceAlreadyMarkedForDeletionFailsToDelete)
{
    services().addService(u"Marked", SERVICE_STOPPED);
    {
        // Another program holds the service open and has already deleted it.
        const SC_HANDLE manager = machine.openSCManager(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        const SC_HANDLE held = machine.openService(manager, u"Marked", SERVICE_ALL_ACCESS);
        ASSERT_TRUE(machine.deleteService(held));

        EXPECT_FALSE(StopAndDeleteService(u"Marked", &log, 10));

        machine.closeServiceHandle(held);
        machine.closeServiceHandle(manager);
    }
    EXPECT_EQ(text(), u"Stopping service \"Marked\"...service is already stopped\r\n"
                      u"Deleting service \"Marked\"...failed to delete service: Windows Error 0x430: "
                      u"Service marked for delete.\r\n");
}

} // namespace
