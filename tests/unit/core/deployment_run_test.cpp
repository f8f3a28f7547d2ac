// The silent run as deployment engines use it: the options they add, the exit status they judge
// it by, the report they collect, "/detect", and a run where nobody sees a message box.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/file_log.h"
#include "core/log.h"
#include "core/run_options.h"
#include "core/run_report.h"
#include "core/silent_driver.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/sim/sim_console.h"
#include "platform/sim/sim_files.h"
#include "support/fake_product.h"
#include "support/recipe_test.h"
#include "support/sim_suite.h"
#include "toolkit/output_folder.h"
#include "toolkit/run_outputs.h"

namespace {

using P = ProductId;

struct OptionsCase {
    const char* what;
    std::u16string commandLine;
    std::u16string switches;
    std::u16string log;    // "" for none
    std::u16string report; // "" for none
    bool detectOnly;
    bool pathMissing;
    std::u16string backup = u"";
    unsigned timeout = 0; // minutes; 0 for none
    bool timeoutInvalid = false;
};

TEST(RunOptionsTest, OptionsAreWholeWordsAndLeaveTheSwitches)
{
    const std::vector<OptionsCase> cases = {
        {"no options", u"/silent /all", u"/silent /all", u"", u"", false, false},
        {"a log", u"/silent /all /log C:\\logs\\run.log", u"/silent /all  ", u"C:\\logs\\run.log", u"", false, false},
        {"a path that would select", u"/silent /log C:/logs/all.txt /client", u"/silent   /client",
         u"C:/logs/all.txt", u"", false, false},
        {"a quoted path", u"/silent /log \"C:\\Program Files\\x.log\" /all", u"/silent   /all",
         u"C:\\Program Files\\x.log", u"", false, false},
        {"a component switch that starts like /log", u"/silent /loggingservice", u"/silent /loggingservice", u"",
         u"", false, false},
        {"a switch that starts like /report", u"/silent /reporting", u"/silent /reporting", u"", u"", false, false},
        {"inside a word", u"/silent x/log y /all", u"/silent x/log y /all", u"", u"", false, false},
        {"report and detect", u"/silent /report r.json /detect", u"/silent    ", u"", u"r.json", true, false},
        {"tabs separate too", u"/silent\t/log\ta.txt\t/all", u"/silent\t \t/all", u"a.txt", u"", false, false},
        {"the last path counts", u"/log a.txt /silent /log b.txt", u"  /silent  ", u"b.txt", u"", false, false},
        {"no path at the end", u"/silent /all /log", u"/silent /all  ", u"", u"", false, true},
        {"the next switch is no path", u"/silent /log /all", u"/silent   /all", u"", u"", false, true},
        {"an empty quoted path", u"/silent /report \"\" /all", u"/silent   /all", u"", u"", false, true},
        {"a backup folder", u"/silent /all /backup \"C:\\qtv backup\" /log l.txt", u"/silent /all    ", u"l.txt", u"",
         false, false, u"C:\\qtv backup"},
        {"a backup without a folder", u"/silent /backup /all", u"/silent   /all", u"", u"", false, true},
        {"a time limit", u"/silent /client /timeout 30 /force", u"/silent /client   /force", u"", u"", false, false, u"", 30},
        {"the longest time limit", u"/timeout 1440 /silent", u"  /silent", u"", u"", false, false, u"", 1440},
        {"a switch that starts like /timeout", u"/silent /timeouts", u"/silent /timeouts", u"", u"", false, false},
    };
    for (const char16_t* minutes : {u"", u"/all", u"0", u"1441", u"99999999999", u"5m", u"-5", u"\"\""}) {
        const RunOptions options = ParseRunOptions(u"/silent /timeout " + std::u16string(minutes));
        EXPECT_TRUE(options.timeoutInvalid) << ToUtf8(minutes);
        EXPECT_FALSE(options.timeoutMinutes) << ToUtf8(minutes);
    }
    for (const OptionsCase& c : cases) {
        const RunOptions options = ParseRunOptions(c.commandLine);
        EXPECT_EQ(options.switches, c.switches) << c.what;
        EXPECT_EQ(options.logPath.value_or(u""), c.log) << c.what;
        EXPECT_EQ(options.reportPath.value_or(u""), c.report) << c.what;
        EXPECT_EQ(options.detectOnly, c.detectOnly) << c.what;
        EXPECT_EQ(options.pathMissing, c.pathMissing) << c.what;
        EXPECT_EQ(options.backupPath.value_or(u""), c.backup) << c.what;
        EXPECT_EQ(options.timeoutMinutes.value_or(0), c.timeout) << c.what;
        EXPECT_EQ(options.timeoutInvalid, c.timeoutInvalid) << c.what;
    }
}

class DeploymentRunTest : public LogTest {
protected:
    SilentRunResult run(const std::u16string& commandLine, bool restart = false) { return run(suite, commandLine, restart); }
    SilentRunResult run(FakeSuite& products, const std::u16string& commandLine, bool restart)
    {
        return RunSilent(commandLine, products.set,
                         SilentRunContext{&log, u"QTVRemove", nullptr, [restart] { return restart; }});
    }

