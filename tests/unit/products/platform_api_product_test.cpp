#include "products/platform_api_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"Zantrel Enterprise Server API";
const std::u16string kCode = u"{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}";
const std::u16string kSetup = u"C:\\Program Files (x86)\\InstallShield Installation Information\\" + kCode + u"\\setup.exe";
const std::u16string kInstallerProduct = u"SOFTWARE\\Classes\\Installer\\Products\\A2C3E0B514D7F6E4A921";

class PlatformAPIProductTest : public RecipeTest {
protected:
    void registerApi(const std::u16string& uninstallString)
    {
        addUninstallEntry(u"{API}", kName, u"9.5.2", uninstallString);
    }

    // An uninstaller that takes the registration away unless told otherwise, and records what it
    // was given.
    void bindUninstaller(const std::u16string& program)
    {
        machine.processes().addProgram(program, [this](SimProgramContext& context) {
            command = context.commandLine();
            const std::size_t file = command.find(u"-f1\"");
            if (file != std::u16string::npos)
                responseFile = machine.files().content(command.substr(file + 4, command.size() - file - 5));
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstallList + u"\\{API}").c_str());
        });
    }

    PlatformAPIProduct api{&log};
    std::u16string command;
    std::optional<std::string> responseFile;
};

TEST_F(PlatformAPIProductTest, MaintenanceCommandIsTurnedIntoAQuietUninstall)
{
    registerApi(u"MsiExec.exe /I" + kCode);
    bindUninstaller(kMsiExec);
    api.detect();
    EXPECT_TRUE(api.isInstalled());
    EXPECT_EQ(api.name(), kName);
    EXPECT_EQ(api.version(), u"9.5.2");
    text();

    EXPECT_TRUE(api.remove());

    EXPECT_EQ(command, u"MsiExec.exe /X" + kCode + u" /qn");
    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...\r\n"
              u"...found command MsiExec.exe /I" + kCode + u"\r\n"
              u"Running uninstaller for \"" + kName + u"\" with command " + command + u"\r\n"
              u"...waiting for the uninstaller to finish...finished\r\n"
              u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...not found\r\n"
              u"Looking for product \"" + kName + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for removed product \"" + kName + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for \"" + kName + u"\" installer properties in \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
              u"Installer\\UserData\\S-1-5-18\\Products\"...not found\r\n"
              u"Found product \"" + kName + u"\".  Attempting to remove all traces of it from registry...\r\n");
    EXPECT_TRUE(machine.files().entries(u"C:\\Temp").empty()) << "the response file is gone";
}

// The first candidate, taken when no name was found (a read that answered "not found" once), is
// looked for again at the next detection; a name found stands.
TEST_F(PlatformAPIProductTest, ANameNotFoundAtFirstIsLookedForAgain)
{
    api.detect();
    EXPECT_FALSE(api.isInstalled());
    EXPECT_EQ(api.name(), u"Velmora Zantrel Server API");
    registerApi(u"MsiExec.exe /I" + kCode);
    text();

    api.detect();
    EXPECT_TRUE(api.isInstalled());
    EXPECT_EQ(api.name(), kName);
    const std::u16string written = text();
    EXPECT_NE(written.find(u"\r\nSetting product name to \"" + kName + u"\"\r\n"), std::u16string::npos) << ToUtf8(written);
    api.detect();
    EXPECT_EQ(text().find(u"Setting product name"), std::u16string::npos) << "said once";
}

TEST_F(PlatformAPIProductTest, SetupIsAnsweredByTheProductCodesDialogOrder)
{
    registerApi(u"\"" + kSetup + u"\" -runfromtemp -l0x0409 -removeonly");
    bindUninstaller(kSetup);
    api.detect();
    text();

    EXPECT_TRUE(api.remove());

    const std::u16string file = u"C:\\Temp\\zan3A8.tmp";
    EXPECT_EQ(command, u"\"" + kSetup + u"\" -runfromtemp -l0x0409 -removeonly -s -f1\"" + file + u"\"");
    EXPECT_EQ(responseFile, "[{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}-DlgOrder]\r\n"
                            "Dlg0={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}-MessageBox-0\r\n"
                            "Count=2\r\n"
                            "Dlg1={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}-SdFinish-0\r\n"
                            "[{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}-MessageBox-0]\r\n"
                            "Result=6\r\n"
                            "[{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}-SdFinish-0]\r\n"
                            "Result=1\r\n"
                            "bOpt1=0\r\n"
                            "bOpt2=0\r\n");
    EXPECT_TRUE(HasLines(text(), u"Creating install shield response file...done\r\n"));
    EXPECT_FALSE(machine.files().exists(file));
}

// No temporary file for the answers: the failure is logged, the removal ends, nothing escapes.
TEST_F(PlatformAPIProductTest, SetupCommandWithoutAProductCodeEndsTheRemoval)
{
    for (const std::u16string registered : {u"C:\\Setup\\API}\\setup.exe -x {", u"C:\\Setup\\API\\setup.exe -x"}) {
        SimMachine fresh;
        ScopedOsApi installed(fresh);
        fresh.registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{API}", u"DisplayName", kName);
        fresh.registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{API}", u"UninstallString", registered);
        LogQueue lines;
        Remove::MessageLog sink(&lines);
        PlatformAPIProduct product(&sink);
        product.detect();
        TakeLogText(lines);

        EXPECT_FALSE(product.remove());

        EXPECT_EQ(Lines(TakeLogText(lines).value_or(u"")).back(),
                  u"Creating install shield response file...Couldn't find GUID in uninstall string");
        EXPECT_TRUE(fresh.processes().runs().empty());
        EXPECT_TRUE(fresh.files().entries(u"C:\\Temp").empty());
        EXPECT_TRUE(fresh.registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{API}"));
    }
}

// Found only through its Windows Installer registration, which its uninstaller then leaves: the
// removal fails and removes nothing by hand, so the next detection still finds it.
TEST_F(PlatformAPIProductTest, RegistrationLeftByTheUninstallerFailsTheRemoval)
{
    registry().setString(HKEY_LOCAL_MACHINE, kInstallerProduct, u"ProductName", kName);
    api.detect();
    EXPECT_TRUE(api.isInstalled());
    registerApi(u"MsiExec.exe /X" + kCode);
    bindUninstaller(kMsiExec);
    text();

    EXPECT_FALSE(api.remove());

    EXPECT_EQ(Lines(text()).back(), u"Installation information still exists!  Uninstall appears unsuccessful.");
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kInstallerProduct));
    api.detect();
    EXPECT_TRUE(api.isInstalled());
}

} // namespace
