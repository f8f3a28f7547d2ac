#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/product.h"
#include "platform/win_types.h"

namespace Remove {
class Log;
}

// Steps the recipes of installer-based components share: finding the name a component is
// registered under, its folders and version, and running its uninstaller silently.

// The first candidate still registered, or the first candidate when none is; writes the line
// "Setting product name to \"...\"".
std::u16string ResolveDisplayName(const std::vector<std::u16string>& candidates, Remove::Log* log);

// The Program Files folder followed by `below`, logged as "Setting default path to \"...\"";
// without a Program Files folder, the "Cannot determine default install directory" line and
// nothing.
OptionalText ResolveDefaultFolder(const std::u16string& below, Remove::Log* log);

// The install folder: from the Uninstall entry, else from the value `valueName` of `key` under
// HKLM, else the default folder (with its line), else nothing (with its line).
OptionalText FindInstallFolder(const std::u16string& displayName, const std::u16string& key,
                               const std::u16string& valueName, const OptionalText& defaultFolder,
                               Remove::Log* log);

// The version from the Uninstall entry, else from the executable in the install folder.
OptionalText FindProductVersion(const std::u16string& displayName, const OptionalText& installFolder,
                                const std::u16string& executable, Remove::Log* log);

// The Windows Installer registration, then the Uninstall list: both always asked.
bool IsRegistered(const std::u16string& displayName, Remove::Log* log);

// After an uninstaller ran: the Uninstall list, and only if it finds nothing the Windows
// Installer registration; when either still knows the product, the line "Uninstaller appears
// unsuccessful.  Attempting to manually uninstall...".
void ReportIfStillRegistered(const std::u16string& displayName, Remove::Log* log);

// Writes an InstallShield response file to the path; true on success.
using ResponseFileWriter = std::function<bool(const std::u16string& path)>;

// Runs a Windows Installer ("MsiExec" in the command, case-sensitive: " /qn" appended) or
// InstallShield uninstall command (the response file written to a fresh temporary file and
// passed with " -s --uninstallsilent -f1\"...\""), then reports whether the product is still
// registered, and deletes the temporary file. False only when the response file could not be
// written: the removal must then end. Creating the temporary file throws Windows::Error on
// failure.
bool RunSetupUninstaller(const std::u16string& command, const std::u16string& runName,
                         const std::u16string& displayName, const ResponseFileWriter& writeResponseFile,
                         Remove::Log* log);

// The same with the product's own InstallShield response file (QTVProduct::createResponseFile).
bool RunSetupUninstaller(const QTVProduct& product, const std::u16string& command,
                         const std::u16string& displayName, Remove::Log* log);
