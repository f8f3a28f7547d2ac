#pragma once

// The fixture of the file calls' conformance tests. One class for files_test.cpp and
// files_names_test.cpp, since GoogleTest keeps a suite's tests to a single fixture class.

#include "platform/os_api.h"
#include "support/machine_test.h"

class FilesTest : public MachineTest {
protected:
    OsApi& os = Os();
};
