#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/format_text.h"
#include "support/machine_test.h"
#include "support/system_texts.h"

namespace {

// The description of whatever `raise` throws, as a toolkit step would log it.
template <class Raise>
std::string Described(Raise raise)
{
    try {
        raise();
    } catch (...) {
        return DescribeCurrentException();
    }
    return "nothing was thrown";
}

class ErrorsTest : public MachineTest {
};

TEST_F(ErrorsTest, WindowsErrorReadsCodeAndTrimmedSystemText)
{
    const Windows::Error error(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(WithSystemText(error.message(), "Windows Error 0x5: ", ERROR_ACCESS_DENIED));
    EXPECT_EQ(std::string(error.what()), error.message());
    EXPECT_TRUE(WithSystemText(GetSystemMessage(error), "", ERROR_ACCESS_DENIED));
    EXPECT_TRUE(WithSystemText(Windows::Error(ERROR_SERVICE_DOES_NOT_EXIST).message(), "Windows Error 0x424: ",
                               ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ErrorsTest, CodeWithoutSystemTextSaysUnknownError)
{
    EXPECT_EQ(Windows::Error(0x3039).message(), "Windows Error 0x3039: unknown error 0x3039");
    EXPECT_EQ(Windows::Error(0xDEADBEEF).message(),
              "Windows Error 0xdeadbeef: unknown error 0xdeadbeef");
}

TEST_F(ErrorsTest, MessageIsBuiltOnceAndCopiesKeepIt)
{
    const Windows::Error error(ERROR_FILE_NOT_FOUND);
    const char* first = error.what();
    EXPECT_EQ(error.what(), first);
    EXPECT_EQ(error.message().data(), error.message().data());

    const Windows::Error copy = error;
    EXPECT_TRUE(WithSystemText(copy.message(), "Windows Error 0x2: ", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(copy.code(), ERROR_FILE_NOT_FOUND);
}

TEST_F(ErrorsTest, ThrowHelpersFollowTheirCodes)
{
    EXPECT_NO_THROW(ThrowWindowsError(ERROR_SUCCESS));
    EXPECT_NO_THROW(ThrowLastErrorIfFalse(TRUE));
    try {
        ThrowWindowsError(ERROR_MORE_DATA);
        FAIL() << "no exception";
    } catch (const Windows::Error& e) {
        EXPECT_EQ(e.code(), ERROR_MORE_DATA);
        EXPECT_EQ(e.module(), nullptr);
    }

    Os().setLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    try {
        ThrowLastErrorIfFalse(FALSE);
        FAIL() << "no exception";
    } catch (const Windows::Error& e) {
        EXPECT_EQ(e.code(), ERROR_SERVICE_DOES_NOT_EXIST);
    }
}

TEST_F(ErrorsTest, FailureWithoutAnErrorCodeIsStillAFailure)
{
    Os().setLastError(ERROR_SUCCESS);
    try {
        ThrowLastError();
        FAIL() << "a failed call was taken for a success";
    } catch (const Windows::Error& e) {
        EXPECT_EQ(e.code(), ERROR_INVALID_FUNCTION);
    }
}

TEST_F(ErrorsTest, ExceptionsDescribeThemselves)
{
    EXPECT_EQ(Described([] { throw Windows::WrongRegistryType(); }),
              "class Windows::WrongRegistryType");
    EXPECT_EQ(Described([] { throw Windows::RegistryValueIsEmpty(); }),
              "class Windows::RegistryValueIsEmpty");
    EXPECT_TRUE(WithSystemText(Described([] { throw Windows::Error(ERROR_ACCESS_DENIED); }), "Windows Error 0x5: ",
                               ERROR_ACCESS_DENIED));
    EXPECT_EQ(Described([] { throw ExceptionPL("Unknown HKEY rootKey type"); }),
              "Unknown HKEY rootKey type");
    EXPECT_EQ(Described([] { throw TooManyFormatArguments(); }), "class TooManyFormatArguments");
    EXPECT_EQ(Described([] { throw WindowsPlatform::ThreadError(EAGAIN); }), "errno 11: Resource temporarily unavailable");
    EXPECT_EQ(Described([] { throw std::runtime_error("disk on fire"); }), "disk on fire");
    EXPECT_EQ(Described([] { throw std::bad_alloc(); }),
              "The process is running out of memory, it may become unstable or unusable, and "
              "the data it is processing may not be reliable.");
    EXPECT_EQ(Described([] { throw 42; }), "No diagnostic message available");
}

TEST_F(ErrorsTest, DebuggableExceptionWhatIsTheTypeName)
{
    EXPECT_STREQ(Windows::WrongRegistryType().what(), "class Windows::WrongRegistryType");
    EXPECT_STREQ(CloseSCHandleFailed().what(), "class CloseSCHandleFailed");
}

TEST_F(ErrorsTest, ExceptionPLTexts)
{
    EXPECT_EQ(ExceptionPL("").message(), "class ExceptionPL");
    EXPECT_STREQ(ExceptionPL("").what(), "class ExceptionPL");

    const std::string utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80";
    EXPECT_EQ(ExceptionPL(utf8.data(), utf8.data() + utf8.size()).message(), utf8);

    // ANSI text goes through the system's code page: 0x80 is the euro sign in Windows-1252.
    EXPECT_EQ(ExceptionPL("\x80 5").message(), "\xE2\x82\xAC 5");
}

} // namespace
