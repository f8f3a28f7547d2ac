#include "products/webui_product.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_services.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kName = u"Velmora Zantrel WebUI Service";
const std::u16string kFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV WebUI";
const std::u16string kSites = kFolder + u"\\WebUI\\sites";
const std::u16string kEtl = kFolder + u"\\WebUI\\ETL";
const std::u16string kWorkDir = u"C:\\WebUI Data\\sites";
const std::u16string kSetup = u"C:\\Program Files (x86)\\InstallShield Installation Information\\{WEBUI}\\setup.exe";
const std::u16string kSettings = u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client";
const std::u16string kServiceKey = u"SYSTEM\\ControlSet002\\services\\QTVWebUI";

class WebUIProductTest : public RecipeTest {
protected:
    void addSetting(const std::u16string& name, const std::u16string& value = u"1")
    {
        registry().setString(HKEY_LOCAL_MACHINE, kSettings + u"\\" + name, u"value", value);
    }

    // Registered with its folders, the first listed setting, the one naming the sites folder,
    // its service key and a running service; its uninstaller leaves everything behind.
    void installWebUI()
    {
        addUninstallEntry(u"{WEBUI}", kName, u"9.5.10.79", u"\"" + kSetup + u"\" -runfromtemp", kFolder);
        machine.files().addFile(kFolder + u"\\WebUIService.exe", "MZ");
        machine.files().addFile(kWorkDir + u"\\default\\index.html");
        machine.files().addFolder(kEtl);
        addSetting(u"_QTVRelay_WebUISiteGather_Disabled");
        addSetting(u"_WebUIAppEnv_WORK_DIR", kWorkDir);
        registry().createKey(HKEY_LOCAL_MACHINE, kServiceKey);
        machine.services().addService(u"QTVWebUI", SERVICE_RUNNING);
        machine.processes().addProgram(kSetup, [this](SimProgramContext& context) {
            uninstallCommand = context.commandLine();
            const std::size_t file = uninstallCommand.find(u"-f1\"");
            responseFile = machine.files().content(uninstallCommand.substr(file + 4, uninstallCommand.size() - file - 5));
        });
    }

    WebUIProduct webui{&log};
    std::u16string uninstallCommand;
    std::optional<std::string> responseFile;
};

TEST_F(WebUIProductTest, DetectionTranscript)
{
    installWebUI();
    EXPECT_EQ(webui.name(), u"WebUI Service");

    webui.detect();

    EXPECT_TRUE(webui.isInstalled());
    EXPECT_EQ(webui.name(), kName);
    EXPECT_EQ(webui.version(), u"9.5.10.79");
    EXPECT_EQ(text(),
              u"\r\n" + kDetectBanner + u"\r\n* Detecting WebUI Service\r\n" + kDetectBanner + u"\r\n"
              u"Setting product name to \"" + kName + u"\"\r\n"
              u"Setting default path to \"" + kFolder + u"\"\r\n"
              u"Setting default sites path to \"" + kSites + u"\"\r\n"
              u"Setting default ETL path to \"" + kEtl + u"\"\r\n"
              u"Looking for the install location of \"" + kName + u"\" in \"HKLM\\" + kUninstallList + u"\"...found path \"" + kFolder + u"\"\r\n"
              u"Checking for file \"" + kFolder + u"\"...found\r\n"
              u"Looking for the install location in \"HKLM\\" + kSettings + u"\\_WebUIAppEnv_WORK_DIR:[value]\"...found path \"" + kWorkDir + u"\"\r\n"
              u"Checking for file \"" + kWorkDir + u"\"...found\r\n"
              u"Looking for the install location in \"HKLM\\" + kSettings + u"\\_WebUIAppEnv_ETL_DIR:[value]\"...not found\r\n"
              u"Actual WebUI's ETL directory could not be determined, using default directory \"" + kEtl + u"\"\r\n"
              u"Checking for file \"" + kEtl + u"\"...found\r\n"
              u"Looking for the display version of \"" + kName + u"\" in \"HKLM\\" + kUninstallList + u"\"...found version 9.5.10.79\r\n"
              u"Looking for product \"" + kName + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for removed product \"" + kName + u"\" in \"SOFTWARE\\Classes\\Installer\\Products\"..."
              u"Looking for \"" + kName + u"\" installer properties in \"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
              u"Installer\\UserData\\S-1-5-18\\Products\"...not found\r\n"
              u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...\r\n"
              u"...found key \"{WEBUI}\"\r\n"
              u"Checking for registry key \"HKLM\\" + kSettings + u"\\_QTVRelay_WebUISiteGather_Disabled\"...found\r\n"
              u"Checking for registry keys that are child of key \"HKLM\\" + kSettings + u"\" and have a name starting with \"_WebUI_\"...not found\r\n"
              u"Checking for registry keys that are child of key \"HKLM\\" + kSettings + u"\" and have a name starting with \"_WebUIAppEnv_\"...found\r\n"
              u"Checking for registry key \"HKLM\\" + kServiceKey + u"\"...found\r\n"
              u"Checking for \"QTVWebUI\" service...exists\r\n");
}

