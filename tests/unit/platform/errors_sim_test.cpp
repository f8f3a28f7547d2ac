#include "platform/errors.h"

#include <gtest/gtest.h>

#include "support/machine_test.h"

namespace {

class ErrorsSimTest : public MachineTest {
};

TEST_F(ErrorsSimTest, SystemTextIsFetchedOnceAndItsBufferFreed)
{
    const Windows::Error error(ERROR_ACCESS_DENIED);
    (void)error.message();
    (void)error.what();
    (void)error.message();

    EXPECT_EQ(machine.callCount(SimCall::FormatMessage), 1u);
    EXPECT_EQ(machine.callCount(SimCall::LocalFree), 1u);
    EXPECT_EQ(machine.liveAllocations(), 0u);
}

TEST_F(ErrorsSimTest, FailingFormatMessageGivesUnknownError)
{
    machine.failCall(SimCall::FormatMessage, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Windows::Error(ERROR_ACCESS_DENIED).message(),
              "Windows Error 0x5: unknown error 0x5");
}

TEST_F(ErrorsSimTest, FailingLocalFreeIsIgnoredAndKeepsTheLastError)
{
    machine.failCall(SimCall::LocalFree, ERROR_INVALID_HANDLE);
    machine.setLastError(ERROR_SERVICE_DOES_NOT_EXIST);

    EXPECT_EQ(GetSystemMessage(Windows::Error(ERROR_FILE_NOT_FOUND)), "File not found.");
    EXPECT_EQ(machine.getLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(machine.liveAllocations(), 1u) << "the block the failed release kept";
}

TEST_F(ErrorsSimTest, FailedAnsiConversionLeavesTheTypeName)
{
    machine.failCall(SimCall::MultiByteToWideChar, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(ExceptionPL("Unknown HKEY rootKey type").message(), "class ExceptionPL");
}

TEST_F(ErrorsSimTest, CallsTheMachineDoesNotModelFailLoudly)
{
    char16_t* buffer = nullptr;
    EXPECT_EQ(machine.formatMessage(FORMAT_MESSAGE_FROM_STRING, u"x", 0, 0,
                                    reinterpret_cast<char16_t*>(&buffer), 0, nullptr),
              0u);
    EXPECT_EQ(machine.getLastError(), ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(machine.multiByteToWideChar(1251, 0, "x", 1, nullptr, 0), 0);
    EXPECT_EQ(machine.getLastError(), ERROR_CALL_NOT_IMPLEMENTED);
}

} // namespace
