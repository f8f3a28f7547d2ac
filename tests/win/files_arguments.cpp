// The file and shell tests against the real system take the versioned fixture.
#include "support/versioned_file.h"
#include "support/wine_main.h"

const char kArguments[] = "PATH\\versioned.exe";

bool TakeArguments(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 1)
        return false;
    VersionedFilePath() = std::u16string(arguments[0].begin(), arguments[0].end());
    return true;
}
