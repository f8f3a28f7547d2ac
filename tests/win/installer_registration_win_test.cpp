// Windows Installer's registration of a real package, left behind after its files and its
// Uninstall entry are gone: the lookup finds it in all three places and the trace removal deletes
// it, UserData included, which a 32-bit program sees only in the 64-bit registry view.
//
//   installer_registration_tests PATH\sam.msi

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/log.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/win_machine.h"
#include "support/wine_main.h"
#include "toolkit/installer_traces.h"
#include "toolkit/uninstall_lookups.h"

namespace {

std::wstring packagePath;

// The package's product, as the package's source gives it, and the packed codes Windows Installer
// files it under.
constexpr wchar_t kProductCode[] = L"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}";
constexpr char16_t kName[] = u"Software Asset Management";
const std::u16string kPacked = u"2A7D14C863E5F0B41A9DF2E7C6B5A413";
const std::u16string kPackedUpgradeCode = u"2A7D14C863E5F0B41A9DF2E7C6B5A423";
const std::u16string kPackedComponent = u"2A7D14C863E5F0B41A9DF2E7C6B5A433";

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products\\";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\";

const wchar_t* W(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

bool KeyPresent(const std::u16string& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::wstring ReadText(const std::u16string& path, const wchar_t* name, REGSAM view)
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return {};
    RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return buffer;
}

void DeleteTree(const std::u16string& path, REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    HKEY parent = nullptr;
    const std::u16string parentPath = path.substr(0, path.find_last_of(u'\\'));
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(parentPath), 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        RegDeleteKeyExW(parent, W(path.substr(path.find_last_of(u'\\') + 1)), view, 0);
        RegCloseKey(parent);
    }
}

class InstallerRegistrationTest : public LogTest {
protected:
    void SetUp() override
    {
        if (KeyPresent(kProducts + kPacked, 0))
            RunAndWait(std::wstring(L"msiexec.exe /x ") + kProductCode + L" /qn");
        ASSERT_EQ(RunAndWait(L"msiexec.exe /i \"" + packagePath + L"\" /qn"), 0u);
        ASSERT_TRUE(KeyPresent(kUserData + u"Products\\" + kPacked, KEY_WOW64_64KEY));
        ASSERT_FALSE(KeyPresent(kUserData + u"Products\\" + kPacked, 0)) << "UserData shows in the program's own view";
        cachedPackage_ = ReadText(kUserData + u"Products\\" + kPacked + u"\\InstallProperties", L"LocalPackage",
                                  KEY_WOW64_64KEY);
        // What the product itself left: its Uninstall entry and its one registry value go by hand.
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kProductCode).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zantrel");
    }

    void TearDown() override
    {
        // The registration the test may have left, and what Windows Installer keeps besides it.
        DeleteTree(kProducts + kPacked, 0);
        DeleteTree(u"SOFTWARE\\Classes\\Installer\\Features\\" + kPacked, 0);
        DeleteTree(u"SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + kPackedUpgradeCode, 0);
        DeleteTree(kUserData + u"Products\\" + kPacked, KEY_WOW64_64KEY);
        DeleteTree(kUserData + u"Components\\" + kPackedComponent, KEY_WOW64_64KEY);
        if (!cachedPackage_.empty())
            DeleteFileW(cachedPackage_.c_str());
    }

    std::wstring cachedPackage_;
};

TEST_F(InstallerRegistrationTest, TheLookupFindsUserDataAndTheTraceRemovalDeletesIt)
{
    EXPECT_TRUE(IsInInstallerRegistry(kName, &log));
    EXPECT_EQ(text(), u"Looking for product \"Software Asset Management\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
                      u"Looking for removed product \"Software Asset Management\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
                      u"Looking for \"Software Asset Management\" installer properties in \"" + kUserData + u"Products\"...\r\n"
                      u"...found key \"" + kPacked + u"\"\r\n"
                      u"...found key \"" + kPacked + u"\"\r\n");

    EXPECT_TRUE(RemoveInstallerTraces(kName, &log));
    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\" + kPacked + u"\"...found\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\" + kPacked + u"\"...done\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + kPackedUpgradeCode + u"\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kUserData + u"Products\\" + kPacked + u"\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kProducts + kPacked + u"\"...done\r\n");
    EXPECT_FALSE(KeyPresent(kUserData + u"Products\\" + kPacked, KEY_WOW64_64KEY));
    EXPECT_FALSE(KeyPresent(kProducts + kPacked, KEY_WOW64_64KEY));
    EXPECT_FALSE(IsInInstallerRegistry(kName, &log));
}

} // namespace

const char kArguments[] = "PATH\\sam.msi";

bool TakeArguments(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() != 1)
        return false;
    packagePath = arguments[0];
    return true;
}
