#include "platform/errors.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "platform/format_text.h"
#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/text.h"

namespace {

constexpr char kOutOfMemoryText[] =
    "The process is running out of memory, it may become unstable or unusable, and the data it "
    "is processing may not be reliable.";
constexpr char kNoDiagnostic[] = "No diagnostic message available";

bool IsTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(std::string text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Builds a cache the first time and hands out its characters; on failure, the fallback.
template <class Build>
const char* CachedText(std::string& cache, Build build, const char* fallback) noexcept
{
    try {
        if (cache.empty())
            cache = build();
        return cache.c_str();
    } catch (...) {
        return fallback;
    }
}

} // namespace

std::string QualifiedTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return std::string("class ") + (status == 0 && demangled ? demangled.get() : type.name());
}

const char* DebuggableException::what() const noexcept
{
    return typeName();
}

std::string_view DebuggableException::message() const
{
    return typeName();
}

const char* DebuggableException::typeName() const noexcept
{
    return CachedText(typeNameCache_, [this] { return QualifiedTypeName(typeid(*this)); },
                      typeid(*this).name());
}

namespace Windows {

Error::Error(DWORD code, HMODULE module)
    : code_(code), module_(module)
{
}

const char* Error::what() const noexcept
{
    return CachedText(whatCache_, [this] { return std::string(message()); }, typeName());
}

std::string_view Error::message() const
{
    if (messageCache_.empty())
        messageCache_ = FormatText("Windows Error 0x{err}: {msg}", HexCode(code_),
                                   GetSystemMessage(*this));
    return messageCache_;
}

} // namespace Windows

ExceptionPL::ExceptionPL(const char* ansiText)
{
    try {
        text_ = ToUtf8(AnsiToUtf16(ansiText ? std::string_view(ansiText) : std::string_view()));
    } catch (...) {
        text_.clear();
    }
}

ExceptionPL::ExceptionPL(const char* begin, const char* end)
    : text_(begin, end)
{
}

const char* ExceptionPL::what() const noexcept
{
    return CachedText(whatCache_, [this] { return std::string(message()); }, typeName());
}

std::string_view ExceptionPL::message() const
{
    if (text_.empty())
        return DebuggableException::message();
    return text_;
}

WindowsPlatform::ThreadError::ThreadError(int error) : error_(error)
{
    // Built here, on the thread that saw the failure: the library's text is not kept for later.
    try {
        text_ = "errno " + std::to_string(error) + ": " + std::strerror(error);
    } catch (...) {
    }
}

std::string_view WindowsPlatform::ThreadError::message() const
{
    if (text_.empty())
        return DebuggableException::message();
    return text_;
}

void ThrowWindowsError(DWORD code, HMODULE module)
{
    if (code != ERROR_SUCCESS)
        throw Windows::Error(code, module);
}

void ThrowLastError()
{
    const DWORD code = Os().getLastError();
    // A call that failed without leaving an error code still failed: never report success.
    throw Windows::Error(code != ERROR_SUCCESS ? code : ERROR_INVALID_FUNCTION);
}

void ThrowLastErrorIfFalse(BOOL result)
{
    if (!result)
        ThrowLastError();
}

std::string GetSystemMessage(const Windows::Error& error)
{
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                  FORMAT_MESSAGE_FROM_SYSTEM;
    if (error.module())
        flags |= FORMAT_MESSAGE_FROM_HMODULE;
    char16_t* buffer = nullptr;
    const DWORD length = Os().formatMessage(flags, error.module(), error.code(), 0,
                                            reinterpret_cast<char16_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr)
        return "unknown error 0x" + HexCode(error.code());
    UniqueLocalMemory owner(buffer);
    return Trim(ToUtf8(std::u16string_view(buffer, length)));
}

std::string DescribeCurrentException() noexcept
{
    try {
        try {
            throw;
        } catch (const DebuggableException& e) {
            return std::string(e.message());
        } catch (const std::bad_alloc&) {
            return kOutOfMemoryText;
        } catch (const std::exception& e) {
            return e.what();
        } catch (...) {
            return kNoDiagnostic;
        }
    } catch (...) {
        // Building the description failed (out of memory while formatting, say).
        return kNoDiagnostic;
    }
}

std::u16string DescribeCurrentExceptionW() noexcept
{
    try {
        return ToUtf16(DescribeCurrentException());
    } catch (...) {
        return u"No diagnostic message available";
    }
}

std::string HexCode(DWORD code)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[code & 0xF]);
        code >>= 4;
    } while (code != 0);
    return digits;
}
