#include "products/products.h"

#include "products/database_product.h"
#include "products/a2a_product.h"
#include "products/cdt_product.h"
#include "products/client_product.h"
#include "products/console_product.h"
#include "products/dlp_product.h"
#include "products/installers_product.h"
#include "products/logging_service_product.h"
#include "products/msde_product.h"
#include "products/platform_api_product.h"
#include "products/relay_product.h"
#include "products/sam_product.h"
#include "products/server_product.h"
#include "products/webui_product.h"

namespace {

template <class Recipe>
void Add(Products& products, ProductId id, Remove::Log* log)
{
    products.owned.push_back(std::make_unique<Recipe>(log));
    products.set[id] = products.owned.back().get();
}

} // namespace

const std::vector<std::u16string>& SuiteDisplayNames()
{
    static const std::vector<std::u16string> names = [] {
        std::vector<std::u16string> all;
        for (std::size_t id = 0; id < kProductCount; ++id)
            all.emplace_back(Catalogue(static_cast<ProductId>(id)).defaultName);
        for (const std::vector<std::u16string>* candidates :
             {&WebUIProduct::Candidates(), &PlatformAPIProduct::Candidates(), &ConsoleProduct::Candidates(),
              &CDTProduct::Candidates(), &RelayProduct::Candidates(), &ServerProduct::Candidates(),
              &LoggingServiceProduct::Candidates(), &ClientProduct::Candidates(), &InstallersProduct::Candidates()})
            all.insert(all.end(), candidates->begin(), candidates->end());
        return all;
    }();
    return names;
}

Products MakeProducts(Remove::Log* log)
{
    Products products;
    Add<WebUIProduct>(products, ProductId::WebUI, log);
    Add<A2AProduct>(products, ProductId::A2A, log);
    Add<PlatformAPIProduct>(products, ProductId::PlatformAPI, log);
    Add<ConsoleProduct>(products, ProductId::Console, log);
    Add<DEVIRAProduct>(products, ProductId::SoftwareAssetManagement, log);
    Add<CDTProduct>(products, ProductId::ClientDeployTool, log);
    Add<RelayProduct>(products, ProductId::Relay, log);
    Add<ServerProduct>(products, ProductId::Server, log);
    Add<DLPProduct>(products, ProductId::DLP, log);
    Add<LoggingServiceProduct>(products, ProductId::ClientLoggingService, log);
    Add<ClientProduct>(products, ProductId::Client, log);
    Add<DatabaseProduct>(products, ProductId::SupportingDatabases, log);
    Add<InstallersProduct>(products, ProductId::InstallationGenerator, log);
    Add<MSDEProduct>(products, ProductId::MSDE, log);
    return products;
}
