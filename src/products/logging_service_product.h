#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The agent's logging service, a package of its own registered as "QTV Logging Service". A
// companion of the agent: it goes with it, and DLP goes with it.
class LoggingServiceProduct : public RegisteredProduct {
public:
    explicit LoggingServiceProduct(Remove::Log* log);
    // The names it registers under.
    static const std::vector<std::u16string>& Candidates();

    void detect() override;
    // Runs the package's own uninstall command, else the registered one; a package still
    // registered afterwards ends the removal with false and nothing cleaned. Then deletes the
    // folder, the settings key and the installer traces; false if any of those failed.
    bool remove() override;

private:
    bool findInstallFolder();

    OptionalText installFolder;
    OptionalText defaultFolder;
};
