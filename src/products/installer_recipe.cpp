#include "products/installer_recipe.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "toolkit/file_removal.h"
#include "toolkit/well_known_folders.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

void Line(Remove::Log* log, std::u16string_view opening, const std::u16string& value)
{
    log->write(opening);
    log->write(value);
    log->write(u"\"");
    log->write(EOL);
}

// A fresh, empty file in the temporary folder, named by the system from the prefix "zantrel".
std::u16string CreateTemporaryFile()
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
    return std::u16string(name.data());
}

void DeleteTemporaryFile(const std::u16string& path)
{
    const DWORD attributes = Os().getFileAttributes(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        Os().setFileAttributes(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    Os().deleteFile(path.c_str());
}

} // namespace

std::u16string ResolveDisplayName(const std::vector<std::u16string>& candidates, Remove::Log* log)
{
    const std::u16string name = FindFirstInstalledName(candidates).value_or(candidates.front());
    Line(log, u"Setting product name to \"", name);
    return name;
}

OptionalText ResolveDefaultFolder(const std::u16string& below, Remove::Log* log)
{
    const OptionalText programFiles = GetProgramFilesFolder();
    if (!programFiles) {
        writeLine(log, u"Cannot determine default install directory (old operating system?).");
        return std::nullopt;
    }
    const std::u16string folder = *programFiles + below;
    Line(log, u"Setting default path to \"", folder);
    return folder;
}

OptionalText FindInstallFolder(const std::u16string& displayName, const std::u16string& key,
                               const std::u16string& valueName, const OptionalText& defaultFolder,
                               Remove::Log* log)
{
    OptionalText folder = FindInstallLocation(displayName, log);
    if (!folder)
        folder = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, key, valueName, log);
    if (!folder && defaultFolder) {
        folder = defaultFolder;
        Line(log, u"Actual install directory could not be determined, using default directory \"", *folder);
    }
    if (!folder)
        writeLine(log, u"Failed to determine the installation directory.");
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

bool RunSetupUninstaller(const std::u16string& command, const std::u16string& runName,
                         const std::u16string& displayName, const ResponseFileWriter& writeResponseFile,
                         Remove::Log* log)
{
    const std::u16string responseFile = CreateTemporaryFile();
    std::u16string run = command;
    if (command.find(u"MsiExec") != std::u16string::npos) {
        run += u" /qn";
    } else {
        if (!writeResponseFile(responseFile)) {
            DeleteTemporaryFile(responseFile);
            return false;
        }
        run += u" -s --uninstallsilent -f1\"" + responseFile + u"\"";
    }
    RunUninstaller(run, runName, log);
    ReportIfStillRegistered(displayName, log);
    DeleteTemporaryFile(responseFile);
    return true;
}

bool RunSetupUninstaller(const QTVProduct& product, const std::u16string& command,
                         const std::u16string& displayName, Remove::Log* log)
{
    return RunSetupUninstaller(command, product.name(), displayName,
                               [&product](const std::u16string& path) { return product.createResponseFile(path); },
                               log);
}
