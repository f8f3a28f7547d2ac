// Figure 2: deleting a folder tree of 20,000 files in 2,000 folders, every fifth file read-only,
// under Wine. Lays two identical trees, deletes one with the toolkit's folder deletion (as the
// recipes call it, every step included) and the other with "cmd /c rd /s /q", in the same run,
// and prints both times and their ratio. Run by scripts/bench in a sealed prefix, never by the
// tests.
//
//   folder_deletion_bench [ROUNDS]

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/log.h"
#include "stopwatch.h"
#include "support/win_machine.h"
#include "toolkit/file_removal.h"

namespace {

const std::wstring kRoot = L"C:\\qtv-bench\\folders";
constexpr int kTopFolders = 50;
constexpr int kSubfolders = 39; // per top folder: 50 + 50 * 39 = 2,000 folders
constexpr int kFilesPerFolder = 10;

void LayFiles(const std::wstring& folder, int& serial)
{
    static const char kContent[] = "A file of the benchmark tree, with a line of text in it.\r\n";
    for (int i = 0; i < kFilesPerFolder; ++i, ++serial) {
        const std::wstring file = folder + L"\\file " + std::to_wstring(i) + L".dat";
        const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "cannot create a file (%lu)\n", GetLastError());
            std::exit(1);
        }
        DWORD written = 0;
        WriteFile(handle, kContent, sizeof kContent - 1, &written, nullptr);
        CloseHandle(handle);
        if (serial % 5 == 0)
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

// 2,000 folders of 10 files each below `tree`; answers the number of files.
int LayTree(const std::wstring& tree)
{
    int serial = 0;
    for (int top = 0; top < kTopFolders; ++top) {
        const std::wstring folder = tree + L"\\folder " + std::to_wstring(top);
        MakeFolders(folder);
        LayFiles(folder, serial);
        for (int sub = 0; sub < kSubfolders; ++sub) {
            const std::wstring inner = folder + L"\\inner " + std::to_wstring(sub);
            MakeFolders(inner);
            LayFiles(inner, serial);
        }
    }
    return serial;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1;
    std::printf("Figure 2: deleting a tree of %d files in %d folders (every fifth file read-only), under Wine\n",
                kTopFolders * (1 + kSubfolders) * kFilesPerFolder, kTopFolders * (1 + kSubfolders));
    std::printf("%-7s %14s %18s %10s %22s\n", "round", "toolkit s", "cmd /c rd /s /q s", "ratio", "cmd start alone s");
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        const std::wstring toolkit = kRoot + L"\\toolkit";
        const std::wstring system = kRoot + L"\\system";
        DeleteFolderTree(kRoot);
        LayTree(toolkit);
        LayTree(system);

        LogQueue queue;
        Remove::MessageLog log(&queue);
        auto start = std::chrono::steady_clock::now();
        const bool deleted = DeleteDirectory(std::u16string(toolkit.begin(), toolkit.end()), &log);
        const double toolkitSeconds = SecondsSince(start);

        start = std::chrono::steady_clock::now();
        const DWORD status = RunAndWait(L"cmd.exe /c rd /s /q \"" + system + L"\"");
        const double systemSeconds = SecondsSince(start);

        start = std::chrono::steady_clock::now();
        RunAndWait(L"cmd.exe /c exit");
        const double startSeconds = SecondsSince(start);

        std::printf("%-7d %14.2f %18.2f %10.2f %22.2f\n", round, toolkitSeconds, systemSeconds,
                    toolkitSeconds / systemSeconds, startSeconds);
        std::printf("summary|2|20,000 files in 2,000 folders, Wine|rd /s /q %.2f s|toolkit %.2f s|%.2f times|"
                    "within 1.5 times\n",
                    systemSeconds, toolkitSeconds, toolkitSeconds / systemSeconds);
        const std::u16string expected = u"Deleting directory \"" + std::u16string(toolkit.begin(), toolkit.end()) +
                                        u"\"...done\r\n";
        if (!deleted || PathPresent(toolkit) || TakeLogText(queue).value_or(u"") != expected) {
            std::printf("  the toolkit's deletion failed or left something behind\n");
            ++failures;
        }
        if (status != 0 || PathPresent(system)) {
            std::printf("  rd /s /q answered %lu%s\n", status, PathPresent(system) ? " and left something behind" : "");
            ++failures;
        }
        DeleteFolderTree(kRoot);
    }
    RemoveDirectoryW(L"C:\\qtv-bench");
    return failures == 0 ? 0 : 1;
}
