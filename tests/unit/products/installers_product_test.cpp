#include "products/installers_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"YLM Installation Generator";
const std::u16string kOlderName = u"Ostrel Calvorn Installation Generator";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\QTV Installation Generator";
const std::u16string kFolder = u"C:\\Program Files (x86)\\YLM\\Installation Generator";
const std::u16string kCredentials = u"C:\\Users\\user\\Documents\\QTVCredentials";
const std::u16string kSetup = u"C:\\Setup\\generator.exe";
const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products";

using InstallersProductTest = ProductTest<InstallersProduct>;

// Registered under an old name, with an even older one still known to Windows Installer; its
// uninstaller leaves everything. Both names' traces go, then the key and both folders.
TEST_F(InstallersProductTest, RemovedUnderItsRegisteredNameWithEveryOlderTrace)
{
    addUninstallEntry(u"{GEN}", kName, u"9.5", kSetup);
    registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\0A1B", u"ProductName", kOlderName);
    registry().setString(HKEY_LOCAL_MACHINE, kSettingsKey, u"InstallFolder", kFolder);
    machine.files().addFile(kFolder + u"\\generator.exe", "MZ");
    machine.files().addFile(kCredentials + u"\\server.cred", "secret");
    machine.processes().addProgram(kSetup, {});
    EXPECT_EQ(product.name(), u"Deployment Installer");

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.name(), kName);
    EXPECT_EQ(product.version(), u"9.5");
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...\r\n"
              u"...found command " + kSetup + u"\r\n"
              u"Running uninstaller for \"" + kName + u"\" with command " + kSetup + u" /s /z\"uninstall\"\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n"
              u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...\r\n"
              u"...found key \"{GEN}\"\r\n"
              u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Deleting directory \"" + kCredentials + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kSettingsKey + u"\"...done\r\n"
              u"Found product \"" + kName + u"\".  Attempting to remove all traces of it from registry...\r\n"
              u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{GEN}\"...done\r\n"
              u"Found product \"" + kOlderName + u"\".  Attempting to remove all traces of it from registry...\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\0A1B\"...not found\r\n"
              u"Deleting registry key \"HKLM\\" + kProducts + u"\\0A1B\"...done\r\n");
    EXPECT_TRUE(machine.files().exists(u"C:\\Users\\user\\Documents"));
    product.detect();
    EXPECT_FALSE(product.isInstalled());
    EXPECT_EQ(product.name(), kName) << "the name found first is kept";
}

TEST_F(InstallersProductTest, NothingRegisteredTakesTheNewestNameAndNoFolder)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    const std::u16string name = u"Velmora Zantrel Installation Generator";
    EXPECT_EQ(text(),
              u"\r\n" + kDetectBanner + u"\r\n* Detecting Deployment Installer\r\n" + kDetectBanner + u"\r\n"
              u"Setting product name to \"" + name + u"\"\r\n"
              u"Looking for the install location in \"HKLM\\" + kSettingsKey + u":[InstallFolder]\"...not found\r\n"
              u"Failed to determine the installation directory.\r\n"
              u"Looking for the display version of \"" + name + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
              u"Looking for product \"" + name + u"\" in \"" + kProducts + u"\"..."
              u"Looking for removed product \"" + name + u"\" in \"" + kProducts + u"\"..."
              u"Looking for \"" + name + u"\" installer properties in \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
              u"Installer\\UserData\\S-1-5-18\\Products\"...not found\r\n"
              u"Looking for product \"" + name + u"\" in \"" + kUninstallList + u"\"...not found\r\n"
              u"Checking for registry key \"HKLM\\" + kSettingsKey + u"\"...found\r\n"
              u"Checking for file \"" + kCredentials + u"\"...not found\r\n");

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + name + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + name + u"\"...not found\r\n"
              u"Deleting registry key \"HKLM\\" + kSettingsKey + u"\"...done\r\n"
              u"Found product \"" + name + u"\".  Attempting to remove all traces of it from registry...\r\n");
}

} // namespace
