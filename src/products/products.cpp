#include "products/products.h"

#include "database/database_product.h"
#include "products/cdt_product.h"
#include "products/client_product.h"
#include "products/console_product.h"
#include "products/relay_product.h"
#include "products/server_product.h"

namespace {

template <class Recipe>
void Add(Products& products, ProductId id, Remove::Log* log)
{
    products.owned.push_back(std::make_unique<Recipe>(log));
    products.set[id] = products.owned.back().get();
}

} // namespace

Products MakeProducts(Remove::Log* log)
{
    Products products;
    Add<ConsoleProduct>(products, ProductId::Console, log);
    Add<CDTProduct>(products, ProductId::ClientDeployTool, log);
    Add<RelayProduct>(products, ProductId::Relay, log);
    Add<ServerProduct>(products, ProductId::Server, log);
    Add<ClientProduct>(products, ProductId::Client, log);
    Add<DatabaseProduct>(products, ProductId::SupportingDatabases, log);
    // The remaining components take their catalogue slots as their recipes are written; until
    // then their slots stay empty and the drivers pass them by.
    return products;
}
