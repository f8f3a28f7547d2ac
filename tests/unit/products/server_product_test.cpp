#include "products/server_product.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/text.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";
const std::u16string kServerKey = u"SOFTWARE\\Zantrel\\Enterprise Server";
const std::u16string kReportsKey = kServerKey + u"\\QTVReports";

const std::u16string kName = u"Zantrel Enterprise Server";
const std::u16string kEntry = kUninstallList + u"\\{0A11C7E5-3B2D-4F30-A1C8-5E7C11A0B2D9}";
const std::u16string kProductCode = u"5E7C11A0D2B303F41A8CE5C7110A2B9D";
const std::u16string kCommand = u"MsiExec.exe /X{0A11C7E5-3B2D-4F30-A1C8-5E7C11A0B2D9}";

const std::u16string kFolder = u"C:\\Zantrel\\QTV Server";
const std::u16string kWebRoot = kFolder + u"\\wwwrootqtv";
const std::u16string kReportsRoot = kFolder + u"\\QTVReportsServer\\wwwroot\\";

const std::u16string kDefaultFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Server";
const std::u16string kDefaultWebRoot = kDefaultFolder + u"\\wwwrootqtv";
const std::u16string kDefaultReportsRoot = kDefaultFolder + u"\\QTVReportsServer\\wwwroot";

const std::vector<std::u16string> kServices = {
    u"QTVWebReportsServer", u"GatherDB", u"FillDB", u"QTVRootServer", u"QTVGather",
};

const std::vector<std::u16string> kKeysInCheckOrder = {
    u"SOFTWARE\\Zantrel\\Zantrel Server",
    u"SOFTWARE\\Zantrel\\Enterprise Server",
    u"SOFTWARE\\Zantrel\\QTVRelay",
    u"SOFTWARE\\Zantrel\\KMEAdmin",
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\QTV Web Reports Printer",
    u"SYSTEM\\ControlSet002\\services\\QTVRootServer",
    u"SYSTEM\\ControlSet002\\services\\QTVGather",
    u"SYSTEM\\ControlSet002\\services\\GatherDB",
    u"SYSTEM\\ControlSet002\\services\\FillDB",
    u"SYSTEM\\ControlSet002\\services\\QTVWebReportsServer",
};

class ServerProductTest : public RecipeTest {
protected:
    // A complete server: registered under kName both in the Uninstall list and with Windows
    // Installer, its keys and folders, five running services, and an MsiExec that takes the
    // registration away unless told to fail.
    void installServer()
    {
        registry().setString(HKEY_LOCAL_MACHINE, kEntry, u"DisplayName", kName);
        registry().setString(HKEY_LOCAL_MACHINE, kEntry, u"DisplayVersion", u"9.5.10.79");
        registry().setString(HKEY_LOCAL_MACHINE, kEntry, u"InstallLocation", kFolder);
        registry().setString(HKEY_LOCAL_MACHINE, kEntry, u"UninstallString", kCommand);
        registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\" + kProductCode, u"ProductName", kName);
        for (const std::u16string& key : kKeysInCheckOrder)
            registry().createKey(HKEY_LOCAL_MACHINE, key);
        registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"EnterpriseServerFolder", kFolder);
        registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"wwwRootFolder", kWebRoot);
        registry().setString(HKEY_LOCAL_MACHINE, kServerKey + u"\\GlobalOptions", u"DatabaseName", u"QTV");
        registry().setString(HKEY_LOCAL_MACHINE, kReportsKey, u"Path", kReportsRoot + u"cgi-bin\\qtvreports");
        machine.files().addFile(kFolder + u"\\QTVRootServer.exe", "MZ");
        machine.files().addFile(kWebRoot + u"\\index.htm", "<html/>");
        machine.files().addFile(kReportsRoot + u"cgi-bin\\qtvreports\\qtvreports.exe", "MZ");
        for (const std::u16string& service : kServices)
            machine.services().addService(service, SERVICE_RUNNING);
        machine.processes().addProgram(kMsiExec, [this](SimProgramContext& context) {
            if (!uninstallerWorks)
                return;
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, kEntry.c_str());
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kProducts + u"\\" + kProductCode).c_str());
        });
    }

    ServerProduct server{&log};
    bool uninstallerWorks = true;
};

