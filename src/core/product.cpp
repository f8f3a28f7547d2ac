#include "core/product.h"

QTVProduct::QTVProduct(Remove::Log* sink)
    : log(sink)
{
}

QTVProduct::~QTVProduct() = default;

std::u16string NameOrDefault(const OptionalText& displayName, std::u16string_view defaultName)
{
    return displayName ? *displayName : std::u16string(defaultName);
}
