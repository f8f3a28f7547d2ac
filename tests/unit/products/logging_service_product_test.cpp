#include "products/logging_service_product.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"QTV Logging Service";
const std::u16string kSettingsKey = u"SOFTWARE\\Zantrel\\LoggingService";
const std::u16string kFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client\\QTVClientLoggingService";
const std::u16string kOwnUninstaller = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client\\LogSvcSetup.exe";

class LoggingServiceProductTest : public RecipeTest {
protected:
    // Registered in the Uninstall list, with its folder and its settings key, which may name its
    // own uninstaller.
    void installService(bool ownCommand)
    {
        addUninstallEntry(u"{LOGSVC}", kName, u"1.4.0", u"MsiExec.exe /X{LOGSVC}", kFolder);
        registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey);
        if (ownCommand)
            registry().setString(HKEY_LOCAL_MACHINE, kSettingsKey, u"UninstallCmdLine", u"\"" + kOwnUninstaller + u"\" /remove");
        machine.files().addFile(kFolder + u"\\QTVLogSvc.exe", "MZ");
    }

    // Runs `program` as an uninstaller that takes the Uninstall entry away when `works`.
    void bindUninstaller(const std::u16string& program, bool works)
    {
        machine.processes().addProgram(program, [works](SimProgramContext& context) {
            if (works)
                context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstallList + u"\\{LOGSVC}").c_str());
        });
    }

    LoggingServiceProduct service{&log};
};

TEST_F(LoggingServiceProductTest, OwnCommandWinsAndIsRunAsRecorded)
{
    installService(true);
    bindUninstaller(kOwnUninstaller, true);
    bindUninstaller(kMsiExec, true);
    service.detect();
    EXPECT_TRUE(service.isInstalled());
    EXPECT_EQ(service.version(), u"1.4.0");
    text();

    EXPECT_TRUE(service.remove());

    EXPECT_EQ(machine.processes().commandLinesOf(kOwnUninstaller),
              std::vector<std::u16string>{u"\"" + kOwnUninstaller + u"\" /remove"});
    EXPECT_TRUE(machine.processes().commandLinesOf(kMsiExec).empty());
    EXPECT_TRUE(HasLines(text(), u"Looking for an uninstall string for \"Client Logging Service\" in key \"HKLM\\" + kSettingsKey +
                                     u":[UninstallCmdLine]\"...\r\n"
                                     u"...found command \"" + kOwnUninstaller + u"\" /remove\r\n"));
    EXPECT_FALSE(machine.files().exists(kFolder));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
}

// A package still registered after its uninstaller is left exactly as it was.
TEST_F(LoggingServiceProductTest, UnsuccessfulUninstallStopsBeforeAnyCleanUp)
{
    installService(false);
    bindUninstaller(kMsiExec, false);
    service.detect();
    text();

    EXPECT_FALSE(service.remove());

    EXPECT_EQ(machine.processes().commandLinesOf(kMsiExec),
              std::vector<std::u16string>{u"MsiExec.exe /X{LOGSVC} /qn REBOOT=REALLYSUPPRESS"});
    const std::vector<std::u16string> lines = Lines(text());
    EXPECT_EQ(lines.back(), u"Installation information still exists!  Uninstall appears unsuccessful.");
    EXPECT_TRUE(machine.files().exists(kFolder));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{LOGSVC}"));
}

TEST_F(LoggingServiceProductTest, WithoutAnyCommandTheCleanUpStillRuns)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    machine.files().addFolder(kFolder);
    service.detect();
    EXPECT_TRUE(HasLines(text(), u"Looking for the install location of \"" + kName + u"\" in \"HKLM\\" + kUninstallList + u"\"...not found\r\n"
                                 u"Actual install directory could not be determined, using default directory \"" + kFolder + u"\"\r\n"
                                 u"Checking for file \"" + kFolder + u"\"...found\r\n"));

    EXPECT_TRUE(service.remove());

    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing Client Logging Service\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"Client Logging Service\" in key \"HKLM\\" + kSettingsKey +
              u":[UninstallCmdLine]\"...not found\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...not found\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kSettingsKey + u"\"...done\r\n");
    EXPECT_TRUE(machine.processes().runs().empty());
}

} // namespace
