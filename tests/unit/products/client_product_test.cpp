#include "products/client_product.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_shell.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";
const std::u16string kHelperExe = kFolder + u"\\QTVClientHelper.exe";
const std::u16string kSetup = u"C:\\Program Files (x86)\\InstallShield Installation Information\\{CLIENT}\\setup.exe";

class ClientProductTest : public RecipeTest {
protected:
    // An agent registered under `name`, uninstalled by `command`.
    void installAgent(const std::u16string& name, const std::u16string& command)
    {
        addUninstallEntry(u"{CLIENT}", name, u"9.5.10.79", command, kFolder);
        registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");
        machine.files().addFile(kFolder + u"\\QTVClient.exe", "MZ");
        machine.services().addService(u"QTVClient", SERVICE_RUNNING, 500);
    }

    // Uninstallers that take the registration away, as a working uninstall does.
    void bindUninstallers()
    {
        const auto uninstall = [this](SimProgramContext& context) {
            uninstallCommands.push_back(context.commandLine());
            // The uninstaller leaves its entry behind, as a failed one does.
            responseFileSeen = responseFileNow();
        };
        machine.processes().addProgram(kMsiExec, uninstall);
        machine.processes().addProgram(kSetup, uninstall);
    }

    // The size of the response file while the uninstaller runs, from its path in the command.
    std::optional<std::size_t> responseFileNow()
    {
        const std::u16string& command = uninstallCommands.back();
        const std::size_t start = command.find(u"-f1\"");
        if (start == std::u16string::npos)
            return std::nullopt;
        const std::u16string path = command.substr(start + 4, command.size() - start - 5);
        responsePath = path;
        const auto content = machine.files().content(path);
        return content ? std::optional<std::size_t>(content->size()) : std::nullopt;
    }

    ClientProduct client{&log};
    std::vector<std::u16string> uninstallCommands;
    std::optional<std::size_t> responseFileSeen;
    std::u16string responsePath;
};

TEST_F(ClientProductTest, NothingInstalledUsesTheFirstNameAndTheDefaultFolder)
{
    EXPECT_EQ(client.name(), u"Agent");

    client.detect();

    EXPECT_FALSE(client.isInstalled());
    EXPECT_EQ(client.name(), u"Velmora Zantrel Client");
    EXPECT_FALSE(client.version());
    const std::u16string name = u"Velmora Zantrel Client";
    EXPECT_EQ(text(),
              u"\r\n**************************************************\r\n* Detecting Agent\r\n"
              u"**************************************************\r\n"
              u"Setting product name to \"Velmora Zantrel Client\"\r\n"
              u"Setting default path to \"" + kFolder + u"\"\r\n"
              u"Looking for the install location of \"" + name + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
              u"Looking for the install location in \"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\"
              u"QTVClient.exe:[Path]\"...not found\r\n"
              u"Actual install directory could not be determined, using default directory \"" + kFolder + u"\"\r\n"
              u"Checking for file \"" + kFolder + u"\"...not found\r\n"
              u"Looking for the display version of \"" + name + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
              u"Trying to read the version of file \"" + kFolder + u"\\QTVClient.exe\"...file not found\r\n"
              u"Looking for product \"" + name + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for removed product \"" + name + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for \"" + name + u"\" installer properties in \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
              u"Installer\\UserData\\S-1-5-18\\Products\"...not found\r\n"
              u"Looking for product \"" + name + u"\" in \"" + kUninstallList + u"\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\\ClientComplianceAPI\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\\EnterpriseClient\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SYSTEM\\ControlSet002\\services\\QTVClient\"...not found\r\n"
              u"Looking for the install location in \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper:"
              u"[ImagePath]\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\\QTVClientHelper\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper\"...not found\r\n"
              u"Checking for \"QTVClient\" service...not found\r\n");
}

TEST_F(ClientProductTest, AgentRegisteredOnlyAsYlmAgentIsFoundByThatName)
{
    installAgent(u"YLM Agent", u"MsiExec.exe /X{CLIENT}");

    client.detect();

    EXPECT_TRUE(client.isInstalled());
    EXPECT_EQ(client.name(), u"YLM Agent");
    EXPECT_EQ(client.version(), u"9.5.10.79");
    const std::u16string written = text();
    EXPECT_NE(written.find(u"Setting product name to \"YLM Agent\"\r\n"), std::u16string::npos);
    EXPECT_NE(written.find(u"Looking for product \"YLM Agent\" in \"" + kUninstallList + u"\"...\r\n...found key \"{CLIENT}\"\r\n"),
              std::u16string::npos);
    EXPECT_EQ(written.find(u"Velmora"), std::u16string::npos) << "the candidates before it are tried silently";
}

