#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "core/product.h"
#include "platform/win_types.h"

namespace Remove {
class Log;
}

// Steps the recipes of installer-based components share: finding the name a component is
// registered under, its folders and version, and running its uninstaller silently.

// `opening`, `value`, a closing double quote and the line end: "Setting ... to \"value\"".
void QuotedLine(Remove::Log* log, std::u16string_view opening, const std::u16string& value);

// Sets `displayName` to the first candidate still registered, or the first candidate when none
// is, and writes the line "Setting product name to \"...\"" when that changes it. A name found
// registered is kept; the first candidate, taken for want of one, is looked for again each time.
void ResolveDisplayName(OptionalText& displayName, const std::vector<std::u16string>& candidates, Remove::Log* log);

// What most recipes write when the system knows no Program Files folder.
inline constexpr std::u16string_view kNoProgramFilesLine =
    u"Cannot determine default install directory (old operating system?).";

// The Program Files folder followed by `below`, logged as "Setting default path to \"...\"";
// without a Program Files folder, `missingLine` and nothing.
OptionalText ResolveDefaultFolder(const std::u16string& below, Remove::Log* log,
                                  std::u16string_view missingLine = kNoProgramFilesLine);

// A default folder below Program Files and the opening of the line that announces it.
struct DefaultFolder {
    std::u16string_view below;
    std::u16string_view linePrefix;
};

// Several default folders set together, in order, each announced by its own line; without a
// Program Files folder, one kNoProgramFilesLine and an empty list.
std::vector<std::u16string> ResolveDefaultFolders(std::initializer_list<DefaultFolder> folders,
                                                  Remove::Log* log);

// The outcome of a folder lookup: the folder found; else the default, announced by
// `defaultLine`, the folder and "\""; else nothing, with `failedLine` when there is one.
OptionalText FolderOrDefault(OptionalText found, const OptionalText& defaultFolder,
                             std::u16string_view defaultLine, std::u16string_view failedLine,
                             Remove::Log* log);

// The install folder: from the Uninstall entry, else from the value `valueName` of `key` under
// HKLM, else the default folder (with its line), else nothing (with its line).
OptionalText FindInstallFolder(const std::u16string& displayName, const std::u16string& key,
                               const std::u16string& valueName, const OptionalText& defaultFolder,
                               Remove::Log* log);

// FolderOrDefault with the install folder's lines.
OptionalText InstallFolderOrDefault(OptionalText found, const OptionalText& defaultFolder,
                                    Remove::Log* log);

// The agent's install folder, which its add-ons sit in or beside: from the Uninstall entry of
// "Zantrel Enterprise Client", else from the agent's App Paths key.
OptionalText FindAgentFolder(Remove::Log* log);

// The version from the Uninstall entry, else from the executable in the install folder.
OptionalText FindProductVersion(const std::u16string& displayName, const OptionalText& installFolder,
                                const std::u16string& executable, Remove::Log* log);

// Whether a folder the removal deletes was named at detection. Every system names its Program
// Files, application data and documents folders; one that could not be named that time leaves
// the line "Removal stopped: a folder of the component could not be named." and false, and the
// removal ends there, before the items detection finds the component by, so that a later run
// finds it again.
bool FolderNamed(const OptionalText& folder, Remove::Log* log);

// Deletes a folder of the component: as a default folder when it is `defaultFolder`, otherwise as
// one a registry value named, which may not be at or above what another product installed.
bool DeleteComponentFolder(const std::u16string& folder, const OptionalText& defaultFolder, Remove::Log* log);

// The Windows Installer registration, then the Uninstall list: both always asked.
bool IsRegistered(const std::u16string& displayName, Remove::Log* log);

// After an uninstaller ran: the Uninstall list, and only if it finds nothing the Windows
// Installer registration; when either still knows the product, the line "Uninstaller appears
// unsuccessful.  Attempting to manually uninstall...".
void ReportIfStillRegistered(const std::u16string& displayName, Remove::Log* log);

// The same question for recipes that stop when the uninstaller failed: true, with the line
// "Installation information still exists!  Uninstall appears unsuccessful.", when the product
// is still registered.
bool StillInstalledAfterUninstall(const std::u16string& displayName, Remove::Log* log);

// Runs the command registered for `displayName` with `switches` appended, under `runName`, then
// reports whether it is still registered. Does nothing when no command is registered.
void RunRegisteredUninstaller(const std::u16string& displayName, std::u16string_view switches,
                              const std::u16string& runName, Remove::Log* log);

// A fresh, empty file in the temporary folder (created when missing), named by the system from
// the prefix "zantrel", for an uninstaller's answers; deleted with the object. The constructor
// throws Windows::Error when no such file can be made.
class TemporaryResponseFile {
public:
    TemporaryResponseFile();
    ~TemporaryResponseFile();
    TemporaryResponseFile(const TemporaryResponseFile&) = delete;
    TemporaryResponseFile& operator=(const TemporaryResponseFile&) = delete;

    const std::u16string& path() const { return path_; }

private:
    std::u16string path_;
};

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
