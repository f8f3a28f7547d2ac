#include <windows.h>

#include "app/app.h"
#include "app/delay_load.h"

namespace {

// A DLL is looked for in the program's own folder and the current folder before the system's,
// and the program runs as administrator from wherever it was copied to: a downloads folder, a
// share. Before anything loads a DLL by name, only the system folder is searched. The DLLs the
// program links that are not among Windows' KnownDLLs are delay-loaded, so none of them is
// loaded before this; the load configuration (load_config.cpp) says the same to the loader.
void SearchDllsInTheSystemFolderOnly()
{
    SetDllDirectoryW(L"");
    // Windows 8, and Windows 7 with its update KB2533623, have it. Without it the program's own
    // folder stays first in the search, and each delay-loaded DLL is loaded by its full path.
    using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        LoadDelayedDllsFromSystemFolder();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    SearchDllsInTheSystemFolderOnly();
    CQTVRemoveApp app(reinterpret_cast<const char16_t*>(commandLine ? commandLine : L""));
    app.InitInstance();
    return static_cast<int>(app.ExitCode());
}
