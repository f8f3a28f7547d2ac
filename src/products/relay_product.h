#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The relay, which shares the server's settings key with the server's Web Reports.
class RelayProduct : public RegisteredProduct {
public:
    explicit RelayProduct(Remove::Log* log);

    void detect() override;
    bool remove() override;

    // Every name the relay has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool deleteRelayKeys();

    OptionalText defaultInstallFolder;
    OptionalText installFolder;
};
