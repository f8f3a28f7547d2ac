#include "products/sam_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_processes.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"Software Asset Management";
const std::u16string kSettingsKey = u"Software\\Zantrel\\Zantrel Inventory";
const std::u16string kProduct = u"SOFTWARE\\Classes\\Installer\\Products\\7F3E";

using DEVIRAProductTest = ProductTest<DEVIRAProduct>;

TEST_F(DEVIRAProductTest, SettingsKeyAloneIsInstalledWithoutVersionAndGoesWithoutUninstaller)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey + u"\\Scanner");
    registry().setString(HKEY_LOCAL_MACHINE, kProduct, u"ProductName", kName);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_FALSE(product.version());
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...not found\r\n"
              u"Deleting registry key \"HKLM\\" + kSettingsKey + u"\"...done\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\7F3E\"...not found\r\n"
              u"Deleting registry key \"HKLM\\" + kProduct + u"\"...done\r\n");
    EXPECT_TRUE(machine.processes().runs().empty());
    product.detect();
    EXPECT_FALSE(product.isInstalled());
}

TEST_F(DEVIRAProductTest, UninstallerLeavingItsEntryIsReportedAndTheEntryRemovedByHand)
{
    addUninstallEntry(u"{SAM}", kName, u"3.1", u"MsiExec.exe /X{SAM}");
    machine.processes().addProgram(kMsiExec, {});
    product.detect();
    EXPECT_EQ(product.version(), u"3.1");
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(machine.processes().commandLinesOf(kMsiExec),
              std::vector<std::u16string>{u"MsiExec.exe /X{SAM} /qn"});
    EXPECT_TRUE(HasLines(text(), u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
                                 u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{SAM}\"...done\r\n"));
}

} // namespace
