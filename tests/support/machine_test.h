#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/os_api.h"

#ifndef _WIN32
#include <functional>

#include "platform/sim/sim_machine.h"
#endif

// The name with its ASCII letters in upper case: how the system compares the names the
// conformance tests read back.
inline std::u16string Folded(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

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
// Where the simulated machine keeps the program a command names as "MsiExec.exe".
inline const std::u16string kMsiExec = u"C:\\Windows\\System32\\MsiExec.exe";

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
