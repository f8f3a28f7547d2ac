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
// is taken as quoted (null). For an unquoted drive or share path the system would try every
// beginning of the command that ends at a blank, shortest first ("C:\Program.exe" for
// "C:\Program Files\..."), so a file planted at any of them would run instead. Here the program
// is the longest such beginning that names a file, with ".exe" added as the system adds it, and
// it lies in the deepest folder the command names or below it: a file in a folder above that
// one is never taken, also when the named program is missing. A bare name (MsiExec.exe) is
// looked for in the system folder, then the Windows folder, never in the program's own folder or
// the current folder, which the system searches before them; one found in neither is left to the
// system's search (null), and so is any other relative name. Throws
// Windows::Error(ERROR_FILE_NOT_FOUND) for a drive or share path that names no such file:
// nothing is started then.
std::optional<std::u16string> ProgramToStart(const std::u16string& commandLine);
