// What the built program carries: the manifest's three settings, the icon, and the imports and
// load configuration that keep it from loading a DLL planted beside it.
//
//   exe_resources_test PATH\QTVRemove.exe

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>
#include <vector>
#include "app/delay_load.h"
#include "support/wine_main.h"

namespace {

class ExeResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(TestFile(L"QTVRemove.exe").c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot load the program, error " << GetLastError();
    }
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
    }

    std::string manifest() const
    {
        HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        if (!resource)
            return {};
        HGLOBAL loaded = LoadResource(module, resource);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return std::string(data, SizeofResource(module, resource));
    }

    const IMAGE_NT_HEADERS32* headers() const
    {
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image());
        return reinterpret_cast<const IMAGE_NT_HEADERS32*>(image() + dos->e_lfanew);
    }

    // The image as the loader lays it out (sections at their addresses), so that an RVA is an
    // offset from its start.
    const char* image() const
    {
        return reinterpret_cast<const char*>(reinterpret_cast<ULONG_PTR>(module) & ~static_cast<ULONG_PTR>(3));
    }

    HMODULE module = nullptr;
};

std::wstring Lower(const char* name)
{
    std::wstring text;
    for (; *name; ++name)
        text += static_cast<wchar_t>(std::towlower(static_cast<unsigned char>(*name)));
    return text;
}

TEST_F(ExeResourcesTest, ManifestRequiresAdministratorDeclaresDpiAwarenessAndCommonControls6)
{
    const std::string text = manifest();
    ASSERT_FALSE(text.empty()) << "no manifest resource";
    EXPECT_NE(text.find("<requestedExecutionLevel level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(text.find(">true</dpiAware>"), std::string::npos);
    const auto controls = text.find("name=\"Microsoft.Windows.Common-Controls\"");
    ASSERT_NE(controls, std::string::npos);
    const auto end = text.find("/>", controls);
    const std::string identity = text.substr(controls, end - controls);
    EXPECT_NE(identity.find("version=\"6.0.0.0\""), std::string::npos) << identity;
}

TEST_F(ExeResourcesTest, CarriesIcon162)
{
    EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(162), MAKEINTRESOURCEW(14)), nullptr);
}

TEST_F(ExeResourcesTest, IsA32BitGuiProgram)
{
    ASSERT_EQ(reinterpret_cast<const IMAGE_DOS_HEADER*>(image())->e_magic, IMAGE_DOS_SIGNATURE);
    EXPECT_EQ(headers()->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(headers()->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

// The loader looks for a static import in the program's own folder first, unless the DLL is one
// of Windows' KnownDLLs, which always come from the system folder. These five are, and ntdll.dll is
// mapped into every process by the kernel before any DLL is searched for; every other DLL is
// delay-loaded, after start-up has limited the search to the system folder.
TEST_F(ExeResourcesTest, ImportsOnlyKnownDllsStatically)
{
    const IMAGE_DATA_DIRECTORY& directory = headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    std::vector<std::wstring> imported;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image() + directory.VirtualAddress);
         entry->Name != 0; ++entry)
        imported.push_back(Lower(image() + entry->Name));
    EXPECT_EQ(imported, (std::vector<std::wstring>{L"advapi32.dll", L"gdi32.dll", L"kernel32.dll", L"msvcrt.dll",
                                                    L"ntdll.dll", L"user32.dll"}));
}

// The second lock, for Windows 10 1607 and later: the load configuration's DependentLoadFlags
// limit the search for the DLLs the program imports to the system folder.
TEST_F(ExeResourcesTest, LoadConfigurationSearchesTheSystemFolderOnly)
{
    const IMAGE_DATA_DIRECTORY& directory =
        headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    ASSERT_NE(directory.VirtualAddress, 0u) << "the image has no load configuration";
    EXPECT_EQ(directory.Size, 64u);
    const auto* config = reinterpret_cast<const IMAGE_LOAD_CONFIG_DIRECTORY32*>(image() + directory.VirtualAddress);
    EXPECT_EQ(config->Size, sizeof(IMAGE_LOAD_CONFIG_DIRECTORY32));
    EXPECT_EQ(config->Reserved1, LOAD_LIBRARY_SEARCH_SYSTEM32) << "DependentLoadFlags";
}

// The third lock, where SetDefaultDllDirectories is missing: the delay-load hook loads the system
// folder's copy, with a DLL of the same name planted beside the program and in the current folder.
TEST(DelayLoadTest, LoadsTheSystemFoldersCopyWhateverIsPlantedBesideTheProgram)
{
    wchar_t self[MAX_PATH];
    const std::wstring own(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::wstring planted = own.substr(0, own.find_last_of(L'\\')) + L"\\UxTheme.dll";
    ASSERT_TRUE(CopyFileW(TestFile(L"version_proxy.dll").c_str(), planted.c_str(), FALSE)) << GetLastError();
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    SetCurrentDirectoryW(own.substr(0, own.find_last_of(L'\\')).c_str());

    const HMODULE module = LoadFromSystemFolder("UxTheme.dll");

    SetCurrentDirectoryW(current);
    ASSERT_NE(module, nullptr);
    wchar_t loaded[MAX_PATH];
    wchar_t system[MAX_PATH];
    const std::wstring loadedPath(loaded, GetModuleFileNameW(module, loaded, MAX_PATH));
    const std::wstring systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));
    EXPECT_EQ(_wcsicmp(loadedPath.substr(0, loadedPath.find_last_of(L'\\')).c_str(), systemFolder.c_str()), 0)
        << "loaded from " << std::string(loadedPath.begin(), loadedPath.end());
    EXPECT_EQ(GetModuleHandleW(planted.c_str()), nullptr) << "the planted copy was loaded";
    FreeLibrary(module);
    EXPECT_TRUE(DeleteFileW(planted.c_str())) << GetLastError();
    // Version 6 of the common controls comes from the side-by-side store: left to the loader.
    EXPECT_EQ(LoadFromSystemFolder("COMCTL32.dll"), nullptr);
}

} // namespace