    FakeSuite suite{&log};
};

// The options' paths are taken from the folder the program was started in; from then on it works
// in the system folder, so that nothing it starts finds a name in a folder somebody else chose.
TEST_F(DeploymentRunTest, OptionPathsAreMadeFullThenTheSystemFolderIsCurrent)
{
    machine.files().addFolder(u"C:\\Users\\admin\\Downloads");
    machine.files().setCurrentFolder(u"C:\\Users\\admin\\Downloads");
    RunOptions options = ParseRunOptions(u"/silent /all /log run.log /report ..\\r.json /backup \\qtv\\backup");

    EnterSystemFolder(options);

    EXPECT_EQ(options.logPath, u"C:\\Users\\admin\\Downloads\\run.log");
    EXPECT_EQ(options.reportPath, u"C:\\Users\\admin\\r.json");
    EXPECT_EQ(options.backupPath, u"C:\\qtv\\backup");
    EXPECT_EQ(machine.files().currentFolder(), u"C:\\windows\\System32");

    // A system folder that cannot be named leaves the folder as it was, and the run goes on.
    machine.files().setCurrentFolder(u"C:\\Users\\admin\\Downloads");
    machine.failCall(SimCall::ExpandEnvironmentStrings, ERROR_ACCESS_DENIED);
    EXPECT_NO_THROW(EnterSystemFolder(options));
    EXPECT_EQ(machine.files().currentFolder(), u"C:\\Users\\admin\\Downloads");
}

TEST_F(DeploymentRunTest, ExitStatusTellsHowTheRunEnded)
{
    struct Case {
        const char* what;
        std::vector<P> installed;
        std::u16string commandLine;
        void (*prepare)(FakeSuite&);
        bool restart;
        DWORD status;
    };
    const auto none = [](FakeSuite&) {};
    const std::vector<Case> cases = {
        {"nothing installed", {}, u"/silent /all", none, false, 0},
        {"all removed", {P::Relay, P::Client, P::ClientLoggingService}, u"/silent /all", none, false, 0},
        {"an unselected component stays", {P::Console, P::MSDE}, u"/silent /msde", none, false, 0},
        {"an uninstaller asked for a restart", {P::MSDE}, u"/silent /msde", none, true, 3010},
        {"what is left goes when Windows restarts", {P::Console}, u"/silent /console",
         [](FakeSuite& s) { s[P::Console].heldUntilRestart = u"C:\\Console\\tray.exe"; }, false, 3010},
        {"what was listed for the restart has gone since", {P::Console}, u"/silent /console",
         [](FakeSuite& s) { s[P::Console].heldUntilRestart = u"C:\\Console\\gone.exe"; }, false, 0},
        {"a selected component stays", {P::Console}, u"/silent /console",
         [](FakeSuite& s) { s[P::Console].removable = false; }, false, 1603},
        {"a removal failed, though the component went", {P::Console}, u"/silent /console",
         [](FakeSuite& s) {
             s[P::Console].removable = false;
             s[P::Console].goesAnyway = true;
         },
         true, 1603},
        {"a removal threw", {P::Console}, u"/silent /console", [](FakeSuite& s) { s[P::Console].throwOnRemove = true; },
         false, 1603},
        {"a companion stays", {P::Client, P::ClientLoggingService}, u"/silent /client",
         [](FakeSuite& s) { s[P::ClientLoggingService].removable = false; }, false, 1603},
        {"a component could not be looked at, and the next detection finds it", {P::Console}, u"/silent /console",
         [](FakeSuite& s) { s[P::Console].deniedDetections = 1; }, false, 1603},
        {"an unselected component could not be looked at, before or after", {P::MSDE}, u"/silent /msde",
         [](FakeSuite& s) { s[P::Relay].deniedDetections = 2; }, false, 1603},
        {"a component could not be looked at, but could after the removals", {P::DLP}, u"/silent /dlp",
         [](FakeSuite& s) { s[P::Console].deniedDetections = 1; }, false, 0},
        {"the client was refused", {P::Client, P::Relay}, u"/silent /client", none, false, 1},
        {"nothing selected", {P::Client}, u"/silent", none, false, 87},
    };
    machine.files().addFile(u"C:\\Console\\tray.exe");
    for (const Case& c : cases) {
        FakeSuite fresh(&log);
        for (const P id : c.installed)
            fresh[id].onMachine = true;
        c.prepare(fresh);
        EXPECT_EQ(SilentExitStatus(run(fresh, c.commandLine, c.restart)), c.status) << c.what;
    }
}

// A service, or a program in session 0: the refusal and the help go to the log and the run ends
// as if OK had been pressed, instead of waiting for ever on a box nobody sees.
TEST_F(DeploymentRunTest, WithoutAVisibleDesktopTheLogSaysWhatTheBoxesWould)
{
    machine.setWindowStationVisible(false);
    suite[P::Client].onMachine = true;
    suite[P::Relay].onMachine = true;

    EXPECT_EQ(SilentExitStatus(run(u"/silent /client")), 1u);
    const std::u16string refused = text();
    const std::u16string refusal =
        u"The client should not be removed without also removing the components that depend on it. To also "
        u"remove the dependent components, use the option '/client' with the options:  '/relay'. To forcefully "
        u"remove only the client, add the option '/force'.\r\n";
    EXPECT_EQ(refused.substr(refused.size() - refusal.size()), refusal);

    EXPECT_EQ(SilentExitStatus(run(u"/silent")), 87u);
    const std::u16string helped = text();
    const std::u16string help = u"To silently remove all components, use /silent /all.\r\n"
                                u"To silently remove a set of components, use /silent and a combination of the "
                                u"following options:\r\n"
                                u"    /a2a - Agent-to-agent API\r\n";
    EXPECT_NE(helped.find(help), std::u16string::npos);
    EXPECT_EQ(helped.substr(helped.size() - 28), u"    /webui - WebUI Service\r\n");

    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_TRUE(machine.unseenMessageBoxes().empty());
}

TEST_F(DeploymentRunTest, OnAVisibleDesktopTheHelpIsShownAndLogged)
{
    EXPECT_EQ(SilentExitStatus(run(u"/silent")), 87u);

    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text.substr(0, 53), u"To silently remove all components, use /silent /all.\n");
    const std::u16string logged = text();
    EXPECT_EQ(logged.substr(logged.size() - 28), u"    /webui - WebUI Service\r\n");
}

