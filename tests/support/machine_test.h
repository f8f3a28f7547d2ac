#pragma once

#include <gtest/gtest.h>

#include "platform/os_api.h"

#ifndef _WIN32
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
