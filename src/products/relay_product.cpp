#include "products/relay_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/service_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kService = u"QTVRelay";
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Relay";
const std::u16string kAppPathsKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVRelay.exe";
const std::u16string kExecutable = u"\\QTVRelay.exe";
const std::u16string kServerKey = u"SOFTWARE\\Zantrel\\Enterprise Server";
constexpr unsigned kServiceTimeout = 10;

// The relay's own part of the server key, deleted when Web Reports keeps the key.
const std::u16string kRelaySubkeys[] = {
    u"SOFTWARE\\Zantrel\\Enterprise Server\\ClientRegister",
    u"SOFTWARE\\Zantrel\\Enterprise Server\\FillDB",
    u"SOFTWARE\\Zantrel\\Enterprise Server\\GatherService",
    u"SOFTWARE\\Zantrel\\Enterprise Server\\GlobalOptions",
};

const std::u16string kRelayKeys[] = {
    u"SOFTWARE\\Zantrel\\Zantrel Server",
    u"SOFTWARE\\Zantrel\\QTVRelay",
    u"SOFTWARE\\Zantrel\\KMEAdmin",
};

} // namespace

const std::vector<std::u16string>& RelayProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Relay",
        u"\u00BBVelmora Zantrel Relay\u00AB",
        u"Velmora Corbelis Relay",
        u"Drubeck Corbelis Relay",
        u"Zantrel Enterprise Relay",
        u"Zantrel for Velmora Lunsk QRD Relay",
        u"YLM Relay",
        u"Ostrel Calvorn Relay",
    };
    return names;
}

RelayProduct::RelayProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::Relay, Candidates().front())
{
}

void RelayProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);
    if (!defaultInstallFolder)
        defaultInstallFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);

    installed = false;
    installFolder = FindInstallFolder(*displayName, kAppPathsKey, u"Path", defaultInstallFolder, log);
    installed |= installFolder && CheckFile(*installFolder, log);
    displayVersion = FindProductVersion(*displayName, installFolder, kExecutable, log);
    installed |= displayVersion.has_value();
    installed |= IsRegistered(*displayName, log);
    installed |= CheckRegistryValue(HKEY_LOCAL_MACHINE, kServerKey, u"RelayVersion", log);
    installed |= CheckServiceExists(kService, log);
}

bool RelayProduct::deleteRelayKeys()
{
    bool ok = true;
    if (CheckRegistryValue(HKEY_LOCAL_MACHINE, kServerKey, u"QTVWebReportsInstalled", log)) {
        // Web Reports stays and keeps the key: only the relay's part goes, up to the first failure.
        for (const std::u16string& key : kRelaySubkeys) {
            if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, log)) {
                ok = false;
                break;
            }
        }
    } else if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kServerKey, log)) {
        ok = false;
    }
    for (const std::u16string& key : kRelayKeys)
        if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, log))
            ok = false;
    return ok;
}

bool RelayProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    if (const OptionalText command = FindUninstallString(registered, log)) {
        if (!RunSetupUninstaller(*this, *command, registered, log))
            return false;
    }
    bool failed = false;
    if (!StopAndDeleteService(kService, log, kServiceTimeout))
        failed = true;
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultInstallFolder, log))
        failed = true;
    if (!deleteRelayKeys())
        failed = true;
    // The entry the folder is found by goes after the folder.
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kAppPathsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, Candidates(), log))
        failed = true;
    return !failed;
}
