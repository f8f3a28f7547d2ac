#pragma once

#include <string>
#include <vector>

#include "core/product.h"

// The relay, which shares the server's settings key with the server's Web Reports.
class RelayProduct : public QTVProduct {
public:
    explicit RelayProduct(Remove::Log* log);

    std::u16string name() const override;
    OptionalText version() const override;
    void detect() override;
    bool remove() override;

    // Every name the relay has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool deleteRelayKeys();

    OptionalText displayName;
    OptionalText displayVersion;
    OptionalText defaultInstallFolder;
    OptionalText installFolder;
};
