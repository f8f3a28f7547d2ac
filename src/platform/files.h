#pragma once

#include <string>
#include <string_view>

// Creates or replaces the file at `path` (CREATE_ALWAYS, shared for reading only) holding
// exactly `bytes`, flushed to disk before it is closed. Throws Windows::Error on failure; a
// short write counts as ERROR_DISK_FULL.
void WriteFileReplacing(const std::u16string& path, std::string_view bytes);
