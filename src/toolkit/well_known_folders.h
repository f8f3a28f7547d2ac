#pragma once

#include "core/product.h"

// Well-known folders as SHGetFolderPathW reports them to this 32-bit program, without a trailing
// backslash. Each of the three cached ones is asked for once, on first use, and kept; every call
// hands out a copy. Absent when the system does not know the folder.
OptionalText GetSpecialFolder(int csidl);
OptionalText GetProgramFilesFolder();
OptionalText GetLocalAppDataFolder();
OptionalText GetDocumentsFolder();
