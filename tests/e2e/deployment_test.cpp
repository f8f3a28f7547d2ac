// The program as deployment engines run it, on a complete suite installation under Wine: its log
// file, its report, "/detect", its exit statuses, a run nobody can see, and a run inside a job
// that forbids breaking away.
//   deployment_test QTVRemove.exe uninstaller_standin.exe fixture_service.exe versioned.exe
//                   PACKAGE.msi...

#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/suite_layout.h"
#include "support/wine_main.h"

namespace {

const std::wstring kLog = L"C:\\qtv-e2e\\logs\\run.log";
const std::wstring kReport = L"C:\\qtv-e2e\\logs\\report.json";

// The banner lines of a log, in order: what was detected and removed.
std::string Banners(const std::string& log)
{
    std::string banners;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("* Detecting ", 0) == 0 || line.rfind("x Removing ", 0) == 0)
            banners += line.substr(0, line.size() - 1) + "\n"; // without the "\r"
    return banners;
}

class DeploymentTest : public SuiteTest {
protected:
    void SetUp() override
    {
        SuiteTest::SetUp();
        MakeFolders(L"C:\\qtv-e2e\\logs");
    }

    std::size_t left() { return SuiteLeft({}).size(); }
};

// Nothing here removes anything: the listing, the refusal and the help where nobody sees them.
TEST_F(DeploymentTest, DetectRefusalAndHelpRemoveNothing)
{
    const std::size_t laid = left();

    std::string listing;
    EXPECT_EQ(RunCapturingOutput(ProgramCommand(L"/silent /detect /log " + kLog), listing), 1u);
    EXPECT_EQ(listing, "Velmora Zantrel WebUI Service\t9.5.10.79\r\n"
                       "A2A\t9.5.10.79\r\n"
                       "Zantrel Enterprise Server API\t9.5.10.79\r\n"
                       "Velmora Zantrel Console\t9.5.4.38\r\n"
                       "Software Asset Management\t3.1.0.12\r\n"
                       "Velmora Zantrel Client Deploy Tool\t9.5.4.38\r\n"
                       "Zantrel Enterprise Server\t9.5.10.79\r\n"
                       "\xC2\xBBVelmora Zantrel Relay\xC2\xAB\t9.5.10.79\r\n"
                       "DLP\tUnknown\r\n"
                       "Client Logging Service\t1.4.0.2\r\n"
                       "Velmora Zantrel Client\t9.5.10.79\r\n"
                       "Supporting Databases\t9.5.10.79\r\n"
                       "YLM Installation Generator\t9.5.10.79\r\n"
                       "Microsoft SQL Server Desktop Engine\tUnknown\r\n");
    const std::string log = ReadFileBytes(kLog);
    EXPECT_EQ(log.substr(log.size() - listing.size()), listing);

    StartSettings unseen;
    unseen.desktop = HiddenDesktop();
    EXPECT_EQ(RunProgram(L"/silent /client /log " + kLog, unseen), 1u);
    EXPECT_EQ(RunProgram(L"/silent /log C:/qtv-e2e/logs/all.txt", unseen), 87u);
    const std::string help = ReadFileBytes(L"C:\\qtv-e2e\\logs\\all.txt");
    EXPECT_NE(help.find("To silently remove all components, use /silent /all.\r\n"), std::string::npos) << help;
    EXPECT_EQ(help.substr(help.size() - 28), "    /webui - WebUI Service\r\n");
    const std::string refused = ReadFileBytes(kLog).substr(log.size());
    EXPECT_NE(refused.find("The client should not be removed without also removing the components that depend on it. "
                           "To also remove the dependent components, use the option '/client' with the options:  "
                           "'/a2a' '/cdt' '/relay' '/server' '/webui'. To forcefully remove only the client, add "
                           "the option '/force'.\r\n"),
              std::string::npos)
        << refused;

    EXPECT_EQ(left(), laid);
}

