#include "products/dlp_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_shell.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kAgentFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client\\";
const std::u16string kFolder = kAgentFolder + u"\\DLP";
const std::u16string kControl = kAgentFolder + u"DLP\\QTVDravelockCtrl.exe";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\DLP";

using DLPProductTest = ProductTest<DLPProduct>;

// The agent's folder ends with a backslash, as Windows Installer writes it, and lies in a folder
// with blanks. The control program is run by its quoted path; a "C:\Program.exe" planted on the
// machine is never started.
TEST_F(DLPProductTest, ControlProgramRunsQuotedAndTheFolderGoes)
{
    addUninstallEntry(u"{CLIENT}", u"Zantrel Enterprise Client", {}, {}, kAgentFolder);
    machine.files().addFile(kControl, "MZ");
    machine.files().setFileVersion(kControl, 4, 2, 0, 17);
    machine.files().addFile(kAgentFolder + u"DLP\\policies\\rules.xml", "<rules/>", FILE_ATTRIBUTE_READONLY);
    registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    machine.processes().addProgram(kControl, {});
    machine.processes().addProgram(u"C:\\Program.exe", {});

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.version(), u"4.2.0.17");
    text();

    EXPECT_TRUE(product.remove());

    const std::u16string command = u"\"" + kFolder + u"\\QTVDravelockCtrl.exe\" -u";
    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing DLP\r\n" + kRemoveBanner + u"\r\n"
              u"Checking for file \"" + kFolder + u"\\QTVDravelockCtrl.exe\"...found\r\n"
              u"Running uninstaller for \"DLP\" with command " + command + u"\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kSettingsKey + u"\"...done\r\n");
    ASSERT_EQ(machine.processes().runs().size(), 1u);
    EXPECT_EQ(machine.processes().runs()[0].program, kControl);
    EXPECT_FALSE(machine.files().exists(kAgentFolder + u"DLP"));
    EXPECT_TRUE(machine.files().exists(kAgentFolder));
}

TEST_F(DLPProductTest, WithoutAgentOrProgramFilesOnlyTheKeyCountsAndTheRemovalStops)
{
    machine.shell().setFolder(CSIDL_PROGRAM_FILES, std::nullopt);
    registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(text(),
              u"\r\n" + kDetectBanner + u"\r\n* Detecting DLP\r\n" + kDetectBanner + u"\r\n"
              u"Cannot determine default install directory (old operating system?).\r\n"
              u"Looking for the install location of \"Zantrel Enterprise Client\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
              u"Looking for the install location in \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
              u"QTVClient.exe:[Path]\"...not found\r\n"
              u"Checking for registry key \"HKLM\\" + kSettingsKey + u"\"...found\r\n");

    // Every system names its Program Files folder: the removal stops before the key that finds
    // the DLP, so that a later run finishes it.
    EXPECT_FALSE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing DLP\r\n" + kRemoveBanner + u"\r\n"
              u"Removal stopped: a folder of the component could not be named.\r\n");
    EXPECT_TRUE(machine.processes().runs().empty());
}

TEST_F(DLPProductTest, DefaultFolderIsAnnouncedWhenTheAgentIsUnknown)
{
    const std::u16string folder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client\\DLP";
    machine.files().addFolder(folder);

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_TRUE(HasLines(text(), u"Actual client install directory could not be determined, using default directory \"" + folder + u"\"\r\n"
                                 u"Checking for file \"" + folder + u"\"...found\r\n"
                                 u"Trying to read the version of file \"" + folder + u"\\QTVDravelockCtrl.exe\"...file not found\r\n"));
    EXPECT_TRUE(product.remove());
    EXPECT_FALSE(machine.files().exists(folder));
}

} // namespace
