#include "app/delay_load.h"

#include <delayimp.h>

#include <string>

namespace {

bool fromSystemFolder = false;

FARPROC WINAPI BeforeDelayLoad(unsigned notification, PDelayLoadInfo information)
{
    if (notification != dliNotePreLoadLibrary || !fromSystemFolder)
        return nullptr;
    return reinterpret_cast<FARPROC>(LoadFromSystemFolder(information->szDll));
}

} // namespace

HMODULE LoadFromSystemFolder(const char* dll)
{
    if (lstrcmpiA(dll, "COMCTL32.dll") == 0)
        return nullptr;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    std::wstring path(folder, length < MAX_PATH ? length : 0);
    path += L'\\';
    // The names are the program's own imports: plain ASCII.
    for (const char* c = dll; *c != '\0'; ++c)
        path += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    // The DLL's own imports are then looked for beside it, in the system folder, first.
    if (length > 0 && length < MAX_PATH)
        if (const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
            return module;
    const DWORD error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_MOD_NOT_FOUND;
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, error), 0, 0, nullptr);
    return nullptr;
}

void LoadDelayedDllsFromSystemFolder()
{
    fromSystemFolder = true;
}

// The delay-load helper asks this hook before it loads a DLL by name.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = BeforeDelayLoad;
}
