// Figure 1: detection of all fourteen components on a machine with 2,000 other programs under the
// Uninstall key and 2,000 other Windows Installer products, besides a whole suite installation.
// Counts the registry calls the simulated machine answered (exact and the same on every run) and
// the wall time. Run by scripts/bench, never by the tests.

#include <chrono>
#include <cstdio>
#include <optional>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/sim/sim_machine.h"
#include "products/products.h"
#include "support/large_machine.h"
#include "toolkit/run_registry_reads.h"

namespace {

constexpr SimCall kRegistryCalls[] = {
    SimCall::RegOpenKeyEx, SimCall::RegQueryValueEx, SimCall::RegQueryInfoKey, SimCall::RegEnumKeyEx,
    SimCall::RegCloseKey, SimCall::RegDeleteKey, SimCall::RegDeleteKeyEx, SimCall::RegDeleteValue,
};

struct Figure {
    unsigned calls[std::size(kRegistryCalls)] = {};
    unsigned total = 0;
    double milliseconds = 0;
};

// Detection as "/silent /detect" runs it; `indexed` as the program does, with the detection index.
Figure DetectEverything(const LargeMachineSize& size, bool indexed)
{
    SimMachine machine;
    LayLargeMachine(machine, size);
    ScopedOsApi installed(machine);
    Remove::Log discard;
    const Products products = MakeProducts(&discard);
    const SilentRunContext context{&discard, u"QTVRemove", nullptr, nullptr};

    Figure figure;
    unsigned before[std::size(kRegistryCalls)];
    for (std::size_t i = 0; i < std::size(kRegistryCalls); ++i)
        before[i] = machine.callCount(kRegistryCalls[i]);
    const auto start = std::chrono::steady_clock::now();
    {
        std::optional<RunRegistryReadsScope> index;
        if (indexed)
            index.emplace();
        DetectSilently(products.set, context);
    }
    const auto end = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < std::size(kRegistryCalls); ++i) {
        figure.calls[i] = machine.callCount(kRegistryCalls[i]) - before[i];
        figure.total += figure.calls[i];
    }
    figure.milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    return figure;
}

void Row(const char* what, const Figure& figure)
{
    std::printf("%-34s", what);
    for (const unsigned count : figure.calls)
        std::printf(" %9u", count);
    std::printf(" %9u %10.1f\n", figure.total, figure.milliseconds);
}

} // namespace

int main()
{
    const LargeMachineSize size;
    // Reading each Uninstall entry and each product once: naming it (RegEnumKeyExW), opening it,
    // one RegQueryValueExW, closing it. A product is read where the lookups find it: its
    // Products key and its UserData key.
    const unsigned minimum = 4u * static_cast<unsigned>(size.uninstallEntries + 2 * size.installerProducts);

    std::printf("Figure 1: detection of all fourteen components, %d Uninstall entries, %d Windows Installer "
                "products, simulated machine\n",
                size.uninstallEntries, size.installerProducts);
    std::printf("%-34s %9s %9s %9s %9s %9s %9s %9s %9s %9s %10s\n", "", "Open", "QueryVal", "QueryInfo", "EnumKey",
                "Close", "DelKey", "DelKeyEx", "DelValue", "total", "wall ms");
    const Figure before = DetectEverything(size, false);
    const Figure after = DetectEverything(size, true);
    Row("without the index (before)", before);
    Row("with the index (after)", after);
    std::printf("minimum (each entry and product read once): %u registry calls\n", minimum);
    std::printf("with the index: %.2f times the minimum, %.1f times fewer calls, %.1f times faster\n",
                static_cast<double>(after.total) / minimum, static_cast<double>(before.total) / after.total,
                before.milliseconds / after.milliseconds);
    std::printf("summary|1|registry calls, simulated machine|%u without the index|%u with it|%.2f times the minimum|"
                "within 3 times the minimum\n",
                before.total, after.total, static_cast<double>(after.total) / minimum);
    return 0;
}
