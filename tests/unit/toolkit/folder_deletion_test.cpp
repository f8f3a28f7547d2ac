// Folder deletion on both machines: natively on the simulated machine, under Wine on the real
// file system. Junctions, file links and access lists are covered on the simulated machine only
// (file_removal_test.cpp): Wine 8 cannot create junctions and does not enforce access lists.

#include "toolkit/file_removal.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/text.h"
#include "support/file_tree.h"
#include "support/recipe_test.h"
#include "toolkit/protected_locations.h"
#include "toolkit/well_known_folders.h"

#ifndef _WIN32
#include "platform/sim/sim_files.h"
#endif

namespace {

class FolderDeletionTest : public LogTest {
protected:
    TestFolder folder;
};

TEST_F(FolderDeletionTest, ReadOnlyFilesAndPathsBeyondMaxPathGo)
{
    const std::u16string agent = folder / u"Agent";
    std::u16string deep = u"\\\\?\\" + agent;
    ASSERT_TRUE(Os().createDirectory(deep.c_str(), nullptr));
    while (deep.size() < 320) {
        deep += u"\\a-folder-name-long-enough-to-pass-the-limit";
        ASSERT_TRUE(Os().createDirectory(deep.c_str(), nullptr)) << Os().getLastError();
    }
    ASSERT_TRUE(MakeFile(deep + u"\\deep.txt", "deep"));
    ASSERT_TRUE(MakeFile(agent + u"\\readonly.dll", "MZ"));
    ASSERT_TRUE(Os().setFileAttributes((agent + u"\\readonly.dll").c_str(), FILE_ATTRIBUTE_READONLY));

    EXPECT_TRUE(DeleteDirectory(agent, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + agent + u"\"...done\r\n");
    EXPECT_EQ(Os().getFileAttributes(agent.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(Os().getFileAttributes(folder.path().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FolderDeletionTest, MissingFolderIsNoWork)
{
    EXPECT_TRUE(DeleteDirectory(folder / u"Never", &log));
    EXPECT_FALSE(TakeLogText(queue));
}

TEST_F(FolderDeletionTest, ChecksSeeWhatIsThere)
{
    ASSERT_TRUE(MakeFile(folder / u"agent.ini", "x"));
    EXPECT_TRUE(CheckFile(folder / u"agent.ini", &log));
    EXPECT_FALSE(CheckFile(folder / u"relay.ini", &log));
    EXPECT_EQ(text(), u"Checking for file \"" + (folder / u"agent.ini") + u"\"...found\r\n"
                      u"Checking for file \"" + (folder / u"relay.ini") + u"\"...not found\r\n");
}

// Add-on folders are built from the agent's folder as text: Windows Installer ends it with a
// backslash, and the A2A folder lies beside it through "..". Such a folder is deleted, not its
// neighbours, while the log shows it as it was given.
TEST_F(FolderDeletionTest, FoldersNamedThroughDoubledBackslashesAndParentFoldersGo)
{
    for (const char16_t* name : {u"QTV Client", u"QTV Client\\DLP", u"QTV A2A"})
        ASSERT_TRUE(Os().createDirectory((folder / name).c_str(), nullptr));
    ASSERT_TRUE(MakeFile(folder / u"QTV Client\\QTVClient.exe", "MZ"));
    ASSERT_TRUE(MakeFile(folder / u"QTV A2A\\QTVA2ADLL.dll", "MZ"));
    ASSERT_TRUE(MakeFile(folder / u"QTV Client\\DLP\\rules.xml", "<rules/>"));
    const std::u16string a2a = folder / u"QTV Client\\\\..\\QTV A2A";
    const std::u16string dlp = folder / u"QTV Client\\\\DLP";

    EXPECT_TRUE(DeleteDirectory(a2a, &log));
    EXPECT_TRUE(DeleteDirectory(dlp, &log));

    EXPECT_EQ(text(), u"Deleting directory \"" + a2a + u"\"...done\r\n"
                      u"Deleting directory \"" + dlp + u"\"...done\r\n");
    EXPECT_EQ(Os().getFileAttributes((folder / u"QTV A2A").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Os().getFileAttributes((folder / u"QTV Client\\DLP").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(Os().getFileAttributes((folder / u"QTV Client\\QTVClient.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The guard on the machine's own protected folders, asked only: nothing is deleted. The alias of
// the 32-bit Program Files folder is the one the machine's listing gives (Windows "PROGRA~2", Wine
// a hash of the name).
TEST_F(FolderDeletionTest, GuardSeesThroughTrailingDotsBlanksAndAliases)
{
    const std::optional<std::u16string> windows = GetSpecialFolder(CSIDL_WINDOWS);
    const std::optional<std::u16string> programFiles = GetSpecialFolder(CSIDL_PROGRAM_FILESX86);
    ASSERT_TRUE(windows && programFiles);
#ifndef _WIN32
    machine.files().addFolder(*windows);
    machine.files().addFolder(u"C:\\Program Files");
    machine.files().addFolder(*programFiles);
#endif
    const std::u16string parent = programFiles->substr(0, programFiles->rfind(u'\\'));
    DWORD endError = 0;
    std::u16string alias;
    for (const Listed& entry : List(parent + u"\\*", endError))
        if (entry.name == programFiles->substr(parent.size() + 1))
            alias = entry.alias;
    ASSERT_FALSE(alias.empty());

    for (const std::u16string& name : {*windows + u".", *windows + u" ", *windows + u". .", u"\\\\?\\" + *windows + u"\\.",
                                       parent + u"\\" + alias, parent + u"\\" + alias + u"\\."})
        EXPECT_TRUE(IsProtectedLocation(name)) << ToUtf8(name);

    ASSERT_TRUE(Os().createDirectory((folder / u"QTV").c_str(), nullptr));
    for (const std::u16string& name : {folder / u"QTV.", folder / u"QTV ", folder / u"Missing."})
        EXPECT_FALSE(IsProtectedLocation(name)) << ToUtf8(name);
}

// A relative name is read from the current folder, which for a program a deployment engine starts
// is the system folder: "..\\.." is then the drive's root.
TEST_F(FolderDeletionTest, GuardReadsARelativeNameFromTheCurrentFolder)
{
    const std::optional<std::u16string> windows = GetSpecialFolder(CSIDL_WINDOWS);
    ASSERT_TRUE(windows);
    const std::u16string system = *windows + u"\\system32";
#ifdef _WIN32
    wchar_t previous[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(system.c_str())));
#else
    machine.files().addFolder(system);
    machine.files().setCurrentFolder(system);
#endif
    for (const char16_t* name : {u"..\\..", u"..", u".", u"..\\..\\Program Files (x86)"})
        EXPECT_TRUE(IsProtectedLocation(name)) << ToUtf8(name);
    EXPECT_FALSE(DeleteDirectory(u"..\\..", &log));
    EXPECT_EQ(text(), u"Deleting directory \"..\\..\"...refused: protected location\r\n");
#ifdef _WIN32
    SetCurrentDirectoryW(previous);
#endif
}

} // namespace
