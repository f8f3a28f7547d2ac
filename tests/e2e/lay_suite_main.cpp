// Lays the suite installation of the removal scenarios, or reports what of it is there, for the
// demo:
//   lay_suite lay|report|clear uninstaller_standin.exe fixture_service.exe versioned.exe
//             PACKAGE.msi...
// "report" prints a line per component with the items still present, then the sentinels; it
// exits with 0 when nothing of the suite is left and every sentinel is there.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/suite_layout.h"
#include "support/wine_main.h"

namespace {

int Report()
{
    std::vector<std::u16string> order;
    std::map<std::u16string, int> total;
    std::map<std::u16string, int> present;
    for (const SuiteItem& item : PrefixSuiteItems(true)) {
        if (!OfTheSuite(item))
            continue;
        if (total[item.component]++ == 0)
            order.push_back(item.component);
    }
    const std::vector<SuiteItem> left = SuiteLeft({});
    for (const SuiteItem& item : left)
        ++present[item.component];
    std::printf("  %-16s %s\n", "component", "items present");
    for (const std::u16string& component : order)
        std::printf("  %-16s %d of %d\n", std::string(component.begin(), component.end()).c_str(), present[component],
                    total[component]);
    const std::vector<SuiteItem> lost = SentinelsLost();
    std::printf("  sentinels: %s\n", lost.empty() ? "all there" : "SOME LOST");
    for (const SuiteItem& item : lost)
        std::printf("    lost: %s\n", Describe(item).c_str());
    return left.empty() && lost.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::wstring> arguments;
    for (int i = 2; i < argc; ++i)
        arguments.push_back(std::wstring(argv[i], argv[i] + std::strlen(argv[i])));
    if (argc < 2 || !TakeTestFiles(arguments)) {
        std::fprintf(stderr, "usage: lay_suite lay|report|clear uninstaller_standin.exe fixture_service.exe "
                             "versioned.exe PACKAGE.msi...\n");
        return 2;
    }
    const std::string command = argv[1];
    if (command == "lay") {
        std::wstring why;
        if (!LaySuite(why)) {
            std::fprintf(stderr, "lay_suite: %s\n", Narrow(why).c_str());
            return 1;
        }
        return 0;
    }
    if (command == "report")
        return Report();
    if (command == "clear") {
        ClearSuite();
        return 0;
    }
    return 2;
}
