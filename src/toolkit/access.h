#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/win_types.h"

namespace Remove {
class Log;
}

// Making files, folders and keys deletable for the current user: first try to open the object
// for deletion; else give the current user full access; when even that is refused, take
// ownership and give full access again.

// How an object of a folder tree is opened, the same way each time: the folder named by its name,
// what lies below inside its open folder. False with the Win32 error as the last error.
using ObjectOpener = std::function<bool(DWORD access, UniqueKernelHandle& opened)>;

enum class Opening {
    Opened,
    Refused, // its line is written
    Failed,  // for another reason than its access list: the last error says which
};

// Opens an object of a folder tree for `access`. Where its access list refuses, the current user
// is given full access, taking ownership first where even that is refused; each change is made
// through a handle `open` gave, checked first to hold the object itself (CheckSoleObject): what a
// link or another name leads to is never taken over. A failed recovery writes its reason and
// "...error occurred while granting access to file \"<shown>\"".
Opening OpenGrantingAccess(const ObjectOpener& open, DWORD access, const std::u16string& shown, Remove::Log* log,
                           UniqueKernelHandle& opened);

// Throws unless the open object is one whose attributes, owner or access list the suite may
// change alone: not a link (reparse point) and, for a file, known by no other name (hard links).
// An object the system cannot describe is refused as well (Windows::Error with its code).
void CheckSoleObject(HANDLE object);

// Writes the description of the exception being handled, then `what`, `name`, a closing quote
// and the line end: "...error occurred while granting access to file \"" and the like. Call it
// only inside a catch handler.
void WriteFailureLine(Remove::Log* log, std::u16string_view what, const std::u16string& name);

// Opens the key `name` below `parent` (a predefined root or an open key; root\path in the log) as
// itself, a symbolic link not followed (REG_OPTION_OPEN_LINK), for `access`, which may name a
// registry view. Where its access list refuses, the current user is given full access through
// handles opened the same way (RegSetKeySecurity), taking ownership first where even that is
// refused: a link's own security is changed, never that of what it leads to. True once opened;
// false after "...error occurred while granting access to key \"<root\path>\"". Throws
// Windows::Error when the key cannot be opened for another reason than its access list.
bool OpenKeyGrantingAccess(HKEY parent, const std::u16string& name, REGSAM access, HKEY root,
                           const std::u16string& path, Remove::Log* log, UniqueKey& opened);

// The first folder above `path`, from its own folder up to the one below the drive's root, whose
// owner or access list lets anyone change it but SYSTEM, the administrators, TrustedInstaller and
// the account running the program; a folder whose owner and access list cannot be read counts as
// one. Nothing when there is none: what is listed by that name for the next start then deletes
// what was checked, since nobody else can put a link in its way.
// With `itself`, the folder `path` names is read first: an empty folder that others may change
// could be made a link before the system starts.
std::optional<std::u16string> FolderOthersMayChange(const std::u16string& path, bool itself = false);

// Whether the owner or access list of the open object (opened with READ_CONTROL; a file or folder,
// or a registry key with SE_REGISTRY_KEY) lets anyone change it but SYSTEM, the administrators,
// TrustedInstaller and the account running the program, as FolderOthersMayChange judges a
// folder; an object whose owner and access list cannot be read counts as one.
bool OthersMayChange(HANDLE object, SE_OBJECT_TYPE type = SE_FILE_OBJECT);

// Enables one privilege in the token. Throws on failure; a privilege the token lacks is not
// detected here.
void EnablePrivilege(HANDLE token, const std::u16string& privilege);

// An access list with one entry: full access for "CURRENT_USER", inherited by sub-containers and
// objects. Throws after writing "error creating ACL: ".
UniqueLocalMemory BuildFullAccessAcl(Remove::Log* log);
