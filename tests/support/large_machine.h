#pragma once

#include "support/foreign_registrations.h"

class SimMachine;

// An old server as the tool meets it in the field: thousands of other programs registered under
// the Uninstall key and with Windows Installer, and beside them a whole installation of the
// suite, on the simulated machine. Shared by the benchmarks and the tests that compare runs on it.
using LargeMachineSize = ForeignRegistrationCount;

// Lays the foreign registrations and the suite on `machine`. The suite's uninstallers are
// programs that take their own Uninstall entry away, as the real ones do.
void LayLargeMachine(SimMachine& machine, const LargeMachineSize& size = {});
