// A folder whose program still runs, given to the folder deletion: natively on the simulated
// machine, under Wine with the spawn_child fixture copied into it.

#include "toolkit/file_removal.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/spawn_child.h"
#include "support/system_texts.h"

namespace {

const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char16_t kPendingOperations[] = u"PendingFileRenameOperations";
const std::u16string kFolder = u"C:\\qtv\\running";
const std::u16string kProgram = kFolder + u"\\running_child.exe";

class RunningProgramFolderTest : public LogTest {
protected:
    void TearDown() override
    {
        if (running.process) {
            Os().terminateProcess(running.process.get(), 1);
            Os().waitForSingleObject(running.process.get(), 10000);
        }
        Os().deleteFile(kProgram.c_str());
        Os().removeDirectory(kFolder.c_str());
        UniqueKey key;
        if (Os().regOpenKeyEx(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) == ERROR_SUCCESS)
            Os().regDeleteValue(key.get(), kPendingOperations);
    }

    void start()
    {
        ASSERT_TRUE(PlaceSpawnChild(kProgram));
        std::u16string commandLine = u"\"" + kProgram + u"\" child 60000";
        STARTUPINFOW startupInfo{};
        startupInfo.cb = sizeof(startupInfo);
        running = CreateProcessChecked(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                       startupInfo);
    }

    // The system's list of what to do when it next starts, as it stores it.
    static std::u16string PendingOperations()
    {
        UniqueKey key;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (Os().regOpenKeyEx(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
            Os().regQueryValueEx(key.get(), kPendingOperations, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return u"";
        std::u16string data(size / 2, u'\0');
        Os().regQueryValueEx(key.get(), kPendingOperations, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        return type == REG_MULTI_SZ ? data : u"(not REG_MULTI_SZ)";
    }

    ProcessHandles running;
};

// What the running program holds, its file and then its folder, is listed for deletion when
// Windows next starts, in that order and as the system stores the list; a second run before the
// restart lists nothing twice.
TEST_F(RunningProgramFolderTest, WhatTheProgramHoldsIsDeletedAtRestart)
{
    start();

    EXPECT_TRUE(DeleteDirectory(kFolder, &log));
    const std::vector<std::u16string> lines = Lines(text());
    EXPECT_TRUE(DeleteDirectory(kFolder, &log));
    EXPECT_EQ(Lines(text()), lines) << "the second run does as the first";

    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(WithSystemText(ToUtf8(lines[0]), ToUtf8(u"Deleting directory \"" + kFolder + u"\"...Windows Error: "),
                               ERROR_ACCESS_DENIED,
                               ToUtf8(u"...error occurred while trying to delete file \"\\\\?\\" + kProgram + u"\"")));
    EXPECT_EQ(lines[1], u"Scheduled for deletion when Windows restarts: \"" + kProgram + u"\"");
    EXPECT_TRUE(WithSystemText(ToUtf8(lines[2]), "Windows Error: ", ERROR_DIR_NOT_EMPTY,
                               ToUtf8(u"...in call to RemoveDirectory for \"\\\\?\\" + kFolder + u"\"")));
    EXPECT_EQ(lines[3], u"Scheduled for deletion when Windows restarts: \"" + kFolder + u"\"");
    EXPECT_EQ(PendingOperations(), u"\\??\\" + kProgram + std::u16string(2, u'\0') + u"\\??\\" + kFolder +
                                       std::u16string(3, u'\0'));
    EXPECT_NE(Os().getFileAttributes(kProgram.c_str()), INVALID_FILE_ATTRIBUTES);
#ifndef _WIN32
    machine.restart();
    EXPECT_EQ(Os().getFileAttributes(kFolder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(PendingOperations(), u"");
#endif
}

TEST_F(RunningProgramFolderTest, OnceTheProgramHasEndedTheFolderGoesAtOnce)
{
    start();
    ASSERT_TRUE(Os().terminateProcess(running.process.get(), 1));
    ASSERT_EQ(Os().waitForSingleObject(running.process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(DeleteDirectory(kFolder, &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + kFolder + u"\"...done\r\n");
    EXPECT_EQ(Os().getFileAttributes(kFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
