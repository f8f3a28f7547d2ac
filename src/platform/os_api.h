#pragma once

#include <cstdarg>

#include "platform/win_types.h"

// The seam to the operating system. Every call the logic makes goes through the active OsApi;
// each operation mirrors one Win32 call: the same arguments (text as char16_t, UTF-16 as on
// Windows), the same result, and on failure the same code in the seam's own last-error slot,
// read with getLastError(). Two implementations: the real system (platform/win32) and the
// simulated machine (platform/sim).
class OsApi {
public:
    virtual ~OsApi() = default;

    // GetLastError / SetLastError: the thread's error slot of this implementation.
    virtual DWORD getLastError() = 0;
    virtual void setLastError(DWORD code) = 0;

    // FormatMessageW. With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a char16_t** that
    // receives memory to be released with localFree, exactly as on Windows.
    virtual DWORD formatMessage(DWORD flags, const void* source, DWORD messageId,
                                DWORD languageId, char16_t* buffer, DWORD size,
                                va_list* arguments) = 0;
    // LocalFree: null on success, the handle itself on failure.
    virtual HLOCAL localFree(HLOCAL memory) = 0;

    // MultiByteToWideChar.
    virtual int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                    char16_t* wide, int wideChars) = 0;

    // GetModuleFileNameW.
    virtual DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) = 0;

    // MessageBoxW.
    virtual int messageBox(HWND owner, const char16_t* text, const char16_t* caption,
                           UINT type) = 0;
};

// The active implementation: the real system on Windows unless a test installed another.
OsApi& Os();

// Installs an implementation for the lifetime of the guard and restores the previous one.
// Install before starting threads that use the seam; the guard is not meant to race them.
class ScopedOsApi {
public:
    explicit ScopedOsApi(OsApi& api);
    ~ScopedOsApi();
    ScopedOsApi(const ScopedOsApi&) = delete;
    ScopedOsApi& operator=(const ScopedOsApi&) = delete;

private:
    OsApi* previous_;
};

// Provided by the backend the binary links: the real system on Windows; natively it reports
// that no machine was installed and aborts, because there is no real Windows to fall back to.
OsApi& DefaultOsApi();
