// The built program removing the WebUI and DLP under Wine:
//   webui_dlp_removal_test PATH\QTVRemove.exe PATH\fixture_service.exe PATH\record_run.exe
// The WebUI's service is the fixture service, really running until the program stops it through
// the service manager. The WebUI's uninstaller and DLP's control program are the recorder, which
// leaves everything behind and notes how it was started. A recorder planted as C:\Program.exe
// shows whether the control program's path was passed unquoted.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::wstring program;
std::wstring serviceProgram;
std::wstring recorder;

constexpr wchar_t kEntry[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QTV-E2E-WEBUI}";
constexpr wchar_t kSettings[] = L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client";
constexpr wchar_t kAgentAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";
constexpr wchar_t kDlpKey[] = L"SOFTWARE\\Zantrel\\DLP";
constexpr wchar_t kEnterprise[] = L"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::wstring kWebUI = std::wstring(kEnterprise) + L"\\QTV WebUI";
const std::wstring kAgent = std::wstring(kEnterprise) + L"\\QTV Client";
const std::wstring kControl = kAgent + L"\\DLP\\QTVDravelockCtrl.exe";
constexpr wchar_t kRuns[] = L"C:\\qtv-e2e\\runs.txt";
constexpr wchar_t kPlanted[] = L"C:\\Program.exe";

void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr), 0);
    ASSERT_EQ(RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              0);
    RegCloseKey(opened);
}

bool KeyExists(const std::wstring& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != 0)
        return false;
    RegCloseKey(opened);
    return true;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::wstring& path)
{
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

std::string Utf8(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::string ReadRuns()
{
    std::ifstream file(Utf8(kRuns), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

DWORD RunProgram(std::wstring commandLine)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 180000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

void DeleteTree(const std::wstring& path)
{
    WIN32_FIND_DATAW entry{};
    const HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryW(path.c_str());
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
        if (SC_HANDLE old = OpenServiceW(manager_, L"QTVWebUI", SERVICE_ALL_ACCESS)) {
            SERVICE_STATUS status{};
            ControlService(old, SERVICE_CONTROL_STOP, &status);
            for (int i = 0; i < 100 && QueryServiceStatus(old, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
                Sleep(50);
            DeleteService(old);
            CloseServiceHandle(old);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEntry);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAgentAppPaths);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\ControlSet002\\services\\QTVWebUI");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Zantrel");
        DeleteTree(kEnterprise);
        DeleteTree(L"C:\\qtv-e2e");
        DeleteFileW(kPlanted);
    }

    // The WebUI registered with its folders, two settings, its service key and its service,
    // started and running.
    void installWebUI()
    {
        SetText(kEntry, L"DisplayName", L"Velmora Zantrel WebUI Service");
        SetText(kEntry, L"InstallLocation", kWebUI);
        SetText(kEntry, L"UninstallString", L"\"" + recorder + L"\" webui-setup");
        SetText(std::wstring(kSettings) + L"\\_WebUI_HTTPS_Port", L"value", L"443");
        SetText(std::wstring(kSettings) + L"\\_WebUIAppEnv_Custom", L"value", L"1");
        SetText(std::wstring(kSettings) + L"\\_QTVClient_LogLevel", L"value", L"3");
        SetText(L"SYSTEM\\ControlSet002\\services\\QTVWebUI", L"ImagePath", L"WebUIService.exe");
        MakeFolders(kWebUI + L"\\WebUI\\sites\\default");
        MakeFolders(kWebUI + L"\\WebUI\\ETL");
        ASSERT_TRUE(CopyFileW(recorder.c_str(), (kWebUI + L"\\WebUIService.exe").c_str(), FALSE));

        const std::wstring command = L"\"" + serviceProgram + L"\" QTVWebUI 1500";
        SC_HANDLE service = CreateServiceW(manager_, L"QTVWebUI", L"QTV WebUI", SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_IGNORE,
                                           command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service, nullptr) << GetLastError();
        ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
        SERVICE_STATUS status{};
        for (int i = 0; i < 200 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
            Sleep(50);
        CloseServiceHandle(service);
        ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    }

    // DLP in the agent's folder, which the agent's App Paths entry names with a trailing
    // backslash; the control program is the recorder.
    void installDlp()
    {
        SetText(kAgentAppPaths, L"Path", kAgent + L"\\");
        SetText(kDlpKey, L"Version", L"4.2");
        MakeFolders(kAgent + L"\\DLP\\policies");
        ASSERT_TRUE(CopyFileW(recorder.c_str(), kControl.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(recorder.c_str(), kPlanted, FALSE));
    }

    SC_HANDLE manager_ = nullptr;
};

TEST_F(WebUIAndDlpRemovalTest, RunningServiceIsStoppedAndTheControlProgramRunsQuoted)
{
    installWebUI();
    installDlp();

    EXPECT_EQ(RunProgram(L"\"" + program + L"\" /silent /webui /dlp"), 0u);

    SC_HANDLE gone = OpenServiceW(manager_, L"QTVWebUI", SERVICE_QUERY_STATUS);
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    if (gone)
        CloseServiceHandle(gone);
    EXPECT_FALSE(Exists(kWebUI));
    EXPECT_FALSE(KeyExists(kEntry));
    EXPECT_FALSE(KeyExists(std::wstring(kSettings) + L"\\_WebUI_HTTPS_Port"));
    EXPECT_FALSE(KeyExists(std::wstring(kSettings) + L"\\_WebUIAppEnv_Custom"));
    EXPECT_FALSE(KeyExists(L"SYSTEM\\ControlSet002\\services\\QTVWebUI"));
    EXPECT_TRUE(KeyExists(std::wstring(kSettings) + L"\\_QTVClient_LogLevel")) << "the agent's own setting stays";
    EXPECT_FALSE(Exists(kAgent + L"\\DLP"));
    EXPECT_TRUE(Exists(kAgent)) << "the agent's folder stays";
    EXPECT_FALSE(KeyExists(kDlpKey));

    // The WebUI's uninstaller got the silent switches and a response file; the control program
    // its quoted path, exactly as derived from the agent's folder; nothing ran as C:\Program.exe.
    const std::string runs = ReadRuns();
    const std::string webui = "\"" + Utf8(recorder) + "\" webui-setup -s --uninstallsilent -f1\"";
    EXPECT_EQ(runs.rfind(webui, 0), 0u) << runs;
    const std::string dlp = "\"" + Utf8(kAgent) + "\\\\DLP\\QTVDravelockCtrl.exe\" -u\r\n";
    EXPECT_NE(runs.find("\r\n" + dlp), std::string::npos) << runs;
    EXPECT_EQ(runs.find("Program.exe"), std::string::npos) << runs;
    EXPECT_EQ(std::count(runs.begin(), runs.end(), '\n'), 2) << runs;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        fprintf(stderr, "usage: webui_dlp_removal_test PATH\\QTVRemove.exe PATH\\fixture_service.exe PATH\\record_run.exe\n");
        return 2;
    }
    const auto wide = [](const char* text) {
        const std::string narrow = text;
        return std::wstring(narrow.begin(), narrow.end());
    };
    program = wide(argv[1]);
    serviceProgram = wide(argv[2]);
    recorder = wide(argv[3]);
    return RUN_ALL_TESTS();
}
