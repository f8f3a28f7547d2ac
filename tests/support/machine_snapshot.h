#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_registry.h"

class SimMachine;

// Visits every key below `root` as the program's view `view` shows it, the 32-bit view of
// HKLM\SOFTWARE once: `visit(name, path)`, the name being `shown` and the path, with
// " (64-bit view)" after it in that view.
void VisitKeys(const SimRegistry& registry, HKEY root, const std::u16string& shown, SimRegistry::View view,
               const std::function<void(const std::u16string& name, const std::u16string& path)>& visit);

// The whole simulated machine, one sorted line for each thing on it: every key and value of the
// registry (both views, every hive; the list of deletions at the next restart is a value there),
// every file and folder with its attributes and bytes (links as themselves, never followed), and
// every service with its state. Folders named in `skipped`, and all in them, are left out: a
// run's own outputs.
std::vector<std::string> MachineSnapshot(SimMachine& machine, const std::vector<std::u16string>& skipped = {});

// The lines of `after` that `before` lacks ("+ ..."), then those it lost ("- ..."); empty when
// nothing changed.
std::string SnapshotChanges(const std::vector<std::string>& before, const std::vector<std::string>& after);
