#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The server's platform API, installed by its own package. Nothing of it is removed by hand but
// its installer traces: an uninstaller that leaves it registered ends the removal.
class PlatformAPIProduct : public RegisteredProduct {
public:
    explicit PlatformAPIProduct(Remove::Log* log);

    void detect() override;
    // Runs the registered uninstaller (an InstallShield one answered by the product code's
    // dialog order); false, with the traces left, when the product is still registered after it.
    bool remove() override;

    // Every name the API has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool writeResponseFile(const std::u16string& path, const std::u16string& command) const;
};
