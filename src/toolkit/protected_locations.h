#pragma once

#include <optional>
#include <string>

// The folder deletion refuses locations that no component of the suite owns, whatever a corrupt
// or hostile registry value says: an empty or relative path, a drive or share root, the Windows
// folder or anything inside it, and anything equal to or above a protected folder (both Program
// Files folders and their Common Files, ProgramData, the Users folder, the current user's profile
// and its documents, desktop, local and roaming application data and temporary files).
// Compared are the name as given, what GetFullPathNameW and GetLongPathNameW resolve it to, and,
// for an object that exists, its identity on the disk, so that trailing dots and blanks, 8.3
// aliases, junctions and mounted folders lead nowhere protected either.
bool IsProtectedLocation(const std::u16string& path);

// The absolute form used for the comparison: separators made backslashes, the long-path prefix
// dropped, "." and ".." resolved, no trailing backslash, upper case. Nothing for a path that is
// not absolute ("C:\..." or "\\server\share\...").
std::optional<std::u16string> NormalizeLocation(const std::u16string& path);
