#include "products/cdt_product.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/log.h"
#include "platform/text.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "products/dotted_version.h"
#include "support/recipe_test.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
const std::u16string kTool = u"Velmora Zantrel Client Deploy Tool";
const std::u16string kDefaultFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client Deploy";
const std::u16string kInstallFolder = u"C:\\Program Files (x86)\\Zantrel\\Deploy";
const std::u16string kSetup = u"C:\\Program Files (x86)\\InstallShield Installation Information\\{CDT}\\setup.exe";
const std::u16string kEmbedded =
    u"The Client Deploy Tool is embedded in the Console, it is not a stand alone component.\r\n";
const std::string kResponseFile = "[InstallShield Silent]\r\n"
                                  "Version=v7.00\r\n"
                                  "File=Response File\r\n"
                                  "[File Transfer]\r\n"
                                  "OverwrittenReadOnly=NoToAll\r\n";

const std::u16string kDetectBanner = u"\r\n**************************************************\r\n"
                                     u"* Detecting Client Deploy Tool\r\n"
                                     u"**************************************************\r\n";
const std::u16string kRemoveBanner = u"\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
                                     u"x Removing Velmora Zantrel Client Deploy Tool\r\n"
                                     u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n";
const std::u16string kOpening = kDetectBanner +
                                u"Setting product name to \"Velmora Zantrel Client Deploy Tool\"\r\n"
                                u"Setting default path to \"" + kDefaultFolder + u"\"\r\n";

class CDTProductTest : public RecipeTest {
protected:
    void registerConsole(const std::u16string& version) { addUninstallEntry(u"{CON}", u"Velmora Zantrel Console", version); }

    // A stand-alone tool of version 9.0.2.11, registered with Windows Installer too.
    void registerTool(const std::u16string& command = {})
    {
        addUninstallEntry(u"{CDT}", kTool, u"9.0.2.11", command, kInstallFolder);
        registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P7", u"ProductName", kTool);
        machine.files().addFile(kInstallFolder + u"\\QTVClientDeploy.exe");
    }

    CDTProduct tool{&log};
};

class ConsoleHidesToolTest : public CDTProductTest, public ::testing::WithParamInterface<const char16_t*> {
};

TEST_P(ConsoleHidesToolTest, OnlyTheMessageFollowsTheOpeningLines)
{
    registerConsole(GetParam());
    registerTool();

    tool.detect();

    EXPECT_FALSE(tool.isInstalled());
    EXPECT_FALSE(tool.version());
    EXPECT_EQ(text(), kOpening + kEmbedded);
}

// 9.5 has two numbers and is compared on those two only, so it counts as 9.5.5.0.
INSTANTIATE_TEST_SUITE_P(ConsoleVersions, ConsoleHidesToolTest,
                         ::testing::Values(u"9.5.5.0", u"9.5.10.79", u"10.0", u"9.5", u"9,5,5,0"));

class ConsoleLeavesToolTest : public CDTProductTest, public ::testing::WithParamInterface<const char16_t*> {
};

TEST_P(ConsoleLeavesToolTest, ToolIsExaminedAsStandAlone)
{
    registerConsole(GetParam());
    registerTool();

    tool.detect();

    EXPECT_TRUE(tool.isInstalled());
    EXPECT_EQ(tool.version(), u"9.0.2.11");
    const std::u16string transcript = text();
    EXPECT_EQ(transcript.find(u"embedded"), std::u16string::npos) << ToUtf8(transcript);
    EXPECT_NE(transcript.find(u"\r\nLooking for the install location of \"" + kTool + u"\""), std::u16string::npos);
}

// Older consoles, and versions that do not parse (read as 0.0.0.0).
INSTANTIATE_TEST_SUITE_P(ConsoleVersions, ConsoleLeavesToolTest,
                         ::testing::Values(u"9.5.4.38", u"9.5.5.0.1", u"9.5.5a", u"9.5-5.0", u"70000.1", u""));

