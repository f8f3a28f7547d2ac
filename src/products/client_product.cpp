#include "products/client_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/service_cleanup.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

const std::u16string kService = u"QTVClient";
const std::u16string kHelperName = u"QTV Client Helper";
const std::u16string kHelperServiceKey = u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper";
const std::u16string kHelperSettingsKey = u"SOFTWARE\\Zantrel\\QTVClientHelper";
const std::u16string kHelperService = u"QTVClientHelper";
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Client";
const std::u16string kAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";
const std::u16string kExecutable = u"\\QTVClient.exe";
constexpr unsigned kServiceTimeout = 10;

const std::u16string kKeysToDetect[] = {
    u"SOFTWARE\\Zantrel\\ClientComplianceAPI",
    u"SOFTWARE\\Zantrel\\EnterpriseClient",
    u"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client",
    u"SYSTEM\\ControlSet002\\services\\QTVClient",
};

const std::u16string kKeysToDelete[] = {
    u"SOFTWARE\\Zantrel\\EnterpriseClient",
    u"SOFTWARE\\Zantrel\\ClientComplianceAPI",
    u"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client",
    u"SYSTEM\\ControlSet002\\services\\QTVClient",
};

} // namespace

const std::vector<std::u16string>& ClientProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Client",
        u"Velmora Corbelis Client",
        u"Velmora Corbelis Agent",
        u"Drubeck Corbelis Agent",
        u"Drubeck Corbelis Client",
        u"Zantrel Enterprise Client",
        u"Zantrel for Velmora Lunsk QRD Client",
        u"YLM Agent",
        u"Ostrel Calvorn",
    };
    return names;
}

ClientProduct::ClientProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::Client, Candidates().front())
{
}

bool ClientProduct::findInstallFolder()
{
    installFolder = FindInstallFolder(*displayName, kAppPathsKey, u"Path", defaultInstallFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool ClientProduct::findVersion()
{
    displayVersion = FindProductVersion(*displayName, installFolder, kExecutable, log);
    return displayVersion.has_value();
}

bool ClientProduct::helperPresent()
{
    if (!helperImagePath)
        helperImagePath = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kHelperServiceKey, u"ImagePath", log);
    const bool settingsKey = CheckRegistryKey(HKEY_LOCAL_MACHINE, kHelperSettingsKey, log);
    const bool serviceKey = CheckRegistryKey(HKEY_LOCAL_MACHINE, kHelperServiceKey, log);
    bool file = false;
    if (helperImagePath && helperImagePath->size() >= 2) {
        const std::u16string& path = *helperImagePath;
        // A quoted path is looked for without its quotes; anything else exactly as registered.
        const bool quoted = path.front() == u'"' && path.find_last_of(u'"') == path.size() - 1;
        file = CheckFile(quoted ? path.substr(1, path.size() - 2) : path, log);
    }
    return settingsKey || serviceKey || file;
}

bool ClientProduct::removeHelper()
{
    bool ok = true;
    if (helperImagePath && !RunUninstaller(*helperImagePath + u" -remove", kHelperName, log))
        ok = false;
    // The helper removes its own service. Where it could not (its program is often gone on a
    // damaged machine), the service, left registered, would keep the agent installed for every
    // later run: it is stopped and deleted here as the agent's own service is.
    Remove::Log silent;
    if (CheckServiceExists(kHelperService, &silent) && !StopAndDeleteService(kHelperService, log, kServiceTimeout))
        ok = false;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kHelperSettingsKey, log))
        ok = false;
    return ok;
}

void ClientProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);
    if (!defaultInstallFolder)
        defaultInstallFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);

    installed = false;
    installed |= findInstallFolder();
    installed |= findVersion();
    installed |= IsRegistered(*displayName, log);
    bool anyKey = false;
    for (const std::u16string& key : kKeysToDetect)
        anyKey |= CheckRegistryKey(HKEY_LOCAL_MACHINE, key, log);
    installed |= anyKey;
    installed |= helperPresent();
    installed |= CheckServiceExists(kService, log);
}

bool ClientProduct::remove()
{
    bool failed = false;
    removeBanner(log, name());
    if (helperPresent() && !removeHelper()) {
        writeLine(log, u"Warning: QTV Client Helper uninstall failed!  QTV Client uninstall may fail.");
        failed = true;
    }
    StopServiceWithWait(kService, log, kServiceTimeout);
    const std::u16string registered = registeredName();
    if (const OptionalText command = FindUninstallString(registered, log)) {
        if (!RunSetupUninstaller(*this, *command, registered, log))
            return false;
    }
    if (!StopAndDeleteService(kService, log, kServiceTimeout))
        failed = true;
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultInstallFolder, log))
        failed = true;
    for (const std::u16string& key : kKeysToDelete)
        if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, log))
            failed = true;
    // The entry the folder is found by goes after the folder.
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kAppPathsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, Candidates(), log))
        failed = true;
    return !failed;
}
