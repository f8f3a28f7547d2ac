#include "products/installer_recipe.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "products/products.h"
#include "toolkit/file_removal.h"
#include "toolkit/well_known_folders.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

// Where the agent's add-ons look for the agent, whatever name the agent recipe resolved.
const std::u16string kAgentDisplayName = u"Zantrel Enterprise Client";
const std::u16string kAgentAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";

} // namespace

void QuotedLine(Remove::Log* log, std::u16string_view opening, const std::u16string& value)
{
    log->write(opening);
    log->write(value);
    log->write(u"\"");
    log->write(EOL);
}

void ResolveDisplayName(OptionalText& displayName, const std::vector<std::u16string>& candidates, Remove::Log* log)
{
    // A name found registered stands for the run. The first candidate, taken when none was
    // found, is looked for again at each detection: a read that answered "not found" once must
    // not hide the component under another name for the rest of the run.
    if (displayName && *displayName != candidates.front())
        return;
    const std::u16string name = FindFirstInstalledName(candidates).value_or(candidates.front());
    if (displayName == name)
        return;
    displayName = name;
    QuotedLine(log, u"Setting product name to \"", name);
}

OptionalText ResolveDefaultFolder(const std::u16string& below, Remove::Log* log,
                                  std::u16string_view missingLine)
{
    const OptionalText programFiles = GetProgramFilesFolder();
    if (!programFiles) {
        writeLine(log, missingLine);
        return std::nullopt;
    }
    const std::u16string folder = *programFiles + below;
    QuotedLine(log, u"Setting default path to \"", folder);
    return folder;
}

std::vector<std::u16string> ResolveDefaultFolders(std::initializer_list<DefaultFolder> folders,
                                                  Remove::Log* log)
{
    const OptionalText programFiles = GetProgramFilesFolder();
    if (!programFiles) {
        writeLine(log, kNoProgramFilesLine);
        return {};
    }
    std::vector<std::u16string> paths;
    for (const DefaultFolder& folder : folders) {
        paths.push_back(*programFiles + std::u16string(folder.below));
        QuotedLine(log, folder.linePrefix, paths.back());
    }
    return paths;
}

OptionalText FolderOrDefault(OptionalText found, const OptionalText& defaultFolder,
                             std::u16string_view defaultLine, std::u16string_view failedLine,
                             Remove::Log* log)
{
    if (!found && defaultFolder) {
        found = defaultFolder;
        QuotedLine(log, defaultLine, *found);
    }
    if (!found && !failedLine.empty())
        writeLine(log, failedLine);
    return found;
}

OptionalText InstallFolderOrDefault(OptionalText found, const OptionalText& defaultFolder,
                                    Remove::Log* log)
{
    return FolderOrDefault(std::move(found), defaultFolder,
                           u"Actual install directory could not be determined, using default directory \"",
                           u"Failed to determine the installation directory.", log);
}

OptionalText FindInstallFolder(const std::u16string& displayName, const std::u16string& key,
                               const std::u16string& valueName, const OptionalText& defaultFolder,
                               Remove::Log* log)
{
    OptionalText folder = FindInstallLocation(displayName, log);
    if (!folder)
        folder = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, key, valueName, log);
    return InstallFolderOrDefault(std::move(folder), defaultFolder, log);
}

OptionalText FindAgentFolder(Remove::Log* log)
{
    OptionalText folder = FindInstallLocation(kAgentDisplayName, log);
    if (!folder)
        folder = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kAgentAppPathsKey, u"Path", log);
    return folder;
}

OptionalText FindProductVersion(const std::u16string& displayName, const OptionalText& installFolder,
                                const std::u16string& executable, Remove::Log* log)
{
    OptionalText version = FindDisplayVersion(displayName, log);
    if (!version && installFolder)
        version = ReadFileVersion(*installFolder + executable, log);
    return version;
}

bool FolderNamed(const OptionalText& folder, Remove::Log* log)
{
    if (!folder)
        writeLine(log, u"Removal stopped: a folder of the component could not be named.");
    return folder.has_value();
}

bool DeleteComponentFolder(const std::u16string& folder, const OptionalText& defaultFolder, Remove::Log* log)
{
    if (defaultFolder && folder == *defaultFolder)
        return DeleteDirectory(folder, log);
    return DeleteDirectory(folder, SuiteDisplayNames(), log);
}

bool IsRegistered(const std::u16string& displayName, Remove::Log* log)
{
    const bool inInstaller = IsInInstallerRegistry(displayName, log);
    const bool inList = IsInUninstallList(displayName, log);
    return inInstaller || inList;
}

void ReportIfStillRegistered(const std::u16string& displayName, Remove::Log* log)
{
    if (IsInUninstallList(displayName, log) || IsInInstallerRegistry(displayName, log))
        writeLine(log, u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...");
}

bool StillInstalledAfterUninstall(const std::u16string& displayName, Remove::Log* log)
{
    if (!IsInUninstallList(displayName, log) && !IsInInstallerRegistry(displayName, log))
        return false;
    writeLine(log, u"Installation information still exists!  Uninstall appears unsuccessful.");
    return true;
}

void RunRegisteredUninstaller(const std::u16string& displayName, std::u16string_view switches,
                              const std::u16string& runName, Remove::Log* log)
{
    const OptionalText command = FindUninstallString(displayName, log);
    if (!command)
        return;
    // Whether it worked is judged by the registration left behind, not by its result.
    RunUninstaller(*command + std::u16string(switches), runName, log);
    ReportIfStillRegistered(displayName, log);
}

TemporaryResponseFile::TemporaryResponseFile()
{
    std::vector<char16_t> folder(MAX_PATH + 1, u'\0');
    DWORD length = Os().getTempPath(static_cast<DWORD>(folder.size()), folder.data());
    if (length > folder.size()) {
        folder.assign(length + 1, u'\0');
        length = Os().getTempPath(static_cast<DWORD>(folder.size()), folder.data());
    }
    if (length == 0 || length > folder.size())
        ThrowLastError();
    if (!Os().createDirectory(folder.data(), nullptr) && Os().getLastError() != ERROR_ALREADY_EXISTS)
        ThrowLastError();
    std::vector<char16_t> name(MAX_PATH + 1, u'\0');
    if (Os().getTempFileName(folder.data(), u"zantrel", 0, name.data()) == 0)
        ThrowLastError();
    path_ = name.data();
}

TemporaryResponseFile::~TemporaryResponseFile()
{
    const DWORD attributes = Os().getFileAttributes(path_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        Os().setFileAttributes(path_.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    Os().deleteFile(path_.c_str());
}

bool RunSetupUninstaller(const std::u16string& command, const std::u16string& runName,
                         const std::u16string& displayName, const ResponseFileWriter& writeResponseFile,
                         Remove::Log* log)
{
    const TemporaryResponseFile responseFile;
    std::u16string run = command;
    if (command.find(u"MsiExec") != std::u16string::npos) {
        run += u" /qn";
    } else {
        if (!writeResponseFile(responseFile.path()))
            return false;
        run += u" -s --uninstallsilent -f1\"" + responseFile.path() + u"\"";
    }
    RunUninstaller(run, runName, log);
    ReportIfStillRegistered(displayName, log);
    return true;
}

bool RunSetupUninstaller(const QTVProduct& product, const std::u16string& command,
                         const std::u16string& displayName, Remove::Log* log)
{
    return RunSetupUninstaller(command, product.name(), displayName,
                               [&product](const std::u16string& path) { return product.createResponseFile(path); },
                               log);
}