TEST_F(CDTProductTest, DetectionWithoutConsoleShowsOnlyTheToolsOwnLines)
{
    registerTool();
    // A console known only by its data folder has no version: it does not hide the tool, and
    // its probes stay out of the shared log.
    machine.files().addFolder(u"C:\\Users\\user\\AppData\\Local\\Zantrel\\Enterprise Console");

    tool.detect();

    EXPECT_TRUE(tool.isInstalled());
    EXPECT_EQ(tool.name(), kTool);
    EXPECT_EQ(text(),
              kOpening +
                  u"Looking for the install location of \"" + kTool + u"\" in \"HKLM\\" + kUninstallList +
                  u"\"...found path \"" + kInstallFolder + u"\"\r\n"
                  u"Checking for file \"" + kInstallFolder + u"\"...found\r\n"
                  u"Looking for the display version of \"" + kTool + u"\" in \"HKLM\\" + kUninstallList +
                  u"\"...found version 9.0.2.11\r\n"
                  u"Looking for product \"" + kTool + u"\" in \"" + kProducts + u"\"..."
                  u"Looking for removed product \"" + kTool + u"\" in \"" + kProducts + u"\"..."
                  u"Looking for \"" + kTool + u"\" installer properties in \"" + kUserData + u"\"...\r\n"
                  u"...found key \"P7\"\r\n"
                  u"Looking for product \"" + kTool + u"\" in \"" + kUninstallList + u"\"...\r\n"
                  u"...found key \"{CDT}\"\r\n");
}

TEST_F(CDTProductTest, NothingInstalledFallsBackToTheDefaultFolder)
{
    tool.detect();

    EXPECT_FALSE(tool.isInstalled());
    EXPECT_EQ(text(),
              kOpening +
                  u"Looking for the install location of \"" + kTool + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
                  u"Looking for the install location in \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App "
                  u"Paths\\QTVClientDeploy.exe:[Path]\"...not found\r\n"
                  u"Actual install directory could not be determined, using default directory \"" + kDefaultFolder + u"\"\r\n"
                  u"Checking for file \"" + kDefaultFolder + u"\"...not found\r\n"
                  u"Looking for the display version of \"" + kTool + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
                  u"Trying to read the version of file \"" + kDefaultFolder + u"\\QTVClientDeploy.exe\"...file not found\r\n"
                  u"Looking for product \"" + kTool + u"\" in \"" + kProducts + u"\"..."
                  u"Looking for removed product \"" + kTool + u"\" in \"" + kProducts + u"\"..."
                  u"Looking for \"" + kTool + u"\" installer properties in \"" + kUserData + u"\"...not found\r\n"
                  u"Looking for product \"" + kTool + u"\" in \"" + kUninstallList + u"\"...not found\r\n");
}

TEST_F(CDTProductTest, StandAloneToolOfTheEmbeddingReleaseIsReportedAndKept)
{
    addUninstallEntry(u"{CDT}", kTool, u"9.5.5.0");

    tool.detect();

    EXPECT_TRUE(tool.isInstalled());
    const std::u16string transcript = text();
    EXPECT_EQ(transcript.substr(transcript.size() - kEmbedded.size() - 2), u"\r\n" + kEmbedded) << ToUtf8(transcript);

    registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{CDT}", u"DisplayVersion", u"9.5.4.38");
    tool.detect();
    EXPECT_TRUE(tool.isInstalled());
    EXPECT_EQ(text().find(u"embedded"), std::u16string::npos);
}

