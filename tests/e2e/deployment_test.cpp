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

#include "e2e/suite_layout.h"
#include "support/fixture_service.h"
#include "support/win_machine.h"

namespace {

std::wstring program;
SuitePrograms programs;

const std::wstring kLog = L"C:\\qtv-e2e\\logs\\run.log";
const std::wstring kReport = L"C:\\qtv-e2e\\logs\\report.json";

std::string ReadText(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

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

class DeploymentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSuite(programs);
        std::wstring why;
        ASSERT_TRUE(LaySuite(programs, why)) << Narrow(why);
        MakeFolders(L"C:\\qtv-e2e\\logs");
    }

    void TearDown() override
    {
        EXPECT_EQ(SentinelsLost(programs).size(), 0u) << "sentinels lost";
        ClearSuite(programs);
    }

    DWORD run(const std::wstring& switches, const StartSettings& settings = {})
    {
        PROCESS_INFORMATION started = StartProgram(L"\"" + program + L"\" " + switches, settings);
        if (started.hProcess == nullptr)
            return GetLastError();
        return WaitForProgram(started);
    }

    std::size_t left() { return SuiteLeft(programs, {}).size(); }
};

// Nothing here removes anything: the listing, the refusal and the help where nobody sees them.
TEST_F(DeploymentTest, DetectRefusalAndHelpRemoveNothing)
{
    const std::size_t laid = left();

    std::string listing;
    EXPECT_EQ(RunCapturingOutput(L"\"" + program + L"\" /silent /detect /log " + kLog, listing), 1u);
    EXPECT_EQ(listing, "");
    const std::string log = ReadText(kLog);
    EXPECT_EQ(log.substr(log.size() - listing.size()), listing);

    StartSettings unseen;
    unseen.desktop = HiddenDesktop();
    EXPECT_EQ(run(L"/silent /client /log " + kLog, unseen), 1u);
    EXPECT_EQ(run(L"/silent /log C:/qtv-e2e/logs/all.txt", unseen), 87u);
    const std::string help = ReadText(L"C:\\qtv-e2e\\logs\\all.txt");
    EXPECT_NE(help.find("To silently remove all components, use /silent /all.\r\n"), std::string::npos) << help;
    EXPECT_EQ(help.substr(help.size() - 28), "    /webui - WebUI Service\r\n");
    const std::string refused = ReadText(kLog).substr(log.size());
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
    ASSERT_TRUE(SetRegistryText(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QTV-WEBUI}",
                                L"UninstallString", L"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-WEBUI} exit=3010"));
    EXPECT_EQ(run(L"/silent /webui"), 3010u);
    EXPECT_EQ(SuiteLeft(programs, {L"webui"}).size(), 0u);

    // A deployment engine's job that forbids breaking away: the agent's own uninstaller still runs.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    StartSettings inJob;
    inJob.job = job;
    EXPECT_EQ(run(L"/silent /client /force", inJob), 0u);
    CloseHandle(job);
    EXPECT_EQ(SuiteLeft(programs, {L"client", L"loggingservice", L"dlp"}).size(), 0u);

    // A file nobody can delete keeps the relay: the run fails, and says so in its report.
    const HANDLE held = CreateFileW(L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay\\QTVRelay.exe",
                                    GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(run(L"/silent /all /log " + kLog + L" /report \"" + kReport + L"\""), 1603u);
    CloseHandle(held);
    const nlohmann::json failed = nlohmann::json::parse(ReadText(kReport));
    EXPECT_EQ(failed["exitStatus"], 1603);
    std::string stayed;
    for (const nlohmann::json& component : failed["components"])
        if (component["stillInstalled"] == true)
            stayed += component["switch"].get<std::string>() + " ";
    EXPECT_EQ(stayed, "/relay ");

    // The second run finishes the job; the log grows by its whole transcript.
    const std::size_t before = ReadText(kLog).size();
    EXPECT_EQ(run(L"/silent /all /log " + kLog + L" /report \"" + kReport + L"\""), 0u);
    EXPECT_EQ(left(), 0u);
    const std::string second = ReadText(kLog).substr(before);
    EXPECT_EQ(Banners(second), "");
    const nlohmann::json report = nlohmann::json::parse(ReadText(kReport));
    EXPECT_EQ(report["exitStatus"], 0);
    EXPECT_EQ(report["version"], "1.0.0.0");
    EXPECT_EQ(report["components"].dump(), "");
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!SuitePrograms::FromArguments(argc, argv, 2, programs)) {
        fprintf(stderr, "usage: deployment_test QTVRemove.exe uninstaller_standin.exe fixture_service.exe "
                        "versioned.exe PACKAGE.msi...\n");
        return 2;
    }
    const std::string narrow = argv[1];
    program.assign(narrow.begin(), narrow.end());
    SetFixtureServicePath(std::u16string(programs.service.begin(), programs.service.end()));
    return RUN_ALL_TESTS();
}
