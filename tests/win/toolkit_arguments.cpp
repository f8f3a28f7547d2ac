// The tests against the real system that need the fixture service (the toolkit's, the
// databases') take its program.
#include "support/fixture_service.h"
#include "support/wine_main.h"

const char kArguments[] = "PATH\\fixture_service.exe";

bool TakeArguments(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 1)
        return false;
    SetFixtureServicePath(std::u16string(arguments[0].begin(), arguments[0].end()));
    return true;
}
