#pragma once

#include <string>
#include <vector>

#include "core/product.h"

// The agent, under any of the names it has carried, with its companion "QTV Client Helper".
class ClientProduct : public QTVProduct {
public:
    explicit ClientProduct(Remove::Log* log);

    std::u16string name() const override;
    OptionalText version() const override;
    void detect() override;
    bool remove() override;

    // Every name the agent has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    bool findInstallFolder();
    bool findVersion();
    bool helperPresent();
    bool removeHelper();

    OptionalText displayName;
    OptionalText displayVersion;
    OptionalText defaultInstallFolder;
    OptionalText installFolder;
    OptionalText helperImagePath;
};
