#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_registry.h"

class SimMachine;

// A complete installation of the suite on the simulated machine, and the sentinels that must
// survive every removal, described as data (sim_suite.cpp) and laid and looked for from that one
// description. It follows the installation the tests under Wine lay, without the databases
// (they live behind ODBC, not behind the seam). The uninstallers are stand-ins that take their
// Uninstall entry away, as a successful uninstall does, and leave everything else behind.
struct SimSuiteItem {
    enum class Kind { Key, Value, Folder, File, Service, Junction };
    std::u16string component; // the component's switch without "/", "roots" or "sentinel"
    Kind kind;
    HKEY root;                // keys and values
    std::u16string path;      // key, folder, file or service name; for a junction, where it is
    std::u16string name;      // value name
    std::u16string data;      // value data; a junction's target
    SimRegistry::View view = SimRegistry::View::Wow32;
    std::u16string takenBy = {}; // the Uninstall entry whose uninstaller takes this key away
};

// Every item, components first, sentinels last.
std::vector<SimSuiteItem> SimSuiteItems();

// Lays every item and registers the uninstaller stand-ins on `machine`.
void LaySimSuite(SimMachine& machine);

// How the items read in a report: "relay: key HKLM\SOFTWARE\Zantrel\QTVRelay", one a line.
std::string DescribeSimItems(const std::vector<SimSuiteItem>& items);

// The suite's items still present (junctions inside its folders count as the suite's).
std::vector<SimSuiteItem> SimSuiteLeft(SimMachine& machine);

// The sentinels that are gone.
std::vector<SimSuiteItem> SimSentinelsLost(SimMachine& machine);

// What "/silent /all" over the real recipes did on the installed machine.
struct SimSuiteRun {
    std::u16string log;
    bool escaped = false;         // an exception left the driver
    unsigned componentsThrew = 0; // remove() calls that ended in an exception
};
SimSuiteRun RunSilentAll();
