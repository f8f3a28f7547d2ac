#pragma once

#include <string>
#include <vector>

#include "platform/deletion_record.h"
#include "platform/win_types.h"
#include "support/suite_installation.h"

class SimMachine;

// The suite installation (suite_installation.h) on the simulated machine. Its databases and data
// sources are reached through ODBC, which the simulated machine does not stand behind, so the
// database items are not laid here, and its SQL Server service is laid stopped. The uninstallers are stand-ins that take their Uninstall entry
// away, and a package's registry items with it, as a successful uninstall does, and leave
// everything else behind.

// The documents and local application data folders of the user of a new simulated machine, or of
// the user `machine` runs as (SimMachine::runAsSystem).
SuiteFolders SimSuiteFolders();
SuiteFolders SimSuiteFolders(SimMachine& machine);

// The items laid on the simulated machine.
std::vector<SuiteItem> SimSuiteItems(const SuiteFolders& folders = SimSuiteFolders());

// Lays every item and registers the uninstaller stand-ins on `machine`; with `inertUninstallers`,
// every uninstaller runs and changes nothing.
void LaySimSuite(SimMachine& machine, bool inertUninstallers = false);

// The suite's items still present (junctions inside its folders count as the suite's).
std::vector<SuiteItem> SimSuiteLeft(SimMachine& machine);

// The sentinels that are gone.
std::vector<SuiteItem> SimSentinelsLost(SimMachine& machine);

// What "/silent /all" over the real recipes did on the installed machine; with a backup folder,
// as "/backup" runs it: nothing starts when the backup cannot.
struct SimSuiteRun {
    std::u16string log;
    bool escaped = false;         // an exception left the driver
    unsigned componentsThrew = 0; // remove() calls that ended in an exception
    DWORD exitStatus = 0;
    std::vector<DeletedObject> deleted; // every component's, then the root clean-up's
    std::u16string listing;             // PlanListing: the same in the removal's order
};
// With `plan`, as "/plan" runs it.
SimSuiteRun RunSilentAll(const std::u16string& backupFolder = {}, bool plan = false);
