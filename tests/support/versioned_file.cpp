#include "support/versioned_file.h"

std::u16string& VersionedFilePath()
{
    static std::u16string path = u"C:\\qtv\\versioned.exe";
    return path;
}
