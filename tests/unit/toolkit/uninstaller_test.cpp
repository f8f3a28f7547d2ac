// The uninstaller runner with the spawn_child fixture: natively on the simulated machine, under
// Wine with the real program.

#include "toolkit/uninstaller.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/text.h"
#include "support/machine_test.h"
#include "support/spawn_child.h"
#include "support/system_texts.h"

namespace {

class UninstallerTest : public MachineTest {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        BindSpawnChild(machine);
#endif
    }

    std::u16string text() { return TakeLogText(queue).value_or(u""); }

    LogQueue queue;
    Remove::MessageLog log{&queue};
};

TEST_F(UninstallerTest, WaitsForAChildThatOutlivesItsParent)
{
    const std::u16string command = SpawnChildCommand(u"parent 1500");
    const ULONGLONG start = Os().getTickCount64();

    EXPECT_TRUE(RunUninstaller(command, u"Agent", &log));

    EXPECT_GE(Os().getTickCount64() - start, 1400u) << "returned before the child ended";
    EXPECT_EQ(text(), u"Running uninstaller for \"Agent\" with command " + command + u"\r\n"
                      u"...waiting for the uninstaller to finish...finished\r\n");
}

TEST_F(UninstallerTest, AnErrorExitCodeStillFinishes)
{
    const std::u16string command = SpawnChildCommand(u"exit 1603");

    EXPECT_TRUE(RunUninstaller(command, u"Relay", &log));

    EXPECT_EQ(text(), u"Running uninstaller for \"Relay\" with command " + command + u"\r\n"
                      u"...waiting for the uninstaller to finish...finished\r\n");
}

TEST_F(UninstallerTest, MissingProgramIsError2)
{
    const std::u16string command = u"\"C:\\QTVRemoveTests\\NoSuchUninstaller.exe\" /remove";

    EXPECT_FALSE(RunUninstaller(command, u"Server", &log));

    EXPECT_TRUE(WithSystemText(ToUtf8(text()),
                               ToUtf8(u"Running uninstaller for \"Server\" with command " + command + u"\r\n"
                                      u"...error creating process: Windows Error 0x2: "),
                               ERROR_FILE_NOT_FOUND, "\r\n"));
}

} // namespace
