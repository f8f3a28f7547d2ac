// Runs a program with its command line, waits for it, and prints its wall time, exit status and
// peak working set (GetProcessMemoryInfo, asked every 20 ms while it runs: Wine answers nothing
// for a process that has ended), for the program's own figures under Wine. Run by scripts/bench,
// never by the tests.
//
//   measure_run FIGURE PROGRAM.exe [ARGUMENT...]
//   measure_run --compare FIGURE GOAL PROGRAM.exe "BASELINE ARGUMENTS" "ARGUMENTS"
//
// FIGURE labels the summary line scripts/bench gathers into its table. --compare runs the program
// with each set of arguments three times, one after the other in turn so that both meet the same
// machine, and compares the medians: the second is to take at most GOAL times the first.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Measured {
    double seconds = 0;
    DWORD status = 0;
    SIZE_T peak = 0; // 0: not available
};

bool Run(std::wstring commandLine, Measured& measured)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
        std::fprintf(stderr, "measure_run: cannot start the program (%lu)\n", GetLastError());
        return false;
    }
    do {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(program.hProcess, &memory, sizeof memory))
            measured.peak = std::max(measured.peak, memory.PeakWorkingSetSize);
    } while (WaitForSingleObject(program.hProcess, 20) == WAIT_TIMEOUT);
    measured.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    GetExitCodeProcess(program.hProcess, &measured.status);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    std::printf("  %ls: %.2f s, exit status %lu, peak working set ", commandLine.c_str(), measured.seconds,
                measured.status);
    if (measured.peak > 0)
        std::printf("%lu KiB\n", static_cast<unsigned long>(measured.peak / 1024));
    else
        std::printf("not available\n");
    return true;
}

int Compare(const wchar_t* figure, double goal, const std::wstring& program, const std::wstring& baseline,
            const std::wstring& measured)
{
    std::vector<double> times[2];
    for (int round = 0; round < 3; ++round) {
        for (int which = 0; which < 2; ++which) {
            Measured run;
            if (!Run(L"\"" + program + L"\" " + (which == 0 ? baseline : measured), run))
                return 1;
            times[which].push_back(run.seconds);
        }
    }
    for (std::vector<double>& each : times)
        std::sort(each.begin(), each.end());
    const double ratio = times[1][1] / times[0][1];
    std::printf("summary|%ls|\"%ls\" against \"%ls\", Wine|%.2f s|%.2f s (medians of 3)|%.2f times|within %.1f times: %s\n",
                figure, measured.c_str(), baseline.c_str(), times[0][1], times[1][1], ratio, goal,
                ratio <= goal ? "yes" : "no");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 7 && std::wstring(argv[1]) == L"--compare")
        return Compare(argv[2], std::wcstod(argv[3], nullptr), argv[4], argv[5], argv[6]);
    if (argc < 3) {
        std::fprintf(stderr, "usage: measure_run FIGURE PROGRAM.exe [ARGUMENT...]\n"
                             "       measure_run --compare FIGURE GOAL PROGRAM.exe \"BASELINE ARGUMENTS\" \"ARGUMENTS\"\n");
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[2]) + L"\"";
    for (int i = 3; i < argc; ++i)
        commandLine += L" " + std::wstring(argv[i]);
    Measured run;
    if (!Run(commandLine, run))
        return 1;
    std::printf("summary|%ls|%ls, Wine|-|%.2f s|peak working set %lu KiB|-\n", argv[1], commandLine.c_str(), run.seconds,
                static_cast<unsigned long>(run.peak / 1024));
    return 0;
}
