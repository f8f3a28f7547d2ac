#include "platform/handles.h"

#include "platform/errors.h"
#include "platform/os_api.h"

DWORD SaveLastError() noexcept
{
    return Os().getLastError();
}

void RestoreLastError(DWORD code) noexcept
{
    Os().setLastError(code);
}

void LocalMemoryTraits::close(Handle handle) noexcept
{
    if (Os().localFree(handle) != nullptr) {
        // A failed release is ignored: raise it for a debugger that breaks on throw, then drop it.
        try {
            throw LocalFreeFailed();
        } catch (const LocalFreeFailed&) {
        }
    }
}

void KernelHandleTraits::close(Handle handle) noexcept
{
    // Nothing sensible is left to do when a close fails; the holder's contract is not to throw.
    Os().closeHandle(handle);
}

void FindHandleTraits::close(Handle handle) noexcept
{
    Os().findClose(handle);
}

void LibraryTraits::close(Handle handle) noexcept
{
    if (!Os().freeLibrary(handle)) {
        // A failed release is ignored: raise it for a debugger that breaks on throw, then drop it.
        try {
            throw Windows::Error(Os().getLastError() ? Os().getLastError() : ERROR_INVALID_HANDLE);
        } catch (const Windows::Error&) {
        }
    }
}
