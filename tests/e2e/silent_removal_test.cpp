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
// A symbolic-link key a user may make in the suite's key of their hive, and a key outside the
// suite it leads to.
constexpr wchar_t kUserLink[] = L"Software\\Zantrel\\Link";
constexpr wchar_t kLinkTarget[] = L"SYSTEM\\QTVLinkTarget";

// What a failed run may have left, so that every run starts from a clean prefix and leaves one.
void RemoveLeftovers()
{
    // The link goes through its own handle (an empty name deletes the handle's key): by name,
    // the system would delete what it leads to.
    HKEY link = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserLink, REG_OPTION_OPEN_LINK, DELETE, &link) == ERROR_SUCCESS) {
        RegDeleteKeyW(link, L"");
        RegCloseKey(link);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zantrel");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kLinkTarget);
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

// The agent as its installer leaves it, with an uninstaller that leaves everything behind.
void LayAgent()
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
}

TEST_F(SilentRemovalTest, ClientSwitchRemovesAnInstalledAgent)
{
    ASSERT_NO_FATAL_FAILURE(LayAgent());

    EXPECT_EQ(RunAndWait(L"\"" + program + L"\" /silent /client"), 0u);

    EXPECT_FALSE(RegistryKeyPresent(kUninstallEntry));
    EXPECT_FALSE(RegistryKeyPresent(kClientKey));
    EXPECT_FALSE(PathPresent(kFolder));
    EXPECT_FALSE(RegistryKeyPresent(L"SOFTWARE\\Zantrel")) << "nothing is left, so the roots went too";
    EXPECT_FALSE(PathPresent(L"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

// A symbolic-link key in the suite's key of the user's hive, leading to a key of the machine's
// outside the suite: the root clean-up deletes the link alone, and the key it leads to stays with
// its value and its subkey.
TEST_F(SilentRemovalTest, ALinkInTheUsersSuiteKeyGoesAndWhatItLeadsToStays)
{
    ASSERT_NO_FATAL_FAILURE(LayAgent());
    ASSERT_TRUE(SetRegistryText(std::wstring(kLinkTarget) + L"\\Parameters", L"Kept", L"1"));
    HKEY link = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUserLink, 0, nullptr, REG_OPTION_CREATE_LINK,
                              KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr), ERROR_SUCCESS);
    const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(kLinkTarget);
    EXPECT_EQ(RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                             static_cast<DWORD>(target.size() * sizeof(wchar_t))), ERROR_SUCCESS);
    RegCloseKey(link);
    ASSERT_TRUE(RegistryKeyPresent(kLinkTarget));

    EXPECT_EQ(RunAndWait(L"\"" + program + L"\" /silent /all"), 0u);

    EXPECT_FALSE(RegistryKeyPresent(kClientKey));
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kUserLink, REG_OPTION_OPEN_LINK, KEY_READ, &link), ERROR_SUCCESS)
        << "the link is gone";
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Zantrel", 0, KEY_READ, &link), ERROR_SUCCESS);
    EXPECT_EQ(RegistryData(std::wstring(kLinkTarget) + L"\\Parameters", L"Kept"), std::wstring(L"1", 2));
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
