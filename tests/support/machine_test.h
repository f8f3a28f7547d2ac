#pragma once

#include <gtest/gtest.h>

#include "platform/os_api.h"

#ifndef _WIN32
#include <functional>

#include "platform/sim/sim_machine.h"
#endif

// A test on "the machine": natively a fresh simulated machine installed for the test, under
// Wine the real system. Conformance tests derive from it and expect the same on both.
class MachineTest : public ::testing::Test {
#ifndef _WIN32
protected:
    SimMachine machine;

private:
    ScopedOsApi installed_{machine};
#endif
};

#ifndef _WIN32
// Runs `attempt(0)`, then `attempt(nth)` once for each call of `call` that first run made, that
// call alone failing with `error`: whichever of them fails, the test asks the same of the outcome.
inline void FailEachCallInTurn(SimMachine& machine, SimCall call, DWORD error, const std::function<void(unsigned nth)>& attempt)
{
    const unsigned before = machine.callCount(call);
    attempt(0);
    const unsigned calls = machine.callCount(call) - before;
    for (unsigned nth = 1; nth <= calls; ++nth) {
        machine.failCall(call, error, nth);
        attempt(nth);
    }
}
#endif
