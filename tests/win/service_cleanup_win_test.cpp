// The service clean-up on a real service: the fixture service, created and started through the
// service control manager, takes 2.5 s to stop.

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/log.h"
#include "platform/text.h"
#include "support/fixture_service.h"
#include "support/win_machine.h"
#include "toolkit/service_cleanup.h"

namespace {

constexpr wchar_t kName[] = L"QtvFixtureService";

class ServiceCleanupWinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
        RemoveFixtureService(kName);
        ASSERT_TRUE(StartFixtureService(kName, 2500));
    }

    void TearDown() override
    {
        RemoveFixtureService(kName);
        CloseServiceHandle(manager_);
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceCleanupWinTest, ServiceTakingTwoAndAHalfSecondsIsStoppedThenDeleted)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);

    EXPECT_TRUE(CheckServiceRunning(u"QtvFixtureService", &log));
    EXPECT_TRUE(StopAndDeleteService(u"QtvFixtureService", &log, 10));

    // One dot at the first poll and one a second after: three for 2.5 s, two when the status
    // queries stretch the pauses, more when the loaded machine is slow to stop the service.
    const std::string written = ToUtf8(TakeLogText(queue).value_or(u""));
    EXPECT_TRUE(std::regex_match(written, std::regex("Checking if \"QtvFixtureService\" is running\\.\\.\\.service is "
                                                     "running\r\nStopping service \"QtvFixtureService\"\\.{5,}stopped\r\n"
                                                     "Deleting service \"QtvFixtureService\"\\.\\.\\.deleted\r\n")))
        << written;
    EXPECT_TRUE(AwaitServiceGone(manager_, kName));
    // Its registration goes with it: nothing is left that would show the service installed.
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QtvFixtureService", 0,
                            KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

} // namespace
