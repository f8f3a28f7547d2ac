#include "products/console_product.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shell.h"
#include "support/recipe_test.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products";
const std::u16string kSettingsKey = u"Software\\Zantrel\\Enterprise Console";
const std::u16string kInstallFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Console";
const std::u16string kAppData = u"C:\\Users\\user\\AppData\\Local\\Zantrel\\Enterprise Console";
const std::u16string kSetup = u"C:\\Program Files (x86)\\InstallShield Installation Information\\{C0}\\setup.exe";

const std::u16string kDetectBanner = u"\r\n**************************************************\r\n"
                                     u"* Detecting Console\r\n"
                                     u"**************************************************\r\n";

std::u16string RemoveBanner(const std::u16string& name)
{
    return u"\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
           u"x Removing " + name + u"\r\n"
           u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
}

std::size_t Occurrences(const std::u16string& text, const std::u16string& piece)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::u16string::npos; at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

class ConsoleProductTest : public RecipeTest {
protected:
    // Programs that only record their runs: they leave the registration, as a failing run would.
    void addUninstallers()
    {
        machine.processes().addProgram(kMsiExec, [](SimProgramContext&) {});
        machine.processes().addProgram(kSetup, [](SimProgramContext&) {});
    }

    ConsoleProduct console{&log};
};

struct CommandCase {
    const char* label;
    std::u16string registered;
    std::u16string program;
    std::u16string run;
};

void PrintTo(const CommandCase& c, std::ostream* out)
{
    *out << c.label;
}

class ConsoleUninstallCommandTest : public ConsoleProductTest, public ::testing::WithParamInterface<CommandCase> {
};

TEST_P(ConsoleUninstallCommandTest, RunsTheSilentFormOfTheRegisteredCommand)
{
    const CommandCase& c = GetParam();
    addUninstallers();
    addUninstallEntry(u"{C0}", u"Velmora Zantrel Console", u"", c.registered);
    console.detect();
    text();

    EXPECT_TRUE(console.remove());

    EXPECT_EQ(machine.processes().commandLinesOf(c.program), std::vector<std::u16string>{c.run});
    EXPECT_EQ(machine.processes().runs().size(), 1u);
    const std::u16string transcript = text();
    EXPECT_NE(transcript.find(u"\r\nRunning uninstaller for \"Velmora Zantrel Console\" with command " + c.run + u"\r\n"),
              std::u16string::npos)
        << std::string(transcript.begin(), transcript.end());
    EXPECT_EQ(transcript.find(u"Creating install shield response file"), std::u16string::npos);
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty()) << "no response file, not even an empty one";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ConsoleUninstallCommandTest,
    ::testing::Values(
        CommandCase{"MaintenanceBecomesUninstall", u"MsiExec.exe /I{5D2E0C1A-7B0D-4F67-9E3B-1C2A3B4C5D6E}", kMsiExec,
                    u"MsiExec.exe /X{5D2E0C1A-7B0D-4F67-9E3B-1C2A3B4C5D6E} /qn"},
        CommandCase{"UninstallStaysAsRegistered", u"MsiExec.exe /X{5D2E0C1A-7B0D-4F67-9E3B-1C2A3B4C5D6E}", kMsiExec,
                    u"MsiExec.exe /X{5D2E0C1A-7B0D-4F67-9E3B-1C2A3B4C5D6E} /qn"},
        CommandCase{"OnlyTheFirstMaintenanceSwitchChanges", u"MsiExec.exe /I{A1} TRANSFORMS=/I{B2}", kMsiExec,
                    u"MsiExec.exe /X{A1} TRANSFORMS=/I{B2} /qn"},
        CommandCase{"SetupProgramGetsItsSilentSwitches", u"\"" + kSetup + u"\" -runfromtemp -l0x0009", kSetup,
                    u"\"" + kSetup + u"\" -runfromtemp -l0x0009 /s /z\"uninstall\""},
        // The marker is case-sensitive: a lower-case command is taken for a setup program.
        CommandCase{"LowerCaseInstallerIsTakenForASetupProgram", u"msiexec.exe /I{A1}", kMsiExec,
                    u"msiexec.exe /I{A1} /s /z\"uninstall\""}),
    [](const ::testing::TestParamInfo<CommandCase>& param) { return std::string(param.param.label); });

