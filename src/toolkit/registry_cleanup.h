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
// when the key is gone or was never there (a key that refuses reading counts as absent). `view`
// (KEY_WOW64_64KEY or 0 for the program's own) chooses the registry view; the log is the same.
bool DeleteRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view = 0);

// The recursive worker of DeleteRegistryKey; a failing child stops its ancestors.
bool DeleteRegistryKeyTree(HKEY root, const std::u16string& path, Remove::Log* log,
                           REGSAM view = 0);
