#pragma once

#include <memory>
#include <string>
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

// Every name the suite's components register under in the Uninstall list: the catalogue's names
// and every candidate each recipe looks for. An entry under any other name is another product's.
const std::vector<std::u16string>& SuiteDisplayNames();
