// Where the /detect listing goes, by how the program was started. Natively only: under Wine the
// console belongs to the test runner.

#include <gtest/gtest.h>

#include "support/machine_test.h"
#include "platform/sim/sim_console.h"
#include "platform/sim/sim_files.h"
#include "platform/starter_output.h"

namespace {

enum class Start { HandedFile, HandedConsole, FromCommandPrompt, FromExplorer };

struct Case {
    Start start;
    const char* file;            // what C:\out.txt holds after, or null when there is none
    const char16_t* console;     // what the starting program's console shows after
};

class StarterOutputTest : public MachineTest, public ::testing::WithParamInterface<Case> {};

TEST_P(StarterOutputTest, ListingReachesWhoeverStartedTheProgram)
{
    const Case& c = GetParam();
    HANDLE handed = nullptr;
    if (c.start == Start::HandedFile)
        handed = machine.createFile(u"C:\\out.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (c.start == Start::HandedConsole)
        handed = machine.console().openParentConsole(machine);
    machine.console().setStdHandle(STD_OUTPUT_HANDLE, handed);
    machine.console().setParentConsole(c.start != Start::FromExplorer);
    const std::size_t handlesBefore = machine.openHandles();

    WriteToStarter(u"relay \u00ABbeta\u00BB\t8.0.1\r\n");

    EXPECT_EQ(machine.openHandles(), handlesBefore) << "CONOUT$ is closed again";
    EXPECT_EQ(machine.files().content(u"C:\\out.txt"), c.file ? std::optional<std::string>(c.file) : std::nullopt);
    EXPECT_EQ(machine.console().parentConsoleText(), c.console);
    EXPECT_EQ(machine.console().attached(), c.start == Start::FromCommandPrompt)
        << "a program handed an output never takes its starter's console";
}

INSTANTIATE_TEST_SUITE_P(
    Starts, StarterOutputTest,
    ::testing::Values(Case{Start::HandedFile, "relay \xC2\xAB" "beta\xC2\xBB\t8.0.1\r\n", u""},
                      Case{Start::HandedConsole, nullptr, u"relay \u00ABbeta\u00BB\t8.0.1\r\n"},
                      Case{Start::FromCommandPrompt, nullptr, u"relay \u00ABbeta\u00BB\t8.0.1\r\n"},
                      Case{Start::FromExplorer, nullptr, u""}));

} // namespace
