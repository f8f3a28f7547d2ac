#include "support/wine_main.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/win_machine.h"

namespace {

// Every file a test program under Wine is given but the packages: the built program, and the
// fixture programs and libraries the tests run, lay or plant.
constexpr const wchar_t* kFiles[] = {L"QTVRemove.exe", L"spawn_child.exe", L"fixture_service.exe",
                                     L"uninstaller_standin.exe", L"versioned.exe", L"planted.exe",
                                     L"version_proxy.dll", L"careless.exe"};
constexpr wchar_t kPackageEnding[] = L".msi";

std::map<std::wstring, std::wstring>& Given()
{
    static std::map<std::wstring, std::wstring> files;
    return files;
}

std::vector<std::wstring>& Packages()
{
    static std::vector<std::wstring> packages;
    return packages;
}

bool EndsWith(const std::wstring& path, const std::wstring& ending)
{
    return path.size() >= ending.size() &&
           CompareStringOrdinal(path.c_str() + path.size() - ending.size(), -1, ending.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether the path names a file called `name`, in a folder or on its own.
bool Names(const std::wstring& path, const std::wstring& name)
{
    return EndsWith(path, name) && (path.size() == name.size() || path[path.size() - name.size() - 1] == L'\\' ||
                                    path[path.size() - name.size() - 1] == L'/');
}

} // namespace

bool TakeTestFiles(const std::vector<std::wstring>& arguments)
{
    for (const std::wstring& path : arguments) {
        if (EndsWith(path, kPackageEnding)) {
            Packages().push_back(path);
            continue;
        }
        const auto file = std::find_if(std::begin(kFiles), std::end(kFiles), [&path](const wchar_t* name) { return Names(path, name); });
        if (file == std::end(kFiles))
            return false;
        Given()[*file] = path;
    }
    return true;
}

std::string TestFileNames()
{
    std::string names;
    for (const wchar_t* file : kFiles)
        names += "PATH\\" + Narrow(file) + " ";
    return names + "PATH\\PACKAGE.msi";
}

const std::wstring& TestFile(const wchar_t* name)
{
    const auto given = Given().find(name);
    if (given != Given().end())
        return given->second;
    static const std::wstring none;
    ADD_FAILURE() << "the command line gives no " << Narrow(name);
    return none;
}

std::wstring TestPackage(const std::wstring& name)
{
    for (const std::wstring& path : Packages())
        if (Names(path, name))
            return path;
    return name;
}
