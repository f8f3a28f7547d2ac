#include "products/msde_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_processes.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"Microsoft SQL Server Desktop Engine";

using MSDEProductTest = ProductTest<MSDEProduct>;

TEST_F(MSDEProductTest, NothingRegisteredRunsNothing)
{
    product.detect();
    EXPECT_FALSE(product.isInstalled());
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...not found\r\n");
    EXPECT_TRUE(machine.processes().runs().empty());
}

TEST_F(MSDEProductTest, UninstallerLeavingItsEntryFailsAndItStaysInstalled)
{
    addUninstallEntry(u"{MSDE}", kName, u"8.00.761", u"MsiExec.exe /X{MSDE}");
    machine.processes().addProgram(kMsiExec, {});
    product.detect();
    EXPECT_TRUE(product.isInstalled());
    EXPECT_FALSE(product.version()) << "the engine's version is never shown";
    text();

    EXPECT_FALSE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...\r\n"
              u"...found command MsiExec.exe /X{MSDE}\r\n"
              u"Running uninstaller for \"" + kName + u"\" with command MsiExec.exe /X{MSDE} /qn\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...\r\n"
              u"...found command MsiExec.exe /X{MSDE}\r\n"
              u"Uninstall string still exists!  Uninstall appears unsuccessful.\r\n");
    product.detect();
    EXPECT_TRUE(product.isInstalled());
}

} // namespace
