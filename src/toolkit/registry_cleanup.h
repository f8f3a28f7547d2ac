#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace Remove {
class Log;
}

// Logged registry checks and the logged deletion of whole key trees. Keys open with KEY_READ,
// in the program's own registry view unless a deletion names another; nothing here throws.

// "Checking for registry key ..." found / not found.
bool CheckRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log);

// "Checking for registry key value ..." found / not found; a value with empty data is found.
bool CheckRegistryValue(HKEY root, const std::u16string& path, const std::u16string& valueName,
                        Remove::Log* log);

// True when some child's name starts with `prefix` (case-sensitive).
bool CheckChildKeysWithPrefix(HKEY root, const std::u16string& path, const std::u16string& prefix,
                              Remove::Log* log);

// The full paths (path, backslash, child name) of the children whose names start with `prefix`,
// in enumeration order. Writes nothing; a key that cannot be opened gives an empty list.
std::vector<std::u16string> FindChildKeysWithPrefix(HKEY root, const std::u16string& path,
                                                    const std::u16string& prefix);

// Deletes the key and everything below it, deepest first, granting access where refused. True
// when the key is gone or was never there (only a key that is not there; one that refuses
// reading is gone through with its access recovered). `view` (KEY_WOW64_64KEY or 0 for the
// program's own) chooses the registry view; the log is the same, naming the key as `shown` when
// given. Each key is opened inside its open parent as itself and deleted through its own handle:
// a symbolic-link key (the key named included) goes alone, as the link, and what it leads to is
// never walked, changed or deleted. Each key deleted is noted in the record; with a backup
// active, the whole tree is saved first, and a tree that cannot be read completely or saved (one
// holding a link, which a .reg file cannot make again) is not deleted.
bool DeleteRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view = 0,
                       const std::u16string& shown = {});

// Saves the key's tree to the active backup, for a deletion made by another's code (the ODBC
// installer's). True when there is no backup, no key, or the tree was saved; false after the
// failure lines.
bool SaveRegistryKeyTree(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view = 0);

// Saves one value of the open `key` (the key at `path` below `root` in `view`) to the active
// backup, when there is one: true when the value is there. Throws Windows::Error.
bool SaveRegistryValue(HKEY key, HKEY root, const std::u16string& path, const std::u16string& name,
                       REGSAM view = 0);

// Deletes one value (one that is not there is no error), saved first to the active backup and
// noted in the record. Throws Windows::Error; nothing is deleted when the save failed.
void DeleteRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name,
                         REGSAM view = 0);