TEST_F(DeploymentTest, RemovalRunsReportWhatHappened)
{
    // An uninstaller that asks for a restart.
    ASSERT_TRUE(SetRegistryText(UninstallEntryKey(L"{QTV-WEBUI}"),
                                L"UninstallString", L"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-WEBUI} exit=3010"));
    EXPECT_EQ(RunProgram(L"/silent /webui"), 3010u);
    EXPECT_EQ(SuiteLeft({u"webui"}).size(), 0u);

    // A deployment engine's job that forbids breaking away: the agent's own uninstaller still runs.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    StartSettings inJob;
    inJob.job = job;
    EXPECT_EQ(RunProgram(L"/silent /client /force", inJob), 0u);
    CloseHandle(job);
    EXPECT_EQ(SuiteLeft({u"client", u"loggingservice", u"dlp"}).size(), 0u);

    // A file a program holds open waits for the restart with the relay's folder: the run asks for
    // one, and its report lists them.
    const HANDLE held = CreateFileW(L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\QTVRelay.exe",
                                    GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunProgram(L"/silent /all /log " + kLog + L" /report \"" + kReport + L"\""), 3010u);
    CloseHandle(held);
    // Every detection and removal, in the silent run's order.
    const std::string first = ReadFileBytes(kLog);
    EXPECT_EQ(Banners(first), "* Detecting WebUI Service\n"
                              "* Detecting A2A\n"
                              "* Detecting Platform API\n"
                              "* Detecting Console\n"
                              "* Detecting Software Asset Management\n"
                              "* Detecting Client Deploy Tool\n"
                              "* Detecting Server\n"
                              "* Detecting Relay\n"
                              "* Detecting DLP\n"
                              "* Detecting Client Logging Service\n"
                              "* Detecting Agent\n"
                              "* Detecting Supporting Databases\n"
                              "* Detecting Deployment Installer\n"
                              "* Detecting Microsoft SQL Server Desktop Engine\n"
                              "* Detecting Velmora Zantrel WebUI Service\n"
                              "x Removing A2A\n"
                              "* Detecting A2A\n"
                              "x Removing Zantrel Enterprise Server API\n"
                              "* Detecting Zantrel Enterprise Server API\n"
                              "x Removing Velmora Zantrel Console\n"
                              "* Detecting Velmora Zantrel Console\n"
                              "x Removing Software Asset Management\n"
                              "* Detecting Software Asset Management\n"
                              "x Removing Velmora Zantrel Client Deploy Tool\n"
                              "* Detecting Velmora Zantrel Client Deploy Tool\n"
                              "x Removing \xC2\xBBVelmora Zantrel Relay\xC2\xAB\n"
                              "* Detecting \xC2\xBBVelmora Zantrel Relay\xC2\xAB\n"
                              "x Removing Zantrel Enterprise Server\n"
                              "* Detecting Zantrel Enterprise Server\n"
                              "* Detecting DLP\n"
                              "* Detecting Client Logging Service\n"
                              "* Detecting Velmora Zantrel Client\n"
                              "x Removing Supporting Databases\n"
                              "* Detecting Supporting Databases\n"
                              "x Removing YLM Installation Generator\n"
                              "* Detecting YLM Installation Generator\n"
                              "x Removing Microsoft SQL Server Desktop Engine\n"
                              "* Detecting Microsoft SQL Server Desktop Engine\n");
    const nlohmann::json failed = nlohmann::json::parse(ReadFileBytes(kReport));
    EXPECT_EQ(failed["exitStatus"], 3010);
    EXPECT_EQ(failed["version"], "1.0.0.0");
    std::string rows;
    for (nlohmann::json component : failed["components"]) {
        component.erase("deleted");
        component.erase("uninstallerRun"); // a response file's name differs from run to run
        rows += component.dump(-1, ' ', true) + "\n";
    }
    // The WebUI Service and the agent with its companions went in the runs before.
    EXPECT_EQ(rows,
              R"({"detection":"complete","detectionError":null,"installedBefore":false,"name":"Velmora Zantrel WebUI Service","pendingRestart":[],"removeResult":null,"removed":false,"selected":true,"stillInstalled":false,"switch":"/webui","version":null}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"A2A","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/a2a","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Zantrel Enterprise Server API","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/api","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Velmora Zantrel Console","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/console","version":"9.5.4.38"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Software Asset Management","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/sam","version":"3.1.0.12"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Velmora Zantrel Client Deploy Tool","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/cdt","version":"9.5.4.38"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Zantrel Enterprise Server","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/server","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"\u00bbVelmora Zantrel Relay\u00ab","pendingRestart":["C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\QTVRelay.exe","C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay"],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/relay","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":false,"name":"DLP","pendingRestart":[],"removeResult":null,"removed":false,"selected":true,"stillInstalled":false,"switch":"/dlp","version":null}
{"detection":"complete","detectionError":null,"installedBefore":false,"name":"Client Logging Service","pendingRestart":[],"removeResult":null,"removed":false,"selected":true,"stillInstalled":false,"switch":"/loggingservice","version":null}
{"detection":"complete","detectionError":null,"installedBefore":false,"name":"Velmora Zantrel Client","pendingRestart":[],"removeResult":null,"removed":false,"selected":true,"stillInstalled":false,"switch":"/client","version":null}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Supporting Databases","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/database","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"YLM Installation Generator","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/generator","version":"9.5.10.79"}
{"detection":"complete","detectionError":null,"installedBefore":true,"name":"Microsoft SQL Server Desktop Engine","pendingRestart":[],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/msde","version":null}
)");

    // The second run finishes the job, appending to the same log.
    EXPECT_EQ(RunProgram(L"/silent /all /log " + kLog + L" /report \"" + kReport + L"\""), 0u);
    EXPECT_EQ(left(), 0u);
    EXPECT_EQ(ReadFileBytes(kLog).substr(0, first.size()), first);
    // The relay went in the first run; its folder, freed since, goes with the roots.
    EXPECT_NE(ReadFileBytes(kLog).find("Checking for file \"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\"..."
                                       "scheduled for deletion when Windows restarts\r\n", first.size()),
              std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(ReadFileBytes(kReport))["exitStatus"], 0);
}

