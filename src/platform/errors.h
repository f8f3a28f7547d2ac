#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <typeinfo>

#include "platform/win_types.h"

namespace WindowsPlatform {

// Marks the support library's exceptions for debugging; it carries nothing.
class ExceptionDebuggingInfo {
};

} // namespace WindowsPlatform

// The qualified name of a class in the form the run-time type system prints it on Windows,
// "class Windows::WrongRegistryType".
std::string QualifiedTypeName(const std::type_info& type);

// Base of the support library's exceptions. what() is the qualified type name; message() is the
// exception's text as UTF-8, by default the same name.
class DebuggableException : public std::exception, public WindowsPlatform::ExceptionDebuggingInfo {
public:
    const char* what() const noexcept override;
    virtual std::string_view message() const;

protected:
    // Falls back to the raw type name when even the qualified name cannot be built.
    const char* typeName() const noexcept;

private:
    mutable std::string typeNameCache_;
};

namespace Windows {

// A registry value read returned zero bytes.
class RegistryValueIsEmpty : public DebuggableException {
};

// A registry value had another type than the one asked for.
class WrongRegistryType : public DebuggableException {
};

// A failed operating-system call. message() reads "Windows Error 0x{err}: {msg}", built once.
class Error : public DebuggableException {
public:
    // `code` is never 0 in a thrown object; `module` null means the system's message table.
    explicit Error(DWORD code, HMODULE module = nullptr);

    DWORD code() const { return code_; }
    HMODULE module() const { return module_; }

    const char* what() const noexcept override;
    std::string_view message() const override;

private:
    DWORD code_;
    HMODULE module_;
    mutable std::string messageCache_;
    mutable std::string whatCache_;
};

} // namespace Windows

namespace WindowsPlatform {

// A job thread could not be started. message() reads "errno {n}: {the runtime library's text}".
class ThreadError : public DebuggableException {
public:
    explicit ThreadError(int error);
    // The runtime library's errno at the failure.
    int error() const { return error_; }
    std::string_view message() const override;

private:
    int error_;
    std::string text_;
};

} // namespace WindowsPlatform

// CloseServiceHandle failed; raised and swallowed inside the service-handle holder.
class CloseSCHandleFailed : public DebuggableException {
};

// Marks an exception as an expected condition (a database that is gone, a lost connection) that
// is not worth a crash dump; it carries nothing.
class NonDumpableException {
};

// LocalFree failed; raised and swallowed inside the LocalFree holder.
class LocalFreeFailed {
};

// An exception with a text of its own, held as UTF-8. An empty text reports the type name.
class ExceptionPL : public DebuggableException {
public:
    // A zero-terminated text in the system's ANSI code page. If the conversion itself fails,
    // the exception keeps an empty text and so reports its type name.
    explicit ExceptionPL(const char* ansiText);
    // A range of UTF-8 characters.
    ExceptionPL(const char* begin, const char* end);

    const char* what() const noexcept override;
    std::string_view message() const override;

private:
    std::string text_;
    mutable std::string whatCache_;
};

// Returns when `code` is ERROR_SUCCESS; otherwise throws Windows::Error(code, module).
void ThrowWindowsError(DWORD code, HMODULE module = nullptr);

// Throws Windows::Error with the seam's last error code.
[[noreturn]] void ThrowLastError();

// Does nothing when `result` is non-zero; otherwise ThrowLastError().
void ThrowLastErrorIfFalse(BOOL result);

// The system's text for the error's code as UTF-8, trimmed of blanks and line breaks, or
// "unknown error 0x..." when the system has none.
std::string GetSystemMessage(const Windows::Error& error);

// One line of UTF-8 text describing the exception being handled. Call it only inside a catch
// handler. Never throws.
std::string DescribeCurrentException() noexcept;

// The same description as UTF-16, for the log.
std::u16string DescribeCurrentExceptionW() noexcept;

// Lower-case hexadecimal without leading zeros, at least one digit.
std::string HexCode(DWORD code);
