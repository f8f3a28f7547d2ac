#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The installation generator, the administrator's tool that builds the suite's installers, with
// the credentials folder it keeps in the user's documents.
class InstallersProduct : public RegisteredProduct {
public:
    explicit InstallersProduct(Remove::Log* log);

    void detect() override;
    // Runs the registered uninstaller, then removes the traces of every name the generator has
    // carried, its settings key, its install folder and its credentials folder; false if any of
    // those failed. A product left registered by its uninstaller is cleaned up by hand.
    bool remove() override;

    // Every name the generator has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool findInstallFolder();

    OptionalText installFolder;
};
