#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The server with its Web Reports component: five services and three folders (the install
// folder, the server's web root and the Web Reports web root). Its databases belong to the
// supporting-databases component.
class ServerProduct : public RegisteredProduct {
public:
    explicit ServerProduct(Remove::Log* log);

    // Folder existence is logged but never counts: only the registration, the server keys
    // (unless the shared key carries a relay's marker) and the services do.
    void detect() override;
    // Runs the registered uninstaller, then removes services, folders (Web Reports web root
    // first, install folder last), keys and installer traces; false if any of those failed.
    bool remove() override;

    // Every name the server has been registered under, newest first.
    static const std::vector<std::u16string>& Candidates();

private:
    void resolveDefaultFolders();
    void findServerWebRoot();
    void findReportsWebRoot();
    bool checkServerKeys();

    OptionalText defaultInstallFolder;
    OptionalText defaultServerWebRoot;
    OptionalText defaultReportsWebRoot;
    OptionalText installFolder;
    OptionalText serverWebRoot;
    OptionalText reportsWebRoot;
};
