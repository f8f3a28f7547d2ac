// The built program removing the WebUI and DLP under Wine:
//   webui_dlp_removal_test PATH\QTVRemove.exe PATH\fixture_service.exe PATH\uninstaller_standin.exe
// The WebUI's service is the fixture service, really running until the program stops it through
// the service manager. The WebUI's uninstaller and DLP's control program are the recorder, which
// leaves everything behind and notes how it was started. The recorder is also planted as
// C:\Program.exe, the first program Windows tries for an unquoted path below Program Files; it
// must never run. (Wine itself finds the real program for an unquoted path, so the test also
// checks the command line as it was passed.)

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/fixture_service.h"
#include "support/suite_layout.h"
#include "support/wine_main.h"

namespace {

const std::wstring kEntry = UninstallEntryKey(L"{QTV-E2E-WEBUI}");
constexpr wchar_t kSettings[] = L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client";
constexpr wchar_t kAgentAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";
constexpr wchar_t kDlpKey[] = L"SOFTWARE\\Zantrel\\DLP";
constexpr wchar_t kEnterprise[] = L"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::wstring kWebUI = std::wstring(kEnterprise) + L"\\QTV WebUI";
const std::wstring kAgent = std::wstring(kEnterprise) + L"\\QTV Client";
const std::wstring kControl = kAgent + L"\\DLP\\QTVDravelockCtrl.exe";
constexpr wchar_t kRuns[] = L"C:\\qtv-e2e\\runs.txt";
constexpr wchar_t kPlanted[] = L"C:\\Program.exe";

const std::wstring& Recorder()
{
    return TestFile(L"uninstaller_standin.exe");
}

class WebUIAndDlpRemovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
        removeLeftovers();
    }

    void TearDown() override
    {
        removeLeftovers();
        CloseServiceHandle(manager_);
    }

    // What a failed run may have left, so that every run starts from a clean prefix and leaves one.
    void removeLeftovers()
    {
        ClearSuite();
        DeleteRegistryTree(kEntry);
        DeleteFileW(kPlanted);
    }

    // The WebUI registered with its folders, two settings, its service key and its service,
    // started and running.
    void installWebUI()
    {
        ASSERT_TRUE(SetRegistryText(kEntry, L"DisplayName", L"Velmora Zantrel WebUI Service"));
        ASSERT_TRUE(SetRegistryText(kEntry, L"InstallLocation", kWebUI));
        ASSERT_TRUE(SetRegistryText(kEntry, L"UninstallString", L"\"" + Recorder() + L"\" webui-setup"));
        ASSERT_TRUE(SetRegistryText(std::wstring(kSettings) + L"\\_WebUI_HTTPS_Port", L"value", L"443"));
        ASSERT_TRUE(SetRegistryText(std::wstring(kSettings) + L"\\_WebUIAppEnv_Custom", L"value", L"1"));
        ASSERT_TRUE(SetRegistryText(std::wstring(kSettings) + L"\\_QTVClient_LogLevel", L"value", L"3"));
        ASSERT_TRUE(SetRegistryText(L"SYSTEM\\ControlSet002\\services\\QTVWebUI", L"ImagePath", L"WebUIService.exe"));
        MakeFolders(kWebUI + L"\\WebUI\\sites\\default");
        MakeFolders(kWebUI + L"\\WebUI\\ETL");
        ASSERT_TRUE(CopyFileW(Recorder().c_str(), (kWebUI + L"\\WebUIService.exe").c_str(), FALSE));

        ASSERT_TRUE(StartFixtureService(L"QTVWebUI", 1500, SERVICE_AUTO_START));
    }

    // DLP in the agent's folder, which the agent's App Paths entry names with a trailing
    // backslash; the control program is the recorder.
    void installDlp()
    {
        ASSERT_TRUE(SetRegistryText(kAgentAppPaths, L"Path", kAgent + L"\\"));
        ASSERT_TRUE(SetRegistryText(kDlpKey, L"Version", L"4.2"));
        MakeFolders(kAgent + L"\\DLP\\policies");
        ASSERT_TRUE(CopyFileW(Recorder().c_str(), kControl.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(Recorder().c_str(), kPlanted, FALSE));
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(WebUIAndDlpRemovalTest, RunningServiceIsStoppedAndTheControlProgramRunsQuoted)
{
    installWebUI();
    installDlp();

    EXPECT_EQ(RunProgram(L"/silent /webui /dlp"), 0u);

    SC_HANDLE gone = OpenServiceW(manager_, L"QTVWebUI", SERVICE_QUERY_STATUS);
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    if (gone)
        CloseServiceHandle(gone);
    EXPECT_FALSE(PathPresent(kWebUI));
    EXPECT_FALSE(RegistryKeyPresent(kEntry));
    EXPECT_FALSE(RegistryKeyPresent(std::wstring(kSettings) + L"\\_WebUI_HTTPS_Port"));
    EXPECT_FALSE(RegistryKeyPresent(std::wstring(kSettings) + L"\\_WebUIAppEnv_Custom"));
    EXPECT_FALSE(RegistryKeyPresent(L"SYSTEM\\ControlSet002\\services\\QTVWebUI"));
    EXPECT_TRUE(RegistryKeyPresent(std::wstring(kSettings) + L"\\_QTVClient_LogLevel")) << "the agent's own setting stays";
    EXPECT_FALSE(PathPresent(kAgent + L"\\DLP"));
    EXPECT_TRUE(PathPresent(kAgent)) << "the agent's folder stays";
    EXPECT_FALSE(RegistryKeyPresent(kDlpKey));

    // The WebUI's uninstaller got the silent switches and a response file; the control program
    // its quoted path, exactly as derived from the agent's folder; nothing ran as C:\Program.exe.
    const std::string runs = ReadFileBytes(kRuns);
    const std::string webui = "\"" + Narrow(Recorder()) + "\" webui-setup -s --uninstallsilent -f1\"";
    EXPECT_EQ(runs.rfind(webui, 0), 0u) << runs;
    const std::string dlp = "\"" + Narrow(kAgent) + "\\\\DLP\\QTVDravelockCtrl.exe\" -u\r\n";
    EXPECT_NE(runs.find("\r\n" + dlp), std::string::npos) << runs;
    EXPECT_EQ(runs.find("Program.exe"), std::string::npos) << runs;
    EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 2) << runs;
}

} // namespace