TEST_F(CDTProductTest, SetupUninstallerReadsTheResponseFileWhichIsGoneAfterwards)
{
    const std::u16string registered = u"\"" + kSetup + u"\" -runfromtemp -l0x0009 -removeonly";
    registerTool(registered);
    std::u16string commandLine;
    std::optional<std::string> content;
    std::vector<std::u16string> temporaryFiles;
    machine.processes().addProgram(kSetup, [&](SimProgramContext& context) {
        commandLine = context.commandLine();
        const std::size_t open = commandLine.find(u"-f1\"");
        if (open != std::u16string::npos)
            content = context.machine().files().content(
                commandLine.substr(open + 4, commandLine.size() - open - 5));
        temporaryFiles = context.machine().files().entries(u"C:\\Temp");
    });
    tool.detect();
    text();

    EXPECT_TRUE(tool.remove());

    ASSERT_EQ(temporaryFiles.size(), 1u);
    const std::u16string responsePath = u"C:\\Temp\\" + temporaryFiles.front();
    EXPECT_EQ(temporaryFiles.front().substr(0, 3), u"zan");
    EXPECT_EQ(commandLine, registered + u" -s --uninstallsilent -f1\"" + responsePath + u"\"");
    ASSERT_TRUE(content);
    EXPECT_EQ(content->size(), 105u);
    EXPECT_EQ(*content, kResponseFile);
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty());
    EXPECT_FALSE(machine.files().exists(kInstallFolder));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{CDT}"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kProducts + u"\\P7"));
    EXPECT_EQ(text(),
              kRemoveBanner +
                  u"Looking for an uninstall string for \"" + kTool + u"\"...\r\n"
                  u"...found command " + registered + u"\r\n"
                  u"Creating install shield response file...done\r\n"
                  u"Running uninstaller for \"" + kTool + u"\" with command " + commandLine + u"\r\n"
                  u"...waiting for the uninstaller to finish...finished\r\n"
                  u"Looking for product \"" + kTool + u"\" in \"" + kUninstallList + u"\"...\r\n"
                  u"...found key \"{CDT}\"\r\n"
                  u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
                  u"Deleting directory \"" + kInstallFolder + u"\"...done\r\n"
                  u"Found product \"" + kTool + u"\".  Attempting to remove all traces of it from registry...\r\n"
                  u"Checking for registry key \"HKLM\\SOFTWARE\\Classes\\Installer\\Features\\P7\"...not found\r\n"
                  u"Deleting registry key \"HKLM\\" + kProducts + u"\\P7\"...done\r\n"
                  u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{CDT}\"...done\r\n");
}

TEST_F(CDTProductTest, InstallerCommandGetsQuietSwitchAndNoResponseFile)
{
    registerTool(u"MsiExec.exe /X{CDT}");
    std::vector<std::u16string> temporaryFiles;
    std::optional<std::string> content;
    machine.processes().addProgram(kMsiExec, [&](SimProgramContext& context) {
        temporaryFiles = context.machine().files().entries(u"C:\\Temp");
        if (!temporaryFiles.empty())
            content = context.machine().files().content(u"C:\\Temp\\" + temporaryFiles.front());
    });
    tool.detect();
    text();

    EXPECT_TRUE(tool.remove());

    EXPECT_EQ(machine.processes().commandLinesOf(kMsiExec), std::vector<std::u16string>{u"MsiExec.exe /X{CDT} /qn"});
    // The temporary file is made for every command, but left empty for Windows Installer.
    ASSERT_EQ(temporaryFiles.size(), 1u);
    EXPECT_EQ(content, std::string());
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty());
    const std::u16string transcript = text();
    EXPECT_EQ(transcript.find(u"Creating install shield response file"), std::u16string::npos);
    EXPECT_NE(transcript.find(u"\r\nRunning uninstaller for \"" + kTool + u"\" with command MsiExec.exe /X{CDT} /qn\r\n"),
              std::u16string::npos);
}

TEST_F(CDTProductTest, UnwritableResponseFileEndsTheRemoval)
{
    const std::u16string registered = u"\"" + kSetup + u"\" -removeonly";
    registerTool(registered);
    machine.processes().addProgram(kSetup, [](SimProgramContext&) {});
    tool.detect();
    text();
    machine.failCall(SimCall::CreateFile, ERROR_ACCESS_DENIED);

    EXPECT_FALSE(tool.remove());

    EXPECT_TRUE(machine.processes().runs().empty());
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty());
    EXPECT_TRUE(machine.files().exists(kInstallFolder));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{CDT}"));
    EXPECT_EQ(text(), kRemoveBanner +
                          u"Looking for an uninstall string for \"" + kTool + u"\"...\r\n"
                          u"...found command " + registered + u"\r\n"
                          u"Creating install shield response file...Windows Error 0x5: Access denied.\r\n");
}