// A second copy started while one is at work: told in the log and, where somebody sees it, a box;
// its status is the one deployment engines retry on.
TEST_F(DeploymentRunTest, AnotherCopyAtWorkIsToldAndRetriedLater)
{
    const SilentRunContext context{&log, u"QTVRemove", [](Remove::Log*) { ADD_FAILURE(); return false; }, nullptr};
    machine.setWindowStationVisible(false);
    const SilentRunResult unseen = RefuseAnotherCopy(context);
    EXPECT_EQ(text(), u"Another copy of QTVRemove is already running on this machine.\r\n"
                      u"Wait until it has finished, then start QTVRemove again.\r\n");
    EXPECT_EQ(SilentExitStatus(unseen), 1618u);
    EXPECT_EQ(nlohmann::ordered_json::parse(SilentRunReport(unseen, u"QTVRemove", u"1.0.0.0")).dump(), R"({"program":"QTVRemove","version":"1.0.0.0","exitStatus":1618,"ending":"anotherCopy",)"
                             R"("restartRequested":false,"rootsRemoved":null,"rootsDeleted":[],"components":[]})");
    EXPECT_TRUE(machine.unseenMessageBoxes().empty());

    machine.setWindowStationVisible(true);
    RefuseAnotherCopy(context);
    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text, u"Another copy of QTVRemove is already running on this machine.\n"
                                              u"Wait until it has finished, then start QTVRemove again.");
    EXPECT_EQ(machine.messageBoxes()[0].caption, u"QTVRemove");
    EXPECT_EQ(machine.messageBoxes()[0].type, static_cast<UINT>(MB_ICONERROR | MB_OK));
}

