#pragma once

#include <string>
#include <vector>

#include "core/product.h"
#include "platform/win_types.h"

namespace Remove {
class Log;
}

// What the suite's installers registered: entries under the Uninstall key found by their exact
// DisplayName, the Windows Installer registration, and file versions. Display names match code
// unit by code unit (REG_SZ only, cut at the first NUL). Nothing here throws except
// GetFileVersionString.

// The Uninstall key and Windows Installer's registration under HKEY_LOCAL_MACHINE; UserData
// lives in the 64-bit view only.
inline constexpr char16_t kUninstallKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char16_t kInstallerProductsKey[] = u"SOFTWARE\\Classes\\Installer\\Products";
inline constexpr char16_t kInstallerFeaturesKey[] = u"SOFTWARE\\Classes\\Installer\\Features";
inline constexpr char16_t kInstallerUpgradeCodesKey[] = u"SOFTWARE\\Classes\\Installer\\UpgradeCodes";
inline constexpr char16_t kInstallerUserDataKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";

// Building blocks, silent. Where a pass holds a RunRegistryReadsScope, what they read under the
// Uninstall key and the Windows Installer locations comes from its registry reads.
// `view` is 0 for the program's own registry view, or the flag of another (KEY_WOW64_64KEY).
std::vector<std::u16string> EnumerateSubkeyNames(HKEY root, const std::u16string& path, REGSAM view = 0);
std::vector<std::u16string> FindSubkeysByValue(HKEY root, const std::u16string& path,
                                               const std::u16string& valueName,
                                               const std::u16string& wanted);
std::vector<std::u16string> FindSubkeysByNestedValue(HKEY root, const std::u16string& path,
                                                     const std::u16string& childName,
                                                     const std::u16string& valueName,
                                                     const std::u16string& wanted, REGSAM view = 0);
// The children of root\path whose own key holds a REG_SZ value named `valueName`, in order.
std::vector<std::u16string> FindSubkeysHoldingSz(HKEY root, const std::u16string& path, const std::u16string& valueName);
// The REG_SZ value as ReadRegistrySz reads it (in another view opened with its flag); absent
// where that throws.
OptionalText TryReadRegistrySz(HKEY root, const std::u16string& path, const std::u16string& valueName,
                               REGSAM view = 0);
// REG_SZ as read (cut at the first NUL); REG_EXPAND_SZ expanded; an empty text, anything else,
// or any error, absent.
OptionalText ReadRegistryString(HKEY root, const std::u16string& path, const std::u16string& valueName);
// The file's fixed file version, "9.5.10.79". Throws Windows::Error on failure.
std::u16string GetFileVersionString(const std::u16string& path);

// Logged lookups.
bool IsInUninstallList(const std::u16string& displayName, Remove::Log* log);
bool IsInInstallerRegistry(const std::u16string& productName, Remove::Log* log);
OptionalText FindInstallLocation(const std::u16string& displayName, Remove::Log* log);
OptionalText FindInstallLocationInKey(HKEY root, const std::u16string& path,
                                      const std::u16string& valueName, Remove::Log* log);
OptionalText FindUninstallString(const std::u16string& displayName, Remove::Log* log);
OptionalText FindUninstallStringInKey(HKEY root, const std::u16string& path,
                                      const std::u16string& valueName,
                                      const std::u16string& displayName, Remove::Log* log);
OptionalText FindDisplayVersion(const std::u16string& displayName, Remove::Log* log);
OptionalText ReadFileVersion(const std::u16string& path, Remove::Log* log);

// The first of `names` that is still registered anywhere; writes nothing.
OptionalText FindFirstInstalledName(const std::vector<std::u16string>& names);