TEST_F(ConsoleProductTest, DataFolderAloneMeansInstalledAndRemovalDeletesIt)
{
    machine.files().addFile(kAppData + u"\\layout.xml", "<layout/>");

    console.detect();
    EXPECT_TRUE(console.isInstalled());
    EXPECT_FALSE(console.version());
    EXPECT_EQ(console.name(), u"Velmora Zantrel Console");
    text();

    EXPECT_TRUE(console.remove());
    EXPECT_FALSE(machine.files().exists(kAppData));
    EXPECT_TRUE(machine.files().exists(u"C:\\Users\\user\\AppData\\Local\\Zantrel"));
    EXPECT_EQ(text(), RemoveBanner(u"Velmora Zantrel Console") +
                          u"Looking for an uninstall string for \"Velmora Zantrel Console\"...not found\r\n"
                          u"Deleting directory \"" + kAppData + u"\"...done\r\n"
                          u"Found product \"Velmora Zantrel Console\".  Attempting to remove all traces of it from registry...\r\n");

    console.detect();
    EXPECT_FALSE(console.isInstalled());
}

// Every system names its application data folder: one that could not be named stops the removal
// before the settings key that finds the console, so that a later run finishes it.
TEST_F(ConsoleProductTest, WithoutLocalAppDataTheRemovalStopsAndKeepsWhatFindsTheConsole)
{
    machine.shell().setFolder(CSIDL_LOCAL_APPDATA, std::nullopt);
    registry().createKey(HKEY_CURRENT_USER, kSettingsKey);

    console.runDetection();
    EXPECT_TRUE(console.isInstalled());
    EXPECT_TRUE(console.detectionError());
    EXPECT_FALSE(console.remove());
    EXPECT_TRUE(registry().keyExists(HKEY_CURRENT_USER, kSettingsKey));

    const std::u16string transcript = text();
    EXPECT_EQ(Occurrences(transcript, u"\r\nCannot determine the application data directory (old operating system?).\r\n"), 1u);
    EXPECT_TRUE(HasLines(transcript, u"Removal stopped: a folder of the component could not be named.\r\n"));
    EXPECT_EQ(transcript.find(u"AppData"), std::u16string::npos);
}

TEST_F(ConsoleProductTest, DetectionTranscript)
{
    addUninstallEntry(u"{C0}", u"Velmora Corbelis Console", u"9.5.10.79", u"MsiExec.exe /I{C0}", kInstallFolder);
    registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P1", u"ProductName", u"Velmora Corbelis Console");
    registry().createKey(HKEY_CURRENT_USER, kSettingsKey);
    machine.files().addFile(kInstallFolder + u"\\QTVConsole.exe");
    machine.files().addFolder(kAppData);

    console.detect();

    EXPECT_TRUE(console.isInstalled());
    EXPECT_EQ(console.name(), u"Velmora Corbelis Console");
    EXPECT_EQ(console.version(), u"9.5.10.79");
    EXPECT_EQ(text(),
              kDetectBanner +
                  u"Setting product name to \"Velmora Corbelis Console\"\r\n"
                  u"Setting default path to \"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Console\"\r\n"
                  u"Setting app data path to \"" + kAppData + u"\"\r\n"
                  u"Looking for the install location of \"Velmora Corbelis Console\" in \"HKLM\\" + kUninstallList +
                  u"\"...found path \"" + kInstallFolder + u"\"\r\n"
                  u"Checking for file \"" + kInstallFolder + u"\"...found\r\n"
                  u"Looking for the display version of \"Velmora Corbelis Console\" in \"HKLM\\" + kUninstallList +
                  u"\"...found version 9.5.10.79\r\n"
                  u"Looking for product \"Velmora Corbelis Console\" in \"" + kProducts + u"\"..."
                  u"Looking for removed product \"Velmora Corbelis Console\" in \"" + kProducts + u"\"..."
                  u"Looking for \"Velmora Corbelis Console\" installer properties in "
                  u"\"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\"...\r\n"
                  u"...found key \"P1\"\r\n"
                  u"Looking for product \"Velmora Corbelis Console\" in \"" + kUninstallList + u"\"...\r\n"
                  u"...found key \"{C0}\"\r\n"
                  u"Checking for registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...found\r\n"
                  u"Checking for file \"" + kAppData + u"\"...found\r\n");

    // Name and default folders are kept; only the install folder and version are looked for again.
    console.detect();
    const std::u16string again = text();
    EXPECT_EQ(again.find(u"Setting "), std::u16string::npos);
    EXPECT_NE(again.find(u"* Detecting Velmora Corbelis Console\r\n"), std::u16string::npos);
}