TEST_F(DeploymentRunTest, DetectListsTheInstalledComponentsAndRemovesNothing)
{
    suite[P::Relay].onMachine = true;
    suite[P::Relay].versionFound = u"9.5.10.79";
    suite[P::Client].onMachine = true;

    const SilentRunResult result =
        DetectSilently(suite.set, SilentRunContext{&log, u"QTVRemove", [](Remove::Log*) { ADD_FAILURE(); return false; }, nullptr});

    EXPECT_EQ(DetectionListing(result), u"Relay\t9.5.10.79\r\nAgent\tUnknown\r\n");
    const std::u16string logged = text();
    EXPECT_EQ(logged.substr(logged.size() - 32), u"Relay\t9.5.10.79\r\nAgent\tUnknown\r\n");
    EXPECT_EQ(SilentExitStatus(result), 1u);
    for (const std::string& call : suite.journal)
        EXPECT_EQ(call.rfind("remove", 0), std::string::npos) << call;

    FakeSuite empty(&log);
    EXPECT_EQ(SilentExitStatus(DetectSilently(empty.set, SilentRunContext{&log, u"QTVRemove", nullptr, nullptr})), 0u);

    // A listing that could not look everywhere proves nothing either way.
    FakeSuite denied(&log);
    denied[P::A2A].deniedDetections = 1;
    const SilentRunResult incomplete = DetectSilently(denied.set, SilentRunContext{&log, u"QTVRemove", nullptr, nullptr});
    EXPECT_EQ(SilentExitStatus(incomplete), 1603u);
    EXPECT_TRUE(HasLines(text(), u"Detection incomplete: unable to look at \"HKLM\\SOFTWARE\\Zantrel\": "
                                 u"Windows Error 0x5: Access denied.\r\n"));
}

// A plan says so first in its report, and its exit status answers only whether every detection
// looked everywhere: a removal that would fail is part of the plan, not a failed plan.
TEST_F(DeploymentRunTest, APlanSaysSoAndExitsByItsDetections)
{
    suite[P::Relay].onMachine = true;
    suite[P::Console].onMachine = true;
    suite[P::Console].removable = false;
    SilentRunContext context{&log, u"QTVRemove", nullptr, [] { return true; }};
    PlannedChanges changes;
    context.plan = &changes;
    const SilentRunResult planned = RunSilent(u"/silent /relay /console", suite.set, context);
    EXPECT_EQ(SilentExitStatus(planned), 0u);
    const nlohmann::ordered_json report = nlohmann::ordered_json::parse(SilentRunReport(planned, u"QTVRemove", u"1.0.0.0"));
    EXPECT_EQ(report.begin().key(), "plan");
    EXPECT_EQ(report["plan"], true);
    EXPECT_EQ(report["ending"], "planned");

    // Both of its detections meet a denied key.
    suite[P::DLP].deniedDetections = 2;
    EXPECT_EQ(SilentExitStatus(RunSilent(u"/silent /relay", suite.set, context)), 1603u);
}

