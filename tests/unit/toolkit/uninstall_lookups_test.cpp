#include "toolkit/uninstall_lookups.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "support/recipe_test.h"

namespace {

class UninstallLookupsTest : public RecipeTest {
protected:
    void value(const std::u16string& key, const std::u16string& name, const std::u16string& text,
               DWORD type = REG_SZ)
    {
        registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\" + key, name, text, type);
    }
};

TEST_F(UninstallLookupsTest, TwoEntriesWithTheSameNameAreBothListedAndTheFirstCommandWins)
{
    addUninstallEntry(u"{A-FIRST}", u"Zantrel Agent");
    addUninstallEntry(u"{B-SECOND}", u"Zantrel Agent");
    value(u"{B-SECOND}", u"UninstallString", u"MsiExec.exe /X{B-SECOND}");
    addUninstallEntry(u"{C-THIRD}", u"Zantrel Agent");
    value(u"{C-THIRD}", u"UninstallString", u"MsiExec.exe /X{C-THIRD}");

    EXPECT_TRUE(IsInUninstallList(u"Zantrel Agent", &log));
    EXPECT_EQ(FindUninstallString(u"Zantrel Agent", &log), u"MsiExec.exe /X{B-SECOND}");

    EXPECT_EQ(text(), u"Looking for product \"Zantrel Agent\" in \"" + kUninstallList + u"\"...\r\n"
                      u"...found key \"{A-FIRST}\"\r\n...found key \"{B-SECOND}\"\r\n...found key \"{C-THIRD}\"\r\n"
                      u"Looking for an uninstall string for \"Zantrel Agent\"...\r\n"
                      u"...found command MsiExec.exe /X{B-SECOND}\r\n");
}

TEST_F(UninstallLookupsTest, NamesMatchExactlyAndOnlyAsText)
{
    addUninstallEntry(u"{CASE}", u"zantrel agent");
    addUninstallEntry(u"{BLANK}", u"Zantrel Agent ");
    registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{EXPAND}", u"DisplayName", u"Zantrel Agent", REG_EXPAND_SZ);

    EXPECT_FALSE(IsInUninstallList(u"Zantrel Agent", &log));
    EXPECT_EQ(text(), u"Looking for product \"Zantrel Agent\" in \"" + kUninstallList + u"\"...not found\r\n");
}

TEST_F(UninstallLookupsTest, InstallLocationIsExpandedAndOtherTypesAreAbsent)
{
    addUninstallEntry(u"{AGENT}", u"Zantrel Agent");
    value(u"{AGENT}", u"InstallLocation", u"%ProgramFiles%\\Zantrel Enterprise\\Agent", REG_EXPAND_SZ);
    addUninstallEntry(u"{RELAY}", u"Zantrel Relay");
    registry().setDword(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{RELAY}", u"InstallLocation", 7);
    value(u"{RELAY}", u"DisplayVersion", u"9.5.10.79");

    EXPECT_EQ(FindInstallLocation(u"Zantrel Agent", &log), u"C:\\Program Files (x86)\\Zantrel Enterprise\\Agent");
    EXPECT_FALSE(FindInstallLocation(u"Zantrel Relay", &log));
    EXPECT_EQ(FindDisplayVersion(u"Zantrel Relay", &log), u"9.5.10.79");
    EXPECT_FALSE(FindDisplayVersion(u"Zantrel Agent", &log));

    EXPECT_EQ(text(), u"Looking for the install location of \"Zantrel Agent\" in \"HKLM\\" + kUninstallList + u"\"..."
                      u"found path \"C:\\Program Files (x86)\\Zantrel Enterprise\\Agent\"\r\n"
                      u"Looking for the install location of \"Zantrel Relay\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
                      u"Looking for the display version of \"Zantrel Relay\" in \"HKLM\\" + kUninstallList + u"\"...found version 9.5.10.79\r\n"
                      u"Looking for the display version of \"Zantrel Agent\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n");
}

TEST_F(UninstallLookupsTest, KeyLookupsNameTheirValue)
{
    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Relay", u"InstallDir", u"D:\\Relay");

    EXPECT_EQ(FindInstallLocationInKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Relay", u"InstallDir", &log), u"D:\\Relay");
    EXPECT_FALSE(FindUninstallStringInKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Relay", u"Uninstall", u"Relay", &log));
    EXPECT_EQ(text(), u"Looking for the install location in \"HKLM\\SOFTWARE\\Zantrel\\Relay:[InstallDir]\"...found path \"D:\\Relay\"\r\n"
                      u"Looking for an uninstall string for \"Relay\" in key \"HKLM\\SOFTWARE\\Zantrel\\Relay:[Uninstall]\"...not found\r\n");
}

TEST_F(UninstallLookupsTest, InstallerRegistryWritesThreeTextsOnOneLine)
{
    EXPECT_FALSE(IsInInstallerRegistry(u"Zantrel Agent", &log));
    EXPECT_EQ(text(), u"Looking for product \"Zantrel Agent\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
                      u"Looking for removed product \"Zantrel Agent\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
                      u"Looking for \"Zantrel Agent\" installer properties in \"SOFTWARE\\Microsoft\\Windows\\"
                      u"CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\"...not found\r\n");

    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Installer\\Products\\ABC", u"RemovedProductName", u"Zantrel Agent");
    registry().setString(HKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\ABC\\InstallProperties",
                         u"DisplayName", u"Zantrel Agent");
    EXPECT_TRUE(IsInInstallerRegistry(u"Zantrel Agent", &log));
    EXPECT_NE(text().find(u"...\r\n...found key \"ABC\"\r\n...found key \"ABC\"\r\n"), std::u16string::npos);
}

TEST_F(UninstallLookupsTest, FirstInstalledNameTriesEveryProbe)
{
    const std::vector<std::u16string> names = {u"Zantrel Agent", u"Old Agent", u"Older Agent"};
    EXPECT_FALSE(FindFirstInstalledName(names));

    addUninstallEntry(u"{OLDER}", u"Older Agent");
    EXPECT_EQ(FindFirstInstalledName(names), u"Older Agent");
    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\Installer\\Products\\XYZ", u"ProductName", u"Old Agent");
    EXPECT_EQ(FindFirstInstalledName(names), u"Old Agent");
    EXPECT_FALSE(TakeLogText(queue)) << "writes nothing";
}

TEST_F(UninstallLookupsTest, FileVersions)
{
    machine.files().addFile(u"C:\\Zantrel\\agent.exe", "MZ");
    machine.files().setFileVersion(u"C:\\Zantrel\\agent.exe", 9, 5, 10, 79);
    machine.files().addFile(u"C:\\Zantrel\\zero.exe", "MZ");
    machine.files().setFileVersion(u"C:\\Zantrel\\zero.exe", 10, 0, 0, 0);
    machine.files().addFile(u"C:\\Zantrel\\plain.txt", "x");

    EXPECT_EQ(ReadFileVersion(u"C:\\Zantrel\\agent.exe", &log), u"9.5.10.79");
    EXPECT_EQ(ReadFileVersion(u"C:\\Zantrel\\zero.exe", &log), u"10.0.0.0");
    EXPECT_FALSE(ReadFileVersion(u"C:\\Zantrel\\plain.txt", &log));
    EXPECT_FALSE(ReadFileVersion(u"C:\\Zantrel\\missing.exe", &log));
    EXPECT_EQ(text(), u"Trying to read the version of file \"C:\\Zantrel\\agent.exe\"...file has version 9.5.10.79\r\n"
                      u"Trying to read the version of file \"C:\\Zantrel\\zero.exe\"...file has version 10.0.0.0\r\n"
                      u"Trying to read the version of file \"C:\\Zantrel\\plain.txt\"...file exists, but failed to read "
                      u"version: Windows Error 0x714: Resource data not found.\r\n"
                      u"Trying to read the version of file \"C:\\Zantrel\\missing.exe\"...file not found\r\n");
}

} // namespace