TEST_F(ClientProductTest, MsiExecCommandRunsQuietlyWithoutResponseFile)
{
    installAgent(u"YLM Agent", u"MsiExec.exe /X{CLIENT}");
    bindUninstallers();
    client.detect();
    text();

    EXPECT_TRUE(client.remove());

    ASSERT_EQ(uninstallCommands.size(), 1u);
    EXPECT_EQ(uninstallCommands[0], u"MsiExec.exe /X{CLIENT} /qn");
    EXPECT_FALSE(responseFileSeen);
    const std::u16string written = text();
    EXPECT_NE(written.find(u"Running uninstaller for \"YLM Agent\" with command MsiExec.exe /X{CLIENT} /qn\r\n"
                           u"...waiting for the uninstaller to finish...finished\r\n"
                           u"Looking for product \"YLM Agent\" in \"" + kUninstallList + u"\"...\r\n...found key \"{CLIENT}\"\r\n"
                           u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"),
              std::u16string::npos)
        << "the entry the uninstaller left is noticed";
    EXPECT_EQ(written.find(u"Creating install shield response file"), std::u16string::npos);
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{CLIENT}"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient"));
    EXPECT_FALSE(machine.files().exists(kFolder));
    EXPECT_FALSE(machine.services().exists(u"QTVClient"));
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty()) << "temporary file deleted";

    client.detect();
    EXPECT_FALSE(client.isInstalled());
}

TEST_F(ClientProductTest, LowerCaseMsiexecIsRunAsInstallShieldWithA105ByteResponseFile)
{
    installAgent(u"Velmora Zantrel Client", u"\"" + kSetup + u"\" -runfromtemp -removeonly");
    bindUninstallers();
    client.detect();
    text();

    EXPECT_TRUE(client.remove());

    ASSERT_EQ(uninstallCommands.size(), 1u);
    EXPECT_EQ(uninstallCommands[0].rfind(u"\"" + kSetup + u"\" -runfromtemp -removeonly -s --uninstallsilent -f1\"", 0), 0u);
    EXPECT_EQ(responseFileSeen, 105u);
    EXPECT_EQ(responsePath.rfind(u"C:\\Temp\\zan", 0), 0u);
    EXPECT_FALSE(machine.files().exists(responsePath)) << "gone after the run";
    EXPECT_NE(text().find(u"Creating install shield response file...done\r\n"), std::u16string::npos);
}

TEST_F(ClientProductTest, LowerCaseMsiexecCommandGetsTheInstallShieldSwitches)
{
    installAgent(u"Velmora Zantrel Client", u"msiexec.exe /X{CLIENT}");
    bindUninstallers();
    client.detect();

    client.remove();

    ASSERT_EQ(uninstallCommands.size(), 1u);
    EXPECT_EQ(uninstallCommands[0].rfind(u"msiexec.exe /X{CLIENT} -s --uninstallsilent -f1\"", 0), 0u);
    EXPECT_EQ(responseFileSeen, 105u);
}

TEST_F(ClientProductTest, UnwritableResponseFileEndsTheRemoval)
{
    installAgent(u"Velmora Zantrel Client", u"\"" + kSetup + u"\"");
    bindUninstallers();
    client.detect();
    text();
    machine.failCall(SimCall::WriteFile, ERROR_DISK_FULL);

    EXPECT_FALSE(client.remove());

    EXPECT_TRUE(uninstallCommands.empty());
    EXPECT_TRUE(machine.services().exists(u"QTVClient")) << "no clean-up after the failure";
    EXPECT_TRUE(machine.files().exists(kFolder));
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty());
    const std::u16string written = text();
    EXPECT_NE(written.find(u"Creating install shield response file..."), std::u16string::npos);
    EXPECT_EQ(written.find(u"Deleting"), std::u16string::npos);
}

