#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

// Deletions Windows makes when it next starts (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT),
// for what a running program holds. The list is the system's: PendingFileRenameOperations under
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager.

// Whether the file or folder is already listed for deletion at the next start. Names compare as
// the system resolves them, without a "\\?\" prefix and whatever their case.
bool PendingDeletionAtRestart(const std::u16string& path);

// Lists the file or folder for deletion at the next start (a folder without a closing backslash),
// unless it is listed already; notes it in every RestartDeletionScope of the thread either way.
// Gives the Win32 error code.
DWORD ScheduleDeletionAtRestart(const std::u16string& path);

// Collects the paths scheduled, or found already listed, on this thread while it lives. Scopes
// nest; a path noted in an inner one counts for the outer ones too.
class RestartDeletionScope {
public:
    RestartDeletionScope();
    ~RestartDeletionScope();
    RestartDeletionScope(const RestartDeletionScope&) = delete;
    RestartDeletionScope& operator=(const RestartDeletionScope&) = delete;

    // In the order noted, each once.
    const std::vector<std::u16string>& paths() const { return paths_; }

private:
    friend void NoteDeletionAtRestart(const std::u16string& path);
    std::vector<std::u16string> paths_;
    RestartDeletionScope* outer_;
};

// A path as the administrator knows it, as the log and the scopes give it: a drive path without
// its long-path prefix, a folder without a closing backslash.
std::u16string ShownPath(const std::u16string& path);

// Whether a noted path is still there for the restart to delete: one deleted since (its program
// ended, and a later deletion took it) needs no restart.
bool StillAwaitsRestart(const std::u16string& path);

// Notes a path that is gone once Windows restarts, in every scope of the thread.
void NoteDeletionAtRestart(const std::u16string& path);
