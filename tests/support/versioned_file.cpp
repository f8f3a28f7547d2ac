#include "support/versioned_file.h"

#ifdef _WIN32
#include "support/wine_main.h"
#endif

std::u16string VersionedFilePath()
{
#ifdef _WIN32
    const std::wstring& path = TestFile(L"versioned.exe");
    return std::u16string(path.begin(), path.end());
#else
    return u"C:\\qtv\\versioned.exe";
#endif
}
