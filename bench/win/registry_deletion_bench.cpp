// Figure 3: deleting a registry tree of 20,000 keys (one value in each) under Wine. Lays three
// identical trees, deletes one with the toolkit's key deletion (as the recipes call it, every
// step included), one the same way with "/backup" on (the tree read and saved to registry.reg
// first), and the third with "reg delete <key> /f", in the same run, and prints the times and
// their ratios. All are 32-bit programs and see the same registry view. Run by scripts/bench in
// a sealed prefix, never by the tests.
//
//   registry_deletion_bench [ROUNDS]

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/log.h"
#include "stopwatch.h"
#include "support/win_machine.h"
#include "toolkit/registry_backup.h"
#include "toolkit/registry_cleanup.h"

namespace {

const std::wstring kRoot = L"SOFTWARE\\QTVBench";
constexpr int kChildren = 200;
constexpr int kGrandchildren = 99; // per child: 200 + 200 * 99 = 20,000 keys below the tree's top

void LayKey(const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot create a key\n");
        std::exit(1);
    }
    static const wchar_t kData[] = L"C:\\Program Files (x86)\\Other\\Tool";
    RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(kData), sizeof kData);
    RegCloseKey(key);
}

void LayTree(const std::wstring& tree)
{
    for (int child = 0; child < kChildren; ++child) {
        const std::wstring path = tree + L"\\Product " + std::to_wstring(child);
        LayKey(path);
        for (int grandchild = 0; grandchild < kGrandchildren; ++grandchild)
            LayKey(path + L"\\Component " + std::to_wstring(grandchild));
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 1;
    std::printf("Figure 3: deleting a registry tree of %d keys, under Wine\n", kChildren * (1 + kGrandchildren));
    std::printf("%-7s %14s %18s %10s %22s %18s %14s\n", "round", "toolkit s", "reg delete /f s", "ratio",
                "reg start alone s", "with backup s", "backup ratio");
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        const std::wstring toolkit = kRoot + L"\\Toolkit";
        const std::wstring system = kRoot + L"\\System";
        const std::wstring saved = kRoot + L"\\Saved";
        const std::wstring folder = L"C:\\qtv-bench-backup";
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot.c_str());
        DeleteFolderTree(folder);
        LayTree(toolkit);
        LayTree(system);
        LayTree(saved);

        LogQueue queue;
        Remove::MessageLog log(&queue);
        auto start = std::chrono::steady_clock::now();
        const bool deleted =
            DeleteRegistryKey(HKEY_LOCAL_MACHINE, std::u16string(toolkit.begin(), toolkit.end()), &log);
        const double toolkitSeconds = SecondsSince(start);
        const std::u16string toolkitLog = TakeLogText(queue).value_or(u"");

        start = std::chrono::steady_clock::now();
        const DWORD status = RunAndWait(L"reg.exe delete \"HKLM\\" + system + L"\" /f");
        const double systemSeconds = SecondsSince(start);

        double savedSeconds = 0;
        bool savedDeleted = false;
        {
            Backup backup(std::u16string(folder.begin(), folder.end()));
            const ScopedBackup saving(backup);
            start = std::chrono::steady_clock::now();
            savedDeleted = DeleteRegistryKey(HKEY_LOCAL_MACHINE, std::u16string(saved.begin(), saved.end()), &log);
            savedSeconds = SecondsSince(start);
        }
        const std::string savedFile = ReadFileBytes(folder + L"\\registry.reg");
        TakeLogText(queue);

        // What starting the tool costs by itself: a query of a key that is not there.
        start = std::chrono::steady_clock::now();
        RunAndWait(L"reg.exe query \"HKLM\\" + system + L"\"");
        const double startSeconds = SecondsSince(start);

        std::printf("%-7d %14.2f %18.2f %10.2f %22.2f %18.2f %14.2f\n", round, toolkitSeconds, systemSeconds,
                    toolkitSeconds / systemSeconds, startSeconds, savedSeconds, savedSeconds / toolkitSeconds);
        std::printf("summary|3|20,000 registry keys with /backup, Wine|toolkit %.2f s|with the backup %.2f s, %zu KiB saved|"
                    "%.2f times|within 1.5 times\n",
                    toolkitSeconds, savedSeconds, savedFile.size() / 1024, savedSeconds / toolkitSeconds);
        // Every key saved: a section line for each, the tree's top and its 20,000 keys below.
        std::size_t sections = 0;
        for (std::size_t at = 0; (at = savedFile.find(std::string("\n\0[\0", 4), at)) != std::string::npos; ++at)
            ++sections;
        if (!savedDeleted || RegistryKeyPresent(saved) || sections != 1 + kChildren * (1 + kGrandchildren)) {
            std::printf("  the deletion with the backup failed, left something or saved %zu keys\n", sections);
            ++failures;
        }
        DeleteFolderTree(folder);
        std::printf("summary|3|20,000 registry keys, Wine|reg delete /f %.2f s|toolkit %.2f s|%.2f times|"
                    "within 1.5 times\n",
                    systemSeconds, toolkitSeconds, toolkitSeconds / systemSeconds);
        const std::u16string expected =
            u"Deleting registry key \"HKLM\\" + std::u16string(toolkit.begin(), toolkit.end()) + u"\"...done\r\n";
        if (!deleted || RegistryKeyPresent(toolkit) || toolkitLog != expected) {
            std::printf("  the toolkit's deletion failed or left something behind\n");
            ++failures;
        }
        if (status != 0 || RegistryKeyPresent(system)) {
            std::printf("  reg delete answered %lu%s\n", status, RegistryKeyPresent(system) ? " and left something behind" : "");
            ++failures;
        }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRoot.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kRoot.c_str());
    return failures == 0 ? 0 : 1;
}
