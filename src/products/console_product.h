#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The operator console: no service; besides its install folder it leaves a data folder and a
// settings key in the profile of the account that runs the removal.
class ConsoleProduct : public RegisteredProduct {
public:
    explicit ConsoleProduct(Remove::Log* log);

    void detect() override;
    bool remove() override;

    // Every name the console has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool findInstallFolder();
    bool findVersion();

    OptionalText installFolder;
    OptionalText defaultInstallFolder;
    OptionalText appDataFolder;
};
