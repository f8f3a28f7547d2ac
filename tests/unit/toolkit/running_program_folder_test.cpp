// A folder whose program still runs, given to the folder deletion: natively on the simulated
// machine, under Wine with the spawn_child fixture copied into it.

#include "toolkit/file_removal.h"

#include <gtest/gtest.h>

#include <string>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/spawn_child.h"
#include "support/system_texts.h"

namespace {

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
    }

    ProcessHandles running;
};

TEST_F(RunningProgramFolderTest, TheFolderSurvivesItsDeletionWithTheRefusalLogged)
{
    ASSERT_TRUE(PlaceSpawnChild(kProgram));
    std::u16string commandLine = u"\"" + kProgram + u"\" child 60000";
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    running = CreateProcessChecked(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   startupInfo);

    EXPECT_FALSE(DeleteDirectory(kFolder, &log));

    EXPECT_TRUE(WithSystemText(ToUtf8(text()), ToUtf8(u"Deleting directory \"" + kFolder + u"\"...Windows Error: "),
                               ERROR_ACCESS_DENIED,
                               ToUtf8(u"...error occurred while trying to delete file \"\\\\?\\" + kProgram + u"\"\r\n")));
    EXPECT_NE(Os().getFileAttributes(kProgram.c_str()), INVALID_FILE_ATTRIBUTES);

    // Once the program has ended, the same deletion takes the folder.
    ASSERT_TRUE(Os().terminateProcess(running.process.get(), 1));
    ASSERT_EQ(Os().waitForSingleObject(running.process.get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(DeleteDirectory(kFolder, &log));
    EXPECT_EQ(text(), u"Deleting directory \"" + kFolder + u"\"...done\r\n");
    EXPECT_EQ(Os().getFileAttributes(kFolder.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
