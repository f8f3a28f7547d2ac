// Runs a program with its command line, waits for it, and prints its wall time, exit status and
// peak working set (GetProcessMemoryInfo, asked every 20 ms while it runs: Wine answers nothing
// for a process that has ended), for the program's own figures under Wine. Run by scripts/bench,
// never by the tests.
//
//   measure_run FIGURE PROGRAM.exe [ARGUMENT...]
//
// FIGURE labels the summary line scripts/bench gathers into its table.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: measure_run FIGURE PROGRAM.exe [ARGUMENT...]\n");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
    for (int i = 3; i < argc; ++i)
        commandLine += L" " + std::wstring(argv[i]);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
        std::fprintf(stderr, "measure_run: cannot start the program (%lu)\n", GetLastError());
        return 1;
    }
    SIZE_T peak = 0;
    bool measured = false;
    do {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(program.hProcess, &memory, sizeof memory) && memory.PeakWorkingSetSize > 0) {
            measured = true;
            peak = std::max(peak, memory.PeakWorkingSetSize);
        }
    } while (WaitForSingleObject(program.hProcess, 20) == WAIT_TIMEOUT);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    DWORD status = 0;
    GetExitCodeProcess(program.hProcess, &status);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);

    std::printf("  %ls: %.2f s, exit status %lu, peak working set ", commandLine.c_str(), seconds, status);
    if (measured)
        std::printf("%lu KiB\n", static_cast<unsigned long>(peak / 1024));
    else
        std::printf("not available\n");
    std::printf("summary|%ls|%ls, Wine|-|%.2f s|peak working set %lu KiB|-\n", argv[1], commandLine.c_str(), seconds,
                static_cast<unsigned long>(peak / 1024));
    return 0;
}
