#pragma once

#include "products/registered_product.h"

// The agent's DLP add-on in the "DLP" folder of the agent's install folder, removed by its own
// control program. A companion of the logging service, removed right before it.
class DLPProduct : public RegisteredProduct {
public:
    explicit DLPProduct(Remove::Log* log);

    void detect() override;
    // Runs the control program's uninstall when it is there, then deletes the folder and the
    // settings key; false if either deletion failed.
    bool remove() override;

private:
    bool findInstallFolder();
    bool findVersion();

    OptionalText installFolder;
    OptionalText defaultFolder;
};