// Uninstallers that wait. The WebUI Service's waits in a box on the desktop for 70 s: the log says
// so once, and it is waited for. The agent's never ends, nor does the program it started: with
// "/timeout 1" both are ended after a minute, and the agent is removed by hand.
TEST_F(DeploymentTest, AnUninstallerThatWaitsIsToldOfOrEndedAtTheTimeLimit)
{
    ASSERT_TRUE(SetRegistryText(UninstallEntryKey(L"{QTV-WEBUI}"), L"UninstallString",
                                L"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-WEBUI} box"));
    EXPECT_EQ(RunProgram(L"/silent /webui /log " + kLog), 0u);
    const std::string boxed = ReadFileBytes(kLog);
    const std::string told = "...waiting for the uninstaller to finish...\r\n"
                             "The uninstaller is waiting in its window \"Agent setup\".\r\n"
                             "finished\r\n";
    EXPECT_NE(boxed.find(told), std::string::npos) << boxed;
    EXPECT_EQ(boxed.find("The uninstaller is waiting", boxed.find(told) + told.size()), std::string::npos) << "told once";
    EXPECT_EQ(SuiteLeft({u"webui"}).size(), 0u);

    const std::wstring agent = UninstallEntryKey(L"{5D2E0AB1-C3F4-4E9A-8B71-2C3D4E5F6A71}");
    ASSERT_TRUE(SetRegistryText(agent, L"UninstallString", L"\"C:\\qtv-suite\\bin\\setup.exe\" hang"));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RunProgram(L"/silent /client /force /timeout 1 /log " + kLog + L" /report \"" + kReport + L"\""), 0u);
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, 60000u);
    EXPECT_LT(took, 180000u);
    EXPECT_NE(ReadFileBytes(L"C:\\qtv-e2e\\runs.txt").find("hanging"), std::string::npos) << "the child was started";
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, L"qtv-e2e-hang"), nullptr) << "a hanging copy still runs";
    EXPECT_EQ(SuiteLeft({u"client", u"loggingservice", u"dlp"}).size(), 0u);
    const std::string log = ReadFileBytes(kLog).substr(boxed.size());
    EXPECT_NE(log.find("...waiting for the uninstaller to finish...\r\n"
                       "The uninstaller did not finish in time (/timeout 1): it and the processes it started were ended.\r\n"),
              std::string::npos) << log;
    for (const nlohmann::json& component : nlohmann::json::parse(ReadFileBytes(kReport))["components"]) {
        if (component["switch"] != "/client")
            continue;
        const nlohmann::json& run = component["uninstallerRun"];
        EXPECT_EQ(run["ended"], "timeLimit");
        EXPECT_EQ(run["exitCode"], 1460);
        EXPECT_EQ(run["command"].get<std::string>().rfind("\"C:\\qtv-suite\\bin\\setup.exe\" hang -s --uninstallsilent", 0), 0u)
            << run["command"];
    }
}

} // namespace
