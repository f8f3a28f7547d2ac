#pragma once

#include <optional>
#include <string>

namespace Remove {
class Log;
}

// Runs a component's uninstaller, in the system folder, and returns only when it and every
// process it started have ended. True when it ran to that end (whatever its exit code); false
// when it could not be started or the wait failed. There is no time-out. `displayName` is used
// only in the log.
//
// The program is never found at a name somebody else could have planted: see ProgramToStart.
// One that others than the administrators could have replaced (FolderOthersMayChange of the
// program itself and the folders above it), or that lies on a network path, is not run: "Not
// starting \"<program>\": a standard user can change \"<path>\"." Then it answers true: the
// removal by hand goes on, and what it leaves decides.
bool RunUninstaller(std::u16string commandLine, const std::u16string& displayName, Remove::Log* log);

// Whether an uninstaller run since the last call exited with 3010 (a restart is needed to finish)
// or 1641 (it started one), read once its job had ended; clears the record. The log does not
// show exit codes; the silent run's exit status does.
bool TakeRestartRequest();

// The program to start for `commandLine`, passed to CreateProcessW as its application name with
// the command line kept as it is: the system's own search is never used. A quoted drive or share
// path is taken as quoted, ".exe" added where it has no extension. For an unquoted one the system would try every
// beginning of the command that ends at a blank, shortest first ("C:\Program.exe" for
// "C:\Program Files\..."), so a file planted at any of them would run instead. Here the program
// is the longest such beginning that names a file, with ".exe" added as the system adds it, and
// it lies in the deepest folder the command names or below it: a file in a folder above that
// one is never taken, also when the named program is missing. A bare name (MsiExec.exe),
// quoted or not, is looked for in the system folder, then the Windows folder, never in the
// program's own folder or the current folder, which the system searches before them. Throws
// Windows::Error(ERROR_FILE_NOT_FOUND), and nothing is started, for a path that names no such
// file, a bare name found in neither folder, and any other relative name.
std::u16string ProgramToStart(const std::u16string& commandLine);