TEST_F(WebUIProductTest, RemovalTranscriptWhenTheUninstallerLeavesEverything)
{
    installWebUI();
    addSetting(u"_QTVClient_LogLevel");
    webui.detect();
    text();

    EXPECT_TRUE(webui.remove());

    EXPECT_EQ(uninstallCommand.substr(0, uninstallCommand.find(u" -f1")),
              u"\"" + kSetup + u"\" -runfromtemp -s --uninstallsilent");
    EXPECT_EQ(responseFile, "[InstallShield Silent]\r\nVersion=v7.00\r\nFile=Response File\r\n"
                            "[File Transfer]\r\nOverwrittenReadOnly=NoToAll\r\n");
    const std::u16string command = uninstallCommand;
    EXPECT_EQ(text(),
              u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
              u"Looking for an uninstall string for \"" + kName + u"\"...\r\n"
              u"...found command \"" + kSetup + u"\" -runfromtemp\r\n"
              u"Creating InstallShield response file...done\r\n"
              u"Running uninstaller for \"" + kName + u"\" with command " + command + u"\r\n...waiting for the uninstaller to finish...finished\r\n"
              u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...\r\n"
              u"...found key \"{WEBUI}\"\r\n"
              u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
              u"Stopping service \"QTVWebUI\"...stopped\r\n"
              u"Deleting service \"QTVWebUI\"...deleted\r\n"
              u"Deleting directory \"" + kEtl + u"\"...done\r\n"
              u"Deleting directory \"" + kWorkDir + u"\"...done\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kSettings + u"\\_QTVRelay_WebUISiteGather_Disabled\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kSettings + u"\\_WebUIAppEnv_WORK_DIR\"...done\r\n"
              u"Deleting registry key \"HKLM\\" + kServiceKey + u"\"...done\r\n"
              u"Found product \"" + kName + u"\".  Attempting to remove all traces of it from registry...\r\n"
              u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{WEBUI}\"...done\r\n");
    EXPECT_EQ(registry().subkeys(HKEY_LOCAL_MACHINE, kSettings), std::vector<std::u16string>{u"_QTVClient_LogLevel"});
    EXPECT_FALSE(machine.services().exists(u"QTVWebUI"));
    EXPECT_FALSE(machine.files().exists(kFolder));
    EXPECT_TRUE(machine.files().exists(u"C:\\WebUI Data"));

    webui.detect();
    EXPECT_FALSE(webui.isInstalled());
}

