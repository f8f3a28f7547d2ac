#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

// The folder deletion refuses locations that no component of the suite owns, whatever a corrupt
// or hostile registry value says: an empty or relative path, a drive or share root, the Windows
// folder or anything inside it, and anything equal to or above a protected folder (see
// protected_places.h). A location is judged by its name as given, by what GetFullPathNameW and
// GetLongPathNameW resolve it to (trailing dots and blanks, 8.3 aliases), and by where it really
// is: its final path, or that of the nearest folder above it that exists, so that a junction or
// link on the way leads nowhere protected either. Where the running account's profile lies inside
// the Windows folder (SYSTEM), what lies below its known folders there is not Windows'.

// A recipe builds its default folders from the well-known folders; a folder a registry value
// names may be anything, and is held to more: it may not be at or above any loaded profile's known
// folders, or the install location of a product registered under Uninstall under a name that is
// not one of `SuiteRegistrations`, the display names the suite's own products register under.
using SuiteRegistrations = std::vector<std::u16string>;

// Null `setting` for a default folder; for a folder a registry value names, the suite's names.
bool IsProtectedLocation(const std::u16string& path, const SuiteRegistrations* setting = nullptr);

// A share ("\\server\share", "\\?\UNC\...") or a place on a drive the system calls remote, decided
// without opening anything: such a place is never opened, since opening it is already reaching
// out, with the machine's credentials, to a server someone named.
bool IsRemoteLocation(const std::u16string& path);

// The absolute form used for the comparison: separators made backslashes, the long-path prefix
// dropped, "." and ".." resolved, no trailing backslash, upper case. Nothing for a path that is
// not absolute ("C:\..." or "\\server\share\...").
std::optional<std::u16string> NormalizeLocation(const std::u16string& path);

// Whether the normal location `location` lies strictly inside the normal location `folder`.
bool IsStrictlyInside(const std::u16string& folder, const std::u16string& location);

// Where a normal location really is, as a normal location: the final path of the object, or of
// the nearest folder above it that exists followed by the rest of the name. Nothing when not even
// its root opens.
std::optional<std::u16string> FinalLocation(const std::u16string& location);

// A name as it opens: beyond MAX_PATH through the long-path prefix.
std::u16string OpenableName(const std::u16string& location);

// Where an open object really is, as a normal location; nothing when the system cannot name it
// (Wine names nothing beyond MAX_PATH).
std::optional<std::u16string> FinalLocationOf(HANDLE object);
