#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

// Laying out and inspecting the real machine under Wine, for the tests that run against it.
// Registry paths are below HKEY_LOCAL_MACHINE, in this 32-bit program's view.

// The text in ASCII for a test's messages, '?' for every other character.
std::string Narrow(const std::wstring& text);

// Creates the key as needed and sets a REG_SZ value.
::testing::AssertionResult SetRegistryText(const std::wstring& key, const wchar_t* name,
                                           const std::wstring& value);
bool RegistryKeyPresent(const std::wstring& key);
// A text value's whole data, the terminators of a REG_MULTI_SZ included; empty when absent.
std::wstring RegistryData(const std::wstring& key, const wchar_t* name);
bool PathPresent(const std::wstring& path);

// The bytes of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// Creates the folder and every folder above it that is missing.
void MakeFolders(const std::wstring& path);
// Deletes the folder and everything in it, read-only files included; missing is fine.
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

// Starts the command line and waits for it; its exit code, or the error that kept it from starting.
DWORD RunAndWait(std::wstring commandLine);

// How a program is started: as a deployment engine would, on a desktop of a window station nobody
// sees ("station\\desktop"), inside a job, or with its output going to a pipe.
struct StartSettings {
    std::wstring desktop; // "" for the test's own
    HANDLE job = nullptr; // the program is assigned to it before it runs
    HANDLE output = nullptr; // inheritable; standard output and error
};

// A started program; null handles when it could not start.
PROCESS_INFORMATION StartProgram(std::wstring commandLine, const StartSettings& settings = {});

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
// presses OK.
SeenBox ReadMessageBoxAndPressOk(HWND box);
// The same, pressing the button given (IDOK, IDCANCEL).
SeenBox ReadMessageBoxAndPress(HWND box, int button);
// Waits up to `seconds` for a message box of the process, reads it and presses OK; false when
// none appeared.
bool AnswerMessageBox(DWORD processId, int seconds, SeenBox& seen);

// Creates the own-process service `name` running `command`, depending on `dependencies`, starts
// it and waits until it runs.
::testing::AssertionResult StartService(SC_HANDLE manager, const wchar_t* name,
                                        const std::wstring& command, DWORD startType,
                                        const std::vector<std::wstring>& dependencies = {});
// Stops the service if it runs and deletes it; nothing when there is none.
void RemoveService(SC_HANDLE manager, const wchar_t* name);

// What the whole prefix holds, name by name: every file under C:\ (the 64-bit system folder
// included) with its size, last write time and a hash of its bytes, but none of `skipped` (folders
// or files);
// every key of HKEY_LOCAL_MACHINE (both views) and HKEY_USERS with its values and last write
// time, as the registry saves them (`scratch` is the file the save goes through).
using Fingerprint = std::map<std::wstring, std::string>;
Fingerprint PrefixFingerprint(const std::vector<std::wstring>& skipped, const std::wstring& scratch);
// One line for each name new, gone or changed between the two; empty when they agree.
std::string FingerprintChanges(const Fingerprint& before, const Fingerprint& after);