struct ParseCase {
    const char16_t* text;
    std::array<unsigned, 4> parts;
    unsigned count;
};

void PrintTo(const ParseCase& c, std::ostream* out)
{
    *out << '"' << ToUtf8(c.text) << '"';
}

class DottedVersionParseTest : public ::testing::TestWithParam<ParseCase> {
};

TEST_P(DottedVersionParseTest, Reads)
{
    const ParseCase& c = GetParam();
    const DottedVersion version = ParseDottedVersion(c.text);
    EXPECT_EQ(version.parts, c.parts) << ToUtf8(c.text);
    EXPECT_EQ(version.count, c.count) << ToUtf8(c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DottedVersionParseTest,
    ::testing::Values(ParseCase{u"9.5.5.0", {9, 5, 5, 0}, 4}, ParseCase{u"9.5.10.79", {9, 5, 10, 79}, 4},
                      ParseCase{u"10.0", {10, 0, 0, 0}, 2}, ParseCase{u"9", {9, 0, 0, 0}, 1},
                      ParseCase{u"9,5,4,38", {9, 5, 4, 38}, 4}, ParseCase{u"9.5,4", {9, 5, 4, 0}, 3},
                      ParseCase{u"65535.0", {65535, 0, 0, 0}, 2},
                      // Empty numbers read as 0, at the start, in the middle and at the end.
                      ParseCase{u".5", {0, 5, 0, 0}, 2}, ParseCase{u"9..5", {9, 0, 5, 0}, 3},
                      ParseCase{u"9.5.", {9, 5, 0, 0}, 3}, ParseCase{u"1.2.3.", {1, 2, 3, 0}, 4},
                      // Everything else is 0.0.0.0 with four numbers.
                      ParseCase{u"", {0, 0, 0, 0}, 4}, ParseCase{u"65536.0", {0, 0, 0, 0}, 4},
                      ParseCase{u"4294967296", {0, 0, 0, 0}, 4}, ParseCase{u"9.5.5.0.1", {0, 0, 0, 0}, 4},
                      ParseCase{u"1.2.3.4.", {0, 0, 0, 0}, 4}, ParseCase{u"9.5.5a", {0, 0, 0, 0}, 4},
                      ParseCase{u"9.5-5.0", {0, 0, 0, 0}, 4}, ParseCase{u" 9.5", {0, 0, 0, 0}, 4},
                      ParseCase{u"\uFF19.5", {0, 0, 0, 0}, 4}));

struct CompareCase {
    const char16_t* a;
    const char16_t* b;
    int sign;
};

void PrintTo(const CompareCase& c, std::ostream* out)
{
    *out << '"' << ToUtf8(c.a) << "\" vs \"" << ToUtf8(c.b) << '"';
}

class DottedVersionCompareTest : public ::testing::TestWithParam<CompareCase> {
};

TEST_P(DottedVersionCompareTest, OrdersOnTheCommonNumbers)
{
    const CompareCase& c = GetParam();
    const int result = CompareDottedVersions(ParseDottedVersion(c.a), ParseDottedVersion(c.b));
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << ToUtf8(c.a) << " vs " << ToUtf8(c.b);
    const int reverse = CompareDottedVersions(ParseDottedVersion(c.b), ParseDottedVersion(c.a));
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign) << ToUtf8(c.b) << " vs " << ToUtf8(c.a);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, DottedVersionCompareTest,
    ::testing::Values(CompareCase{u"9.5.5.0", u"9.5.5.0", 0}, CompareCase{u"9.5.10.79", u"9.5.5.0", 1},
                      CompareCase{u"9.5.4.38", u"9.5.5.0", -1}, CompareCase{u"10.0", u"9.5.5.0", 1},
                      CompareCase{u"9.5", u"9.5.5.0", 0}, CompareCase{u"9", u"9.5.5.0", 0},
                      CompareCase{u"9.4", u"9.5.5.0", -1}, CompareCase{u"9.5.5.0.1", u"9.5.5.0", -1},
                      CompareCase{u"", u"0", 0}, CompareCase{u"1.65535", u"2.0", -1}));

} // namespace
