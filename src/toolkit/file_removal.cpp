#include "toolkit/file_removal.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/restart_deletions.h"
#include "platform/run_record.h"
#include "platform/text.h"
#include "toolkit/access.h"
#include "toolkit/protected_locations.h"

namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";

bool StartsWith(const std::u16string& text, std::u16string_view prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::u16string Child(const std::u16string& folder, const char16_t* name)
{
    if (!folder.empty() && folder.back() == u'\\')
        return folder + name;
    return folder + u"\\" + name;
}

// "Windows Error: " + the system's text for the last error + what failed + the path.
void LastErrorLine(Remove::Log* log, std::u16string_view what, const std::u16string& path)
{
    log->write(u"Windows Error: ");
    log->write(ToUtf16(GetSystemMessage(Windows::Error(Os().getLastError()))));
    log->write(what);
    log->write(path);
    log->write(u"\"");
    log->write(EOL);
}

bool IsLink(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// What the walk asks of each object: to delete it, read and clear its attributes, and for a
// folder to list it.
constexpr DWORD kFileAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
constexpr DWORD kFolderAccess = kFileAccess | FILE_LIST_DIRECTORY;
// The attributes a caller may set.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | 0x4 /* SYSTEM */ |
                                      FILE_ATTRIBUTE_ARCHIVE | 0x100 /* TEMPORARY */ | 0x1000 /* OFFLINE */ |
                                      0x2000 /* NOT_CONTENT_INDEXED */;

// What became of a file or folder: gone, listed for deletion when Windows restarts because a
// running program holds it, left in place for its folder's deletion to report, or failed with
// its failure logged.
enum class Deletion { Gone, AtRestart, Left, Failed };

// One folder deletion: where the folder really is, which every object entered must lie inside,
// and whether lines of its own were written (then "done" would stand alone).
struct TreeWalk {
    std::optional<std::u16string> root; // its normal final location; none when it cannot be read
    bool ownLines = false;
};

// An object of the tree, open: every check, change and deletion goes through its own handle, so
// that what was checked is what is changed, whatever is done meanwhile to the names on its way.
struct Opened {
    UniqueKernelHandle handle;
    std::u16string path;   // the long-path name it is shown by
    DWORD listed;          // what its folder's listing said of it; INVALID_FILE_ATTRIBUTES for the folder named
    bool inUse = false;    // a running program holds it: opened without the right to delete it
};

// After the failure line of a deletion the system refused because the object is in use: the
// object is listed for deletion at the next start, with its own line.
Deletion AtRestart(const std::u16string& path, Remove::Log* log, TreeWalk& walk, bool folder = false)
{
    walk.ownLines = true;
    // The system deletes by name when it starts: a folder on the way that somebody else may change
    // could lead that name anywhere by then.
    if (const std::optional<std::u16string> changeable = FolderOthersMayChange(path, folder)) {
        writeLine(log, u"Deletion at restart of \"" + ShownPath(path) + u"\"...not scheduled: a standard user can change \"" +
                           *changeable + u"\"");
        return Deletion::Failed;
    }
    if (const DWORD error = ScheduleDeletionAtRestart(path)) {
        Os().setLastError(error);
        LastErrorLine(log, u"...error occurred while trying to schedule the deletion at restart of \"", path);
        return Deletion::Failed;
    }
    writeLine(log, u"Scheduled for deletion when Windows restarts: \"" + ShownPath(path) + u"\"");
    return Deletion::AtRestart;
}

// A deletion the system refused because a running program holds the object: its image
// (access denied once access was recovered and the read-only bit cleared) or an open handle.
bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

bool Missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens an object of the tree for the walk, its access recovered where its access list refuses.
// One a running program holds open is opened without the right to delete it, so that what lies in
// it still goes and its read-only bit is cleared, and it waits for the restart. One gone since its
// folder was listed answers Gone.
std::optional<Deletion> OpenForWalk(const ObjectOpener& open, DWORD access, Opened& object, Remove::Log* log,
                                    TreeWalk& walk, std::u16string_view failure)
{
    switch (OpenGrantingAccess(open, access, object.path, log, object.handle)) {
    case Opening::Opened:
        return std::nullopt;
    case Opening::Refused:
        return Deletion::Failed;
    case Opening::Failed:
        break;
    }
    const DWORD error = Os().getLastError();
    if (Missing(error))
        return Deletion::Gone;
    if (error == ERROR_SHARING_VIOLATION && open(access & ~DELETE, object.handle)) {
        object.inUse = true;
        return std::nullopt;
    }
    Os().setLastError(error);
    LastErrorLine(log, failure, object.path);
    return error == ERROR_SHARING_VIOLATION ? AtRestart(object.path, log, walk, (access & FILE_LIST_DIRECTORY) != 0)
                                            : Deletion::Failed;
}

// The walk's checks on an object below the folder named, before anything is done through its
// handle: it must lie inside the folder being deleted. Where the system shows no link but the
// handle leads elsewhere (a link Wine opens as what it leads to, or a folder swapped for one since
// it was listed), nothing is done through it, and it stays.
bool LeadsOutside(const Opened& object, const TreeWalk& walk, const std::optional<std::u16string>& where,
                  Remove::Log* log, std::u16string_view failure)
{
    if (!walk.root || !where || IsStrictlyInside(*walk.root, *where))
        return false;
    writeLine(log, u"refused: leads outside the folder being deleted" + std::u16string(failure) + object.path + u"\"");
    return true;
}

Deletion DeleteTree(Opened& folder, Remove::Log* log, TreeWalk& walk, bool entered);
Deletion DeleteOneFile(const ObjectOpener& open, const std::u16string& path, DWORD listed, Remove::Log* log, TreeWalk& walk);

bool DeleteFolder(const std::u16string& path, const SuiteRegistrations* suite, Remove::Log* log);

} // namespace

std::u16string LongPathForm(const std::u16string& path)
{
    std::u16string text = path;
    std::replace(text.begin(), text.end(), u'/', u'\\');
    if (StartsWith(text, kLongPathPrefix))
        return text;
    // The prefix turns off the system's own clean-up of the name, so doubled backslashes and
    // ".." are resolved first; a name the system cannot resolve is taken as it is.
    if (std::optional<std::u16string> full = FullPathName(text))
        text = std::move(*full);
    if (StartsWith(text, u"\\\\"))
        return u"\\\\?\\UNC\\" + text.substr(2);
    return std::u16string(kLongPathPrefix) + text;
}

bool NotLookedAtAsRemote(const std::u16string& path)
{
    if (!IsRemoteLocation(path))
        return false;
    NoteProbeFailure(u"\"" + path + u"\"", u"refused: remote location");
    return true;
}

bool CheckFile(const std::u16string& path, Remove::Log* log)
{
    log->write(u"Checking for file \"");
    log->write(path);
    log->write(u"\"...");
    if (NotLookedAtAsRemote(path)) {
        writeLine(log, u"refused: remote location");
        return false;
    }
    const bool found = Os().getFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!found)
        NoteProbeError(Os().getLastError(), u"\"" + path + u"\"");
    // What Windows deletes when it restarts is as good as gone, and said to be.
    if (found && PendingDeletionAtRestart(path)) {
        NoteDeletionAtRestart(path, RestartListing::Found);
        writeLine(log, u"scheduled for deletion when Windows restarts");
        return false;
    }
    writeLine(log, found ? u"found" : u"not found");
    return found;
}

