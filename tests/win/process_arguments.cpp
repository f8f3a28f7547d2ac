// The process tests against the real system take the spawn_child fixture.
#include "support/spawn_child.h"
#include "support/wine_main.h"

const char kArguments[] = "PATH\\spawn_child.exe";

bool TakeArguments(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 1)
        return false;
    SetSpawnChildPath(std::u16string(arguments[0].begin(), arguments[0].end()));
    return true;
}
