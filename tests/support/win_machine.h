#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Laying out and inspecting the real machine under Wine, for the tests that run against it.
// Registry paths are below HKEY_LOCAL_MACHINE, in this 32-bit program's view unless `view` names
// the other (KEY_WOW64_64KEY).

// The text in ASCII for a test's messages, '?' for every other character.
std::string Narrow(const std::wstring& text);
// The portable code's text as the Windows calls take it.
std::wstring W(const std::u16string& text);

// The Uninstall key's entry `entry` ("{QTV-RELAY}").
std::wstring UninstallEntryKey(const std::wstring& entry);

// Creates the key as needed and sets a REG_SZ value.
::testing::AssertionResult SetRegistryText(const std::wstring& key, const wchar_t* name,
                                           const std::wstring& value, REGSAM view = 0);
bool RegistryKeyPresent(const std::wstring& key, REGSAM view = 0);
// A text value's whole data, the terminators of a REG_MULTI_SZ included; empty when absent.
std::wstring RegistryData(const std::wstring& key, const wchar_t* name, REGSAM view = 0);
// Deletes the key and everything below it; missing is fine.
void DeleteRegistryTree(const std::wstring& key, REGSAM view = 0);
bool PathPresent(const std::wstring& path);

// The bytes of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// Creates the folder and every folder above it that is missing.
void MakeFolders(const std::wstring& path);
// Deletes the folder and everything in it, or the file, read-only files included; missing is fine.
void DeleteFolderTree(const std::wstring& path);

// A host symbolic link at `link` to the folder `target`, both below C:\, while the object lives:
// Wine's CreateSymbolicLinkW makes nothing, so e2e/host_links.sh, which the test runs under, makes
// it on the host with the folders missing on the way, and removes all of that again. Wine shows
// the link as a folder with FILE_ATTRIBUTE_REPARSE_POINT, and the names below it as plain folders.
class HostLink {
public:
    HostLink(const std::wstring& link, const std::wstring& target);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;
    // False when the script made no link.
    bool made() const { return made_; }

private:
    std::wstring request_; // C:\qtv\links\NAME, without the ending
    bool made_ = false;
};

// The text a window or control holds, asked of the window itself (an edit's whole buffer), also
// across processes.
std::wstring ControlText(HWND window);

// Polls until the condition holds or the time is up; whether it held.
bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 60000);

// How a program is started: as a deployment engine would, on a desktop of a window station nobody
// sees ("station\\desktop"), inside a job, or with its output going to a pipe.
struct StartSettings {
    std::wstring desktop; // "" for the test's own
    HANDLE job = nullptr; // the program is assigned to it before it runs
    HANDLE output = nullptr; // inheritable; standard output and error
};

// A started program; null handles when it could not start.
PROCESS_INFORMATION StartProgram(std::wstring commandLine, const StartSettings& settings = {});
// Starts the command line and waits for it; its exit code, or the error that kept it from starting.
DWORD RunAndWait(std::wstring commandLine, const StartSettings& settings = {});
// The command line of the built program (the test program's QTVRemove.exe) with these switches,
// and a run of it.
std::wstring ProgramCommand(const std::wstring& switches);
DWORD RunProgram(const std::wstring& switches, const StartSettings& settings = {});

// A window station of its own, not visible, as services have on Windows, and its desktop, made
// once; the name for StartSettings::desktop.
std::wstring HiddenDesktop();

// Runs the command line and waits for it; its exit code, with everything it wrote to its
// standard output in `output`.
DWORD RunCapturingOutput(std::wstring commandLine, std::string& output);
// Waits for the program to end and closes its handles; its exit code.
DWORD WaitForProgram(PROCESS_INFORMATION& program);

// A window's text as GetWindowTextW gives it (for another process's edit control, only its
// caption: use ControlText there).
std::wstring WindowText(HWND window);

// A visible top-level window of the process, of the class, with the caption unless any will do;
// null when there is none.
HWND FindProcessWindow(DWORD processId, const wchar_t* className,
                       const std::optional<std::wstring>& caption = std::nullopt);

// What a message box showed.
struct SeenBox {
    std::wstring caption;
    std::wstring text;
    bool hasOk = false;
};
// Reads the box (its caption, the static control that holds text, whether it has OK) and
// presses the button given (IDOK, IDCANCEL).
SeenBox ReadMessageBoxAndPress(HWND box, int button = IDOK);
// Waits up to `seconds` for a message box of the process, reads it and presses OK; false when
// none appeared.
bool AnswerMessageBox(DWORD processId, int seconds, SeenBox& seen);

// Creates the own-process service `name` running `command`, depending on `dependencies`, starts
// it and waits until it runs.
::testing::AssertionResult StartService(SC_HANDLE manager, const wchar_t* name,
                                        const std::wstring& command, DWORD startType,
                                        const std::vector<std::wstring>& dependencies = {});
// Stops the service if it runs and deletes it, and waits for the manager to drop it; nothing when
// there is none.
void RemoveService(SC_HANDLE manager, const wchar_t* name);
// Waits up to 10 s for the manager to drop a deleted service, which it does once the service's
// process has ended; whether it did.
bool AwaitServiceGone(SC_HANDLE manager, const wchar_t* name);
