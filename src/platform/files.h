#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handles.h"
#include "platform/win_types.h"

// Creates or replaces the file at `path` (CREATE_ALWAYS, shared for reading only) holding
// exactly `bytes`, flushed to disk before it is closed. Throws Windows::Error on failure; a
// short write counts as ERROR_DISK_FULL.
void WriteFileReplacing(const std::u16string& path, std::string_view bytes);

// Writes all of `bytes` to `file`. Throws Windows::Error; a short write counts as
// ERROR_DISK_FULL.
void WriteAll(HANDLE file, std::string_view bytes);

// What GetFullPathNameW makes of a name ("." and "..", doubled separators, trailing dots and
// blanks resolved), and what GetLongPathNameW makes of an existing one (8.3 aliases expanded).
// Nothing when the system cannot resolve the name or, for the long form, finds nothing there.
std::optional<std::u16string> FullPathName(const std::u16string& path);
std::optional<std::u16string> LongPathName(const std::u16string& path);


// Where an open file or folder really is, every link on the way followed as the system followed
// it (GetFinalPathNameByHandleW), without the long-path prefix: "C:\...", "\\server\share\...".
// Nothing when the system cannot name it.
std::optional<std::u16string> FinalPathOf(HANDLE file);
// The same for the object `path` leads to, opened without asking for any access.
std::optional<std::u16string> FinalPathName(const std::u16string& path);

// One entry of a folder, as the folder's listing gives it.
struct FolderEntry {
    std::u16string name;
    DWORD attributes;
};

// Opens the entry `name` of the open folder `folder` inside that folder (NtCreateFile relative to
// its handle), shared with everyone, a link opened as itself, for `access` (FILE_LIST_DIRECTORY
// and the like for a folder). False with the Win32 error as the last error.
bool OpenEntry(HANDLE folder, const std::u16string& name, DWORD access, UniqueKernelHandle& opened);

// Every entry of the open folder, listed through its handle (opened with FILE_LIST_DIRECTORY),
// "." and ".." left out. Throws Windows::Error.
std::vector<FolderEntry> ListFolder(HANDLE folder);

// Through the object's own handle: new attributes (FILE_WRITE_ATTRIBUTES), and the deletion
// (DELETE), made when the last handle to it closes. False with the last error.
bool SetAttributesOf(HANDLE file, DWORD attributes);
bool MarkForDeletion(HANDLE file);
