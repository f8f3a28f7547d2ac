#pragma once

#include "products/registered_product.h"

// Software asset management, an installer package registered as "Software Asset Management".
class DEVIRAProduct : public RegisteredProduct {
public:
    explicit DEVIRAProduct(Remove::Log* log);

    void detect() override;
    // Runs the registered uninstaller, then removes the settings key and every installer trace
    // of the name; false if any of those failed.
    bool remove() override;
};