TEST_F(ServerProductTest, DetectsACompleteInstallation)
{
    installServer();
    EXPECT_EQ(server.name(), u"Server");

    server.detect();

    EXPECT_TRUE(server.isInstalled());
    EXPECT_EQ(server.name(), kName);
    EXPECT_EQ(server.version(), u"9.5.10.79");
    std::u16string expected =
        u"\r\n" + kDetectBanner + u"\r\n* Detecting Server\r\n" + kDetectBanner + u"\r\n"
        u"Setting product name to \"" + kName + u"\"\r\n"
        u"Setting default path to \"" + kDefaultFolder + u"\"\r\n"
        u"Setting default www path to \"" + kDefaultWebRoot + u"\"\r\n"
        u"Setting default WR www path to \"" + kDefaultReportsRoot + u"\"\r\n"
        u"Looking for the display version of \"" + kName + u"\" in \"HKLM\\" + kUninstallList + u"\"...found version 9.5.10.79\r\n"
        u"Looking for the install location of \"" + kName + u"\" in \"HKLM\\" + kUninstallList + u"\"...found path \"" + kFolder + u"\"\r\n"
        u"Checking for file \"" + kFolder + u"\"...found\r\n"
        u"Looking for the install location in \"HKLM\\" + kServerKey + u":[wwwRootFolder]\"...found path \"" + kWebRoot + u"\"\r\n"
        u"Checking for file \"" + kWebRoot + u"\"...found\r\n"
        u"Looking for the install location in \"HKLM\\" + kReportsKey + u":[Path]\"...found path \"" + kReportsRoot + u"cgi-bin\\qtvreports\"\r\n"
        u"Checking for file \"" + kReportsRoot + u"\"...found\r\n"
        u"Looking for product \"" + kName + u"\" in \"" + kProducts + u"\"..."
        u"Looking for removed product \"" + kName + u"\" in \"" + kProducts + u"\"..."
        u"Looking for \"" + kName + u"\" installer properties in \"" + kUserData + u"\"...\r\n"
        u"...found key \"" + kProductCode + u"\"\r\n"
        u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...\r\n"
        u"...found key \"{0A11C7E5-3B2D-4F30-A1C8-5E7C11A0B2D9}\"\r\n"
        u"Checking for registry key value \"HKLM\\" + kServerKey + u":[RelayVersion]\"...not found\r\n";
    for (const std::u16string& key : kKeysInCheckOrder)
        expected += u"Checking for registry key \"HKLM\\" + key + u"\"...found\r\n";
    for (const std::u16string& service : kServices)
        expected += u"Checking for \"" + service + u"\" service...exists\r\n";
    EXPECT_EQ(text(), expected);
}

