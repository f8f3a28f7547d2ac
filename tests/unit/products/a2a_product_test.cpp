#include "products/a2a_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_shell.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kEnterprise = u"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::u16string kAgentFolder = kEnterprise + u"\\QTV Client\\";
const std::u16string kA2AKey = u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A";
const std::u16string kAppPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";

using A2AProductTest = ProductTest<A2AProduct>;

// Without a folder of its own the library is looked for beside the agent's folder, the ".." kept
// in every line, and deleted there; the agent's folder stays.
TEST_F(A2AProductTest, FoundBesideTheAgentsFolderAndDeletedThere)
{
    addUninstallEntry(u"{CLIENT}", u"Zantrel Enterprise Client", {}, {}, kAgentFolder);
    machine.files().addFile(kAgentFolder + u"QTVClient.exe", "MZ");
    machine.files().addFile(kEnterprise + u"\\QTV A2A\\QTVA2ADLL.dll", "MZ", FILE_ATTRIBUTE_READONLY);
    machine.files().setFileVersion(kEnterprise + u"\\QTV A2A\\QTVA2ADLL.dll", 9, 5, 10, 79);
    registry().createKey(HKEY_LOCAL_MACHINE, kA2AKey);
    const std::u16string folder = kAgentFolder + u"\\..\\QTV A2A";

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_EQ(product.name(), u"A2A");
    EXPECT_EQ(product.version(), u"9.5.10.79");
    EXPECT_EQ(text(),
              u"\r\n" + kDetectBanner + u"\r\n* Detecting A2A\r\n" + kDetectBanner + u"\r\n"
              u"Setting default path to \"" + kEnterprise + u"\\QTV A2A\"\r\n"
              u"Looking for the install location in \"HKLM\\" + kA2AKey + u":[DLLPath]\"...not found\r\n"
              u"Looking for the install location of \"Zantrel Enterprise Client\" in \"HKLM\\" + kUninstallList + u"\"...found path \"" + kAgentFolder + u"\"\r\n"
              u"Checking for file \"" + folder + u"\"...found\r\n"
              u"Trying to read the version of file \"" + folder + u"\\QTVA2ADLL.dll\"...file has version 9.5.10.79\r\n"
              u"Checking for registry key \"HKLM\\" + kA2AKey + u"\"...found\r\n");

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing A2A\r\n" + kRemoveBanner + u"\r\n"
              u"Deleting directory \"" + folder + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kA2AKey + u"\"...done\r\n");
    EXPECT_FALSE(machine.files().exists(kEnterprise + u"\\QTV A2A"));
    EXPECT_TRUE(machine.files().exists(kAgentFolder + u"QTVClient.exe"));
}

// A folder registered with a trailing dot is the folder without it, as the system reads the name:
// found, and deleted.
TEST_F(A2AProductTest, FolderRegisteredWithATrailingDotIsDeleted)
{
    const std::u16string registered = kEnterprise + u"\\QTV A2A.";
    registry().setString(HKEY_LOCAL_MACHINE, kA2AKey, u"DLLPath", registered);
    machine.files().addFile(kEnterprise + u"\\QTV A2A\\QTVA2ADLL.dll", "MZ");
    machine.files().addFile(kEnterprise + u"\\QTV A2A Tools\\readme.txt", "beside it");

    product.detect();
    ASSERT_TRUE(product.isInstalled());
    text();

    EXPECT_TRUE(product.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing A2A\r\n" + kRemoveBanner + u"\r\n"
              u"Deleting directory \"" + registered + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kA2AKey + u"\"...done\r\n");
    EXPECT_FALSE(machine.files().exists(kEnterprise + u"\\QTV A2A"));
    EXPECT_TRUE(machine.files().exists(kEnterprise + u"\\QTV A2A Tools\\readme.txt"));
}

TEST_F(A2AProductTest, DllPathWinsAndTheAgentIsFoundThroughAppPathsOtherwise)
{
    registry().setString(HKEY_LOCAL_MACHINE, kAppPaths, u"Path", u"C:\\Agent");
    registry().setString(HKEY_LOCAL_MACHINE, kA2AKey, u"DLLPath", u"C:\\A2A");
    machine.files().addFolder(u"C:\\A2A");

    product.detect();

    EXPECT_TRUE(product.isInstalled());
    EXPECT_FALSE(product.version()) << "a library without a version resource";
    EXPECT_TRUE(HasLines(text(), u"Checking for file \"C:\\A2A\"...found\r\n"));

    registry().setString(HKEY_LOCAL_MACHINE, kA2AKey, u"Other", u"");
    registry().setValue(HKEY_LOCAL_MACHINE, kA2AKey, u"DLLPath", REG_DWORD, {1, 0, 0, 0});
    product.detect();
    EXPECT_TRUE(HasLines(text(), u"Looking for the install location in \"HKLM\\" + kAppPaths + u":[Path]\"...found path \"C:\\Agent\"\r\n"
                                 u"Checking for file \"C:\\Agent\\..\\QTV A2A\"...not found\r\n"));
}

TEST_F(A2AProductTest, WithoutProgramFilesTheLineEndsAfterDirectory)
{
    machine.shell().setFolder(CSIDL_PROGRAM_FILES, std::nullopt);

    product.detect();

    EXPECT_FALSE(product.isInstalled());
    EXPECT_EQ(text(),
              u"\r\n" + kDetectBanner + u"\r\n* Detecting A2A\r\n" + kDetectBanner + u"\r\n"
              u"Cannot determine default install directory\r\n"
              u"Looking for the install location in \"HKLM\\" + kA2AKey + u":[DLLPath]\"...not found\r\n"
              u"Looking for the install location of \"Zantrel Enterprise Client\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
              u"Looking for the install location in \"HKLM\\" + kAppPaths + u":[Path]\"...not found\r\n"
              u"Failed to determine the installation directory.\r\n"
              u"Checking for registry key \"HKLM\\" + kA2AKey + u"\"...not found\r\n");
    // Every system names its Program Files folder: the removal cannot know what to delete.
    EXPECT_FALSE(product.remove());
}

} // namespace
