#include "core/catalogue.h"

namespace {

using P = ProductId;

// Indexed by ProductId, which is the removal order.
constexpr CatalogueEntry kCatalogue[kProductCount] = {
    {P::WebUI, 1, "WebUIProduct", u"WebUI Service", true, u"/webui", u"WebUI Service", true},
    {P::A2A, 2, "A2AProduct", u"A2A", false, u"/a2a", u"Agent-to-agent API", true},
    {P::PlatformAPI, 3, "PlatformAPIProduct", u"Platform API", true, u"/api", u"Platform API",
     false},
    {P::Console, 4, "ConsoleProduct", u"Console", true, u"/console", u"Console", false},
    {P::SoftwareAssetManagement, 5, "DEVIRAProduct", u"Software Asset Management", false,
     u"/sam", u"Software Asset Management", false},
    {P::ClientDeployTool, 6, "CDTProduct", u"Client Deploy Tool", true, u"/cdt",
     u"Client Deploy Tool", true},
    {P::Relay, 7, "RelayProduct", u"Relay", true, u"/relay", u"Relay", true},
    {P::Server, 8, "ServerProduct", u"Server", true, u"/server", u"Server", true},
    {P::DLP, 9, "DLPProduct", u"DLP", false, u"/dlp", u"DLP", false},
    {P::ClientLoggingService, 10, "LoggingServiceProduct", u"Client Logging Service", false,
     u"/loggingservice", u"Client Logging Service", false},
    {P::Client, 11, "ClientProduct", u"Agent", true, u"/client", u"Agent", false},
    {P::SupportingDatabases, 12, "DatabaseProduct", u"Supporting Databases", false,
     u"/database", u"Supporting Databases", false},
    {P::InstallationGenerator, 13, "InstallersProduct", u"Deployment Installer", true,
     u"/generator", u"Installation Generator", false},
    {P::MSDE, 14, "MSDEProduct", u"Microsoft SQL Server Desktop Engine", false, u"/msde",
     u"Microsoft SQL Desktop Engine", false},
};

} // namespace

const CatalogueEntry& Catalogue(ProductId id)
{
    return kCatalogue[static_cast<std::size_t>(id)];
}

const ProductOrder kRemovalOrder = {
    P::WebUI, P::A2A, P::PlatformAPI, P::Console, P::SoftwareAssetManagement,
    P::ClientDeployTool, P::Relay, P::Server, P::DLP, P::ClientLoggingService, P::Client,
    P::SupportingDatabases, P::InstallationGenerator, P::MSDE,
};

const ProductOrder kSilentDetectionOrder = {
    P::WebUI, P::A2A, P::PlatformAPI, P::Console, P::SoftwareAssetManagement,
    P::ClientDeployTool, P::Server, P::Relay, P::DLP, P::ClientLoggingService, P::Client,
    P::SupportingDatabases, P::InstallationGenerator, P::MSDE,
};

const ProductOrder kWindowOrder = {
    P::MSDE, P::Client, P::ClientLoggingService, P::DLP, P::Console, P::ClientDeployTool,
    P::SupportingDatabases, P::InstallationGenerator, P::PlatformAPI, P::Relay, P::Server,
    P::WebUI, P::SoftwareAssetManagement, P::A2A,
};

const std::array<ProductId, 5> kClientDependents = {
    P::A2A, P::ClientDeployTool, P::Relay, P::Server, P::WebUI,
};

const std::array<Companion, 2> kCompanions = {{
    {P::Client, P::ClientLoggingService},
    {P::ClientLoggingService, P::DLP},
}};