TEST_F(ServerProductTest, RemovesACompleteInstallation)
{
    installServer();
    server.detect();
    text();

    EXPECT_TRUE(server.remove());

    std::u16string expected =
        u"\r\n" + kRemoveBanner + u"\r\nx Removing " + kName + u"\r\n" + kRemoveBanner + u"\r\n"
        u"Looking for an uninstall string for \"" + kName + u"\"...\r\n...found command " + kCommand + u"\r\n"
        u"Running uninstaller for \"" + kName + u"\" with command " + kCommand + u" /s /z\"uninstall\"\r\n"
        u"...waiting for the uninstaller to finish...finished\r\n"
        u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...not found\r\n"
        u"Looking for product \"" + kName + u"\" in \"" + kProducts + u"\"..."
        u"Looking for removed product \"" + kName + u"\" in \"" + kProducts + u"\"..."
        u"Looking for \"" + kName + u"\" installer properties in \"" + kUserData + u"\"...not found\r\n";
    for (const std::u16string& service : kServices)
        expected += u"Stopping service \"" + service + u"\"...stopped\r\n"
                    u"Deleting service \"" + service + u"\"...deleted\r\n";
    expected += u"Deleting directory \"" + kReportsRoot + u"\"...done\r\n"
                u"Deleting directory \"" + kWebRoot + u"\"...done\r\n"
                u"Deleting directory \"" + kFolder + u"\"...done\r\n";
    const std::vector<std::u16string> deletionOrder = {
        kKeysInCheckOrder[1], kKeysInCheckOrder[0], kKeysInCheckOrder[2], kKeysInCheckOrder[3],
        kKeysInCheckOrder[4], kKeysInCheckOrder[5], kKeysInCheckOrder[6], kKeysInCheckOrder[7],
        kKeysInCheckOrder[8], kKeysInCheckOrder[9],
    };
    for (const std::u16string& key : deletionOrder)
        expected += u"Deleting registry key \"HKLM\\" + key + u"\"...done\r\n";
    expected += u"Found product \"" + kName + u"\".  Attempting to remove all traces of it from registry...\r\n";
    EXPECT_EQ(text(), expected);

    // MsiExec is given the server setup's own switches, not " /qn".
    const std::vector<SimProgramRun> runs = machine.processes().runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, kCommand + u" /s /z\"uninstall\"");
    EXPECT_TRUE(runs[0].ran);

    for (const std::u16string& service : kServices)
        EXPECT_FALSE(machine.services().exists(service)) << ToUtf8(service);
    for (const std::u16string& key : kKeysInCheckOrder)
        EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, key)) << ToUtf8(key);
    EXPECT_FALSE(machine.files().exists(kFolder));
    EXPECT_TRUE(machine.files().exists(u"C:\\Zantrel"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kEntry));

    server.detect();
    EXPECT_FALSE(server.isInstalled());
    EXPECT_EQ(server.name(), kName);
    EXPECT_FALSE(server.version());
    const std::u16string again = text();
    EXPECT_TRUE(HasLines(again, u"Actual install directory could not be determined, using default directory \"" +
                                    kDefaultFolder + u"\"\r\nChecking for file \"" + kDefaultFolder + u"\"...not found\r\n"));
    EXPECT_EQ(again.find(u"Setting "), std::u16string::npos) << "name and defaults are kept from the first detection";
}

TEST_F(ServerProductTest, RegistrationLeftByTheUninstallerIsReportedAndRemovedByHand)
{
    installServer();
    uninstallerWorks = false;
    server.detect();
    text();

    EXPECT_TRUE(server.remove());

    const std::u16string written = text();
    EXPECT_TRUE(HasLines(written, u"...waiting for the uninstaller to finish...finished\r\n"
                                  u"Looking for product \"" + kName + u"\" in \"" + kUninstallList + u"\"...\r\n"
                                  u"...found key \"{0A11C7E5-3B2D-4F30-A1C8-5E7C11A0B2D9}\"\r\n"
                                  u"Uninstaller appears unsuccessful.  Attempting to manually uninstall...\r\n"
                                  u"Stopping service \"QTVWebReportsServer\"...stopped\r\n"));
    EXPECT_TRUE(HasLines(written, u"Deleting registry key \"HKLM\\" + kProducts + u"\\" + kProductCode + u"\"...done\r\n"
                                  u"Deleting registry key \"HKLM\\" + kEntry + u"\"...done\r\n"));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kProducts + u"\\" + kProductCode));
    EXPECT_FALSE(machine.files().exists(kFolder));
}

