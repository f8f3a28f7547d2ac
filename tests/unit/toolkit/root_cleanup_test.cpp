#include "toolkit/root_cleanup.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shell.h"
#include "support/recipe_test.h"
#include "support/sim_suite.h"

namespace {

class RootCleanupTest : public RecipeTest {
protected:
};

TEST_F(RootCleanupTest, NothingThereWritesNothing)
{
    RemoveRootTraces(&log);
    EXPECT_FALSE(TakeLogText(queue));
}

TEST_F(RootCleanupTest, EveryRootGoesIncludingEachLoadedHive)
{
    machine.files().addFile(u"C:\\Users\\user\\AppData\\Local\\Zantrel\\cache.bin");
    machine.files().addFile(u"C:\\Program Files (x86)\\Zantrel Enterprise\\Agent\\agent.exe");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Agent");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel, Inc.");
    registry().loadUserHive(u"S-1-5-21-1-2-3-1001");
    registry().loadUserHive(u"S-1-5-21-1-2-3-1002");
    registry().loadUserHive(u"S-1-5-21-1-2-3-1003");
    registry().createKey(HKEY_USERS, u"S-1-5-21-1-2-3-1001\\Software\\Zantrel\\Console");
    registry().createKey(HKEY_USERS, u"S-1-5-21-1-2-3-1002\\Software\\Zantrel");

    RemoveRootTraces(&log);

    EXPECT_EQ(text(), u"Deleting directory \"C:\\Users\\user\\AppData\\Local\\Zantrel\"...done\r\n"
                      u"Deleting directory \"C:\\Program Files (x86)\\Zantrel Enterprise\"...done\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel, Inc.\"...done\r\n"
                      u"Deleting registry key \"HKU\\S-1-5-21-1-2-3-1001\\Software\\Zantrel\"...done\r\n"
                      u"Deleting registry key \"HKU\\S-1-5-21-1-2-3-1002\\Software\\Zantrel\"...done\r\n");
    EXPECT_TRUE(registry().keyExists(HKEY_USERS, u"S-1-5-21-1-2-3-1003"));
    EXPECT_FALSE(machine.files().exists(u"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

// A standard user may make a symbolic link of their own hive above where the suite's key would be
// (their classes hive has no "Software" of its own). What it leads to is not the suite's: the
// suite goes, every root of it too, and the run ends clean, or every later run on a clean machine
// would end 1603 for as long as that user's hive is loaded.
TEST_F(RootCleanupTest, AStandardUsersLinkLeadingToNoSuiteKeyKeepsNoRunFromEndingClean)
{
    LaySimSuite(machine);
    registry().loadUserHive(u"S-1-5-21-1-2-3-1001");
    registry().loadUserHive(u"S-1-5-21-1-2-3-1001_Classes");
    registry().createLink(HKEY_USERS, u"S-1-5-21-1-2-3-1001_Classes\\Software",
                          u"\\Registry\\User\\S-1-5-21-1-2-3-1001\\Nowhere");
    registry().makeOwnedByStandardUser(HKEY_USERS, u"S-1-5-21-1-2-3-1001_Classes\\Software");

    const SimSuiteRun run = RunSilentAll();

    EXPECT_EQ(run.exitStatus, 0u) << ToUtf8(run.log);
    EXPECT_EQ(Describe(SimSuiteLeft(machine)), "");
    EXPECT_TRUE(HasLines(run.log, u"Deleting registry key \"HKU\\S-1-5-21-1-2-3-1001_Classes\\Software\\Zantrel\"...not "
                                  u"the suite's: a standard user can change where the symbolic link \"HKU\\S-1-5-21-1-2-3-"
                                  u"1001_Classes\\Software\" leads\r\n"));
}

TEST_F(RootCleanupTest, UndeletableFolderDoesNotStopTheKeys)
{
    machine.files().addFile(u"C:\\Program Files (x86)\\Zantrel Enterprise\\locked.dll");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel");
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_INVALID_FUNCTION);

    RemoveRootTraces(&log);

    EXPECT_EQ(text(), u"Deleting directory \"C:\\Program Files (x86)\\Zantrel Enterprise\"...Windows Error: Invalid "
                      u"function....error occurred while trying to delete file \"\\\\?\\C:\\Program Files (x86)\\"
                      u"Zantrel Enterprise\\locked.dll\"\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
}

TEST_F(RootCleanupTest, HiveEnumerationFailureIsLogged)
{
    machine.failCall(SimCall::RegEnumKeyEx, ERROR_NOT_ENOUGH_MEMORY);
    RemoveRootTraces(&log);
    EXPECT_EQ(text(), u"error enumerating keys in HKEY_USERS: Windows Error 0x8: Not enough memory.\r\n");
}

// Every system names these folders: the keys still go, and the clean-up says it left something.
TEST_F(RootCleanupTest, MissingShellFoldersAreSkippedAndCountAsLeft)
{
    machine.shell().setShell32Present(false);
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel");
    EXPECT_FALSE(RemoveRootTraces(&log));
    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
    machine.shell().setShell32Present(true);
    EXPECT_TRUE(RemoveRootTraces(&log));
}

} // namespace
