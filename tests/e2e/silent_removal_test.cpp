// The built program on a laid-out agent installation under Wine:
//   silent_removal_test PATH\QTVRemove.exe PATH\spawn_child.exe
// The agent's uninstaller is the spawn_child fixture, which leaves everything behind, so what
// disappears was removed by the program's own clean-up.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring program;
std::wstring uninstaller;

constexpr wchar_t kUninstallEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QTV-E2E-CLIENT}";
constexpr wchar_t kClientKey[] = L"SOFTWARE\\Zantrel\\EnterpriseClient";
constexpr wchar_t kFolder[] = L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";

void SetText(const wchar_t* key, const wchar_t* name, const std::wstring& value)
{
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr), 0);
    ASSERT_EQ(RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              0);
    RegCloseKey(opened);
}

bool KeyExists(const wchar_t* key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != 0)
        return false;
    RegCloseKey(opened);
    return true;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RunProgram(std::wstring commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

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
    SetText(kUninstallEntry, L"DisplayName", L"Velmora Zantrel Client");
    SetText(kUninstallEntry, L"InstallLocation", kFolder);
    SetText(kUninstallEntry, L"UninstallString", L"\"" + uninstaller + L"\" exit 0");
    SetText(kClientKey, L"InstallDir", kFolder);
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Program Files (x86)\\Zantrel Enterprise", nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CopyFileW(uninstaller.c_str(), (std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW((std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_EQ(RunProgram(L"\"" + program + L"\" /silent /client"), 0u);

    EXPECT_FALSE(KeyExists(kUninstallEntry));
    EXPECT_FALSE(KeyExists(kClientKey));
    EXPECT_FALSE(Exists(kFolder));
    EXPECT_FALSE(KeyExists(L"SOFTWARE\\Zantrel")) << "nothing is left, so the roots went too";
    EXPECT_FALSE(Exists(L"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        fprintf(stderr, "usage: silent_removal_test PATH\\QTVRemove.exe PATH\\spawn_child.exe\n");
        return 2;
    }
    const std::string first = argv[1];
    const std::string second = argv[2];
    program.assign(first.begin(), first.end());
    uninstaller.assign(second.begin(), second.end());
    return RUN_ALL_TESTS();
}
