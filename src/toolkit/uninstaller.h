#pragma once

#include <optional>
#include <string>

namespace Remove {
class Log;
}

// Runs a component's uninstaller and returns only when it and every process it started have
// ended. True when it ran to that end (whatever its exit code); false when it could not be
// started or the wait failed. There is no time-out. `displayName` is used only in the log.
//
// The program is never found at a name somebody else could have planted: see ProgramToStart.
bool RunUninstaller(std::u16string commandLine, const std::u16string& displayName, Remove::Log* log);

// Whether an uninstaller run since the last call exited with 3010 (a restart is needed to finish)
// or 1641 (it started one), read once its job had ended; clears the record. The log does not
// show exit codes; the silent run's exit status does.
bool TakeRestartRequest();

// The program to start for `commandLine`, passed to CreateProcessW as its application name with
// the command line kept as it is; null where the system's own reading is safe. A quoted program
// is taken as quoted (null). An unquoted drive or share path is the longest beginning of the
// command, ending at a blank or at its end, that names a file, with ".exe" added as the system
// adds it; never a shorter one ("C:\Program.exe" for "C:\Program Files\..."), which the system
// would try first. A bare name (MsiExec.exe) is looked for in the system folder, then the
// Windows folder, never in the program's own folder or the current folder, which the system
// searches before them; one found in neither is left to the system's search (null), and so is
// any other relative name. Throws Windows::Error(ERROR_FILE_NOT_FOUND) for a drive or share path
// that names no file: nothing is started then.
std::optional<std::u16string> ProgramToStart(const std::u16string& commandLine);
