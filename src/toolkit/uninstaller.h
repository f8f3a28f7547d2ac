#pragma once

#include <string>

namespace Remove {
class Log;
}

// Runs a component's uninstaller and returns only when it and every process it started have
// ended. True when it ran to that end (whatever its exit code); false when it could not be
// started or the wait failed. There is no time-out. `displayName` is used only in the log.
bool RunUninstaller(std::u16string commandLine, const std::u16string& displayName, Remove::Log* log);

// Whether an uninstaller run since the last call exited with 3010 (a restart is needed to finish)
// or 1641 (it started one), read once its job had ended; clears the record. The log does not
// show exit codes; the silent run's exit status does.
bool TakeRestartRequest();
