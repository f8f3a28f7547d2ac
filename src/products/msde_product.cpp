#include "products/msde_product.h"

#include "core/log.h"
#include "toolkit/uninstall_lookups.h"
#include "toolkit/uninstaller.h"

namespace {

const std::u16string kUninstallSwitches = u" /qn";

} // namespace

MSDEProduct::MSDEProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::MSDE)
{
}

void MSDEProduct::detect()
{
    detectBanner(log, name());
    installed = FindUninstallString(name(), log).has_value();
}

bool MSDEProduct::remove()
{
    const std::u16string product = name();
    removeBanner(log, product);
    const OptionalText command = FindUninstallString(product, log);
    if (!command)
        return true;
    RunUninstaller(*command + kUninstallSwitches, product, log);
    if (FindUninstallString(product, log)) {
        writeLine(log, u"Uninstall string still exists!  Uninstall appears unsuccessful.");
        return false;
    }
    return true;
}
