#pragma once

#include <memory>
#include <vector>

#include "core/catalogue.h"
#include "core/product.h"

namespace Remove {
class Log;
}

// The component objects of one run, owned, with the catalogue's view of them.
struct Products {
    std::vector<std::unique_ptr<QTVProduct>> owned;
    ProductSet set;
};

// One object of each component class this build contains, all on `log`.
Products MakeProducts(Remove::Log* log);
