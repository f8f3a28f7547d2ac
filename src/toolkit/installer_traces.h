#pragma once

#include <string>
#include <vector>

#include "core/product.h"

namespace Remove {
class Log;
}

// Removing a component's registration from the Uninstall key and from the Windows Installer's
// registry, by display name, until none of its names is found any more (at most 100 passes).

// Deletes every Uninstall entry whose DisplayName is `displayName`. True when all went.
bool RemoveUninstallEntries(const std::u16string& displayName, Remove::Log* log);

// Deletes the product's Products, Features, UpgradeCodes and UserData keys. True when every
// deletion succeeded; a failure does not stop the others.
bool RemoveInstallerTraces(const std::u16string& productName, Remove::Log* log);

// Starting with `firstName` (nothing to do when absent), removes the traces of the first still
// registered name of `names`, pass after pass. After the hundredth pass it gives up with a
// message box and answers false.
bool RemoveAllInstallerTraces(OptionalText firstName, const std::vector<std::u16string>& names,
                              Remove::Log* log);
