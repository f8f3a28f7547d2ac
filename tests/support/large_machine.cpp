#include "support/large_machine.h"

#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "support/foreign_registrations.h"
#include "support/sim_suite.h"

namespace {

void Lay(SimRegistry& registry, const std::vector<RegistrationValue>& values)
{
    for (const RegistrationValue& value : values)
        registry.setString(HKEY_LOCAL_MACHINE, value.path, value.name, value.data, REG_SZ,
                           value.native64 ? SimRegistry::View::Native64 : SimRegistry::View::Wow32);
}

} // namespace

void LayLargeMachine(SimMachine& machine, const LargeMachineSize& size)
{
    Lay(machine.registry(), ForeignRegistrations(size));
    LaySimSuite(machine);
}
