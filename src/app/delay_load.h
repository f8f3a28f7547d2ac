#pragma once

#include <windows.h>

// Loads the DLL `dll` (as a delay-load import names it, "VERSION.dll") by its full path in the
// system folder, never by its name: where SetDefaultDllDirectories is missing (Windows 7 without
// its update), a name is looked for in the program's own folder first. COMCTL32.dll is left to
// the loader (null), which takes version 6 from the side-by-side store the manifest names; a
// full path would bypass that store. Raises the delay-load failure, as the loader would, when
// the system's copy cannot be loaded: a name is never tried after it.
HMODULE LoadFromSystemFolder(const char* dll);

// From here on, each delay-loaded DLL is loaded through LoadFromSystemFolder.
void LoadDelayedDllsFromSystemFolder();