// "/timeout" reaches the uninstallers the program's own run starts: the WebUI Service's, which
// does its work and then runs for four hours, is ended at the limit, and the run ends clean.
TEST_F(DeploymentRunTest, TheTimeLimitOfTheCommandLineEndsAnUninstallerThatWaits)
{
    LaySimSuite(machine);
    MakeSimUninstallerWait(machine, u"{QTV-WEBUI}", u"", 4 * 3600 * 1000);

    const SimSuiteRun run = RunSilentAll({}, false, u" /timeout 1");

    EXPECT_EQ(run.exitStatus, 0u);
    EXPECT_EQ(Describe(SimSuiteLeft(machine)), "");
    EXPECT_TRUE(HasLines(run.log, u"...waiting for the uninstaller to finish...\r\n"
                                  u"The uninstaller did not finish in time (/timeout 1): it and the processes it "
                                  u"started were ended.\r\n"));
}

TEST_F(DeploymentRunTest, ReportRecordsEveryComponent)
{
    suite[P::Relay].onMachine = true;
    suite[P::Relay].versionFound = u"9.5.10.79";
    suite[P::Console].onMachine = true;
    suite[P::Console].removable = false;
    suite[P::MSDE].onMachine = true;
    suite[P::MSDE].throwOnRemove = true;
    suite[P::MSDE].uninstallerRan = UninstallerRun{u"msde\tsetup.exe", UninstallerEnd::NotStarted, std::nullopt};
    suite[P::DLP].deniedDetections = 2;
    suite[P::Relay].heldUntilRestart = u"C:\\Relay\\held.dll";
    suite[P::Relay].uninstallerRan = UninstallerRun{u"\"C:\\Relay\\setup.exe\" /S", UninstallerEnd::TimeLimit, 1460};
    machine.files().addFile(u"C:\\Relay\\held.dll");

    const SilentRunResult result = run(u"/silent /relay /console /msde /sam");
    const nlohmann::json report = nlohmann::json::parse(SilentRunReport(result, u"QTVRemove", u"1.0.0.0"));

    EXPECT_EQ(report["program"], "QTVRemove");
    EXPECT_EQ(report["version"], "1.0.0.0");
    EXPECT_EQ(report["exitStatus"], 1603);
    EXPECT_EQ(report["ending"], "completed");
    EXPECT_EQ(report["restartRequested"], false);
    ASSERT_EQ(report["components"].size(), 14u);
    std::string rows;
    for (const nlohmann::json& component : report["components"])
        rows += component.dump() + "\n";
    EXPECT_EQ(rows,
              R"({"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"WebUI Service","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/webui","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"A2A","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/a2a","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Platform API","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/api","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":true,"name":"Console","pendingRestart":[],"removeResult":"failed","removed":true,"selected":true,"stillInstalled":true,"switch":"/console","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Software Asset Management","pendingRestart":[],"removeResult":null,"removed":false,"selected":true,"stillInstalled":false,"switch":"/sam","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Client Deploy Tool","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/cdt","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Server","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/server","uninstallerRun":null,"version":null}
{"deleted":[{"kind":"pendingRestart","name":"C:\\Relay\\held.dll"}],"detection":"complete","detectionError":null,"installedBefore":true,"name":"Relay","pendingRestart":["C:\\Relay\\held.dll"],"removeResult":"succeeded","removed":true,"selected":true,"stillInstalled":false,"switch":"/relay","uninstallerRun":{"command":"\"C:\\Relay\\setup.exe\" /S","ended":"timeLimit","exitCode":1460},"version":"9.5.10.79"}
{"deleted":[],"detection":"incomplete","detectionError":"unable to look at \"HKLM\\SOFTWARE\\Zantrel\": Windows Error 0x5: Access denied.","installedBefore":false,"name":"DLP","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/dlp","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Client Logging Service","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/loggingservice","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Agent","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/client","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Supporting Databases","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/database","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":false,"name":"Deployment Installer","pendingRestart":[],"removeResult":null,"removed":false,"selected":false,"stillInstalled":false,"switch":"/generator","uninstallerRun":null,"version":null}
{"deleted":[],"detection":"complete","detectionError":null,"installedBefore":true,"name":"Microsoft SQL Server Desktop Engine","pendingRestart":[],"removeResult":"exception","removed":true,"selected":true,"stillInstalled":true,"switch":"/msde","uninstallerRun":{"command":"msde\\tsetup.exe","ended":"notStarted","exitCode":null},"version":null}
)");
}

