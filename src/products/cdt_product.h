#pragma once

#include <string>

#include "core/log.h"
#include "core/product.h"
#include "products/console_product.h"

// The Client Deploy Tool. From console release 9.5.5.0 on it ships inside the console and is
// no component of its own; a private console recipe that writes nowhere tells which case holds.
class CDTProduct : public QTVProduct {
public:
    explicit CDTProduct(Remove::Log* log);

    std::u16string name() const override;
    OptionalText version() const override;
    void detect() override;
    bool remove() override;

private:
    bool embeddedInConsole();
    bool findInstallFolder();
    bool findVersion();
    std::u16string registeredName() const;

    // Declared before the console, which writes into it, so it outlives the console.
    Remove::Log privateLog;
    ConsoleProduct console;
    OptionalText displayName;
    OptionalText displayVersion;
    OptionalText defaultInstallFolder;
    OptionalText installFolder;
};
