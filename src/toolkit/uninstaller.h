#pragma once

#include <optional>
#include <string>

#include "platform/thread_scope.h"

namespace Remove {
class Log;
}

// How long each uninstaller of a run may take, with everything it started (/timeout MINUTES), for
// whoever runs below the scope on its thread; with no scope, or no minutes, it is waited for
// without end.
struct UninstallerTimeLimit {
    explicit UninstallerTimeLimit(std::optional<unsigned> limit = std::nullopt) : minutes(limit) {}
    std::optional<unsigned> minutes;
};
using UninstallerTimeLimitScope = ThreadScope<UninstallerTimeLimit>;

// Runs a component's uninstaller, in the system folder, in a job of its own, and returns once it
// and every process it started have ended. True when they ended (whatever its exit code), by
// themselves or ended here; false when it could not be started, or the wait failed (then the job
// is ended, as below, since nothing watches it any more).
// `displayName` is used only in the log. How it ended is noted in the run record.
//
// While it runs it is looked at every second. A visible window of one of its processes, shown
// for a minute, waits for an answer: where nobody sees the desktop (DesktopVisible) nobody can
// give one, and the job is ended at once ("The uninstaller is waiting for an answer nobody can
// give (\"<title>\"): it and the processes it started were ended."); where somebody does, the
// log says so once ("The uninstaller is waiting in its window \"<title>\".") and the wait goes
// on. Past the time limit the job is ended ("The uninstaller did not finish in time (/timeout
// N): it and the processes it started were ended."). A job that cannot be ended is still
// running beside whatever would be removed by hand: the log says why, and Windows::Error is
// thrown, so that the component's removal stops and fails.
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
