#pragma once

#include <string>

// Where the tests find a program whose version resource says 9.5.10.79: under Wine the built
// fixture, handed to the test program as its argument; natively a file the test lays out on the
// simulated machine at this path.
std::u16string& VersionedFilePath();
