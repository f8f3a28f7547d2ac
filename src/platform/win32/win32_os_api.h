#pragma once

#include "platform/os_api.h"

// The real system: one forwarding call per operation, no logic.
class Win32OsApi final : public OsApi {
public:
    DWORD getLastError() override;
    void setLastError(DWORD code) override;
    DWORD formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                        char16_t* buffer, DWORD size, va_list* arguments) override;
    HLOCAL localFree(HLOCAL memory) override;
    int multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                            char16_t* wide, int wideChars) override;
    DWORD getModuleFileName(HMODULE module, char16_t* buffer, DWORD size) override;
    int messageBox(HWND owner, const char16_t* text, const char16_t* caption,
                   UINT type) override;
};