struct HelperPath {
    const char* name;
    std::u16string imagePath;
    bool lookedFor; // a "Checking for file" line appears
    std::u16string checked;
};

void PrintTo(const HelperPath& path, std::ostream* out)
{
    *out << path.name;
}

class ClientHelperTest : public ClientProductTest, public ::testing::WithParamInterface<HelperPath> {
};

TEST_P(ClientHelperTest, ImagePathIsLookedForAsRegistered)
{
    registry().setString(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper", u"ImagePath",
                         GetParam().imagePath);
    machine.files().addFile(kHelperExe, "MZ");

    client.detect();

    const std::u16string written = text();
    const std::u16string line = u"Checking for file \"" + GetParam().checked + u"\"...";
    EXPECT_EQ(written.find(line) != std::u16string::npos, GetParam().lookedFor) << std::string(GetParam().name);
    EXPECT_TRUE(client.isInstalled()) << "the helper's service key counts in every case";
}

INSTANTIATE_TEST_SUITE_P(
    Helper, ClientHelperTest,
    ::testing::Values(HelperPath{"Quoted", u"\"" + kHelperExe + u"\"", true, kHelperExe},
                      HelperPath{"Unquoted", kHelperExe, true, kHelperExe},
                      HelperPath{"QuotedWithArguments", u"\"" + kHelperExe + u"\" -service", true,
                                 u"\"" + kHelperExe + u"\" -service"},
                      HelperPath{"OneCharacter", u"x", false, u"x"}),
    [](const ::testing::TestParamInfo<HelperPath>& param) { return std::string(param.param.name); });

TEST_F(ClientProductTest, HelperIsRemovedWithItsOwnSwitchFirst)
{
    registry().setString(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper", u"ImagePath",
                         u"\"" + kHelperExe + u"\"");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\QTVClientHelper");
    machine.files().addFile(kHelperExe, "MZ");
    std::vector<std::u16string> helperRuns;
    machine.processes().addProgram(kHelperExe, [&](SimProgramContext& context) {
        helperRuns.push_back(context.commandLine());
    });
    client.detect();

    client.remove();

    EXPECT_EQ(helperRuns, std::vector<std::u16string>{u"\"" + kHelperExe + u"\" -remove"});
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\QTVClientHelper"));
}

TEST_F(ClientProductTest, FailedHelperRemovalWarnsAndGoesOn)
{
    registry().setString(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper", u"ImagePath",
                         u"C:\\Gone\\QTVClientHelper.exe");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet002\\services\\QTVClient");
    client.detect();
    text();

    EXPECT_FALSE(client.remove());

    const std::u16string written = text();
    EXPECT_NE(written.find(u"Running uninstaller for \"QTV Client Helper\" with command C:\\Gone\\QTVClientHelper.exe "
                           u"-remove\r\n...error creating process: Windows Error 0x2: File not found.\r\n"
                           u"Warning: QTV Client Helper uninstall failed!  QTV Client uninstall may fail.\r\n"),
              std::u16string::npos) << std::string(written.begin(), written.end());
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet002\\services\\QTVClient"));
}

