// The uninstaller runner with the spawn_child fixture: natively on the simulated machine, under
// Wine with the real program.

#include "toolkit/uninstaller.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/run_record.h"
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
// An uninstaller that waits: at the time limit, or with a box nobody can answer, it and what it
// started are ended and the removal goes on; a box somebody sees is told once and waited for.
TEST_F(UninstallerTest, AnUninstallerThatWaitsIsEndedOrToldOf)
{
    const std::u16string program = u"C:\\Zantrel\\uninst.exe";
    const std::u16string child = u"C:\\Zantrel\\child.exe";
    constexpr DWORD kHours = 4 * 3600 * 1000;
    struct Case {
        const char* what;
        bool desktop;
        std::optional<unsigned> minutes;
        DWORD lives; // 0: longer than anything waits for it here
        int window;  // 0: none, 1: visible, 2: hidden, 3: visible, of a program outside the job
        std::u16string after; // the log after "...waiting for the uninstaller to finish..."
        UninstallerEnd ended;
        std::optional<DWORD> exitCode;
        ULONGLONG took; // on the clock, to the second
        DWORD exits = 7;      // the uninstaller's own exit code
        DWORD itLives = 0;    // the uninstaller's own life, when the child it started lives longer
    };
    // A title that would end the log's line, as the log shows it.
    const std::u16string box = u"Insert the disk\r\n\"Agent 9.1\"";
    const std::u16string shown = u"Insert the disk\\r\\n\"Agent 9.1\"";
    const Case cases[] = {
        {"past the time limit", true, 1, 0, 0,
         u"\r\nThe uninstaller did not finish in time (/timeout 1): it and the processes it started were ended.\r\n",
         UninstallerEnd::TimeLimit, 1460, 60},
        {"just in time", true, 1, 59500, 1, u"finished\r\n", UninstallerEnd::Finished, 7, 59},
        {"a box nobody sees", false, std::nullopt, 0, 1,
         u"\r\nThe uninstaller is waiting for an answer nobody can give (\"" + shown +
             u"\"): it and the processes it started were ended.\r\n",
         UninstallerEnd::Unanswerable, 1223, 61},
        {"a box somebody sees", true, std::nullopt, 150000, 1,
         u"\r\nThe uninstaller is waiting in its window \"" + shown + u"\".\r\nfinished\r\n", UninstallerEnd::Finished, 7,
         150},
        {"a box, then the limit", true, 2, 0, 1,
         u"\r\nThe uninstaller is waiting in its window \"" + shown +
             u"\".\r\nThe uninstaller did not finish in time (/timeout 2): it and the processes it started were ended.\r\n",
         UninstallerEnd::TimeLimit, 1460, 120},
        {"a hidden window nobody sees", false, std::nullopt, 90000, 2, u"finished\r\n", UninstallerEnd::Finished, 7, 90},
        {"another program's box nobody sees", false, std::nullopt, 90000, 3, u"finished\r\n", UninstallerEnd::Finished, 7,
         90},
        {"a restart asked for, a program left behind", true, 1, 0, 0,
         u"\r\nThe uninstaller did not finish in time (/timeout 1): it and the processes it started were ended.\r\n",
         UninstallerEnd::TimeLimit, 3010, 60, 3010, 5000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        machine.setWindowStationVisible(c.desktop);
        // The box is the child's; the uninstaller waits for it.
        machine.processes().addProgram(child, [&c, box](SimProgramContext& context) {
            if (c.window)
                context.showWindow(box, c.window != 2);
            context.liveFor(c.lives ? c.lives : kHours);
        });
        machine.processes().addProgram(program, [&c, child](SimProgramContext& context) {
            if (c.window != 3)
                context.startProcess(child);
            context.exitWith(c.exits);
            context.liveFor(c.itLives ? c.itLives : c.lives ? c.lives : kHours);
        });
        if (c.window == 3) {
            std::u16string line = child;
            STARTUPINFOW startup{};
            PROCESS_INFORMATION started{};
            ASSERT_TRUE(Os().createProcess(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                           &started));
        }
        const RunRecordScope record;
        const UninstallerTimeLimitScope limit(c.minutes);
        const ULONGLONG start = machine.now();

        EXPECT_TRUE(RunUninstaller(program + u" /S", u"Agent", &log));

        EXPECT_EQ(text(), u"Running uninstaller for \"Agent\" with command " + program + u" /S\r\n"
                          u"...waiting for the uninstaller to finish..." + c.after);
        EXPECT_EQ((machine.now() - start) / 1000, c.took);
        EXPECT_EQ(machine.processes().aliveCount(), 0u);
        ASSERT_TRUE(record.uninstallerRun());
        EXPECT_EQ(record.uninstallerRun()->command, program + u" /S");
        EXPECT_EQ(record.uninstallerRun()->ended, c.ended);
        EXPECT_EQ(record.uninstallerRun()->exitCode, c.exitCode);
        EXPECT_EQ(TakeRestartRequest(), c.exits == 3010);
    }
}

// A job that cannot be ended runs on beside what would be removed by hand: the removal stops there.
TEST_F(UninstallerTest, AnUninstallerThatCannotBeEndedStopsTheRemoval)
{
    const std::u16string program = u"C:\\Zantrel\\uninst.exe";
    machine.processes().addProgram(program, [](SimProgramContext& context) { context.liveUntilTerminated(); });
    machine.failCall(SimCall::TerminateJobObject, ERROR_ACCESS_DENIED);
    const RunRecordScope record;
    const UninstallerTimeLimitScope limit(1);

    EXPECT_THROW(RunUninstaller(program, u"Agent", &log), Windows::Error);

    EXPECT_TRUE(WithSystemText(ToUtf8(text()),
                               ToUtf8(u"Running uninstaller for \"Agent\" with command " + program + u"\r\n"
                                      u"...waiting for the uninstaller to finish...\r\n"
                                      u"The uninstaller did not finish in time (/timeout 1), and it could not be ended: "
                                      u"Windows Error 0x5: "),
                               ERROR_ACCESS_DENIED, "\r\n"));
    EXPECT_EQ(machine.processes().aliveCount(), 1u);
    // One that finishes later in the same removal does not hide it from the report.
    const std::u16string helper = u"C:\\Zantrel\\helper.exe";
    machine.processes().addProgram(helper, [](SimProgramContext&) {});
    EXPECT_TRUE(RunUninstaller(helper, u"Agent Helper", &log));
    ASSERT_TRUE(record.uninstallerRun());
    EXPECT_EQ(record.uninstallerRun()->command, program);
    EXPECT_EQ(record.uninstallerRun()->ended, UninstallerEnd::TimeLimit);
    EXPECT_EQ(record.uninstallerRun()->exitCode, std::nullopt);
}
#endif

} // namespace
