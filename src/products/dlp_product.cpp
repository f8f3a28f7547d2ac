#include "products/dlp_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

// Appended as is, whatever the agent's folder ends with.
const std::u16string kBelowAgent = u"\\DLP";
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV Client\\DLP";
const std::u16string kControlProgram = u"\\QTVDravelockCtrl.exe";
const std::u16string kUninstallSwitch = u" -u";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\DLP";

} // namespace

DLPProduct::DLPProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::DLP)
{
}

bool DLPProduct::findInstallFolder()
{
    const OptionalText agentFolder = FindAgentFolder(log);
    installFolder = FolderOrDefault(agentFolder ? OptionalText(*agentFolder + kBelowAgent) : std::nullopt,
                                    defaultFolder,
                                    u"Actual client install directory could not be determined, using default directory \"",
                                    {}, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool DLPProduct::findVersion()
{
    displayVersion = installFolder ? ReadFileVersion(*installFolder + kControlProgram, log) : std::nullopt;
    return displayVersion.has_value();
}

void DLPProduct::detect()
{
    detectBanner(log, name());
    if (!defaultFolder)
        defaultFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log);

    installed = false;
    installed |= findInstallFolder();
    installed |= findVersion();
    installed |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log);
}

bool DLPProduct::remove()
{
    removeBanner(log, name());
    if (installFolder) {
        const std::u16string controlProgram = *installFolder + kControlProgram;
        // Quoted: unquoted, a folder with blanks would have the system try "C:\Program.exe" and
        // the like first, as administrator.
        if (CheckFile(controlProgram, log))
            RunUninstaller(u"\"" + controlProgram + u"\"" + kUninstallSwitch, name(), log);
    }
    bool failed = false;
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultFolder, log))
        failed = true;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log))
        failed = true;
    return !failed;
}
