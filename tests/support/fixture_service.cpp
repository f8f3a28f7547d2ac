#include "support/fixture_service.h"

namespace {

std::u16string& Stored()
{
    static std::u16string path;
    return path;
}

} // namespace

void SetFixtureServicePath(std::u16string path)
{
    Stored() = std::move(path);
}

const std::u16string& FixtureServicePath()
{
    return Stored();
}
