#pragma once

#include <utility>

#include "platform/win_types.h"

// A move-only owner of one operating-system handle, released exactly once through its traits:
//   struct Traits { using Handle = ...; static Handle invalid() noexcept;
//                   static bool isValid(Handle) noexcept; static void close(Handle) noexcept; };
// Releasing never throws and leaves the thread's last error as it was, so a holder going out of
// scope between a failed call and ThrowLastError() does not change the reported code.
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const noexcept { return handle_; }
    bool isValid() const noexcept { return Traits::isValid(handle_); }
    explicit operator bool() const noexcept { return isValid(); }

    // Hands the handle over without closing it.
    Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    // Closes the held handle, if any, and takes `handle`.
    void reset(Handle handle = Traits::invalid()) noexcept
    {
        const Handle old = std::exchange(handle_, handle);
        if (Traits::isValid(old))
            closePreservingLastError(old);
    }

    // For out-parameters: closes the held handle and returns where the new one goes.
    Handle* put() noexcept
    {
        reset();
        return &handle_;
    }

private:
    static void closePreservingLastError(Handle handle) noexcept;

    Handle handle_ = Traits::invalid();
};

// Memory the system allocated for the caller (FormatMessageW), released with LocalFree.
struct LocalMemoryTraits {
    using Handle = HLOCAL;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;

// A kernel object (process, thread, job, completion port), released with CloseHandle. Null is
// "no handle": the calls that hand these out report failure with null, never
// INVALID_HANDLE_VALUE, which is the current process's pseudo handle.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// A directory listing from FindFirstFileW, closed with FindClose. INVALID_HANDLE_VALUE is "no
// listing".
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle handle) noexcept { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// A loaded library, freed with FreeLibrary; a failed release is ignored.
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueLibrary = UniqueHandle<LibraryTraits>;

// Kept out of line so that this header needs neither the seam nor the exceptions.
DWORD SaveLastError() noexcept;
void RestoreLastError(DWORD code) noexcept;

template <class Traits>
void UniqueHandle<Traits>::closePreservingLastError(Handle handle) noexcept
{
    const DWORD saved = SaveLastError();
    Traits::close(handle);
    RestoreLastError(saved);
}
