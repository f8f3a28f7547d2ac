// The uninstaller runner with the spawn_child fixture: natively on the simulated machine, under
// Wine with the real program.

#include "toolkit/uninstaller.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/os_api.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/spawn_child.h"
#include "support/system_texts.h"

#ifndef _WIN32
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#endif

namespace {

class UninstallerTest : public LogTest {
protected:
    void SetUp() override
    {
#ifndef _WIN32
        BindSpawnChild(machine);
#endif
    }
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

#ifndef _WIN32
// Programs planted at every shorter name an unquoted command begins with, and beside the
// program: none of them ever runs. Natively, where any file can be bound to a program; under
// Wine the planted-programs scenario of the e2e tests proves the same with real files.
TEST_F(UninstallerTest, OnlyTheNamedProgramRunsWhateverIsPlantedBesideIt)
{
    const std::u16string relay = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\setup.exe";
    const std::u16string msiexec = u"C:\\windows\\System32\\MsiExec.exe";
    for (const std::u16string& path : {relay, msiexec, std::u16string(u"C:\\Program.exe"),
                                       std::u16string(u"C:\\Program Files (x86)\\Zantrel.exe"),
                                       std::u16string(u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV.exe"),
                                       std::u16string(u"C:\\qtv\\MsiExec.exe"), std::u16string(u"C:\\qtv\\uninstall.exe")})
        machine.processes().addProgram(path, [](SimProgramContext&) {});
    machine.files().setCurrentFolder(u"C:\\qtv");
    machine.files().addFolder(u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\setup");

    struct Case {
        std::u16string command;
        std::u16string ran; // empty: nothing may start
    };
    const Case cases[] = {
        {relay + u" -s --uninstallsilent", relay},
        {u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\setup -s", relay},
        {u"\"" + relay + u"\" -s", relay},
        {relay + u"\t-s", relay},
        {u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\missing.exe -s", u""},
        {u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay", u""},
        {u"MsiExec.exe /X{QTV-CONSOLE} /qn", msiexec},
        {u"msiexec /X{QTV-CONSOLE} /qn", msiexec},
        {u"\"MsiExec.exe\" /X{QTV-CONSOLE} /qn", msiexec},
        {u"..\\qtv\\MsiExec.exe /X{QTV-CONSOLE} /qn", u""},
        {u"\"..\\qtv\\MsiExec.exe\" /X{QTV-CONSOLE} /qn", u""},
        {u"uninstall.exe /s", u""},
    };
    for (const Case& c : cases) {
        const std::size_t before = machine.processes().runs().size();
        const bool started = RunUninstaller(c.command, u"Relay", &log);
        const std::u16string logged = text();
        const auto runs = machine.processes().runs();
        ASSERT_EQ(runs.size(), before + (c.ran.empty() ? 0 : 1)) << ToUtf8(c.command) << "\n" << ToUtf8(logged);
        EXPECT_EQ(started, !c.ran.empty()) << ToUtf8(c.command);
        if (c.ran.empty()) {
            EXPECT_TRUE(WithSystemText(ToUtf8(logged),
                                       ToUtf8(u"Running uninstaller for \"Relay\" with command " + c.command + u"\r\n"
                                              u"...error creating process: Windows Error 0x2: "),
                                       ERROR_FILE_NOT_FOUND, "\r\n"));
            continue;
        }
        EXPECT_EQ(runs.back().program, c.ran) << ToUtf8(c.command);
        EXPECT_EQ(runs.back().commandLine, c.command) << "the command line is passed as it was";
        EXPECT_EQ(runs.back().currentFolder, u"C:\\windows\\System32") << ToUtf8(c.command);
    }
}

// A program somebody other than the administrators could have replaced is not run as them: the
// removal by hand goes on.
TEST_F(UninstallerTest, AProgramOthersMayChangeIsNotStarted)
{
    const std::u16string relay = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\setup.exe";
    const std::u16string agent = u"C:\\ProgramData\\Zantrel\\Agent\\uninst.exe";
    const std::u16string shared = u"N:\\Zantrel\\uninst.exe";
    machine.files().addNetworkDrive(u'N');
    for (const std::u16string& path : {relay, agent, shared})
        machine.processes().addProgram(path, [](SimProgramContext&) {});
    machine.files().letStandardUsersChange(relay);
    machine.files().letStandardUsersChange(u"C:\\ProgramData\\Zantrel");
    struct Case {
        std::u16string command;
        std::u16string program;
        std::u16string changeable;
    };
    const Case cases[] = {
        {u"\"" + relay + u"\" -s", relay, relay},
        {agent + u" /remove", agent, u"C:\\ProgramData\\Zantrel"},
        {shared, shared, shared},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(RunUninstaller(c.command, u"Relay", &log));

        EXPECT_EQ(text(), u"Running uninstaller for \"Relay\" with command " + c.command + u"\r\n"
                          u"Not starting \"" + c.program + u"\": a standard user can change \"" + c.changeable + u"\".\r\n");
    }
    EXPECT_TRUE(machine.processes().runs().empty());
}
#endif

} // namespace
