#pragma once

#include <string>

#include "platform/win_types.h"

// Deletions Windows makes when it next starts (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT),
// for what a running program holds. The list is the system's: PendingFileRenameOperations under
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager.

// Whether the file or folder is already listed for deletion at the next start. Names compare as
// the system resolves them, without a "\\?\" prefix and whatever their case.
bool PendingDeletionAtRestart(const std::u16string& path);

// Lists the file or folder for deletion at the next start (a folder without a closing backslash),
// unless it is listed already; notes it in the run record either way (NoteDeletionAtRestart).
// Gives the Win32 error code.
DWORD ScheduleDeletionAtRestart(const std::u16string& path);

// A path as the administrator knows it, as the log and the run record give it: a drive path
// without its long-path prefix, a folder without a closing backslash.
std::u16string ShownPath(const std::u16string& path);

// Whether a noted path is still there for the restart to delete: one deleted since (its program
// ended, and a later deletion took it) needs no restart.
bool StillAwaitsRestart(const std::u16string& path);