// A deleted object's name reads in the report as deleted.txt and the plan's listing show it: a
// control character escaped, so that none of them can end a line or begin one.
TEST(RunReportTest, NamesShowTheirControlCharactersEscaped)
{
    SilentRunResult result;
    ComponentOutcome console;
    console.id = P::Console;
    console.name = u"Console";
    console.deleted = {{DeletedKind::Uninstaller, u"\"C:\\Console\\setup.exe\" /x\r\nregistryKey\tHKLM\\SOFTWARE"},
                       {DeletedKind::RegistryValue, std::u16string(u"HKCU\\Software\\Zantrel:[a\tb\0]", 28)}};
    result.components.push_back(console);
    result.rootsDeleted = {{DeletedKind::RegistryKey, u"HKU\\S-1-5-21-1\\Software\\Zantrel\\Forged\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]"}};

    const nlohmann::json report = nlohmann::json::parse(SilentRunReport(result, u"QTVRemove", u"1.0.0.0"));
    EXPECT_EQ(report["components"][0]["deleted"].dump() + "\n" + report["rootsDeleted"].dump(),
              R"([{"kind":"uninstaller","name":"\"C:\\Console\\setup.exe\" /x\\r\\nregistryKey\\tHKLM\\SOFTWARE"},)"
              R"({"kind":"registryValue","name":"HKCU\\Software\\Zantrel:[a\\tb\\x00]"}])" "\n"
              R"([{"kind":"registryKey","name":"HKU\\S-1-5-21-1\\Software\\Zantrel\\Forged\\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]"}])");
    EXPECT_EQ(ToUtf8(PlanListing(result)),
              "uninstaller\t\"C:\\Console\\setup.exe\" /x\\r\\nregistryKey\\tHKLM\\SOFTWARE\r\n"
              "registryValue\tHKCU\\Software\\Zantrel:[a\\tb\\x00]\r\n"
              "registryKey\tHKU\\S-1-5-21-1\\Software\\Zantrel\\Forged\\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]\r\n");
}

// The simulated disk holds the bytes; the Wine scenarios read a real log file back.
TEST_F(DeploymentRunTest, LogFileAppendsUtf8AsItIsWritten)
{
    machine.files().addFile(u"C:\\logs\\run.log", "earlier\r\n");
    Remove::FileLog file(OutputFolder(u"C:\\logs").open(u"run.log", FILE_APPEND_DATA, OPEN_ALWAYS));

    file.write(u"\u00BBRelay\u00AB...");
    EXPECT_EQ(machine.files().content(u"C:\\logs\\run.log"), "earlier\r\n\xC2\xBBRelay\xC2\xAB...");
    // A surrogate pair split between two pieces is written whole with the second.
    file.write(std::u16string(1, u"\U0001F600"[0]));
    file.writeMarked(std::u16string(1, u"\U0001F600"[1]) + u"done\r\n");
    EXPECT_EQ(machine.files().content(u"C:\\logs\\run.log"),
              "earlier\r\n\xC2\xBBRelay\xC2\xAB...\xF0\x9F\x98\x80" "done\r\n");
    EXPECT_TRUE(file.intact());

    EXPECT_THROW(OutputFolder(u"Q:\\no such drive"), Windows::Error);
}

