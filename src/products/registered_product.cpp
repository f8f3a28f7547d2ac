#include "products/registered_product.h"

#include <utility>

RegisteredProduct::RegisteredProduct(Remove::Log* sink, ProductId id, std::u16string fallbackName)
    : QTVProduct(sink), id_(id), fallbackName_(std::move(fallbackName))
{
}

RegisteredProduct::RegisteredProduct(Remove::Log* sink, ProductId id)
    : RegisteredProduct(sink, id, std::u16string(Catalogue(id).defaultName))
{
}

std::u16string RegisteredProduct::name() const
{
    return NameOrDefault(displayName, Catalogue(id_).defaultName);
}

OptionalText RegisteredProduct::version() const
{
    return displayVersion;
}

std::u16string RegisteredProduct::registeredName() const
{
    return displayName.value_or(fallbackName_);
}