// A damaged machine: the helper's program is gone, its service still registered and running. The
// helper cannot remove itself, so its service is deleted by hand, and the next detection finds
// nothing left of the agent.
TEST_F(ClientProductTest, AHelperThatCannotRemoveItselfHasItsServiceDeleted)
{
    machine.services().addService(u"QTVClientHelper", SERVICE_RUNNING);
    registry().setString(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper", u"ImagePath",
                         u"C:\\Gone\\QTVClientHelper.exe");
    client.detect();
    text();

    EXPECT_FALSE(client.remove()) << "the helper's own removal failed";

    EXPECT_EQ(text(), u"\r\n"
                      u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
                      u"x Removing Velmora Zantrel Client\r\n"
                      u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
                      u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\\QTVClientHelper\"...not found\r\n"
                      u"Checking for registry key \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper\"...found\r\n"
                      u"Checking for file \"C:\\Gone\\QTVClientHelper.exe\"...not found\r\n"
                      u"Running uninstaller for \"QTV Client Helper\" with command C:\\Gone\\QTVClientHelper.exe -remove\r\n"
                      u"...error creating process: Windows Error 0x2: File not found.\r\n"
                      u"Stopping service \"QTVClientHelper\"...stopped\r\n"
                      u"Deleting service \"QTVClientHelper\"...deleted\r\n"
                      u"Warning: QTV Client Helper uninstall failed!  QTV Client uninstall may fail.\r\n"
                      u"Stopping service \"QTVClient\"...service does not exist\r\n"
                      u"Looking for an uninstall string for \"Velmora Zantrel Client\"...not found\r\n"
                      u"Stopping service \"QTVClient\"...service does not exist\r\n"
                      u"Deleting service \"QTVClient\"...service does not exist\r\n"
                      u"Found product \"Velmora Zantrel Client\".  Attempting to remove all traces of it from registry...\r\n");
    EXPECT_FALSE(machine.services().exists(u"QTVClientHelper"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper"));
    client.detect();
    EXPECT_FALSE(client.isInstalled());
}

TEST_F(ClientProductTest, OnlyALeftoverServiceKeyIsEnoughAndGoes)
{
    registry().createKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet002\\services\\QTVClient");

    client.detect();
    EXPECT_TRUE(client.isInstalled());
    EXPECT_TRUE(client.remove());
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet002\\services\\QTVClient"));
    client.detect();
    EXPECT_FALSE(client.isInstalled());
}

// Every system names its Program Files folder: without it the folder cannot be found, and the
// removal stops before the keys that find the agent, so that a later run finishes it.
TEST_F(ClientProductTest, WithoutAnyFolderTheRemovalStopsAndKeepsWhatFindsTheAgent)
{
    machine.shell().setFolder(CSIDL_PROGRAM_FILES, std::nullopt);
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient");

    client.detect();
    const std::u16string written = text();
    EXPECT_NE(written.find(u"Cannot determine default install directory (old operating system?).\r\n"), std::u16string::npos);
    EXPECT_NE(written.find(u"Failed to determine the installation directory.\r\n"), std::u16string::npos);

    EXPECT_FALSE(client.remove());
    const std::u16string removal = text();
    EXPECT_EQ(removal.find(u"Deleting directory"), std::u16string::npos);
    EXPECT_TRUE(HasLines(removal, u"Removal stopped: a folder of the component could not be named.\r\n"));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient"));
}

// A service left by a removal that failed is enough to find the agent again, and goes with it.
TEST_F(ClientProductTest, ItsServiceAloneIsFoundAndRemoved)
{
    machine.services().addService(u"QTVClient", SERVICE_RUNNING);

    client.detect();
    EXPECT_TRUE(client.isInstalled());
    EXPECT_TRUE(client.remove());
    EXPECT_FALSE(machine.services().exists(u"QTVClient"));
    client.detect();
    EXPECT_FALSE(client.isInstalled());
}

} // namespace

namespace {

TEST_F(ClientProductTest, CompleteRemovalTranscript)
{
    installAgent(u"YLM Agent", u"MsiExec.exe /X{CLIENT}");
    bindUninstallers();
    client.detect();
    text();

    EXPECT_TRUE(client.remove());

    const std::u16string crosses(50, u'x');
    EXPECT_EQ(text(),
              u"\r\n" + crosses + u"\r\nx Removing YLM Agent\r\n" + crosses + u"\r\n"
              u"Looking for the install location in \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper:"
              u"[ImagePath]\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\\QTVClientHelper\"...not found\r\n"
              u"Checking for registry key \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper\"...not found\r\n"
              u"Stopping service \"QTVClient\"....stopped\r\n"
              u"Looking for an uninstall string for \"YLM Agent\"...\r\n...found command MsiExec.exe /X{CLIENT}\r\n"
              u"Running uninstaller for \"YLM Agent\" with command MsiExec.exe /X{CLIENT} /qn\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n"
              u"Looking for product \"YLM Agent\" in \"" + kUninstallList + u"\"...\r\n...found key \"{CLIENT}\"\r\n"
              u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
              u"Stopping service \"QTVClient\"...service is already stopped\r\n"
              u"Deleting service \"QTVClient\"...deleted\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\EnterpriseClient\"...done\r\n"
              u"Found product \"YLM Agent\".  Attempting to remove all traces of it from registry...\r\n"
              u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{CLIENT}\"...done\r\n");
}

} // namespace
