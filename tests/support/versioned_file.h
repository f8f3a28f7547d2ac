#pragma once

#include <string>

// Where the tests find a program whose version resource says 9.5.10.79: under Wine the built
// fixture the test program was given (support/wine_main.h); natively a file the test lays out on
// the simulated machine at this path.
std::u16string VersionedFilePath();
