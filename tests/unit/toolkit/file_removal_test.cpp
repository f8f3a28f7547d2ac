#include "toolkit/file_removal.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/text.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "support/recipe_test.h"
#include "toolkit/protected_locations.h"
#include "toolkit/well_known_folders.h"

namespace {

const std::u16string kSuite = u"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::u16string kAgent = kSuite + u"\\Agent";

class FileRemovalTest : public LogTest {
protected:
    SimFileSystem& files() { return machine.files(); }
};

TEST_F(FileRemovalTest, MissingFolderWritesNothing)
{
    EXPECT_TRUE(DeleteDirectory(kAgent, &log));
    EXPECT_FALSE(TakeLogText(queue));
}

TEST_F(FileRemovalTest, TreeWithReadOnlyFilesGoesWhole)
{
    files().addFile(kAgent + u"\\bin\\agent.exe", "MZ", FILE_ATTRIBUTE_READONLY);
    files().addFile(kAgent + u"\\logs\\today.log", "x");
    files().addFolder(kAgent + u"\\empty");

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...done\r\n");
    EXPECT_FALSE(files().exists(kAgent));
    EXPECT_TRUE(files().exists(kSuite));
}

TEST_F(FileRemovalTest, TrailingBackslashIsAccepted)
{
    files().addFile(kAgent + u"\\a.txt");

    EXPECT_TRUE(DeleteDirectory(kAgent + u"\\", &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\\\"...done\r\n");
    EXPECT_FALSE(files().exists(kAgent));
}

TEST_F(FileRemovalTest, JunctionIsRemovedWithoutTouchingItsTarget)
{
    files().addFile(u"C:\\Data\\keep.txt", "precious");
    files().addJunction(kAgent + u"\\data", u"C:\\Data");

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));

    EXPECT_FALSE(files().exists(kAgent));
    EXPECT_EQ(files().content(u"C:\\Data\\keep.txt"), "precious");
}

// Whichever read of what an object is fails (its attributes, its handle's description, where it
// leads), no link is followed and nothing it leads to is touched: the listing still says what a
// child is, and a folder nobody can say is no link is not entered.
TEST(FileRemovalFaultTest, AFailedAttributeReadNeverLeadsThroughALink)
{
    // The agent's folder holds a junction and a file link to a folder outside the suite.
    const auto lay = [](SimFileSystem& files) {
        files.addFile(u"C:\\Data\\keep.txt", "precious");
        files.addFile(u"C:\\Data\\file.txt", "precious");
        files.addJunction(kAgent + u"\\data", u"C:\\Data");
        files.addFileLink(kAgent + u"\\link.txt", u"C:\\Data\\file.txt");
        files.addFile(kAgent + u"\\bin\\agent.exe");
        files.setAccess(u"C:\\Data\\file.txt", SimAccess::DeniesUntilOwned);
    };
    for (const SimCall read : {SimCall::GetFileAttributes, SimCall::GetFileInformationByHandle,
                               SimCall::GetFinalPathNameByHandle}) {
        unsigned reads = 0;
        {
            SimMachine machine;
            ScopedOsApi installed(machine);
            lay(machine.files());
            Remove::Log silent;
            DeleteDirectory(kAgent, &silent);
            reads = machine.callCount(read);
        }
        ASSERT_GT(reads, 0u);
        for (unsigned nth = 1; nth <= reads; ++nth) {
            SimMachine machine;
            ScopedOsApi installed(machine);
            lay(machine.files());
            machine.failCall(read, ERROR_ACCESS_DENIED, nth);
            Remove::Log silent;
            DeleteDirectory(kAgent, &silent);
            EXPECT_EQ(machine.files().entries(u"C:\\Data"), (std::vector<std::u16string>{u"file.txt", u"keep.txt"}))
                << static_cast<int>(read) << " " << nth;
            EXPECT_FALSE(machine.files().ownedByCurrentUser(u"C:\\Data\\file.txt")) << nth;
        }
    }
}

