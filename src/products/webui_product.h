#pragma once

#include <string>
#include <vector>

#include "products/registered_product.h"

// The WebUI service beside the agent: its install, sites and ETL folders, its service, and the
// agent settings that configure it.
class WebUIProduct : public RegisteredProduct {
public:
    explicit WebUIProduct(Remove::Log* log);
    // The names it registers under.
    static const std::vector<std::u16string>& Candidates();

    void detect() override;
    // Runs the registered uninstaller with the WebUI's own response file, then stops and deletes
    // the service (waiting up to a minute), deletes the three folders, the settings and the
    // installer traces; false if any of those failed.
    bool remove() override;

private:
    void resolveDefaultFolders();
    bool findInstallFolder();
    bool findSitesFolder();
    bool findEtlFolder();
    bool findVersion();
    bool checkSettingKeys();
    bool deleteSettingKeys();

    OptionalText defaultInstallFolder;
    OptionalText installFolder;
    OptionalText defaultSitesFolder;
    OptionalText sitesFolder;
    OptionalText defaultEtlFolder;
    OptionalText etlFolder;
};