// What a standard user may lay before the run (a folder in C:\Windows\Temp, a link in it, a link
// or another name where a file goes) never leads the run's own files elsewhere: the output is
// refused with the Windows error as the exit status, told to whoever started the program and in
// the log where there is one, and nothing is written through the link.
TEST_F(DeploymentRunTest, OutputsGoWhereTheySay)
{
    const std::u16string temp = u"C:\\Windows\\Temp\\x";
    const auto usersLink = [&temp](SimMachine& m) {
        m.files().addJunction(temp, u"C:\\Windows\\System32");
        m.files().makeOwnedByStandardUser(temp);
    };
    const std::u16string denied = u"Windows Error 0x5: Access denied.\r\n";
    struct Case {
        const char* what;
        std::function<void(SimMachine&)> lay;
        std::u16string commandLine;
        DWORD status;
        std::u16string told;   // on the starting program's console
        std::string logged;    // what C:\logs\run.log holds after
        bool onlyCopy = true;
    };
    const std::vector<Case> cases = {
        {"a log through a standard user's junction", usersLink, u"/silent /all /log " + temp + u"\\run.log", 5,
         u"Unable to write the log: " + denied, ""},
        {"a log through the administrators' junction", [](SimMachine& m) {
             m.files().addFolder(u"C:\\logs");
             m.files().addJunction(u"C:\\Links\\logs", u"C:\\logs");
         }, u"/silent /all /log C:\\Links\\logs\\run.log", 0, u"", ""},
        {"a link whose owner cannot be read", [](SimMachine& m) {
             m.files().addJunction(u"C:\\Links\\logs", u"C:\\logs");
             m.failCall(SimCall::GetSecurityInfo, ERROR_ACCESS_DENIED);
         }, u"/silent /all /log C:\\Links\\logs\\run.log", 5, u"Unable to write the log: " + denied, ""},
        {"a report through a standard user's junction", usersLink,
         u"/silent /all /log C:\\logs\\run.log /report " + temp + u"\\run.json", 5, u"Unable to write the report: " + denied,
         "Unable to write the report: Windows Error 0x5: Access denied.\r\n"},
        {"a log that is a link itself", [](SimMachine& m) {
             m.files().addFileLink(u"C:\\logs\\run.log", u"C:\\Windows\\win.ini");
             m.files().makeOwnedByStandardUser(u"C:\\logs\\run.log");
         }, u"/silent /all /log C:\\logs\\run.log", 5, u"Unable to write the log: " + denied, ""},
        {"a log that is another name of a system file", [](SimMachine& m) {
             m.files().addHardLink(u"C:\\logs\\run.log", u"C:\\Windows\\win.ini");
         }, u"/silent /all /log C:\\logs\\run.log", 5, u"Unable to write the log: " + denied, "[fonts]\r\n"},
        {"a link that opens as what it leads to", [](SimMachine& m) {
             m.files().addHostLink(u"C:\\logs", u"C:\\Windows\\System32", true);
         }, u"/silent /all /log C:\\logs\\run.log", 5, u"Unable to write the log: " + denied, ""},
        {"a backup folder users may change", [](SimMachine& m) {
             m.files().addFolder(u"C:\\ProgramData\\qtv");
             m.files().letStandardUsersChange(u"C:\\ProgramData\\qtv");
         }, u"/silent /all /backup C:\\ProgramData\\qtv", 5,
         u"Unable to back up to \"C:\\ProgramData\\qtv\": " + denied, ""},
        {"a backup folder made below one users may change", [](SimMachine& m) {
             m.files().addFolder(u"C:\\ProgramData");
             m.files().letStandardUsersChange(u"C:\\ProgramData");
         }, u"/silent /all /backup C:\\ProgramData\\qtv", 0, u"", ""},
        {"a copy that found another at work goes on without it", usersLink, u"/silent /all /log " + temp + u"\\run.log",
         0, u"", "", false},
    };
    for (const Case& c : cases) {
        SimMachine fresh;
        ScopedOsApi installed(fresh);
        fresh.files().addFile(u"C:\\Windows\\win.ini", "[fonts]\r\n");
        fresh.files().addFolder(u"C:\\Windows\\System32");
        fresh.console().setParentConsole(true);
        c.lay(fresh);
        {
            RunOutputs outputs;
            EXPECT_EQ(OpenRunOutputs(ParseRunOptions(c.commandLine), c.onlyCopy, outputs), c.status) << c.what;
        }
        EXPECT_EQ(fresh.console().parentConsoleText(), c.told) << c.what;
        EXPECT_EQ(fresh.files().content(u"C:\\logs\\run.log").value_or(""), c.logged) << c.what;
        EXPECT_EQ(fresh.files().content(u"C:\\Windows\\win.ini"), "[fonts]\r\n") << c.what;
        EXPECT_TRUE(fresh.files().entries(u"C:\\Windows\\System32").empty()) << c.what;
    }
}