TEST_F(ServerProductTest, AServiceThatWillNotStopFailsTheRemovalButNothingElseIsSkipped)
{
    installServer();
    machine.services().addService(u"GatherDB", SERVICE_RUNNING, std::nullopt);
    machine.services().setImagePath(u"GatherDB", kFolder + u"\\GatherDB.exe");
    server.detect();
    text();

    EXPECT_FALSE(server.remove());

    const std::u16string written = text();
    EXPECT_TRUE(HasLines(written, u"Stopping service \"GatherDB\"..." + std::u16string(10, u'.') +
                                      u"abandoning wait.  Service not stopped.\r\n"
                                      u"Stopping service \"FillDB\"...stopped\r\n"));
    EXPECT_TRUE(machine.services().exists(u"GatherDB"));
    EXPECT_FALSE(machine.services().exists(u"QTVGather"));
    // The service's program still runs from the server folder and holds its file, so the folder
    // stays, with the refusal in the log; the folders below it that hold no running program go.
    EXPECT_TRUE(HasLines(written, u"Deleting directory \"" + kWebRoot + u"\"...done\r\n"
                                  u"Deleting directory \"" + kFolder + u"\"...Windows Error: Access denied."
                                  u"...error occurred while trying to delete file \"\\\\?\\" + kFolder +
                                  u"\\GatherDB.exe\"\r\n"));
    EXPECT_TRUE(machine.files().exists(kFolder + u"\\GatherDB.exe"));
    EXPECT_FALSE(machine.files().exists(kWebRoot));
    EXPECT_FALSE(machine.files().exists(kReportsRoot));
    for (const std::u16string& key : kKeysInCheckOrder)
        EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, key)) << ToUtf8(key);
}

class ServerFoundThroughOneService : public ServerProductTest,
                                     public ::testing::WithParamInterface<std::u16string> {};

TEST_P(ServerFoundThroughOneService, CountsAsInstalled)
{
    machine.services().addService(GetParam(), SERVICE_STOPPED);

    server.detect();

    EXPECT_TRUE(server.isInstalled());
    EXPECT_EQ(server.name(), u"Velmora Zantrel Server");
    std::u16string services;
    for (const std::u16string& service : kServices)
        services += u"Checking for \"" + service + u"\" service..." + (service == GetParam() ? u"exists" : u"not found") + u"\r\n";
    const std::u16string written = text();
    EXPECT_TRUE(HasLines(written, u"Setting product name to \"Velmora Zantrel Server\"\r\n"));
    EXPECT_TRUE(HasLines(written, u"Checking for registry key \"HKLM\\" + kKeysInCheckOrder[9] + u"\"...not found\r\n" + services));
}

INSTANTIATE_TEST_SUITE_P(EachServerService, ServerFoundThroughOneService, ::testing::ValuesIn(kServices));

TEST_F(ServerProductTest, FoldersAloneDoNotCount)
{
    machine.files().addFile(kDefaultFolder + u"\\QTVRootServer.exe", "MZ");
    machine.files().addFolder(kDefaultWebRoot);
    machine.files().addFolder(kDefaultReportsRoot);

    server.detect();

    EXPECT_FALSE(server.isInstalled());
    const std::u16string written = text();
    for (const std::u16string& folder : {kDefaultFolder, kDefaultWebRoot, kDefaultReportsRoot})
        EXPECT_TRUE(HasLines(written, u"Checking for file \"" + folder + u"\"...found\r\n"));
}

TEST_F(ServerProductTest, ARelaysSharedKeyIsNotTheServerButAServiceIs)
{
    registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"RelayVersion", u"9.5.10.79");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\QTVRelay");
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Zantrel Server");

    server.detect();

    EXPECT_FALSE(server.isInstalled());
    const std::u16string relayOnly = text();
    EXPECT_TRUE(HasLines(relayOnly, u"Checking for registry key value \"HKLM\\" + kServerKey + u":[RelayVersion]\"...found\r\n"
                                    u"Checking for \"QTVWebReportsServer\" service...not found\r\n"));
    EXPECT_EQ(relayOnly.find(u"Checking for registry key \""), std::u16string::npos);

    machine.services().addService(u"QTVRootServer", SERVICE_RUNNING);
    server.detect();

    EXPECT_TRUE(server.isInstalled());
    EXPECT_TRUE(HasLines(text(), u"Checking for \"QTVRootServer\" service...exists\r\n"));
}

