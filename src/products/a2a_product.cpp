#include "products/a2a_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kKey = u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A";
const std::u16string kFolderValue = u"DLLPath";
// Beside the agent's folder, taken as text: the ".." stays in what is looked for and deleted.
const std::u16string kBesideAgent = u"\\..\\QTV A2A";
const std::u16string kLibrary = u"\\QTVA2ADLL.dll";
const std::u16string kDefaultFolderBelowProgramFiles = u"\\Zantrel Enterprise\\QTV A2A";
// This recipe's line ends after "directory".
constexpr std::u16string_view kNoDefaultFolderLine = u"Cannot determine default install directory";

} // namespace

A2AProduct::A2AProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::A2A)
{
}

bool A2AProduct::findInstallFolder()
{
    OptionalText folder = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kKey, kFolderValue, log);
    if (!folder) {
        if (const OptionalText agentFolder = FindAgentFolder(log))
            folder = *agentFolder + kBesideAgent;
    }
    installFolder = InstallFolderOrDefault(std::move(folder), defaultInstallFolder, log);
    return installFolder && CheckFile(*installFolder, log);
}

bool A2AProduct::findVersion()
{
    displayVersion = installFolder ? ReadFileVersion(*installFolder + kLibrary, log) : std::nullopt;
    return displayVersion.has_value();
}

void A2AProduct::detect()
{
    detectBanner(log, name());
    if (!defaultInstallFolder)
        defaultInstallFolder = ResolveDefaultFolder(kDefaultFolderBelowProgramFiles, log, kNoDefaultFolderLine);

    installed = false;
    installed |= findInstallFolder();
    installed |= findVersion();
    installed |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kKey, log);
}

bool A2AProduct::remove()
{
    removeBanner(log, name());
    bool failed = false;
    if (!FolderNamed(installFolder, log))
        return false;
    if (!DeleteComponentFolder(*installFolder, defaultInstallFolder, log))
        failed = true;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kKey, log))
        failed = true;
    return !failed;
}
