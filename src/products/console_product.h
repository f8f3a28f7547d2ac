#pragma once

#include <string>
#include <vector>

#include "core/product.h"

// The operator console: no service; besides its install folder it leaves a data folder and a
// settings key in the profile of the account that runs the removal.
class ConsoleProduct : public QTVProduct {
public:
    explicit ConsoleProduct(Remove::Log* log);

    std::u16string name() const override;
    OptionalText version() const override;
    void detect() override;
    bool remove() override;

    // Every name the console has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool findInstallFolder();
    bool findVersion();
    std::u16string registeredName() const;

    OptionalText displayName;
    OptionalText displayVersion;
    OptionalText installFolder;
    OptionalText defaultInstallFolder;
    OptionalText appDataFolder;
};
