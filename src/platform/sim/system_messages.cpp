#include "platform/sim/sim_machine.h"

#include <algorithm>
#include <iterator>

namespace {

struct SystemMessage {
    DWORD code;
    const char16_t* text;
};

// The texts Wine's FormatMessageW gives (the reference the simulated machine is checked
// against), sorted by code.
constexpr SystemMessage kMessages[] = {
    {1, u"Invalid function.\r\n"},
    {2, u"File not found.\r\n"},
    {3, u"Path not found.\r\n"},
    {5, u"Access denied.\r\n"},
    {6, u"Invalid handle.\r\n"},
    {8, u"Not enough memory.\r\n"},
    {18, u"No more files.\r\n"},
    {32, u"Sharing violation.\r\n"},
    {80, u"File exists.\r\n"},
    {87, u"Invalid parameter.\r\n"},
    {120, u"Call not implemented.\r\n"},
    {122, u"Insufficient buffer.\r\n"},
    {123, u"Invalid name.\r\n"},
    {145, u"Directory is not empty.\r\n"},
    {161, u"Path is invalid.\r\n"},
    {183, u"File already exists.\r\n"},
    {206, u"File name is too long.\r\n"},
    {234, u"More data available.\r\n"},
    {259, u"No more data available.\r\n"},
    {317, u"Message 0x%1 not found in file %2.\r\n"},
    {1018, u"Key deleted.\r\n"},
    {1051, u"Dependent services are running.\r\n"},
    {1060, u"Service does not exist.\r\n"},
    {1062, u"Service not active.\r\n"},
    {1072, u"Service marked for delete.\r\n"},
    {1073, u"Service exists.\r\n"},
    {1131, u"Possible deadlock.\r\n"},
    {1300, u"Not all privileges assigned.\r\n"},
    {1332, u"No security ID mapped.\r\n"},
    {1400, u"Invalid window handle.\r\n"},
    {1812, u"Resource data not found.\r\n"},
    {1813, u"Resource type not found.\r\n"},
};

} // namespace

const char16_t* SimSystemMessage(DWORD code)
{
    const auto* it = std::lower_bound(
        std::begin(kMessages), std::end(kMessages), code,
        [](const SystemMessage& entry, DWORD key) { return entry.code < key; });
    return it != std::end(kMessages) && it->code == code ? it->text : nullptr;
}
