#include "products/console_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/well_known_folders.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Console";
const std::u16string kAppDataBelowLocalAppData = u"\\Zantrel\\Enterprise Console";
const std::u16string kAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVConsole.exe";
const std::u16string kExecutable = u"\\QTVConsole.exe";
const std::u16string kSettingsKey = u"Software\\Zantrel\\Enterprise Console";
const std::u16string kInstallerMarker = u"MsiExec";
const std::u16string kMaintenanceSwitch = u"/I{";
const std::u16string kUninstallSwitch = u"/X{";
const std::u16string kInstallerQuiet = u" /qn";
const std::u16string kSetupQuiet = u" /s /z\"uninstall\"";

// A Windows Installer command registered for maintenance (/I) is turned into an uninstall (/X);
// anything else is taken for a setup program that takes its silent switches directly.
std::u16string UninstallCommand(std::u16string command)
{
    if (command.find(kInstallerMarker) == std::u16string::npos)
        return command + kSetupQuiet;
    const std::size_t maintenance = command.find(kMaintenanceSwitch);
    if (maintenance != std::u16string::npos)
        command.replace(maintenance, kMaintenanceSwitch.size(), kUninstallSwitch);
    return command + kInstallerQuiet;
}

OptionalText ResolveAppDataFolder(Remove::Log* log)
{
    const OptionalText localAppData = GetLocalAppDataFolder();
    if (!localAppData) {
        writeLine(log, u"Cannot determine the application data directory (old operating system?).");
        return std::nullopt;
    }
    const std::u16string folder = *localAppData + kAppDataBelowLocalAppData;
    QuotedLine(log, u"Setting app data path to \"", folder);
    return folder;
}

} // namespace

const std::vector<std::u16string>& ConsoleProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Console",
        u"Velmora Corbelis Console",
        u"Drubeck Corbelis Console",
        u"Zantrel Enterprise Console",
        u"Zantrel for Velmora Lunsk QRD Console",
        u"YLM Console",
        u"Ostrel Calvorn Console",
    };
    return names;
}

ConsoleProduct::ConsoleProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::Console, Candidates().front())
{
}

bool ConsoleProduct::findInstallFolder()
{
    installFolder = FindInstallFolder(*displayName, kAppPathsKey, u"Path", defaultInstallFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool ConsoleProduct::findVersion()
{
    displayVersion = FindProductVersion(*displayName, installFolder, kExecutable, log);
    return displayVersion.has_value();
}

void ConsoleProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);
    if (!defaultInstallFolder)
        defaultInstallFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);
    if (!appDataFolder)
        appDataFolder = ResolveAppDataFolder(log);

    installed = false;
    installed |= findInstallFolder();
    installed |= findVersion();
    installed |= IsRegistered(*displayName, log);
    installed |= CheckRegistryKey(HKEY_CURRENT_USER, kSettingsKey, log);
    if (appDataFolder && CheckFile(*appDataFolder, log))
        installed = true;
}

bool ConsoleProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    if (const OptionalText command = FindUninstallString(registered, log)) {
        // Whether it worked is judged by the registration left behind, not by its result.
        RunUninstaller(UninstallCommand(*command), name(), log);
        ReportIfStillRegistered(registered, log);
    }

    bool failed = false;
    if (!FolderNamed(installFolder, log) || !FolderNamed(appDataFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultInstallFolder, log))
        failed = true;
    if (!DeleteDirectory(*appDataFolder, log))
        failed = true;
    if (!DeleteRegistryKey(HKEY_CURRENT_USER, kSettingsKey, log))
        failed = true;
    // The entry the folder is found by goes after the folder.
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kAppPathsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, Candidates(), log))
        failed = true;
    return !failed;
}
