#include "platform/win32/win32_os_api.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text crosses the API as wchar_t");

namespace {

wchar_t* W(char16_t* text)
{
    return reinterpret_cast<wchar_t*>(text);
}

const wchar_t* W(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

} // namespace

DWORD Win32OsApi::getLastError()
{
    return ::GetLastError();
}

void Win32OsApi::setLastError(DWORD code)
{
    ::SetLastError(code);
}

DWORD Win32OsApi::formatMessage(DWORD flags, const void* source, DWORD messageId,
                                DWORD languageId, char16_t* buffer, DWORD size,
                                va_list* arguments)
{
    return ::FormatMessageW(flags, source, messageId, languageId, W(buffer), size, arguments);
}

HLOCAL Win32OsApi::localFree(HLOCAL memory)
{
    return ::LocalFree(memory);
}

int Win32OsApi::multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes,
                                    char16_t* wide, int wideChars)
{
    return ::MultiByteToWideChar(codePage, flags, text, bytes, W(wide), wideChars);
}

DWORD Win32OsApi::getModuleFileName(HMODULE module, char16_t* buffer, DWORD size)
{
    return ::GetModuleFileNameW(module, W(buffer), size);
}

int Win32OsApi::messageBox(HWND owner, const char16_t* text, const char16_t* caption,
                           UINT type)
{
    return ::MessageBoxW(owner, W(text), W(caption), type);
}

OsApi& DefaultOsApi()
{
    static Win32OsApi system;
    return system;
}
