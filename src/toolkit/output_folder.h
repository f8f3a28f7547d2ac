#pragma once

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/win_types.h"

// A folder the program writes its own files into (the log, the report, the backup), where the
// administrator named it. The program runs elevated; whoever may make or change a folder on the
// way (C:\Windows\Temp takes anybody's folders) must not lead those writes anywhere else, nor
// read or change a backup before it is imported.
class OutputFolder {
public:
    // Opens the folder `path` names, from the drive's or share's root down, each folder opened as
    // itself inside the one before it, where that one really is. A link on the way is followed
    // only when nobody but SYSTEM, the administrators, TrustedInstaller and the running account
    // may change it (OthersMayChange); a missing folder is made there with an access list of
    // SYSTEM and the administrators alone, nothing inherited, passed on to what is made inside.
    // Every folder stays open without delete sharing while the object lives, so that nobody
    // renames or replaces one and a name below them leads where it did when it was judged.
    // Throws Windows::Error: the system's error, ERROR_ACCESS_DENIED for a link others may change
    // or an object that opens somewhere else than inside its folder, ERROR_DIRECTORY for a file.
    explicit OutputFolder(const std::u16string& path);

    // Where the folder really is: its final path, without the long-path prefix.
    const std::u16string& path() const { return path_; }
    // The folder itself, open with READ_CONTROL.
    HANDLE handle() const { return held_.back().get(); }
    // The name the file `name` in the folder opens by, for the calls that take one.
    std::u16string nameOf(const std::u16string& name) const;

    // Opens the file `name` in the folder for `access` (FILE_READ_ATTRIBUTES added) as
    // `disposition` says (OPEN_ALWAYS, CREATE_NEW...), shared for reading. The file is opened as
    // itself: one that is a link, has other names (hard links) or does not really lie in this
    // folder is refused with ERROR_ACCESS_DENIED before anything is written to it. Throws
    // Windows::Error.
    UniqueKernelHandle open(const std::u16string& name, DWORD access, DWORD disposition) const;

private:
    std::vector<UniqueKernelHandle> held_; // the folders on the way and the links followed; the folder last
    std::u16string path_;
};