bool DeleteDirectory(const std::u16string& path, Remove::Log* log)
{
    return DeleteFolder(path, nullptr, log);
}

bool DeleteDirectory(const std::u16string& path, const SuiteRegistrations& suite, Remove::Log* log)
{
    return DeleteFolder(path, &suite, log);
}

namespace {

bool DeleteFolder(const std::u16string& path, const SuiteRegistrations* suite, Remove::Log* log)
{
    // A share is never opened, not even to see whether the folder is there.
    if (IsRemoteLocation(path)) {
        log->write(u"Deleting directory \"");
        log->write(path);
        writeLine(log, u"\"...refused: remote location");
        return false;
    }
    // The guard comes before anything is done to the folder, access recovery included. A name
    // that leads into a protected place is refused even where the system finds nothing at it
    // ("\\?\C:\Windows\."), so that a hostile value gets its failure line; an empty or relative
    // name that leads nowhere stays silent.
    const bool refused = IsProtectedLocation(path, suite);
    // A folder already listed for deletion at restart is still gone through: what was added to
    // it since is deleted now, and nothing is listed twice.
    if ((!refused || !NormalizeLocation(path)) && Os().getFileAttributes(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    log->write(u"Deleting directory \"");
    log->write(path);
    log->write(u"\"...");
    if (refused) {
        writeLine(log, u"refused: protected location");
        return false;
    }
    Opened folder{{}, LongPathForm(path), INVALID_FILE_ATTRIBUTES};
    const auto openByName = [&folder](DWORD access, UniqueKernelHandle& opened) {
        const HANDLE handle = Os().createFile(folder.path.c_str(), access | SYNCHRONIZE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        opened.reset(handle);
        return true;
    };
    // Before anything is changed, the folder is judged once more by where what the name opens
    // really is; one whose place the system cannot name is refused with it. Every later open by
    // the name must give that same object, or it is refused as the system refuses access, so that
    // access recovery never reaches what a name changed since leads to.
    TreeWalk walk;
    UniqueKernelHandle judged;
    BY_HANDLE_FILE_INFORMATION identity{};
    if (!openByName(FILE_READ_ATTRIBUTES, judged)) {
        if (Missing(Os().getLastError())) {
            writeLine(log, u"done");
            return true;
        }
        LastErrorLine(log, u"...in call to RemoveDirectory for \"", folder.path);
        return false;
    }
    walk.root = FinalLocationOf(judged.get());
    if (!walk.root || IsProtectedLocation(*walk.root, suite) || !Os().getFileInformationByHandle(judged.get(), &identity)) {
        writeLine(log, u"refused: protected location");
        return false;
    }
    const ObjectOpener open = [&openByName, &identity](DWORD access, UniqueKernelHandle& opened) {
        if (!openByName(access, opened))
            return false;
        BY_HANDLE_FILE_INFORMATION now{};
        if (Os().getFileInformationByHandle(opened.get(), &now) && now.dwVolumeSerialNumber == identity.dwVolumeSerialNumber &&
            now.nFileIndexHigh == identity.nFileIndexHigh && now.nFileIndexLow == identity.nFileIndexLow)
            return true;
        opened.reset();
        Os().setLastError(ERROR_ACCESS_DENIED);
        return false;
    };
    if (const std::optional<Deletion> outcome =
            OpenForWalk(open, kFolderAccess, folder, log, walk, u"...in call to RemoveDirectory for \"")) {
        if (*outcome == Deletion::Failed)
            return false;
    } else if (DeleteTree(folder, log, walk, false) == Deletion::Failed) {
        return false;
    }
    // What waits for the restart, or went as a link only, has said so on lines of its own.
    if (!walk.ownLines)
        writeLine(log, u"done");
    return true;
}

Deletion DeleteTree(Opened& folder, Remove::Log* log, TreeWalk& walk, bool entered)
{
    constexpr std::u16string_view kFailure = u"...in call to RemoveDirectory for \"";
    const std::optional<std::u16string> where = FinalLocationOf(folder.handle.get());
    if (entered && LeadsOutside(folder, walk, where, log, kFailure)) {
        walk.ownLines = true;
        return Deletion::Failed;
    }
    // What a link leads to is not the suite's: the link is opened as itself and goes alone. The
    // folder's listing says what a child is even when its handle cannot; a folder nobody can say
    // is no link is not entered, and one that cannot show it is itself stays.
    BY_HANDLE_FILE_INFORMATION information{};
    const bool described = Os().getFileInformationByHandle(folder.handle.get(), &information) != FALSE;
    const bool isLink = IsLink(folder.listed) || !described || IsLink(information.dwFileAttributes);
    if (isLink && entered && !where)
        return Deletion::Left;
    // Something below is held by a running program: the rest goes on, and the folder waits too.
    bool held = false;
    if (!isLink) {
        std::vector<FolderEntry> entries;
        try {
            entries = ListFolder(folder.handle.get());
        } catch (...) {
            LastErrorLine(log, u"...in call to RemoveDirectory while looping files for \"", folder.path);
            return Deletion::Failed;
        }
        for (const FolderEntry& entry : entries) {
            const HANDLE parent = folder.handle.get();
            const ObjectOpener open = [parent, &entry](DWORD access, UniqueKernelHandle& opened) {
                return OpenEntry(parent, entry.name, access, opened);
            };
            const std::u16string path = Child(folder.path, entry.name.c_str());
            Deletion deletion = Deletion::Gone;
            if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
                Opened child{{}, path, entry.attributes};
                const std::optional<Deletion> failed = OpenForWalk(open, kFolderAccess, child, log, walk, kFailure);
                deletion = failed ? *failed : DeleteTree(child, log, walk, true);
            } else {
                deletion = DeleteOneFile(open, path, entry.attributes, log, walk);
            }
            if (deletion == Deletion::Failed)
                return Deletion::Failed;
            held |= deletion == Deletion::AtRestart;
        }
    }
    if (folder.inUse) {
        Os().setLastError(ERROR_SHARING_VIOLATION);
        LastErrorLine(log, kFailure, folder.path);
        return AtRestart(folder.path, log, walk, true);
    }
    if (MarkForDeletion(folder.handle.get())) {
        folder.handle.reset();
        NoteDeleted(DeletedKind::Directory, ShownPath(folder.path));
        return Deletion::Gone;
    }
    const DWORD error = Os().getLastError();
    LastErrorLine(log, kFailure, folder.path);
    // Listed after everything below it: the system deletes in the order listed.
    if ((held && error == ERROR_DIR_NOT_EMPTY) || error == ERROR_SHARING_VIOLATION)
        return AtRestart(folder.path, log, walk, true);
    return Deletion::Failed;
}

Deletion DeleteOneFile(const ObjectOpener& open, const std::u16string& path, DWORD listed, Remove::Log* log, TreeWalk& walk)
{
    constexpr std::u16string_view kFailure = u"...error occurred while trying to delete file \"";
    Opened file{{}, path, listed};
    if (const std::optional<Deletion> failed = OpenForWalk(open, kFileAccess, file, log, walk, kFailure))
        return *failed;
    const std::optional<std::u16string> where = FinalLocationOf(file.handle.get());
    if (LeadsOutside(file, walk, where, log, kFailure)) {
        walk.ownLines = true;
        return Deletion::Failed;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!Os().getFileInformationByHandle(file.handle.get(), &information)) {
        LastErrorLine(log, kFailure, path);
        return Deletion::Failed;
    }
    // A file link goes alone, opened as itself; one that cannot show it is itself stays.
    const bool isLink = IsLink(listed) || IsLink(information.dwFileAttributes);
    if (isLink && !where)
        return Deletion::Left;
    if (!isLink && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        // The attribute belongs to the file, and so to every other name it has.
        try {
            CheckSoleObject(file.handle.get());
        } catch (...) {
            WriteFailureLine(log, u"...error occurred while trying to remove read-only attribute of file \"", path);
            return Deletion::Failed;
        }
        if (!SetAttributesOf(file.handle.get(), information.dwFileAttributes & kSettableAttributes & ~FILE_ATTRIBUTE_READONLY)) {
            LastErrorLine(log, u"...error occurred while trying to remove read-only attribute of file \"", path);
            return Deletion::Failed;
        }
    }
    // Held open by a running program, it goes when Windows restarts: without its read-only bit, which
    // the system's deletion then would not clear.
    if (file.inUse) {
        Os().setLastError(ERROR_SHARING_VIOLATION);
        LastErrorLine(log, kFailure, path);
        return AtRestart(path, log, walk);
    }
    if (MarkForDeletion(file.handle.get())) {
        file.handle.reset();
        NoteDeleted(DeletedKind::File, ShownPath(path));
        return Deletion::Gone;
    }
    const DWORD error = Os().getLastError();
    LastErrorLine(log, kFailure, path);
    return InUse(error) ? AtRestart(path, log, walk) : Deletion::Failed;
}

} // namespace
