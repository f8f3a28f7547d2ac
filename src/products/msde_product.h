#pragma once

#include "products/registered_product.h"

// The desktop SQL engine, judged only by its Uninstall entry: nothing of it is removed by hand.
class MSDEProduct : public RegisteredProduct {
public:
    explicit MSDEProduct(Remove::Log* log);

    // Installed when an uninstall command is registered under its name.
    void detect() override;
    // Runs that command silently; false when it is still registered afterwards.
    bool remove() override;
};
