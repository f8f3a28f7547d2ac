#pragma once

#include <set>
#include <string>
#include <vector>

#include "platform/deletion_record.h"
#include "platform/win_types.h"
#include "support/suite_installation.h"

class SimMachine;
class SimRegistry;
class SqlServerState;

// The suite installation (suite_installation.h) on the simulated machine. Its databases are
// reached through ODBC, which the simulated machine does not stand behind: with a SQL Server
// stand-in they are laid in its state, the data sources in the simulated registry, and the SQL
// Server service runs; without one, the database items are left out and the service is laid
// stopped. The uninstallers are stand-ins that take their Uninstall entry away, and a package's
// registry items with it, as a successful uninstall does, and leave everything else behind.

// The documents and local application data folders of the user of a new simulated machine, or of
// the user `machine` runs as (SimMachine::runAsSystem).
SuiteFolders SimSuiteFolders();
SuiteFolders SimSuiteFolders(SimMachine& machine);

// The items laid on the simulated machine; with `databases`, those on the SQL Server too.
std::vector<SuiteItem> SimSuiteItems(const SuiteFolders& folders = SimSuiteFolders(), bool databases = false);

// What the uninstaller stand-ins took away, which the run that started them does not record: a
// key by its RegistryKeyName (the key and everything below it), a value as "<key>:[<name>]",
// the name as it was laid.
using SimUninstallerTakes = std::set<std::string>;
// Adds the registration of every service of the suite that is gone, in both views: it went with
// the service, which no backup holds.
void TakeGoneServices(SimMachine& machine, SimUninstallerTakes& taken);
// Whether the key, or its value `value` when one is named, was taken (by itself or with a key
// above it).
bool WasTaken(const SimUninstallerTakes& taken, const std::string& key, const std::u16string& value = {});

// Lays every item and registers the uninstaller stand-ins on `machine`; with `inertUninstallers`,
// every uninstaller runs and changes nothing. With `server`, its state becomes the suite's
// databases and nothing else. With `taken`, what the uninstallers take is noted there.
void LaySimSuite(SimMachine& machine, bool inertUninstallers = false, SqlServerState* server = nullptr,
                 SimUninstallerTakes* taken = nullptr);

// Makes the uninstaller of the package `entry` ("{QTV-WEBUI}") do its work, then show a window
// titled `title` (none when empty) and go on running for `milliseconds`.
void MakeSimUninstallerWait(SimMachine& machine, const std::u16string& entry, const std::u16string& title,
                            DWORD milliseconds);

// The suite's items still present (junctions inside its folders count as the suite's); with
// `server`, its databases are looked for there.
std::vector<SuiteItem> SimSuiteLeft(SimMachine& machine, const SqlServerState* server = nullptr);

// The sentinels that are gone.
std::vector<SuiteItem> SimSentinelsLost(SimMachine& machine, const SqlServerState* server = nullptr);

// Every key and value of the registry as the program's views show it (the 32-bit view of
// HKLM\SOFTWARE once), by RegistryKeyName.
RegistryContents SimRegistryContents(const SimRegistry& registry);

// Imports a run's backup in `folder` as regedit would, each file into its view. False when
// regedit would refuse a file that is there whole (what it holds then stays out).
bool ImportSimBackup(SimMachine& machine, const std::u16string& folder);

// What "/silent /all" over the real recipes did on the installed machine; with a backup folder,
// as "/backup" runs it: nothing starts when the backup cannot.
struct SimSuiteRun {
    std::u16string log;
    bool escaped = false;         // an exception left the driver
    unsigned componentsThrew = 0; // remove() calls that ended in an exception
    DWORD exitStatus = 0;
    bool detectionIncomplete = false; // a component's last detection could not look everywhere
    std::vector<std::u16string> awaitingRestart; // what the run said Windows deletes when it starts
    std::vector<DeletedObject> deleted; // every component's, then the root clean-up's
    std::u16string listing;             // PlanListing: the same in the removal's order
};
// The data sources go as the ODBC installer library of a 32-bit program removes them on Windows.
// With `plan`, as "/plan" runs it; `more` are further options (" /timeout 1").
SimSuiteRun RunSilentAll(const std::u16string& backupFolder = {}, bool plan = false, const std::u16string& more = {});
