#include "products/logging_service_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

const std::u16string kDisplayName = u"QTV Logging Service";
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Client\\QTVClientLoggingService";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\LoggingService";
// The package records the command that removes it exactly; only the Uninstall list's needs
// the silent switches.
const std::u16string kOwnCommandValue = u"UninstallCmdLine";
const std::u16string kListCommandSwitches = u" /qn REBOOT=REALLYSUPPRESS";

} // namespace

const std::vector<std::u16string>& LoggingServiceProduct::Candidates()
{
    static const std::vector<std::u16string> names = {kDisplayName};
    return names;
}

LoggingServiceProduct::LoggingServiceProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::ClientLoggingService, kDisplayName)
{
}

bool LoggingServiceProduct::findInstallFolder()
{
    installFolder = InstallFolderOrDefault(FindInstallLocation(kDisplayName, log), defaultFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

void LoggingServiceProduct::detect()
{
    detectBanner(log, name());
    if (!defaultFolder)
        defaultFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);

    installed = false;
    installed |= findInstallFolder();
    installed |= IsRegistered(kDisplayName, log);
    displayVersion = FindDisplayVersion(kDisplayName, log);
    installed |= displayVersion.has_value();
    installed |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log);
}

bool LoggingServiceProduct::remove()
{
    removeBanner(log, name());
    OptionalText command = FindUninstallStringInKey(HKEY_LOCAL_MACHINE, kSettingsKey, kOwnCommandValue, name(), log);
    if (!command) {
        if (const OptionalText listed = FindUninstallString(kDisplayName, log))
            command = *listed + kListCommandSwitches;
    }
    if (command) {
        RunUninstaller(*command, name(), log);
        if (StillInstalledAfterUninstall(kDisplayName, log))
            return false;
    }

    bool failed = false;
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultFolder, log))
        failed = true;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log))
        failed = true;
    if (!RemoveInstallerTraces(kDisplayName, log))
        failed = true;
    if (!RemoveUninstallEntries(kDisplayName, log))
        failed = true;
    return !failed;
}
