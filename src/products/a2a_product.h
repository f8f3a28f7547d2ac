#pragma once

#include "products/registered_product.h"

// The agent-to-agent API: a library beside the agent, with no uninstaller, service or installer
// registration. It is found through its key, its folder and its library's version, and removed
// by deleting the folder and the key.
class A2AProduct : public RegisteredProduct {
public:
    explicit A2AProduct(Remove::Log* log);

    void detect() override;
    bool remove() override;

private:
    bool findInstallFolder();
    bool findVersion();

    OptionalText installFolder;
    OptionalText defaultInstallFolder;
};
