#include "products/sam_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kSettingsKey = u"Software\\Zantrel\\Zantrel Inventory";
const std::u16string kUninstallSwitches = u" /qn";

} // namespace

DEVIRAProduct::DEVIRAProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::SoftwareAssetManagement)
{
}

void DEVIRAProduct::detect()
{
    const std::u16string product = name();
    detectBanner(log, product);
    installed = false;
    displayVersion = FindDisplayVersion(product, log);
    installed |= displayVersion.has_value();
    installed |= IsRegistered(product, log);
    installed |= CheckRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log);
}

bool DEVIRAProduct::remove()
{
    const std::u16string product = name();
    removeBanner(log, product);
    RunRegisteredUninstaller(product, kUninstallSwitches, product, log);

    bool failed = false;
    if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, kSettingsKey, log))
        failed = true;
    if (!RemoveInstallerTraces(product, log))
        failed = true;
    if (!RemoveUninstallEntries(product, log))
        failed = true;
    return !failed;
}