TEST_F(FileRemovalTest, AFileLinkGoesAloneAndItsTargetStays)
{
    files().addFile(u"C:\\Data\\keep.txt", "precious");
    files().addFileLink(kAgent + u"\\keep.lnk", u"C:\\Data\\keep.txt");
    files().setAccess(u"C:\\Data\\keep.txt", SimAccess::DeniesUntilOwned);

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...done\r\n");
    EXPECT_FALSE(files().exists(kAgent));
    EXPECT_EQ(files().content(u"C:\\Data\\keep.txt"), "precious");
    EXPECT_FALSE(files().ownedByCurrentUser(u"C:\\Data\\keep.txt"));
}

TEST_F(FileRemovalTest, DeniedFilesAreTakenOverAndDeleted)
{
    files().addFile(kAgent + u"\\denied.dat");
    files().addFile(kAgent + u"\\owned-by-another.dat");
    files().setAccess(kAgent + u"\\denied.dat", SimAccess::DeniesCurrentUser);
    files().setAccess(kAgent + u"\\owned-by-another.dat", SimAccess::DeniesUntilOwned);

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...done\r\n");
    EXPECT_FALSE(files().exists(kAgent));
}

// Anybody who can write to a suite folder can put there another name (a hard link) of a system
// file. Such a name goes when the system lets it go, as one name; the file it shares is never
// given a new owner, access list or attributes, and its folder stays with the refusal logged.
TEST_F(FileRemovalTest, HardLinksToFilesOutsideAreNeverTakenOver)
{
    const std::u16string hosts = u"C:\\windows\\System32\\drivers\\etc\\hosts";
    files().addFile(hosts, "127.0.0.1 localhost");
    files().setAccess(hosts, SimAccess::DeniesUntilOwned);
    files().addFile(u"C:\\Data\\keep.txt", "precious");
    files().addFile(u"C:\\Data\\sealed.txt", "sealed", FILE_ATTRIBUTE_READONLY);
    files().addHardLink(kAgent + u"\\a-keep.txt", u"C:\\Data\\keep.txt");
    files().addHardLink(kAgent + u"\\hosts", hosts);
    const std::u16string relay = kSuite + u"\\Relay";
    files().addHardLink(relay + u"\\sealed.txt", u"C:\\Data\\sealed.txt");
    const std::u16string cache = kSuite + u"\\Cache";
    files().addFile(u"C:\\Data\\denied.txt", "denied");
    files().setAccess(u"C:\\Data\\denied.txt", SimAccess::DeniesCurrentUser);
    files().addHardLink(cache + u"\\denied.txt", u"C:\\Data\\denied.txt");

    EXPECT_FALSE(DeleteDirectory(kAgent, &log));
    EXPECT_FALSE(DeleteDirectory(relay, &log));
    EXPECT_FALSE(DeleteDirectory(cache, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...refused: the file has other names (hard links)"
                      u"...error occurred while granting access to file \"\\\\?\\" + kAgent + u"\\hosts\"\r\n"
                      u"Deleting directory \"" + relay + u"\"...refused: the file has other names (hard links)"
                      u"...error occurred while trying to remove read-only attribute of file \"\\\\?\\" + relay +
                      u"\\sealed.txt\"\r\n"
                      u"Deleting directory \"" + cache + u"\"...refused: the file has other names (hard links)"
                      u"...error occurred while granting access to file \"\\\\?\\" + cache + u"\\denied.txt\"\r\n");
    EXPECT_EQ(files().access(u"C:\\Data\\denied.txt"), SimAccess::DeniesCurrentUser);
    EXPECT_FALSE(files().exists(kAgent + u"\\a-keep.txt")) << "a name that goes by itself goes";
    EXPECT_EQ(files().content(u"C:\\Data\\keep.txt"), "precious");
    EXPECT_EQ(files().access(hosts), SimAccess::DeniesUntilOwned);
    EXPECT_FALSE(files().ownedByCurrentUser(hosts));
    EXPECT_EQ(files().content(hosts), "127.0.0.1 localhost");
    EXPECT_EQ(files().attributes(u"C:\\Data\\sealed.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(files().exists(kAgent + u"\\hosts"));
}

TEST_F(FileRemovalTest, FirstFailingFileStopsTheDeletionAndIsNamed)
{
    files().addFile(kAgent + u"\\a.txt");
    files().addFile(kAgent + u"\\b.txt");
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_INVALID_FUNCTION);

    EXPECT_FALSE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...Windows Error: Invalid function."
                      u"...error occurred while trying to delete file \"\\\\?\\" + kAgent + u"\\a.txt\"\r\n");
    EXPECT_TRUE(files().exists(kAgent + u"\\b.txt"));
}

// A file in use waits for the restart, with its folder; the rest of the folder goes now.
TEST_F(FileRemovalTest, AFileInUseWaitsForTheRestartAndTheRestGoes)
{
    files().addFile(kAgent + u"\\a.txt");
    files().addFile(kAgent + u"\\b.txt");
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_SHARING_VIOLATION);

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));

    EXPECT_TRUE(files().exists(kAgent + u"\\a.txt"));
    EXPECT_FALSE(files().exists(kAgent + u"\\b.txt"));
    EXPECT_TRUE(HasLines(text(), u"Scheduled for deletion when Windows restarts: \"" + kAgent + u"\\a.txt\"\r\n"));
    machine.restart();
    EXPECT_FALSE(files().exists(kAgent));

    // Below a folder any user may change (ProgramData lets them add folders, and its suite folder
    // inherits that), a name listed for the restart could lead elsewhere by then: nothing is
    // listed, and the deletion fails.
    const std::u16string data = u"C:\\ProgramData\\Zantrel";
    files().addFile(data + u"\\Agent\\a.txt");
    files().letStandardUsersChange(data);
    files().addFile(data + u"\\Agent\\b.txt");
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteDirectory(data + u"\\Agent", &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + data + u"\\Agent\"...Windows Error: Sharing violation....error occurred while trying to delete file \"\\\\?\\" +
                      data + u"\\Agent\\a.txt\"\r\n"
                      u"Deletion at restart of \"" + data + u"\\Agent\\a.txt\"...not scheduled: a standard user can change \"" +
                      data + u"\"\r\n");
    machine.restart();
    EXPECT_TRUE(files().exists(data + u"\\Agent\\a.txt"));

    // A folder any user may change could be made a link once emptied: it is not listed either.
    const std::u16string logs = kSuite + u"\\Logs";
    files().addFolder(logs);
    files().letStandardUsersChange(logs);
    files().addFile(logs + u"\\today.log");
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_SHARING_VIOLATION, 2);
    EXPECT_FALSE(DeleteDirectory(logs, &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + logs + u"\"...Windows Error: Sharing violation....in call to RemoveDirectory for \"\\\\?\\" +
                      logs + u"\"\r\nDeletion at restart of \"" + logs + u"\"...not scheduled: a standard user can change \"" +
                      logs + u"\"\r\n");
}

