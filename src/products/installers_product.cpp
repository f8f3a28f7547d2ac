#include "products/installers_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/well_known_folders.h"

namespace {

const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\QTV Installation Generator";
const std::u16string kInstallFolderValue = u"InstallFolder";
const std::u16string kUninstallSwitches = u" /s /z\"uninstall\"";
const std::u16string kCredentialsBelowDocuments = u"\\QTVCredentials";

} // namespace

const std::vector<std::u16string>& InstallersProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Installation Generator",
        u"Velmora Corbelis Installation Generator",
        u"Drubeck Corbelis Installation Generator",
        u"Zantrel Enterprise Suite Installation Generator",
        u"Zantrel for Velmora Lunsk QRD Installation Generator",
        u"YLM Installation Generator",
        u"Ostrel Calvorn Installation Generator",
    };
    return names;
}

InstallersProduct::InstallersProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::InstallationGenerator, Candidates().front())
{
}

bool InstallersProduct::findInstallFolder()
{
    installFolder = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kSettingsKey, kInstallFolderValue, log);
    if (!installFolder) {
        writeLine(log, u"Failed to determine the installation directory.");
        return false;
    }
    return CheckFile(*installFolder, log);
}

void InstallersProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);

    installed = false;
    installed |= findInstallFolder();
    displayVersion = FindDisplayVersion(*displayName, log);
    installed |= displayVersion.has_value();
    installed |= IsRegistered(*displayName, log);
    installed |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log);
    // The credentials are the generator's too, and may outlive everything else of it.
    if (const OptionalText documents = GetDocumentsFolder())
        installed |= CheckFile(*documents + kCredentialsBelowDocuments, log);
}

bool InstallersProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    RunRegisteredUninstaller(registered, kUninstallSwitches, name(), log);

    // The folder and the credentials first: the registration and the settings key, which
    // detection finds the generator by, go last.
    bool failed = false;
    const OptionalText documents = GetDocumentsFolder();
    if (!FolderNamed(documents, log))
        return false;
    // Without an "InstallFolder" value there is no install folder to delete.
    if (installFolder && !DeleteComponentFolder(*installFolder, std::nullopt, log))
        failed = true;
    if (!DeleteDirectory(*documents + kCredentialsBelowDocuments, log))
        failed = true;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log))
        failed = true;
    if (!RemoveAllInstallerTraces(registered, Candidates(), log))
        failed = true;
    return !failed;
}
