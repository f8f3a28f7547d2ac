#include "support/win_machine.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/wine_main.h"
#include "toolkit/uninstall_lookups.h"

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (const wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

std::wstring W(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring UninstallEntryKey(const std::wstring& entry)
{
    return W(kUninstallKey) + L"\\" + entry;
}

::testing::AssertionResult SetRegistryText(const std::wstring& key, const wchar_t* name, const std::wstring& value,
                                           REGSAM view)
{
    HKEY opened = nullptr;
    LSTATUS result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                     &opened, nullptr);
    if (result != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "RegCreateKeyExW failed with " << result;
    result = RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "RegSetValueExW failed with " << result;
    return ::testing::AssertionSuccess();
}

bool RegistryKeyPresent(const std::wstring& key, REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::wstring RegistryData(const std::wstring& key, const wchar_t* name, REGSAM view)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return L"";
    DWORD size = 0;
    std::wstring data;
    if (RegGetValueW(opened, nullptr, name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size) == ERROR_SUCCESS) {
        data.resize(size / sizeof(wchar_t));
        RegGetValueW(opened, nullptr, name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, &data[0], &size);
        data.resize(size / sizeof(wchar_t));
    }
    RegCloseKey(opened);
    return data;
}

void DeleteRegistryTree(const std::wstring& key, REGSAM view)
{
    // What is below goes through the key's own handle, the key itself by its parent's: each in the
    // view asked for.
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | view, &opened) != ERROR_SUCCESS)
        return;
    RegDeleteTreeW(opened, nullptr);
    RegCloseKey(opened);
    const std::size_t cut = key.find_last_of(L'\\');
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | view, &opened) == ERROR_SUCCESS) {
        RegDeleteKeyExW(opened, key.substr(cut + 1).c_str(), view, 0);
        RegCloseKey(opened);
    }
}

bool PathPresent(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::wstring& path)
{
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
}

void DeleteFolderTree(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..")
                DeleteFolderTree(path + L"\\" + name);
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryW(path.c_str());
}

namespace {

// Waits up to 30 s for the path to be there, or to be gone.
bool AwaitPath(const std::wstring& path, bool present)
{
    for (int tries = 0; tries < 300 && PathPresent(path) != present; ++tries)
        Sleep(100);
    return PathPresent(path) == present;
}

} // namespace

HostLink::HostLink(const std::wstring& link, const std::wstring& target)
{
    static int made = 0;
    request_ = L"C:\\qtv\\links\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++made);
    MakeFolders(L"C:\\qtv\\links");
    // Written whole, then named for the script, so that it never reads half a request.
    std::ofstream((request_ + L".tmp").c_str(), std::ios::binary) << Narrow(link) << "\r\n" << Narrow(target) << "\r\n";
    made_ = MoveFileExW((request_ + L".tmp").c_str(), (request_ + L".link").c_str(), MOVEFILE_REPLACE_EXISTING) &&
            AwaitPath(request_ + L".made", true);
}

HostLink::~HostLink()
{
    if (!made_)
        return;
    DeleteFileW((request_ + L".made").c_str());
    EXPECT_TRUE(AwaitPath(request_ + L".gone", true)) << "the host link was not removed";
    DeleteFileW((request_ + L".gone").c_str());
    RemoveDirectoryW(L"C:\\qtv\\links"); // fails harmlessly while another link is asked for
}

std::wstring ControlText(HWND window)
{
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

PROCESS_INFORMATION StartProgram(std::wstring commandLine, const StartSettings& settings)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::wstring desktop = settings.desktop;
    if (!desktop.empty())
        startup.lpDesktop = desktop.data();
    if (settings.output) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = settings.output;
        startup.hStdError = settings.output;
    }
    PROCESS_INFORMATION program{};
    const DWORD flags = settings.job ? CREATE_SUSPENDED : 0;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, settings.output ? TRUE : FALSE, flags, nullptr,
                        nullptr, &startup, &program))
        return PROCESS_INFORMATION{};
    if (settings.job) {
        if (!AssignProcessToJobObject(settings.job, program.hProcess)) {
            const DWORD error = GetLastError();
            TerminateProcess(program.hProcess, 1);
            WaitForProgram(program);
            SetLastError(error);
            return PROCESS_INFORMATION{};
        }
        ResumeThread(program.hThread);
    }
    return program;
}

std::wstring HiddenDesktop()
{
    static const std::wstring name = [] {
        // Measured under Wine: a window station made here has no WSF_VISIBLE, and a message box
        // on its desktop waits without anybody seeing it, as in a service's session on Windows.
        const HWINSTA own = GetProcessWindowStation();
        const HWINSTA hidden = CreateWindowStationW(L"QtvHidden", 0, WINSTA_ALL_ACCESS, nullptr);
        SetProcessWindowStation(hidden);
        CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(own);
        return std::wstring(L"QtvHidden\\Default");
    }();
    return name;
}

