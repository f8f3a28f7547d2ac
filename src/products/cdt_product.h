#pragma once

#include <string>
#include <vector>

#include "core/log.h"
#include "products/registered_product.h"
#include "products/console_product.h"

// The Client Deploy Tool. From console release 9.5.5.0 on it ships inside the console and is
// no component of its own; a private console recipe that writes nowhere tells which case holds.
class CDTProduct : public RegisteredProduct {
public:
    explicit CDTProduct(Remove::Log* log);
    // The names it registers under.
    static const std::vector<std::u16string>& Candidates();

    void detect() override;
    bool remove() override;

private:
    bool embeddedInConsole();
    bool findInstallFolder();
    bool findVersion();

    // Declared before the console, which writes into it, so it outlives the console.
    Remove::Log privateLog;
    ConsoleProduct console;
    OptionalText defaultInstallFolder;
    OptionalText installFolder;
};
