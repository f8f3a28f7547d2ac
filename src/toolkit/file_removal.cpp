#include "toolkit/file_removal.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/log.h"
#include "platform/deletion_record.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/restart_deletions.h"
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

// What became of a file or folder: gone, listed for deletion when Windows restarts because a
// running program holds it, or left with its failure logged.
enum class Deletion { Gone, AtRestart, Failed };

// One folder deletion: where the folder really is, which every folder entered must lie inside,
// and whether lines of its own were written (then "done" would stand alone).
struct TreeWalk {
    std::optional<std::u16string> root; // its normal final location; none when it cannot be read
    bool ownLines = false;
};

TreeWalk WalkOf(const std::u16string& folder)
{
    TreeWalk walk;
    if (const std::optional<std::u16string> final = FinalPathName(folder))
        walk.root = NormalizeLocation(*final);
    return walk;
}

// After the failure line of a deletion the system refused because the object is in use: the
// object is listed for deletion at the next start, with its own line.
Deletion AtRestart(const std::u16string& path, Remove::Log* log, TreeWalk& walk)
{
    walk.ownLines = true;
    // The system deletes by name when it starts: a folder on the way that somebody else may change
    // could lead that name anywhere by then.
    if (const std::optional<std::u16string> folder = FolderOthersMayChange(path)) {
        writeLine(log, u"Deletion at restart of \"" + ShownPath(path) + u"\"...not scheduled: a standard user can change \"" +
                           *folder + u"\"");
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

// Whether a folder below the one being deleted leads outside it. Where either final path cannot
// be read (Wine names none beyond MAX_PATH), the folder is judged by its attributes alone.
bool LeadsOutside(const std::u16string& folder, const TreeWalk& walk)
{
    const std::optional<std::u16string> final = walk.root ? FinalPathName(folder) : std::nullopt;
    const std::optional<std::u16string> location = final ? NormalizeLocation(*final) : std::nullopt;
    return location && !IsStrictlyInside(*walk.root, *location);
}

// A deletion the system refused because a running program holds the object: its image
// (access denied once access was recovered and the read-only bit cleared) or an open handle.
bool InUse(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

Deletion DeleteTree(const std::u16string& folder, Remove::Log* log, DWORD listed, TreeWalk& walk, bool entered);
Deletion DeleteOneFile(const std::u16string& file, Remove::Log* log, DWORD listed, TreeWalk& walk);

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
        NoteDeletionAtRestart(path);
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

bool DeleteDirectoryTree(const std::u16string& folder, Remove::Log* log, DWORD listed)
{
    TreeWalk walk = WalkOf(folder);
    return DeleteTree(folder, log, listed, walk, false) != Deletion::Failed;
}

bool DeleteFileForced(const std::u16string& file, Remove::Log* log, DWORD listed)
{
    TreeWalk walk;
    return DeleteOneFile(file, log, listed, walk) != Deletion::Failed;
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
    const std::u16string folder = LongPathForm(path);
    TreeWalk walk = WalkOf(folder);
    if (DeleteTree(folder, log, INVALID_FILE_ATTRIBUTES, walk, false) == Deletion::Failed)
        return false;
    // What waits for the restart, or went as a link only, has said so on lines of its own.
    if (!walk.ownLines)
        writeLine(log, u"done");
    return true;
}

Deletion DeleteTree(const std::u16string& folder, Remove::Log* log, DWORD listed, TreeWalk& walk, bool entered)
{
    // What a link leads to is not the suite's. The parent's listing says what a child is even
    // when the system cannot answer for it; a folder nobody can say is no link is not entered,
    // and removing it then fails unless it is empty or a link.
    const DWORD attributes = Os().getFileAttributes(folder.c_str());
    const bool isLink = IsLink(listed) || IsLink(attributes) ||
                        (attributes == INVALID_FILE_ATTRIBUTES && listed == INVALID_FILE_ATTRIBUTES);
    // A folder that shows as none may still lead elsewhere: a link Wine shows as a plain folder,
    // or one put in a folder's place since it was listed. Only its name may go.
    if (!isLink && entered && LeadsOutside(folder, walk)) {
        walk.ownLines = true;
        writeLine(log, u"refused: leads outside the folder being deleted...in call to RemoveDirectory for \"" + folder + u"\"");
        if (!Os().removeDirectory(folder.c_str()))
            return Deletion::Failed;
        NoteDeleted(DeletedKind::Directory, ShownPath(folder));
        return Deletion::Gone;
    }
    // Something below is held by a running program: the rest goes on, and the folder waits too.
    bool held = false;
    if (!isLink) {
        if (!GrantFileAccess(folder, log))
            return Deletion::Failed;
        UniqueFindHandle listing;
        try {
            WIN32_FIND_DATAW entry{};
            listing.reset(Os().findFirstFile(Child(folder, u"*.*").c_str(), &entry));
            if (!listing)
                ThrowLastError();
            do {
                const auto* name = reinterpret_cast<const char16_t*>(entry.cFileName);
                const std::u16string_view shown(name);
                if (shown == u"." || shown == u"..")
                    continue;
                const std::u16string child = Child(folder, name);
                const Deletion deletion = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                              ? DeleteTree(child, log, entry.dwFileAttributes, walk, true)
                                              : DeleteOneFile(child, log, entry.dwFileAttributes, walk);
                if (deletion == Deletion::Failed)
                    return Deletion::Failed;
                held |= deletion == Deletion::AtRestart;
            } while (Os().findNextFile(listing.get(), &entry));
            if (Os().getLastError() != ERROR_NO_MORE_FILES)
                ThrowLastError();
        } catch (...) {
            LastErrorLine(log, u"...in call to RemoveDirectory while looping files for \"", folder);
            return Deletion::Failed;
        }
    }
    if (Os().removeDirectory(folder.c_str())) {
        NoteDeleted(DeletedKind::Directory, ShownPath(folder));
        return Deletion::Gone;
    }
    const DWORD error = Os().getLastError();
    LastErrorLine(log, u"...in call to RemoveDirectory for \"", folder);
    // Listed after everything below it: the system deletes in the order listed.
    if ((held && error == ERROR_DIR_NOT_EMPTY) || error == ERROR_SHARING_VIOLATION)
        return AtRestart(folder, log, walk);
    return Deletion::Failed;
}

Deletion DeleteOneFile(const std::u16string& file, Remove::Log* log, DWORD listed, TreeWalk& walk)
{
    DWORD attributes = Os().getFileAttributes(file.c_str());
    // Access recovery on a link would take over the file it leads to.
    if (IsLink(listed) || IsLink(attributes))
        return Deletion::Gone;
    if (!GrantFileAccess(file, log))
        return Deletion::Failed;
    attributes = Os().getFileAttributes(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Deletion::Gone;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        // The attribute belongs to the file, and so to every other name it has.
        try {
            CheckSoleName(file);
        } catch (...) {
            WriteFailureLine(log, u"...error occurred while trying to remove read-only attribute of file \"", file);
            return Deletion::Failed;
        }
        if (!Os().setFileAttributes(file.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
            LastErrorLine(log, u"...error occurred while trying to remove read-only attribute of file \"", file);
            return Deletion::Failed;
        }
    }
    if (Os().deleteFile(file.c_str())) {
        NoteDeleted(DeletedKind::File, ShownPath(file));
        return Deletion::Gone;
    }
    const DWORD error = Os().getLastError();
    LastErrorLine(log, u"...error occurred while trying to delete file \"", file);
    return InUse(error) ? AtRestart(file, log, walk) : Deletion::Failed;
}

} // namespace
