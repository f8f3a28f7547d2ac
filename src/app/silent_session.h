#pragma once

#include <string>

#include "core/silent_driver.h"
#include "platform/win_types.h"

struct RunOptions;

// What a silent run ended with: the process's exit status and, where it got as far as the
// components, what became of each.
struct SilentSession {
    DWORD exitStatus = 0;
    SilentRunResult result;
};

// The silent run as the program makes it, from its parsed command line to its exit status: the
// log, report and backup opened before anything is looked at (OpenRunOutputs), every scope the
// run keeps open (the backup, the registry reads of one run, a plan's databases), the removal or
// detection, then the backup's list and the report. `onlyCopy`: no other copy of the program is
// at work on this machine. `caption` names the program in its messages and report, `version` is
// the report's.
SilentSession RunSilentSession(const RunOptions& options, bool onlyCopy, const std::u16string& caption,
                               const std::u16string& version);
