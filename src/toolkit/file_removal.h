#pragma once

#include <string>

#include "platform/win_types.h"

namespace Remove {
class Log;
}

// Probing for and deleting files and folder trees. Read-only files are deleted after their bit
// is cleared; objects that refuse deletion get full access for the current user first (see
// access.h). Nothing here throws.

// "Checking for file ..." found / not found: files and folders alike. One that Windows deletes
// when it restarts counts as not found, with "scheduled for deletion when Windows restarts".
bool CheckFile(const std::u16string& path, Remove::Log* log);

// Deletes the folder and everything in it, through its long-path form. True when it is gone or
// was never there (writing nothing then). A protected location (see protected_locations.h) is
// refused with "refused: protected location". The first failing entry stops the deletion.
bool DeleteDirectory(const std::u16string& path, Remove::Log* log);

// The recursive worker, on a long-path folder. A junction or folder link is removed itself and
// never followed; so is a folder whose attributes neither the system nor `listed` (what the parent
// folder's listing said of it; INVALID_FILE_ATTRIBUTES when none) can give.
bool DeleteDirectoryTree(const std::u16string& folder, Remove::Log* log,
                         DWORD listed = INVALID_FILE_ATTRIBUTES);

// Deletes one long-path file, clearing its read-only bit first. A file link (by the system's
// attributes or by `listed`, as above) is left in place.
bool DeleteFileForced(const std::u16string& file, Remove::Log* log, DWORD listed = INVALID_FILE_ATTRIBUTES);

// The long-path form of a folder, its name first resolved as the system resolves it (doubled
// backslashes and ".." gone): "\\?\C:\..." or "\\?\UNC\server\share\...".
std::u16string LongPathForm(const std::u16string& path);
