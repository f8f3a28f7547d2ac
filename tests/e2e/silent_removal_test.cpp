// The built program on a laid-out agent installation under Wine:
//   silent_removal_test PATH\QTVRemove.exe PATH\spawn_child.exe
// The agent's uninstaller is the spawn_child fixture, which leaves everything behind, so what
// disappears was removed by the program's own clean-up.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/win_machine.h"
#include "support/wine_main.h"

namespace {

std::wstring program;
std::wstring uninstaller;

constexpr wchar_t kUninstallEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QTV-E2E-CLIENT}";
constexpr wchar_t kClientKey[] = L"SOFTWARE\\Zantrel\\EnterpriseClient";
constexpr wchar_t kFolder[] = L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";

// What a failed run may have left, so that every run starts from a clean prefix and leaves one.
void RemoveLeftovers()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallEntry);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zantrel");
    const std::wstring executable = std::wstring(kFolder) + L"\\QTVClient.exe";
    SetFileAttributesW(executable.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(executable.c_str());
    RemoveDirectoryW(kFolder);
    RemoveDirectoryW(L"C:\\Program Files (x86)\\Zantrel Enterprise");
}

class SilentRemovalTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveLeftovers(); }
    void TearDown() override { RemoveLeftovers(); }
};

TEST_F(SilentRemovalTest, ClientSwitchRemovesAnInstalledAgent)
{
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"DisplayName", L"Velmora Zantrel Client"));
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"InstallLocation", kFolder));
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"UninstallString", L"\"" + uninstaller + L"\" exit 0"));
    ASSERT_TRUE(SetRegistryText(kClientKey, L"InstallDir", kFolder));
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Program Files (x86)\\Zantrel Enterprise", nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CopyFileW(uninstaller.c_str(), (std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW((std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(RunAndWait(L"\"" + program + L"\" /silent /client"), 0u);

    EXPECT_FALSE(RegistryKeyPresent(kUninstallEntry));
    EXPECT_FALSE(RegistryKeyPresent(kClientKey));
    EXPECT_FALSE(PathPresent(kFolder));
    EXPECT_FALSE(RegistryKeyPresent(L"SOFTWARE\\Zantrel")) << "nothing is left, so the roots went too";
    EXPECT_FALSE(PathPresent(L"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

} // namespace

const char kArguments[] = "PATH\\QTVRemove.exe PATH\\spawn_child.exe";

bool TakeArguments(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 2)
        return false;
    program = arguments[0];
    uninstaller = arguments[1];
    return true;
}
