// Removal scenarios of the built program on a complete suite installation under Wine:
//   suite_scenarios_test QTVRemove.exe uninstaller_standin.exe fixture_service.exe versioned.exe
//                        PACKAGE.msi...
// Every scenario lays the installation afresh (suite_layout.cpp), runs the program as an
// administrator would, and checks what is left of the suite and that every sentinel survived.

#include <windows.h>

#include <gtest/gtest.h>

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

const std::wstring kSuiteFolder = L"C:\\Program Files (x86)\\Zantrel Enterprise";

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

// The items, one per line, for a failure message.
std::string Listed(const std::vector<SuiteItem>& items)
{
    std::string text;
    for (const SuiteItem& item : items)
        text += Narrow(Describe(item)) + "\n";
    return text;
}

std::vector<std::wstring> Components(const std::vector<SuiteItem>& items)
{
    std::vector<std::wstring> components;
    for (const SuiteItem& item : items)
        if (std::find(components.begin(), components.end(), item.component) == components.end())
            components.push_back(item.component);
    return components;
}

std::string Runs()
{
    return ReadFileBytes(L"C:\\qtv-e2e\\runs.txt");
}

class SuiteScenariosTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSuite(programs);
        std::wstring why;
        ASSERT_TRUE(LaySuite(programs, why)) << Narrow(why);
        const std::vector<SuiteItem> laid = SuiteLeft(programs, {});
        ASSERT_EQ(Components(laid).size(), 15u) << "every component, and the shared roots";
    }

    void TearDown() override
    {
        EXPECT_EQ(Listed(SentinelsLost(programs)), "") << "sentinels lost";
        ClearSuite(programs);
    }

    DWORD run(const std::wstring& switches) { return RunAndWait(L"\"" + program + L"\" " + switches); }

    static bool RootsGone()
    {
        return !PathPresent(kSuiteFolder) && !RegistryKeyPresent(L"SOFTWARE\\Zantrel") &&
               !RegistryKeyPresent(L"SOFTWARE\\Zantrel, Inc.");
    }
};

TEST_F(SuiteScenariosTest, AllRemovesEveryTraceThenTheRoots)
{
    EXPECT_EQ(run(L"/silent /all"), 0u);

    // Nothing of the recipes deletes the helper's service: its own " -remove" did.
    EXPECT_EQ(Listed(SuiteLeft(programs, {})), "");
    EXPECT_TRUE(RootsGone());
    HKEY user = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_USERS, L".DEFAULT\\Software\\Zantrel", 0, KEY_READ, &user), ERROR_SUCCESS);
    // Each uninstaller got its silent switches and, where it takes one, the right response file.
    const std::string runs = Runs();
    EXPECT_EQ(runs.find("response file differs"), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-WEBUI} -s --uninstallsilent -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718} -s -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-RELAY} child -s --uninstallsilent -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-SERVER} /s /z\"uninstall\"\r\n"), std::string::npos) << runs;
    EXPECT_NE(runs.find("linger"), std::string::npos) << "the relay's uninstaller left a process behind";
}

TEST_F(SuiteScenariosTest, ClientAloneIsRefusedAndNothingIsRemoved)
{
    const std::vector<SuiteItem> before = SuiteLeft(programs, {});
    PROCESS_INFORMATION started = StartProgram(L"\"" + program + L"\" /silent /client");
    ASSERT_NE(started.hProcess, nullptr);

    SeenBox box;
    const bool shown = AnswerMessageBox(started.dwProcessId, 120, box);
    EXPECT_EQ(WaitForProgram(started), 1u) << "the refusal's exit status";

    ASSERT_TRUE(shown) << "no refusal box appeared";
    EXPECT_EQ(box.caption, L"QTVRemove");
    EXPECT_EQ(box.text,
              L"The client should not be removed without also removing the components that depend on it. To also "
              L"remove the dependent components, use the option '/client' with the options:  '/a2a' '/cdt' "
              L"'/relay' '/server' '/webui'. To forcefully remove only the client, add the option '/force'.");
    EXPECT_EQ(SuiteLeft(programs, {}).size(), before.size());
}