TEST_F(ConsoleProductTest, RemovalTranscriptWhenTheUninstallerLeavesEverything)
{
    addUninstallers();
    addUninstallEntry(u"{C0}", u"Velmora Corbelis Console", u"9.5.10.79", u"MsiExec.exe /I{C0}", kInstallFolder);
    registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P1", u"ProductName", u"Velmora Corbelis Console");
    registry().createKey(HKEY_CURRENT_USER, kSettingsKey);
    machine.files().addFile(kInstallFolder + u"\\QTVConsole.exe");
    machine.files().addFile(kAppData + u"\\settings.dat");
    console.detect();
    text();

    EXPECT_TRUE(console.remove());

    EXPECT_EQ(text(),
              RemoveBanner(u"Velmora Corbelis Console") +
                  u"Looking for an uninstall string for \"Velmora Corbelis Console\"...\r\n"
                  u"...found command MsiExec.exe /I{C0}\r\n"
                  u"Running uninstaller for \"Velmora Corbelis Console\" with command MsiExec.exe /X{C0} /qn\r\n"
                  u"...waiting for the uninstaller to finish...finished\r\n"
                  u"Looking for product \"Velmora Corbelis Console\" in \"" + kUninstallList + u"\"...\r\n"
                  u"...found key \"{C0}\"\r\n"
                  u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
                  u"Deleting directory \"" + kInstallFolder + u"\"...done\r\n"
                  u"Deleting directory \"" + kAppData + u"\"...done\r\n"
                  u"Deleting registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...done\r\n"
                  u"Found product \"Velmora Corbelis Console\".  Attempting to remove all traces of it from registry...\r\n"
                  u"Checking for registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\P1\"...not found\r\n"
                  u"Deleting registry key \"HKLM\\" + kProducts + u"\\P1\"...done\r\n"
                  u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{C0}\"...done\r\n");
    EXPECT_FALSE(machine.files().exists(kInstallFolder));
    EXPECT_FALSE(machine.files().exists(kAppData));
    EXPECT_FALSE(registry().keyExists(HKEY_CURRENT_USER, kSettingsKey));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{C0}"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kProducts + u"\\P1"));

    console.detect();
    EXPECT_FALSE(console.isInstalled());
    EXPECT_FALSE(console.version());
}

TEST_F(ConsoleProductTest, SuccessfulUninstallerLeavesNoWarning)
{
    addUninstallEntry(u"{C0}", u"Velmora Zantrel Console", u"", u"MsiExec.exe /X{C0}");
    machine.processes().addProgram(kMsiExec, [](SimProgramContext& context) {
        context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstallList + u"\\{C0}").c_str());
    });
    console.detect();
    text();

    EXPECT_TRUE(console.remove());
    const std::u16string transcript = text();
    EXPECT_NE(transcript.find(u"Looking for product \"Velmora Zantrel Console\" in \"" + kUninstallList + u"\"...not found\r\n"
                       u"Looking for product \"Velmora Zantrel Console\" in \"" + kProducts + u"\"..."),
              std::u16string::npos)
        << "the installer registration is asked only after the Uninstall list found nothing";
    EXPECT_EQ(transcript.find(u"Uninstaller appears unsuccessful"), std::u16string::npos);
}

TEST_F(ConsoleProductTest, FailedCleanUpStepMakesTheResultFalseAndTheRestStillRuns)
{
    machine.files().addFile(kAppData + u"\\settings.dat");
    registry().createKey(HKEY_CURRENT_USER, kSettingsKey);
    console.detect();
    // A failure that no restart mends (a file in use would be left to the restart).
    machine.failCall(SimCall::SetFileInformationByHandle, ERROR_INVALID_FUNCTION);
    text();

    EXPECT_FALSE(console.remove());
    EXPECT_TRUE(machine.files().exists(kAppData));
    EXPECT_FALSE(registry().keyExists(HKEY_CURRENT_USER, kSettingsKey));
}

} // namespace
