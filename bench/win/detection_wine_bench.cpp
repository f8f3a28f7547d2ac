// Figure 1 under Wine, against the real registry: lays the foreign registrations of the large
// machine (2,000 Uninstall entries, 2,000 Windows Installer products) in the prefix, times the
// detection of all fourteen components as "/silent /detect" runs it, without and with the
// detection index, and clears the registrations again. The suite installation beside them is
// laid by lay_suite. Run by scripts/bench in a sealed prefix, never by the tests.
//
//   detection_wine_bench lay|run|clear

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <string>

#include "core/log.h"
#include "core/silent_driver.h"
#include "products/products.h"
#include "support/foreign_registrations.h"
#include "toolkit/run_registry_reads.h"

namespace {

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

REGSAM View(const RegistrationValue& value)
{
    return value.native64 ? KEY_WOW64_64KEY : 0;
}

bool Lay()
{
    for (const RegistrationValue& value : ForeignRegistrations({})) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(value.path).c_str(), 0, nullptr, 0, KEY_SET_VALUE | View(value),
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        const std::wstring data = Wide(value.data);
        const LONG status = RegSetValueExW(key, Wide(value.name).c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(data.c_str()),
                                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            return false;
    }
    return true;
}

void Clear()
{
    std::set<std::pair<std::u16string, bool>> entries;
    for (const RegistrationValue& value : ForeignRegistrations({}))
        entries.insert({value.entry, value.native64});
    for (const auto& [entry, native64] : entries) {
        const REGSAM view = native64 ? KEY_WOW64_64KEY : 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(entry).c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
            continue;
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(entry).c_str(), view, 0);
    }
}

// The detection as "/silent /detect" runs it; the index as the program holds it, or none.
double DetectEverything(bool indexed, std::size_t& installed)
{
    Remove::Log discard;
    const Products products = MakeProducts(&discard);
    const SilentRunContext context{&discard, u"QTVRemove", nullptr, nullptr};
    const auto start = std::chrono::steady_clock::now();
    SilentRunResult result;
    {
        std::optional<RunRegistryReadsScope> index;
        if (indexed)
            index.emplace();
        result = DetectSilently(products.set, context);
    }
    const auto end = std::chrono::steady_clock::now();
    installed = 0;
    for (const ComponentOutcome& component : result.components)
        installed += component.installedBefore ? 1 : 0;
    return std::chrono::duration<double>(end - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "lay") {
        if (!Lay()) {
            std::fprintf(stderr, "detection_wine_bench: cannot lay the registrations (%lu)\n", GetLastError());
            return 1;
        }
        return 0;
    }
    if (command == "clear") {
        Clear();
        return 0;
    }
    if (command != "run") {
        std::fprintf(stderr, "usage: detection_wine_bench lay|run|clear\n");
        return 2;
    }
    const ForeignRegistrationCount count;
    std::size_t installedWithout = 0;
    std::size_t installedWith = 0;
    const double without = DetectEverything(false, installedWithout);
    const double with = DetectEverything(true, installedWith);
    std::printf("Figure 1 under Wine: detection of all fourteen components, %d Uninstall entries and %d Windows "
                "Installer products besides the suite, real registry\n",
                count.uninstallEntries, count.installerProducts);
    std::printf("  without the index (before): %8.2f s, %zu components found installed\n", without, installedWithout);
    std::printf("  with the index (after):     %8.2f s, %zu components found installed\n", with, installedWith);
    std::printf("  %.1f times faster with the index\n", without / with);
    std::printf("summary|1|detection wall time, Wine|%.2f s without the index|%.2f s with it|%.1f times faster|"
                "10 times faster\n",
                without, with, without / with);
    return installedWith == installedWithout ? 0 : 1;
}