TEST_F(FileRemovalTest, ListingFailureIsReported)
{
    files().addFile(kAgent + u"\\a.txt");
    machine.failCall(SimCall::GetFileInformationByHandleEx, ERROR_ACCESS_DENIED);

    EXPECT_FALSE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...Windows Error: Access denied."
                      u"...in call to RemoveDirectory while looping files for \"\\\\?\\" + kAgent + u"\"\r\n");
}

TEST_F(FileRemovalTest, PathsLongerThanMaxPathAreDeleted)
{
    std::u16string deep = kAgent;
    while (deep.size() < 400)
        deep += u"\\a-rather-long-folder-name";
    files().addFile(deep + u"\\file.txt");

    EXPECT_TRUE(DeleteDirectory(kAgent, &log));
    EXPECT_FALSE(files().exists(kAgent));
}

TEST_F(FileRemovalTest, CheckFileSeesFilesAndFolders)
{
    files().addFile(kAgent + u"\\agent.exe");

    EXPECT_TRUE(CheckFile(kAgent, &log));
    EXPECT_TRUE(CheckFile(kAgent + u"\\agent.exe", &log));
    EXPECT_FALSE(CheckFile(kAgent + u"\\nope.exe", &log));
    EXPECT_EQ(text(), u"Checking for file \"" + kAgent + u"\"...found\r\n"
                      u"Checking for file \"" + kAgent + u"\\agent.exe\"...found\r\n"
                      u"Checking for file \"" + kAgent + u"\\nope.exe\"...not found\r\n");
}

class ProtectedLocationTest : public FileRemovalTest, public ::testing::WithParamInterface<const char16_t*> {
};