// The access list of an object, as SDDL writes one: "P" when nothing is inherited, then each
// entry that allows.
std::string AccessListText(const std::u16string& path)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (Os().getNamedSecurityInfo(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, &owner, nullptr, &list,
                                  nullptr, &descriptor) != ERROR_SUCCESS)
        return "unreadable";
    const auto* bytes = static_cast<const BYTE*>(descriptor);
    const auto* entries = reinterpret_cast<const BYTE*>(list);
    std::string text = (bytes[3] & 0x10) ? "P" : "";
    for (std::size_t at = 8, entry = 0; entry < static_cast<std::size_t>(entries[4] | entries[5] << 8);
         ++entry, at += static_cast<std::size_t>(entries[at + 2] | entries[at + 3] << 8)) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%x", static_cast<unsigned>(entries[at + 4] | entries[at + 5] << 8 | entries[at + 6] << 16));
        const BYTE flags = entries[at + 1];
        text += std::string("(") + (entries[at] == 0 ? "A" : "?") + ";" + ((flags & 1) ? "OI" : "") + ((flags & 2) ? "CI" : "") +
                ";" + mask + ";;;" + ToUtf8(SidText(entries + at + 8)) + ")";
    }
    Os().localFree(descriptor);
    return text;
}

// Folders the run makes for its files are SYSTEM's and the administrators' alone, whatever the
// folder above passes on; what it finds there already keeps its own.
TEST_F(DeploymentRunTest, FoldersTheRunMakesAreTheAdministratorsAlone)
{
    machine.files().addFolder(u"C:\\ProgramData");
    machine.files().letStandardUsersChange(u"C:\\ProgramData");
    RunOutputs outputs;
    ASSERT_EQ(OpenRunOutputs(ParseRunOptions(u"/silent /all /log C:\\ProgramData\\qtv\\logs\\run.log "
                                             u"/backup C:\\ProgramData\\qtv\\backup"), true, outputs), 0u);
    const std::string administratorsOnly = "P(A;OICI;0x1f01ff;;;S-1-5-18)(A;OICI;0x1f01ff;;;S-1-5-32-544)";
    for (const char16_t* made : {u"C:\\ProgramData\\qtv", u"C:\\ProgramData\\qtv\\logs", u"C:\\ProgramData\\qtv\\backup"})
        EXPECT_EQ(AccessListText(made), administratorsOnly) << ToUtf8(made);
    EXPECT_EQ(AccessListText(u"C:\\ProgramData"),
              "(A;;0x1f01ff;;;S-1-5-18)(A;;0x1f01ff;;;S-1-5-32-544)(A;;0x1301bf;;;S-1-5-32-545)");
}

// The report is written whole beside its name and renamed over it at the end: the name, a link a
// standard user left there, is replaced, and what it led to never written.
TEST_F(DeploymentRunTest, TheReportReplacesItsNameWhole)
{
    machine.files().addFile(u"C:\\Windows\\win.ini", "[fonts]\r\n");
    machine.files().addFileLink(u"C:\\logs\\run.json", u"C:\\Windows\\win.ini");
    machine.files().makeOwnedByStandardUser(u"C:\\logs\\run.json");
    RunOutputs outputs;
    ASSERT_EQ(OpenRunOutputs(ParseRunOptions(u"/silent /all /report C:\\logs\\run.json"), true, outputs), 0u);
    EXPECT_EQ(machine.files().entries(u"C:\\logs"), (std::vector<std::u16string>{u"run.json", u"run.json.0000.new"}));

    outputs.report->commit("{\"exitStatus\": 0}\n");
    EXPECT_EQ(machine.files().entries(u"C:\\logs"), std::vector<std::u16string>{u"run.json"});
    EXPECT_EQ(machine.files().attributes(u"C:\\logs\\run.json"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(machine.files().content(u"C:\\logs\\run.json"), "{\"exitStatus\": 0}\n");
    EXPECT_EQ(machine.files().content(u"C:\\Windows\\win.ini"), "[fonts]\r\n");
}

} // namespace
