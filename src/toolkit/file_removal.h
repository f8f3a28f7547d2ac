#pragma once

#include <string>

#include "platform/win_types.h"
#include "toolkit/protected_locations.h"

namespace Remove {
class Log;
}

// Probing for and deleting files and folder trees. Read-only files are deleted after their bit
// is cleared; objects that refuse deletion get full access for the current user first (see
// access.h). Nothing here throws.

// "Checking for file ..." found / not found: files and folders alike. One that Windows deletes
// when it restarts counts as not found, with "scheduled for deletion when Windows restarts". A
// remote location is not looked at: "refused: remote location", noted as a probe that could not
// answer.
bool CheckFile(const std::u16string& path, Remove::Log* log);

// Whether `path` is a remote location (protected_locations.h), noting it as a place not looked
// at when it is.
bool NotLookedAtAsRemote(const std::u16string& path);

// Deletes the folder and everything in it, through its long-path form. True when it is gone or
// was never there (writing nothing then). A protected location (see protected_locations.h) is
// refused with "refused: protected location", a remote one, never opened, with "refused: remote
// location". The first failing entry stops the deletion.
bool DeleteDirectory(const std::u16string& path, Remove::Log* log);
// The same for a folder a registry value names, held to what such a folder is held to.
bool DeleteDirectory(const std::u16string& path, const SuiteRegistrations& suite, Remove::Log* log);

// The recursive worker, on a long-path folder. A junction or folder link is removed itself and
// never followed; so is a folder whose attributes neither the system nor `listed` (what the parent
// folder's listing said of it; INVALID_FILE_ATTRIBUTES when none) can give. A folder below that
// leads elsewhere than inside the folder's own final path is a link the system does not show as
// one: "refused: leads outside the folder being deleted", and only its name may go.
bool DeleteDirectoryTree(const std::u16string& folder, Remove::Log* log,
                         DWORD listed = INVALID_FILE_ATTRIBUTES);

// Deletes one long-path file, clearing its read-only bit first. A file link (by the system's
// attributes or by `listed`, as above) is left in place.
bool DeleteFileForced(const std::u16string& file, Remove::Log* log, DWORD listed = INVALID_FILE_ATTRIBUTES);

// The long-path form of a folder, its name first resolved as the system resolves it (doubled
// backslashes and ".." gone): "\\?\C:\..." or "\\?\UNC\server\share\...".
std::u16string LongPathForm(const std::u16string& path);