TEST_P(ProtectedLocationTest, IsRefusedAndLeftAlone)
{
    const std::u16string path = GetParam();
    files().addFile(u"C:\\windows\\system32\\kernel32.dll");
    files().addFile(u"C:\\Program Files\\Common Files\\shared.dll");
    files().addFile(u"C:\\Program Files (x86)\\Common Files\\shared.dll");
    files().addFile(u"C:\\ProgramData\\settings.ini");
    files().addFile(u"C:\\Users\\user\\Documents\\letter.txt");
    files().addFile(u"C:\\Users\\user\\Desktop\\note.txt");
    files().addFile(u"C:\\Users\\user\\AppData\\Local\\Temp\\t.tmp");
    files().addFile(u"C:\\Users\\user\\AppData\\Roaming\\r.dat");
    files().setTempPath(u"C:\\Users\\user\\AppData\\Local\\Temp");
    files().addFile(kAgent + u"\\agent.exe");

    EXPECT_FALSE(DeleteDirectory(path, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + path + u"\"...refused: protected location\r\n");
    EXPECT_TRUE(files().exists(u"C:\\windows\\system32\\kernel32.dll"));
    EXPECT_TRUE(files().exists(u"C:\\Users\\user\\Documents\\letter.txt"));
    EXPECT_TRUE(files().exists(kAgent + u"\\agent.exe"));
}

INSTANTIATE_TEST_SUITE_P(
    Guard, ProtectedLocationTest,
    ::testing::Values(u"C:", u"C:\\", u"c:/", u"C:\\windows", u"C:\\windows\\system32", u"C:\\Program Files",
                      u"C:\\Program Files (x86)", u"c:/program files (x86)/", u"C:\\Program Files (x86)\\Zantrel Enterprise\\..",
                      u"C:\\Program Files\\Common Files", u"C:\\Program Files (x86)\\Common Files", u"C:\\ProgramData",
                      u"C:\\Users", u"C:\\Users\\user", u"C:\\Users\\user\\Documents", u"C:\\Users\\user\\Desktop",
                      u"C:\\Users\\user\\AppData", u"C:\\Users\\user\\AppData\\Local", u"C:\\Users\\user\\AppData\\Roaming",
                      u"C:\\Users\\user\\AppData\\Local\\Temp", u"\\\\?\\C:\\Program Files (x86)"));

// Names that read differently from a protected place but lead to one. Nothing is done to what
// they lead to before the refusal: the files the test denies to the administrator keep their
// owner, which access recovery would have taken.
TEST_F(FileRemovalTest, NamesLeadingToProtectedPlacesAreRefusedBeforeAnyAccessRecovery)
{
    const std::u16string kernel = u"C:\\windows\\system32\\kernel32.dll";
    const std::u16string letter = u"C:\\Users\\user\\Documents\\letter.txt";
    files().addFile(kernel);
    files().addFolder(u"C:\\windows\\Temp");
    files().addFile(u"C:\\Program Files\\Common Files\\shared.dll");
    files().addFile(u"C:\\Program Files (x86)\\Common Files\\shared.dll");
    files().addFile(letter);
    files().addFile(kAgent + u"\\agent.exe");
    files().setAccess(kernel, SimAccess::DeniesUntilOwned);
    files().setAccess(letter, SimAccess::DeniesUntilOwned);
    files().addJunction(kSuite + u"\\Documents", u"C:\\Users\\user\\Documents");
    files().addJunction(kSuite + u"\\Windows", u"C:\\windows");
    // A volume mounted in a folder: here the system volume, whose root the folder then is.
    files().addJunction(kSuite + u"\\System volume", u"C:\\");
    // Links on the way to the folder named, which a standard user may make wherever they may make
    // a folder: into the Windows folder, to the folder above another user's profile and to the
    // Public folder (both listed under ProfileList), to another drive.
    const std::u16string profiles = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    machine.registry().setString(HKEY_LOCAL_MACHINE, profiles, u"Public", u"C:\\Users\\Public", REG_SZ,
                                 SimRegistry::View::Native64);
    machine.registry().setString(HKEY_LOCAL_MACHINE, profiles + u"\\S-1-5-21-1-2-3-1002", u"ProfileImagePath",
                                 u"C:\\Users\\alice", REG_SZ, SimRegistry::View::Native64);
    files().addFile(u"C:\\windows\\Web\\sites\\wallpaper.jpg");
    files().addFile(u"C:\\Users\\alice\\ntuser.dat");
    files().addFile(u"C:\\Users\\Public\\Documents\\shared.txt");
    files().addDrive(u'D');
    files().addFile(u"D:\\data.txt");
    files().addJunction(u"C:\\qtvdata\\Link", u"C:\\windows\\Web");
    files().addJunction(u"C:\\qtvdata\\Users", u"C:\\Users");
    files().addJunction(u"C:\\qtvdata\\D", u"D:\\");

    for (const std::u16string path :
         {u"C:\\Windows.", u"C:\\windows ", u"C:\\PROGRA~2", u"C:\\progra~1\\Common Files.", u"\\\\?\\C:\\Windows\\.",
          u"C:\\Program Files (x86)\\Zantrel Enterprise\\Documents", u"C:\\Program Files (x86)\\Zantrel Enterprise\\Windows\\Temp",
          u"C:\\Program Files (x86)\\Zantrel Enterprise\\System volume", u"C:\\qtvdata\\Link\\sites",
          u"C:\\qtvdata\\Users\\alice", u"C:\\qtvdata\\Users\\Public", u"C:\\qtvdata\\D"}) {
        EXPECT_FALSE(DeleteDirectory(path, &log)) << ToUtf8(path);
        EXPECT_EQ(text(), u"Deleting directory \"" + path + u"\"...refused: protected location\r\n");
    }

    // A protected folder made after the guard first looked is as protected as the rest.
    const std::optional<std::u16string> desktop = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY);
    ASSERT_TRUE(desktop && !files().exists(*desktop));
    files().addFolder(*desktop);
    files().addJunction(kSuite + u"\\Desktop", *desktop);
    EXPECT_FALSE(DeleteDirectory(kSuite + u"\\Desktop", &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + kSuite + u"\\Desktop\"...refused: protected location\r\n");

    EXPECT_EQ(machine.callCount(SimCall::SetNamedSecurityInfo), 0u);
    EXPECT_FALSE(files().ownedByCurrentUser(kernel));
    EXPECT_FALSE(files().ownedByCurrentUser(letter));
    for (const std::u16string& kept : {kernel, letter, std::u16string(u"C:\\windows\\Temp"), kAgent + u"\\agent.exe",
                                       kSuite + u"\\Documents", kSuite + u"\\Windows", kSuite + u"\\System volume",
                                       std::u16string(u"C:\\windows\\Web\\sites\\wallpaper.jpg"),
                                       std::u16string(u"C:\\Users\\alice\\ntuser.dat"),
                                       std::u16string(u"C:\\Users\\Public\\Documents\\shared.txt"),
                                       std::u16string(u"D:\\data.txt")})
        EXPECT_TRUE(files().exists(kept)) << ToUtf8(kept);
}

// A user who may change a folder of the suite swaps a folder below it for a link into Windows
// while the walk waits on one of its files: the walk goes on through the folder it opened, now
// renamed, and nothing behind the link is touched. The link was not there when the folder was
// listed, so the folder cannot go.
TEST_F(FileRemovalTest, AFolderSwappedForALinkLeadsNowhere)
{
    files().addFile(kAgent + u"\\data\\a.txt");
    files().addFile(kAgent + u"\\data\\b.txt");
    files().addFile(u"C:\\windows\\Web\\b.txt", "kept");
    files().beforeOpening(kAgent + u"\\data\\a.txt",
                          [this] { files().replaceWithJunction(kAgent + u"\\data", u"C:\\windows\\Web"); });

    EXPECT_FALSE(DeleteDirectory(kAgent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...Windows Error: Directory is not empty....in call to "
                      u"RemoveDirectory for \"\\\\?\\" + kAgent + u"\"\r\n");
    EXPECT_EQ(files().entries(u"C:\\windows\\Web"), std::vector<std::u16string>{u"b.txt"});
    EXPECT_EQ(files().content(u"C:\\windows\\Web\\b.txt"), "kept");
    EXPECT_EQ(files().entries(kAgent), std::vector<std::u16string>{u"data"}) << "the folder moved aside went";

    // The folder above the one named, swapped for a link into Windows between the guard's look at
    // the name and the open: what was opened is judged by where it really is.
    files().addFile(u"C:\\windows\\Agent\\agent.dll", "kept");
    files().beforeOpening(u"\\\\?\\" + kAgent, [this] { files().replaceWithJunction(kSuite, u"C:\\windows"); });
    EXPECT_FALSE(DeleteDirectory(kAgent, &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...refused: protected location\r\n");
    EXPECT_EQ(files().content(u"C:\\windows\\Agent\\agent.dll"), "kept");

    // The same swap after the guard's open, when the folder refuses the administrator: access
    // recovery reopens by the name, and what the name leads to now is not the object judged.
    const std::u16string other = kSuite + u"2\\Agent";
    files().addFile(other + u"\\agent.exe");
    files().setAccess(other, SimAccess::DeniesUntilOwned);
    files().setAccess(u"C:\\windows\\Agent", SimAccess::DeniesUntilOwned);
    files().beforeOpening(u"\\\\?\\" + other, [this] {
        files().beforeOpening(u"\\\\?\\" + kSuite + u"2\\Agent",
                              [this] { files().replaceWithJunction(kSuite + u"2", u"C:\\windows"); });
    });
    EXPECT_FALSE(DeleteDirectory(other, &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + other + u"\"...Windows Error 0x5: Access denied....error occurred while "
                      u"granting access to file \"\\\\?\\" + other + u"\"\r\n");
    EXPECT_FALSE(files().ownedByCurrentUser(u"C:\\windows\\Agent"));
    EXPECT_EQ(files().access(u"C:\\windows\\Agent"), SimAccess::DeniesUntilOwned);
}

// A link Wine's host makes opens as what it leads to, even as itself: nothing is done through it
// once its handle shows it leads outside the folder being deleted, and it stays.
TEST_F(FileRemovalTest, ALinkThatOpensAsItsTargetIsLeftAlone)
{
    files().addFile(u"C:\\windows\\Web\\wallpaper.jpg", "kept");
    files().addFile(u"C:\\Data\\keep.txt", "precious");
    files().addHostLink(kAgent + u"\\web", u"C:\\windows\\Web", true);
    const std::u16string relay = kSuite + u"\\Relay";
    files().addHostLink(relay + u"\\keep.txt", u"C:\\Data\\keep.txt", false);

    EXPECT_FALSE(DeleteDirectory(kAgent, &log));
    EXPECT_FALSE(DeleteDirectory(relay, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + kAgent + u"\"...refused: leads outside the folder being deleted"
                      u"...in call to RemoveDirectory for \"\\\\?\\" + kAgent + u"\\web\"\r\n"
                      u"Deleting directory \"" + relay + u"\"...refused: leads outside the folder being deleted"
                      u"...error occurred while trying to delete file \"\\\\?\\" + relay + u"\\keep.txt\"\r\n");
    EXPECT_EQ(files().content(u"C:\\windows\\Web\\wallpaper.jpg"), "kept");
    EXPECT_EQ(files().content(u"C:\\Data\\keep.txt"), "precious");
}

// Run as SYSTEM, the profile lies inside the Windows folder: what the suite keeps below its known
// folders goes, by either of the names a 32-bit program has for it; the profile, its known
// folders and everything else inside Windows stay refused.
TEST_F(FileRemovalTest, AsSystemOnlyWhatLiesBelowTheKnownFoldersInItsProfileGoes)
{
    machine.runAsSystem();
    const std::u16string profile = u"C:\\Windows\\system32\\config\\systemprofile";
    for (const std::u16string& folder :
         {profile + u"\\AppData\\Local\\Zantrel", profile + u"\\Documents\\QTVCredentials",
          profile + u"\\AppData\\Roaming\\Zantrel", profile + u"\\Desktop\\Zantrel",
          std::u16string(u"C:\\Windows\\SysWOW64\\config\\systemprofile\\AppData\\Local\\Zantrel")}) {
        files().addFile(folder + u"\\settings.ini");
        EXPECT_TRUE(DeleteDirectory(folder, &log)) << ToUtf8(folder);
        EXPECT_EQ(text(), u"Deleting directory \"" + folder + u"\"...done\r\n");
        EXPECT_FALSE(files().exists(folder)) << ToUtf8(folder);
    }
    files().addFile(profile + u"\\AppData\\Local\\Microsoft\\keep.dat");
    files().addFile(u"C:\\Windows\\Temp\\keep.tmp");
    files().addFile(u"C:\\Windows\\system32\\config\\SOFTWARE");
    for (const std::u16string& folder :
         {profile, profile + u"\\AppData", profile + u"\\AppData\\Local", profile + u"\\Documents",
          profile + u"\\Desktop", profile + u"\\AppData\\Roaming", profile + u"\\AppData\\LocalLow", profile + u"\\..",
          std::u16string(u"C:\\Windows\\SysWOW64\\config\\systemprofile\\AppData\\Local"),
          std::u16string(u"C:\\Windows\\Temp"), profile + u"\\AppData\\Local\\..\\..\\..\\..\\drivers"}) {
        EXPECT_FALSE(DeleteDirectory(folder, &log)) << ToUtf8(folder);
        EXPECT_EQ(text(), u"Deleting directory \"" + folder + u"\"...refused: protected location\r\n");
    }
    EXPECT_TRUE(files().exists(profile + u"\\AppData\\Local\\Microsoft\\keep.dat"));
    EXPECT_TRUE(files().exists(u"C:\\Windows\\Temp\\keep.tmp"));
    EXPECT_TRUE(files().exists(u"C:\\Windows\\system32\\config\\SOFTWARE"));
}

TEST_F(FileRemovalTest, FoldersBesideProtectedOnesAreDeleted)
{
    files().addFile(kAgent + u"\\agent.exe");
    files().addFile(u"C:\\Users\\user\\AppData\\Local\\Zantrel\\cache.bin");
    files().addFile(u"C:\\Users\\user\\Documents\\Zantrel\\report.txt");
    files().addFile(u"C:\\Users\\user\\Documents\\letter.txt");

    EXPECT_TRUE(DeleteDirectory(kSuite, &log));
    EXPECT_TRUE(DeleteDirectory(u"C:\\Users\\user\\AppData\\Local\\Zantrel", &log));
    EXPECT_TRUE(DeleteDirectory(u"C:\\Users\\user\\Documents\\Zantrel", &log));

    EXPECT_FALSE(files().exists(kSuite));
    EXPECT_TRUE(files().exists(u"C:\\Users\\user\\Documents\\letter.txt"));
}

TEST(ProtectedLocationNamesTest, NormalisesBeforeComparing)
{
    EXPECT_EQ(NormalizeLocation(u"c:/a/./b/../c/"), u"C:\\A\\C");
    EXPECT_EQ(NormalizeLocation(u"\\\\?\\C:\\x\\..\\.."), u"C:");
    EXPECT_EQ(NormalizeLocation(u"\\\\?\\UNC\\server\\share\\x"), u"\\\\SERVER\\SHARE\\X");
    EXPECT_FALSE(NormalizeLocation(u""));
    EXPECT_FALSE(NormalizeLocation(u"relative\\x"));
    EXPECT_FALSE(NormalizeLocation(u"C:relative"));
    EXPECT_FALSE(NormalizeLocation(u"\\\\?\\unix\\etc")) << "Wine's host namespace is no Windows path";
    EXPECT_FALSE(NormalizeLocation(u"\\\\server"));
}

TEST_F(FileRemovalTest, WellKnownFoldersAreAskedForOnce)
{
    EXPECT_EQ(GetProgramFilesFolder(), u"C:\\Program Files (x86)");
    EXPECT_EQ(GetLocalAppDataFolder(), u"C:\\Users\\user\\AppData\\Local");
    EXPECT_EQ(GetDocumentsFolder(), u"C:\\Users\\user\\Documents");
    const unsigned loads = machine.callCount(SimCall::LoadLibrary);
    EXPECT_EQ(GetProgramFilesFolder(), u"C:\\Program Files (x86)");
    EXPECT_EQ(GetDocumentsFolder(), u"C:\\Users\\user\\Documents");
    EXPECT_EQ(machine.callCount(SimCall::LoadLibrary), loads);
}

} // namespace