// How the Web Reports "Path" value becomes the web root: kept (with the backslash before
// "cgi-bin") or replaced by the default.
struct ReportsPathCase {
    const char* label;
    std::u16string path; // empty: no "Path" value at all
    std::u16string webRoot; // empty: the default is used
};

void PrintTo(const ReportsPathCase& c, std::ostream* os)
{
    *os << c.label;
}

class ServerReportsWebRoot : public ServerProductTest, public ::testing::WithParamInterface<ReportsPathCase> {};

TEST_P(ServerReportsWebRoot, FollowsThePathValue)
{
    const ReportsPathCase& c = GetParam();
    registry().createKey(HKEY_LOCAL_MACHINE, kReportsKey);
    if (!c.path.empty())
        registry().setString(HKEY_LOCAL_MACHINE, kReportsKey, u"Path", c.path);

    server.detect();

    const std::u16string lookup = u"Looking for the install location in \"HKLM\\" + kReportsKey + u":[Path]\"..." +
                                  (c.path.empty() ? u"not found" : u"found path \"" + c.path + u"\"") + u"\r\n";
    const std::u16string outcome =
        c.webRoot.empty()
            ? u"Actual WR's wwwroot could not be determined, using default directory \"" + kDefaultReportsRoot + u"\"\r\n"
              u"Checking for file \"" + kDefaultReportsRoot + u"\"...not found\r\n"
            : u"Checking for file \"" + c.webRoot + u"\"...not found\r\n";
    EXPECT_TRUE(HasLines(text(), lookup + outcome));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerReportsWebRoot,
    ::testing::Values(
        ReportsPathCase{"Accepted", u"D:\\Web\\cgi-bin\\qtvreports", u"D:\\Web\\"},
        ReportsPathCase{"Capitals", u"D:\\Web\\CGI-BIN\\QTVREPORTS", u""},
        ReportsPathCase{"TrailingBackslash", u"D:\\Web\\cgi-bin\\qtvreports\\", u""},
        ReportsPathCase{"OtherFolder", u"D:\\Web\\cgi-bin\\reports", u""},
        ReportsPathCase{"NothingBeforeTheScripts", u"cgi-bin\\qtvreports", u""},
        ReportsPathCase{"NoValue", u"", u""}),
    [](const ::testing::TestParamInfo<ReportsPathCase>& param) { return std::string(param.param.label); });

TEST_F(ServerProductTest, RemovesTheWebReportsWebRootFirstAndTheInstallFolderLast)
{
    // Three unrelated places, so the order is the recipe's and not forced by nesting.
    const std::u16string install = u"C:\\Apps\\QTV Server";
    const std::u16string web = u"C:\\Web\\wwwrootqtv";
    const std::u16string reports = u"C:\\Reports\\wwwroot\\";
    registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"EnterpriseServerFolder", install);
    registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"wwwRootFolder", web);
    registry().setString(HKEY_LOCAL_MACHINE, kReportsKey, u"Path", reports + u"cgi-bin\\qtvreports");
    for (const std::u16string& folder : {install, web, reports + u"cgi-bin\\qtvreports"})
        machine.files().addFile(folder + u"\\file.dat", "x");
    server.detect();
    text();

    EXPECT_TRUE(server.remove());

    std::vector<std::u16string> deletions;
    for (const std::u16string& line : Lines(text()))
        if (line.rfind(u"Deleting directory ", 0) == 0)
            deletions.push_back(line);
    EXPECT_EQ(deletions, (std::vector<std::u16string>{
                             u"Deleting directory \"" + reports + u"\"...done",
                             u"Deleting directory \"" + web + u"\"...done",
                             u"Deleting directory \"" + install + u"\"...done",
                         }));
    EXPECT_FALSE(machine.files().exists(install));
    EXPECT_FALSE(machine.files().exists(web));
    EXPECT_FALSE(machine.files().exists(u"C:\\Reports\\wwwroot"));
    EXPECT_TRUE(machine.files().exists(u"C:\\Reports"));
}

} // namespace
