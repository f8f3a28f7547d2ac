// Figure 5: peak memory of "/silent /all" on the large machine of figure 1, on the simulated
// machine. The machine lives in the same process, so the peak is taken twice: the process's peak
// resident size (getrusage) while the machine is laid, and the peak of the run alone (Linux's VmHWM, reset
// through /proc/self/clear_refs once the machine is laid), beside what was resident before the
// run. Run by scripts/bench, never by the tests.

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/sim/sim_machine.h"
#include "products/products.h"
#include "support/large_machine.h"
#include "toolkit/root_cleanup.h"
#include "toolkit/run_registry_reads.h"
#include "toolkit/uninstaller.h"

namespace {

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A "VmRSS:" or "VmHWM:" line of /proc/self/status, in KiB; -1 when there is none.
long StatusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// Starts the resident peak (VmHWM) afresh from what is resident now.
bool ResetResidentPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

} // namespace

int main()
{
    const LargeMachineSize size;
    SimMachine machine;
    LayLargeMachine(machine, size);
    ScopedOsApi installed(machine);
    const long laid = PeakKilobytes();
    // Heap the laying freed goes back to the system first, so that the run cannot hide its own
    // needs in it.
    malloc_trim(0);
    const bool reset = ResetResidentPeak();
    const long resident = StatusKilobytes("VmRSS:");

    Remove::Log discard;
    const Products products = MakeProducts(&discard);
    DWORD status = 0;
    {
        const RunRegistryReadsScope index;
        status = SilentExitStatus(RunSilent(u"/silent /all", products.set,
                                            SilentRunContext{&discard, u"QTVRemove", RemoveRootTraces, TakeRestartRequest}));
    }
    const long runPeak = StatusKilobytes("VmHWM:");

    std::printf("Figure 5: peak memory of \"/silent /all\", %d Uninstall entries, %d Windows Installer products, "
                "simulated machine\n",
                size.uninstallEntries, size.installerProducts);
    std::printf("  exit status of the run:                   %lu\n", static_cast<unsigned long>(status));
    std::printf("  process peak (getrusage), laying it:      %8ld KiB\n", laid);
    std::printf("  resident when the run starts:             %8ld KiB\n", resident);
    if (reset)
        std::printf("  peak resident during the run (VmHWM):     %8ld KiB, %ld KiB above the start\n", runPeak,
                    runPeak - resident);
    else
        std::printf("  peak resident during the run: not measured (/proc/self/clear_refs refused)\n");
    if (reset)
        std::printf("summary|5|peak memory of /silent /all, simulated machine|%ld KiB resident at the start|"
                    "%ld KiB peak during the run|%ld KiB above the start|none set\n",
                    resident, runPeak, runPeak - resident);
    return 0;
}
