#pragma once

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/win_types.h"

// An open registry key, closed with RegCloseKey exactly once.
struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueKey = UniqueHandle<RegistryKeyTraits>;

// One step of a subkey enumeration.
struct RegistryKeyEntry {
    std::u16string name;
    std::u16string className;
    FILETIME lastWriteTime{};
};

// A value's type and its data size in bytes.
struct RegistryValueInfo {
    DWORD type;
    DWORD size;
};

// How a location appears in log lines: "HKLM\path", "HKU\path"...; any other root (an open key
// handle) shows as "(...)\path". A control character in the path shows escaped
// (EscapeControlCharacters), so that a key's name cannot break the line it is shown on.
std::u16string DisplayPath(HKEY root, const std::u16string& path);

// The object name SetNamedSecurityInfoW takes for a key: "MACHINE\path" and so on. Throws
// ExceptionPL "Unknown HKEY rootKey type" for any root without such a name (HKCC included).
std::u16string RegistrySecurityObjectName(HKEY root, const std::u16string& path);

// Opens `path` below `root` (a predefined root or an open key). Throws Windows::Error with the
// code the open returned (ERROR_FILE_NOT_FOUND for a missing key).
UniqueKey RegOpenKeyChecked(HKEY root, const std::u16string& path, REGSAM access);

// Probes that answer yes or no and never throw.
bool RegistryKeyExists(HKEY root, const std::u16string& path, REGSAM access);
bool RegistryValueExists(HKEY root, const std::u16string& path, const std::u16string& name,
                         REGSAM access);
bool HasRegistryValue(HKEY key, const std::u16string& name);

// The value's type and size; with a buffer, also its data. Throws Windows::Error on any error
// (ERROR_MORE_DATA when the buffer is too small).
RegistryValueInfo RegQueryValueChecked(HKEY key, const std::u16string& name, BYTE* buffer,
                                       DWORD bufferSize);

// Fills `entry` with the child at `index` and answers true; false past the last child. Throws
// Windows::Error on any other error. `entry` is untouched when it answers false or throws.
bool RegEnumKeyChecked(HKEY key, DWORD index, RegistryKeyEntry& entry);

// One value of a key: its name (empty for the default value), its type and its bytes.
struct RegistryValue {
    std::u16string name;
    DWORD type;
    std::vector<BYTE> data;
};

// Every value of an open key (KEY_QUERY_VALUE), in the order the registry enumerates them.
// Throws Windows::Error on any error: a list that may miss a value is never given.
std::vector<RegistryValue> RegReadValuesChecked(HKEY key);
// The names of every value of an open key (KEY_QUERY_VALUE), without their data, in the same
// order. Throws Windows::Error on any error.
std::vector<std::u16string> RegValueNamesChecked(HKEY key);

// The deletions below note what went in the run record (NoteRegistryDeleted), named by `root`
// and `path` in `view` (0: the program's own), once the system has deleted it.

// Deletes a child key without children of its own, in the program's own registry view or in the
// one `view` names (KEY_WOW64_64KEY, KEY_WOW64_32KEY). The child is opened by its name as the
// system opens it, so a symbolic link there is followed and what it leads to is deleted; a tree
// is deleted through its handles instead (RegDeleteOpenKeyChecked). Notes key\name. Throws
// Windows::Error on failure.
void RegDeleteKeyChecked(HKEY key, const std::u16string& name, REGSAM view = 0);

// Deletes the key the handle holds (opened with DELETE; a link opened as itself goes as the link),
// which must have no children left, and notes root\path. Throws Windows::Error with the system's
// code (ERROR_ACCESS_DENIED for a key with children).
void RegDeleteOpenKeyChecked(HKEY key, HKEY root, const std::u16string& path, REGSAM view = 0);

// Whether the key, opened as itself with REG_OPTION_OPEN_LINK and KEY_QUERY_VALUE, is a symbolic
// link: it holds the REG_LINK value "SymbolicLinkValue" that names where it leads. Throws
// Windows::Error when the value cannot be looked at.
bool IsSymbolicLinkKey(HKEY key);

// Deletes a value of `key`, which is root\path, and notes it; a value that does not exist is not
// an error. Throws Windows::Error otherwise.
void RegDeleteValueChecked(HKEY key, const std::u16string& name, HKEY root, const std::u16string& path,
                           REGSAM view = 0);

// A value read as text, whatever its type: the type, and the data cut at its first NUL. Throws
// Windows::Error for a missing value and Windows::RegistryValueIsEmpty for zero bytes.
struct RegistryText {
    DWORD type;
    std::u16string text;
};
RegistryText RegQueryTextChecked(HKEY key, const std::u16string& name);

// A REG_SZ (REG_EXPAND_SZ, not expanded) value cut at its first NUL. Throws Windows::Error for a
// missing key or value, Windows::RegistryValueIsEmpty for zero bytes (checked first) and
// Windows::WrongRegistryType for another type.
std::u16string ReadRegistrySz(HKEY root, const std::u16string& path, const std::u16string& name);
std::u16string ReadRegistryExpandSz(HKEY root, const std::u16string& path,
                                    const std::u16string& name);

// Changes the program made to the registry through the security functions on a key, may have
// made by starting a program, or deleted without a keeper of registry reads hearing it (the run
// record's listeners): a count that grows with each. Whoever keeps registry reads in memory
// drops them all when it has grown.
unsigned RegistryChangeCount();
void NoteRegistryChange();

// The text with its %NAME% references replaced. Throws Windows::Error when the expansion fails.
std::u16string ExpandEnvironmentText(const std::u16string& text);
