#pragma once

#include <string>

#include "platform/win_types.h"
#include "toolkit/protected_locations.h"

namespace Remove {
class Log;
}

// Probing for and deleting files and folder trees. A tree is deleted through handles: the folder
// named is opened once and judged by where that really is; each object below is opened inside its
// open folder, a link as itself, and checked, changed and deleted through its own handle, so that
// no name is resolved twice and nothing swapped in meanwhile is reached. An object below that
// leads outside the folder's own final path is a link the system does not show as one: "refused:
// leads outside the folder being deleted", and nothing is done through it. Read-only files are
// deleted after their bit is cleared; objects that refuse deletion get full access for the
// current user first (see access.h). Nothing here throws.

// "Checking for file ..." found / not found: files and folders alike. One that Windows deletes
// when it restarts counts as not found, with "scheduled for deletion when Windows restarts". A
// remote location is not looked at: "refused: remote location", noted as a probe that could not
// answer.
bool CheckFile(const std::u16string& path, Remove::Log* log);

// Whether `path` is a remote location (protected_locations.h), noting it as a place not looked
// at when it is.
bool NotLookedAtAsRemote(const std::u16string& path);

// Deletes the folder and everything in it, through its long-path form; a link, in it or named,
// goes alone. True when it is gone or was never there (writing nothing then). A protected
// location (see protected_locations.h) is refused with "refused: protected location", a remote
// one, never opened, with "refused: remote location". The first failing entry stops the deletion.
bool DeleteDirectory(const std::u16string& path, Remove::Log* log);
// The same for a folder a registry value names, held to what such a folder is held to.
bool DeleteDirectory(const std::u16string& path, const SuiteRegistrations& suite, Remove::Log* log);

// The long-path form of a folder, its name first resolved as the system resolves it (doubled
// backslashes and ".." gone): "\\?\C:\..." or "\\?\UNC\server\share\...".
std::u16string LongPathForm(const std::u16string& path);