// A single leftover setting is enough to find the WebUI, and it goes with it. Of the listed
// settings only the first one present is looked at.
TEST_F(WebUIProductTest, LeftoverSettingsAreFoundAndDeleted)
{
    struct Case {
        std::vector<std::u16string> settings;
        std::size_t listedChecks;
        bool prefixFound;
        bool appEnvFound;
    };
    const Case cases[] = {
        {{u"_WebUI_Redirect_Port"}, 63, true, false},
        {{u"_WebUI_Beta_Feature"}, 63, true, false},
        {{u"_WebUIAppEnv_NEW_SETTING"}, 63, false, true},
        {{u"_QTVRelay_WebUISiteGather_Disabled", u"_WebUI_Redirect_Port"}, 1, true, false},
    };
    for (const Case& c : cases) {
        SimMachine fresh;
        ScopedOsApi installed(fresh);
        fresh.registry().createKey(HKEY_LOCAL_MACHINE, kSettings + u"\\_QTVClient_LogLevel");
        for (const std::u16string& setting : c.settings)
            fresh.registry().createKey(HKEY_LOCAL_MACHINE, kSettings + u"\\" + setting);
        LogQueue lines;
        Remove::MessageLog sink(&lines);
        WebUIProduct product(&sink);

        product.detect();
        const std::u16string detection = TakeLogText(lines).value_or(u"");
        EXPECT_TRUE(product.isInstalled()) << ToUtf8(c.settings[0]);
        std::size_t listed = 0;
        for (const std::u16string& line : Lines(detection))
            if (line.rfind(u"Checking for registry key \"HKLM\\" + kSettings + u"\\", 0) == 0)
                ++listed;
        EXPECT_EQ(listed, c.listedChecks) << ToUtf8(c.settings[0]);
        const std::u16string prefixCheck =
            u"Checking for registry keys that are child of key \"HKLM\\" + kSettings + u"\" and have a name starting with ";
        EXPECT_TRUE(HasLines(detection, prefixCheck + u"\"_WebUI_\"..." + (c.prefixFound ? u"found" : u"not found") + u"\r\n" +
                                            prefixCheck + u"\"_WebUIAppEnv_\"..." + (c.appEnvFound ? u"found" : u"not found") + u"\r\n" +
                                            u"Checking for registry key \"HKLM\\" + kServiceKey + u"\"...not found\r\n"));

        EXPECT_TRUE(product.remove());
        const std::vector<std::u16string> removal = Lines(TakeLogText(lines).value_or(u""));
        for (const std::u16string& setting : c.settings) {
            const std::u16string deletion = u"Deleting registry key \"HKLM\\" + kSettings + u"\\" + setting + u"\"...done";
            EXPECT_EQ(std::count(removal.begin(), removal.end(), deletion), 1) << ToUtf8(setting);
        }
        EXPECT_EQ(fresh.registry().subkeys(HKEY_LOCAL_MACHINE, kSettings), std::vector<std::u16string>{u"_QTVClient_LogLevel"});
    }
}

// The web server is given a minute to let go of its service.
TEST_F(WebUIProductTest, ServiceIsGivenAMinuteToStop)
{
    struct Case {
        ULONGLONG stopDelay;
        bool removed;
        std::u16string line;
    };
    const Case cases[] = {
        {30'000, true, u"Stopping service \"QTVWebUI\"..." + std::u16string(30, u'.') + u"stopped"},
        {61'000, false, u"Stopping service \"QTVWebUI\"..." + std::u16string(60, u'.') + u"abandoning wait.  Service not stopped."},
    };
    for (const Case& c : cases) {
        SimMachine fresh;
        ScopedOsApi installed(fresh);
        fresh.services().addService(u"QTVWebUI", SERVICE_RUNNING, c.stopDelay);
        LogQueue lines;
        Remove::MessageLog sink(&lines);
        WebUIProduct product(&sink);
        product.detect();
        TakeLogText(lines);

        EXPECT_EQ(product.remove(), c.removed);

        const std::vector<std::u16string> removal = Lines(TakeLogText(lines).value_or(u""));
        ASSERT_GT(removal.size(), 5u);
        EXPECT_EQ(removal[5], c.line);
        EXPECT_EQ(fresh.services().exists(u"QTVWebUI"), !c.removed);
    }
}

} // namespace
