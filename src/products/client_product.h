#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The agent, under any of the names it has carried, with its companion "QTV Client Helper".
class ClientProduct : public RegisteredProduct {
public:
    explicit ClientProduct(Remove::Log* log);

    void detect() override;
    bool remove() override;

    // Every name the agent has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool findInstallFolder();
    bool findVersion();
    bool helperPresent();
    bool removeHelper();

    OptionalText defaultInstallFolder;
    OptionalText installFolder;
    OptionalText helperImagePath;
};
