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

// The package's product, as the package's source gives it, and the packed codes Windows Installer
// files it under.
constexpr wchar_t kProductCode[] = L"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}";
constexpr char16_t kName[] = u"Software Asset Management";
const std::u16string kPacked = u"2A7D14C863E5F0B41A9DF2E7C6B5A413";
const std::u16string kPackedUpgradeCode = u"2A7D14C863E5F0B41A9DF2E7C6B5A423";
const std::u16string kPackedComponent = u"2A7D14C863E5F0B41A9DF2E7C6B5A433";

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products\\";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\";

class InstallerRegistrationTest : public LogTest {
protected:
    void SetUp() override
    {
        if (RegistryKeyPresent(W(kProducts + kPacked)))
            RunAndWait(std::wstring(L"msiexec.exe /x ") + kProductCode + L" /qn");
        ASSERT_EQ(RunAndWait(L"msiexec.exe /i \"" + TestPackage(L"sam.msi") + L"\" /qn"), 0u);
        ASSERT_TRUE(RegistryKeyPresent(W(kUserData + u"Products\\" + kPacked), KEY_WOW64_64KEY));
        ASSERT_FALSE(RegistryKeyPresent(W(kUserData + u"Products\\" + kPacked))) << "UserData shows in the program's own view";
        // The text without its terminator.
        cachedPackage_ = RegistryData(W(kUserData + u"Products\\" + kPacked + u"\\InstallProperties"), L"LocalPackage",
                                      KEY_WOW64_64KEY).c_str();
        // What the product itself left: its Uninstall entry and its one registry value go by hand.
        DeleteRegistryTree(UninstallEntryKey(kProductCode));
        DeleteRegistryTree(L"SOFTWARE\\Zantrel");
    }

    void TearDown() override
    {
        // The registration the test may have left, and what Windows Installer keeps besides it.
        DeleteRegistryTree(W(kProducts + kPacked));
        DeleteRegistryTree(W(u"SOFTWARE\\Classes\\Installer\\Features\\" + kPacked));
        DeleteRegistryTree(W(u"SOFTWARE\\Classes\\Installer\\UpgradeCodes\\" + kPackedUpgradeCode));
        DeleteRegistryTree(W(kUserData + u"Products\\" + kPacked), KEY_WOW64_64KEY);
        DeleteRegistryTree(W(kUserData + u"Components\\" + kPackedComponent), KEY_WOW64_64KEY);
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
    EXPECT_FALSE(RegistryKeyPresent(W(kUserData + u"Products\\" + kPacked), KEY_WOW64_64KEY));
    EXPECT_FALSE(RegistryKeyPresent(W(kProducts + kPacked), KEY_WOW64_64KEY));
    EXPECT_FALSE(IsInInstallerRegistry(kName, &log));
}

} // namespace