DWORD RunCapturingOutput(std::wstring commandLine, std::string& output)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inheritable, 0))
        return GetLastError();
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    StartSettings settings;
    settings.output = writer;
    PROCESS_INFORMATION program = StartProgram(std::move(commandLine), settings);
    const DWORD error = GetLastError();
    CloseHandle(writer);
    output.clear();
    char buffer[4096];
    DWORD read = 0;
    while (program.hProcess && ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        output.append(buffer, read);
    CloseHandle(reader);
    return program.hProcess ? WaitForProgram(program) : error;
}

DWORD WaitForProgram(PROCESS_INFORMATION& program)
{
    WaitForSingleObject(program.hProcess, 180000);
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    program = PROCESS_INFORMATION{};
    return code;
}

DWORD RunAndWait(std::wstring commandLine, const StartSettings& settings)
{
    PROCESS_INFORMATION program = StartProgram(std::move(commandLine), settings);
    if (program.hProcess == nullptr)
        return GetLastError();
    return WaitForProgram(program);
}

bool WaitUntil(const std::function<bool()>& condition, int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::wstring ProgramCommand(const std::wstring& switches)
{
    return L"\"" + TestFile(L"QTVRemove.exe") + L"\"" + (switches.empty() ? L"" : L" " + switches);
}

DWORD RunProgram(const std::wstring& switches, const StartSettings& settings)
{
    return RunAndWait(ProgramCommand(switches), settings);
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const std::optional<std::wstring>& caption;
    HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == search->processId && IsWindowVisible(window) && std::wstring(className) == search->className &&
        (!search->caption || WindowText(window) == *search->caption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className, const std::optional<std::wstring>& caption)
{
    WindowSearch search{processId, className, caption, nullptr};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

SeenBox ReadMessageBoxAndPress(HWND box, int button)
{
    SeenBox seen;
    seen.caption = WindowText(box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        const std::wstring text = WindowText(child);
        if (std::wstring(className) == L"Static" && !text.empty())
            seen.text = text;
        if (GetDlgCtrlID(child) == IDOK)
            seen.hasOk = true;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    return seen;
}

bool AnswerMessageBox(DWORD processId, int seconds, SeenBox& seen)
{
    HWND box = nullptr;
    for (int i = 0; i < seconds * 10 && box == nullptr; ++i) {
        box = FindProcessWindow(processId, L"#32770");
        if (box == nullptr)
            Sleep(100);
    }
    if (box == nullptr)
        return false;
    // Let the box finish laying out its controls before reading them.
    Sleep(300);
    seen = ReadMessageBoxAndPress(box);
    return true;
}

::testing::AssertionResult StartService(SC_HANDLE manager, const wchar_t* name, const std::wstring& command,
                                        DWORD startType, const std::vector<std::wstring>& dependencies)
{
    // The names one after another, each ended, and one more terminator after the last.
    std::wstring dependsOn;
    for (const std::wstring& dependency : dependencies)
        dependsOn += dependency + L'\0';
    dependsOn += L'\0';
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                                       SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                       dependencies.empty() ? nullptr : dependsOn.c_str(), nullptr, nullptr);
    if (service == nullptr)
        return ::testing::AssertionFailure() << "CreateServiceW failed with " << GetLastError();
    if (!StartServiceW(service, 0, nullptr)) {
        const DWORD error = GetLastError();
        CloseServiceHandle(service);
        return ::testing::AssertionFailure() << "StartServiceW failed with " << error;
    }
    SERVICE_STATUS status{};
    for (int i = 0; i < 200 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_RUNNING; ++i)
        Sleep(50);
    CloseServiceHandle(service);
    if (status.dwCurrentState != SERVICE_RUNNING)
        return ::testing::AssertionFailure() << "the service is in state " << status.dwCurrentState;
    return ::testing::AssertionSuccess();
}

void RemoveService(SC_HANDLE manager, const wchar_t* name)
{
    SC_HANDLE old = OpenServiceW(manager, name, SERVICE_ALL_ACCESS);
    if (old == nullptr)
        return;
    SERVICE_STATUS status{};
    ControlService(old, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 100 && QueryServiceStatus(old, &status) && status.dwCurrentState != SERVICE_STOPPED; ++i)
        Sleep(50);
    DeleteService(old);
    CloseServiceHandle(old);
    // A service of the same name made before it is gone would fail.
    AwaitServiceGone(manager, name);
}

bool AwaitServiceGone(SC_HANDLE manager, const wchar_t* name)
{
    return WaitUntil([&] {
        SC_HANDLE still = OpenServiceW(manager, name, SERVICE_QUERY_STATUS);
        if (still)
            CloseServiceHandle(still);
        return still == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    }, 10000);
}