TEST_F(SuiteScenariosTest, ClientWithItsDependentsTakesThemAndTheCompanions)
{
    EXPECT_EQ(run(L"/silent /client /relay /server /webui /a2a /cdt"), 0u);

    const std::vector<std::wstring> gone = {L"client", L"loggingservice", L"dlp", L"relay",
                                            L"server", L"webui",          L"a2a", L"cdt"};
    EXPECT_EQ(Listed(SuiteLeft(programs, gone)), "");
    EXPECT_EQ(Components(SuiteLeft(programs, {})),
              (std::vector<std::wstring>{L"api", L"console", L"sam", L"database", L"generator", L"msde", L"roots"}));
    EXPECT_TRUE(PathPresent(kSuiteFolder)) << "components are left, so the roots stay";
}

TEST_F(SuiteScenariosTest, ForceRemovesTheClientAloneAndSkipsTheRoots)
{
    EXPECT_EQ(run(L"/silent /client /force"), 0u);

    EXPECT_EQ(Listed(SuiteLeft(programs, {L"client", L"loggingservice", L"dlp"})), "");
    EXPECT_EQ(Components(SuiteLeft(programs, {})),
              (std::vector<std::wstring>{L"webui", L"a2a", L"api", L"console", L"sam", L"cdt", L"relay", L"server",
                                         L"database", L"generator", L"msde", L"roots"}));
}

TEST_F(SuiteScenariosTest, LoggingServiceTakesDlpAlong)
{
    EXPECT_EQ(run(L"/silent /loggingservice"), 0u);

    EXPECT_EQ(Listed(SuiteLeft(programs, {L"loggingservice", L"dlp"})), "");
    EXPECT_EQ(Components(SuiteLeft(programs, {})).size(), 13u);
    EXPECT_TRUE(PathPresent(kSuiteFolder + L"\\QTV Client\\QTVClient.exe"));
}

TEST_F(SuiteScenariosTest, AnEntryLeftByItsUninstallerIsRemovedByHand)
{
    const std::wstring entry = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QTV-WEBUI}";
    ASSERT_TRUE(SetRegistryText(entry, L"UninstallString", L"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-WEBUI} leave"));

    EXPECT_EQ(run(L"/silent /webui"), 0u);

    EXPECT_NE(Runs().find("entry={QTV-WEBUI} leave -s --uninstallsilent -f1\""), std::string::npos) << Runs();
    EXPECT_EQ(Listed(SuiteLeft(programs, {L"webui"})), "");
}

// A file held open without delete sharing keeps the agent's folder, so the agent is still found
// and the roots stay; once the file is free, a second run finishes the job.
TEST_F(SuiteScenariosTest, AnUndeletableFileKeepsTheRootsUntilItIsFree)
{
    const std::wstring held = kSuiteFolder + L"\\QTV Client\\QTVClient.ini";
    const HANDLE file = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();

    EXPECT_EQ(run(L"/silent /all"), 1603u) << "the agent is still installed";

    EXPECT_TRUE(PathPresent(held));
    EXPECT_TRUE(PathPresent(kSuiteFolder));
    EXPECT_EQ(Components(SuiteLeft(programs, {})), (std::vector<std::wstring>{L"client", L"roots"}));

    CloseHandle(file);
    EXPECT_EQ(run(L"/silent /all"), 0u);
    EXPECT_EQ(Listed(SuiteLeft(programs, {})), "");
    EXPECT_TRUE(RootsGone());
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!SuitePrograms::FromArguments(argc, argv, 2, programs)) {
        fprintf(stderr, "usage: suite_scenarios_test QTVRemove.exe uninstaller_standin.exe fixture_service.exe "
                        "versioned.exe PACKAGE.msi...\n");
        return 2;
    }
    const std::string narrow = argv[1];
    program.assign(narrow.begin(), narrow.end());
    SetFixtureServicePath(std::u16string(programs.service.begin(), programs.service.end()));
    return RUN_ALL_TESTS();
}
