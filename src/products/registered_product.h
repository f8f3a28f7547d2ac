#pragma once

#include <string>

#include "core/catalogue.h"
#include "core/product.h"

// A component as the drivers show it: the display name detection found, or its catalogue name
// until then (always, for a component registered under no name of its own), and the version
// detection found.
class RegisteredProduct : public QTVProduct {
public:
    std::u16string name() const override;
    OptionalText version() const override;

protected:
    // `fallbackName` is the display name the lookups use when detection found none.
    RegisteredProduct(Remove::Log* log, ProductId id, std::u16string fallbackName);
    // The lookups use the catalogue name.
    RegisteredProduct(Remove::Log* log, ProductId id);

    // The display name the lookups use: the one found, or the fallback.
    std::u16string registeredName() const;

    OptionalText displayName;
    OptionalText displayVersion;

private:
    ProductId id_;
    std::u16string fallbackName_;
};
