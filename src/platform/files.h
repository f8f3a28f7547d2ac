#pragma once

#include <string>
#include <string_view>

#include "platform/handles.h"

// Creates or replaces the file at `path` (CREATE_ALWAYS, shared for reading only) holding
// exactly `bytes`, flushed to disk before it is closed. Throws Windows::Error on failure; a
// short write counts as ERROR_DISK_FULL.
void WriteFileReplacing(const std::u16string& path, std::string_view bytes);

// Opens `path` for appending (FILE_APPEND_DATA, OPEN_ALWAYS, shared for reading): every write
// lands at the end of the file. Throws Windows::Error.
UniqueKernelHandle OpenFileAppending(const std::u16string& path);

// Opens `path` for writing, emptied (GENERIC_WRITE, CREATE_ALWAYS, shared for reading). Throws
// Windows::Error.
UniqueKernelHandle OpenFileReplacing(const std::u16string& path);

// Writes all of `bytes` to `file`. Throws Windows::Error; a short write counts as
// ERROR_DISK_FULL.
void WriteAll(HANDLE file, std::string_view bytes);
