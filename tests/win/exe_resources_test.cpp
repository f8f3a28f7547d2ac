// What the built program carries: the manifest's three settings and the icon.
//
//   exe_resources_test PATH\QTVRemove.exe

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring programPath;

class ExeResourcesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(programPath.c_str(), nullptr,
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

    HMODULE module = nullptr;
};

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
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(
        reinterpret_cast<ULONG_PTR>(module) & ~static_cast<ULONG_PTR>(3));
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        reinterpret_cast<const char*>(dos) + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: exe_resources_test PATH\\QTVRemove.exe\n");
        return 2;
    }
    const std::string path = argv[1];
    programPath.assign(path.begin(), path.end());
    return RUN_ALL_TESTS();
}
