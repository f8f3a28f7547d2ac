#include "toolkit/registry_cleanup.h"

#include <algorithm>
#include <exception>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "toolkit/access.h"
#include "toolkit/registry_backup.h"

namespace {

void Outcome(Remove::Log* log, bool found)
{
    writeLine(log, found ? u"found" : u"not found");
}

bool StartsWith(const std::u16string& name, const std::u16string& prefix)
{
    return name.compare(0, prefix.size(), prefix) == 0;
}

// Walks the children of an open key, calling `visit(name)` until it answers false.
template <class Visit>
void WalkChildren(HKEY key, Visit visit)
{
    RegistryKeyEntry entry;
    for (DWORD index = 0; RegEnumKeyChecked(key, index, entry); ++index)
        if (!visit(entry.name))
            return;
}

// The description of the exception being handled, its line end, then "...<what> \"<key>\"".
void FailureLines(Remove::Log* log, std::u16string_view what, HKEY root, const std::u16string& path)
{
    writeLine(log, DescribeCurrentExceptionW());
    log->write(what);
    log->write(u" \"");
    log->write(DisplayPath(root, path));
    log->write(u"\"");
    log->write(EOL);
}

// A key of a tree being deleted: held open from the walk to its deletion, so that what goes is
// what was walked (and saved), whatever has been renamed or put in its place since.
struct WalkedKey {
    UniqueKey key;
    std::u16string path;
};

// Walks the tree of the key `name` below `parent` (root\path), each key opened inside its open
// parent as itself (OpenKeyGrantingAccess, access recovered where it is refused): the keys in the
// order they are deleted (each child's tree in turn, then the key), and their sections for the
// backup when `sections` is given (each key before its children, as regedit exports). A symbolic
// link is taken alone, never walked into; a .reg file cannot make one again, so a backup cannot
// hold it. False, after the failure lines, when a key cannot be gone through or read completely.
bool CollectKeyTree(HKEY parent, const std::u16string& name, HKEY root, const std::u16string& path,
                    Remove::Log* log, REGSAM view, std::vector<WalkedKey>& keys, std::u16string* sections)
{
    UniqueKey key;
    std::vector<std::u16string> children;
    try {
        if (!OpenKeyGrantingAccess(parent, name, DELETE | KEY_READ | view, root, path, log, key))
            return false;
        const bool link = IsSymbolicLinkKey(key.get());
        if (sections) {
            try {
                if (link)
                    throw ExceptionPL("the key is a symbolic link, which a .reg file cannot hold");
                *sections += RegFileSection(key.get(), root, path);
            } catch (...) {
                FailureLines(log, u"...error occurred while saving the backup of key", root, path);
                return false;
            }
        }
        RegistryKeyEntry child;
        for (DWORD index = 0; !link && RegEnumKeyChecked(key.get(), index, child); ++index)
            children.push_back(child.name);
    } catch (...) {
        FailureLines(log, u"...error occurred while enumerating subkeys of", root, path);
        return false;
    }
    for (const std::u16string& child : children)
        if (!CollectKeyTree(key.get(), child, root, path + u"\\" + child, log, view, keys, sections))
            return false;
    keys.push_back({std::move(key), path});
    return true;
}

// Saves the sections to the backup, when there is one; false after the failure lines.
bool Save(const std::u16string& sections, Remove::Log* log, HKEY root, const std::u16string& path, REGSAM view)
{
    Backup* backup = ActiveBackup();
    if (!backup)
        return true;
    try {
        backup->save(view, sections);
        return true;
    } catch (...) {
        FailureLines(log, u"...error occurred while saving the backup of key", root, path);
        return false;
    }
}

// A symbolic link a standard user can change lies on the way to the key named: what the name
// leads to there is not the suite's, neither found nor deleted.
class OthersLink : public ExceptionPL {
public:
    explicit OthersLink(const std::string& text) : ExceptionPL(text.data(), text.data() + text.size()) {}
};

// The key `path` names below `root`, opened a name at a time, each first as itself
// (REG_OPTION_OPEN_LINK), so that a symbolic link on the way is judged before it is followed: it
// is followed only when nobody but SYSTEM, the administrators, TrustedInstaller and the running
// account owns it or may change it. A link a standard user made in their own hive would lead
// the deletion of a suite's name to whatever key of that name it points at. With `parentOnly`
// the last name is neither opened nor judged: the key holding it is returned (`root` itself for
// a single name). Otherwise the last key is opened with `access` and judged as well. Keys opened
// are held in `held`. Throws the Windows error where a key cannot be opened, and OthersLink
// naming the link that others may change.
HKEY OpenJudgingLinks(HKEY root, const std::u16string& path, REGSAM access, bool parentOnly, UniqueKey& held)
{
    const REGSAM view = access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    HKEY key = root;
    for (std::size_t begin = 0; begin <= path.size();) {
        std::size_t end = path.find(u'\\', begin);
        const bool last = end == std::u16string::npos;
        if (last && parentOnly)
            break;
        end = last ? path.size() : end;
        const std::u16string name = path.substr(begin, end - begin);
        UniqueKey opened;
        ThrowWindowsError(static_cast<DWORD>(Os().regOpenKeyEx(
            key, name.c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE | READ_CONTROL | (last ? access : view),
            opened.put())));
        if (IsSymbolicLinkKey(opened.get())) {
            if (OthersMayChange(opened.get(), SE_REGISTRY_KEY)) {
                throw OthersLink(ToUtf8(u"not the suite's: a standard user can change where the symbolic link \"" +
                                        DisplayPath(root, path.substr(0, end)) + u"\" leads"));
            }
            opened.reset();
            ThrowWindowsError(static_cast<DWORD>(
                Os().regOpenKeyEx(key, name.c_str(), 0, last ? access : KEY_QUERY_VALUE | READ_CONTROL | view, opened.put())));
        }
        held = std::move(opened);
        key = held.get();
        begin = end + 1;
    }
    return key;
}

// The last name of a key's path.
std::u16string LastName(const std::u16string& path)
{
    return path.substr(path.rfind(u'\\') + 1);
}

// Walks the tree of the key named last in `path`, held open by `parent`, saves it, then deletes
// it; a key that cannot be gone through or deleted stops its ancestors.
bool DeleteKeyTree(HKEY parent, HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view)
{
    // The whole tree is read, and saved, before its first key goes.
    std::vector<WalkedKey> keys;
    std::u16string sections;
    const bool saving = ActiveBackup() != nullptr;
    if (!CollectKeyTree(parent, LastName(path), root, path, log, view, keys, saving ? &sections : nullptr) ||
        !Save(sections, log, root, path, view))
        return false;
    for (const WalkedKey& walked : keys) {
        try {
            RegDeleteOpenKeyChecked(walked.key.get(), root, walked.path, view);
        } catch (...) {
            FailureLines(log, u"...error occurred while trying to delete key", root, walked.path);
            return false;
        }
    }
    return true;
}

// Whether the Windows error being handled says a key is not there.
bool NotThere()
{
    try {
        throw;
    } catch (const Windows::Error& error) {
        return error.code() == ERROR_FILE_NOT_FOUND || error.code() == ERROR_PATH_NOT_FOUND;
    } catch (...) {
        return false;
    }
}

// The key a check looks at, opened as a deletion reaches it: null when it is not there (an open
// that failed otherwise is a probe error, as RegistryKeyExists notes it), or when what the name
// leads to is not the suite's, after the line that says so (`passedBy`).
HKEY OpenForCheck(HKEY root, const std::u16string& path, Remove::Log* log, UniqueKey& held, bool& passedBy)
{
    try {
        return OpenJudgingLinks(root, path, KEY_READ, false, held);
    } catch (const OthersLink& link) {
        writeLine(log, ToUtf16(link.message()));
        passedBy = true;
    } catch (const Windows::Error& error) {
        NoteProbeError(error.code(), u"\"" + DisplayPath(root, path) + u"\"");
    } catch (...) {
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return nullptr;
}

} // namespace

bool CheckRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log)
{
    log->write(u"Checking for registry key \"");
    log->write(DisplayPath(root, path));
    log->write(u"\"...");
    UniqueKey key;
    bool passedBy = false;
    const bool found = OpenForCheck(root, path, log, key, passedBy) != nullptr;
    if (!passedBy)
        Outcome(log, found);
    return found;
}

bool CheckRegistryValue(HKEY root, const std::u16string& path, const std::u16string& valueName,
                        Remove::Log* log)
{
    log->write(u"Checking for registry key value \"");
    log->write(DisplayPath(root, path));
    log->write(u":[");
    log->write(EscapeControlCharacters(valueName));
    log->write(u"]\"...");
    UniqueKey key;
    bool passedBy = false;
    const HKEY opened = OpenForCheck(root, path, log, key, passedBy);
    const bool found = opened && HasRegistryValue(opened, valueName);
    if (!passedBy)
        Outcome(log, found);
    return found;
}

bool CheckChildKeysWithPrefix(HKEY root, const std::u16string& path, const std::u16string& prefix,
                              Remove::Log* log)
{
    log->write(u"Checking for registry keys that are child of key \"");
    log->write(DisplayPath(root, path));
    log->write(u"\" and have a name starting with \"");
    log->write(prefix);
    log->write(u"\"...");
    bool found = false;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
        WalkChildren(key.get(), [&](const std::u16string& name) {
            found = StartsWith(name, prefix);
            return !found;
        });
    } catch (...) {
        found = false;
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    Outcome(log, found);
    return found;
}

std::vector<std::u16string> FindChildKeysWithPrefix(HKEY root, const std::u16string& path,
                                                    const std::u16string& prefix)
{
    std::vector<std::u16string> paths;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
        WalkChildren(key.get(), [&](const std::u16string& name) {
            if (StartsWith(name, prefix))
                paths.push_back(path + u"\\" + name);
            return true;
        });
    } catch (...) {
        // What was gathered before the error stands.
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return paths;
}

bool DeleteRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view,
                       const std::u16string& shown)
{
    // Only a key that is not there is done with; one that cannot be opened is gone through, with
    // its access recovered. A symbolic link is there as itself, wherever it leads.
    UniqueKey held;
    HKEY parent = nullptr;
    std::exception_ptr refusal;
    std::u16string passedBy;
    try {
        parent = OpenJudgingLinks(root, path, view, true, held);
        UniqueKey key;
        ThrowWindowsError(static_cast<DWORD>(
            Os().regOpenKeyEx(parent, LastName(path).c_str(), REG_OPTION_OPEN_LINK, KEY_READ | view, key.put())));
    } catch (const OthersLink& link) {
        passedBy = ToUtf16(link.message());
    } catch (...) {
        if (NotThere())
            return true;
        if (parent == nullptr)
            refusal = std::current_exception();
    }
    log->write(u"Deleting registry key \"");
    log->write(shown.empty() ? DisplayPath(root, path) : EscapeControlCharacters(shown));
    log->write(u"\"...");
    if (!passedBy.empty()) {
        writeLine(log, passedBy);
        return true;
    }
    if (refusal) {
        try {
            std::rethrow_exception(refusal);
        } catch (...) {
            FailureLines(log, u"...error occurred while trying to delete key", root, path);
        }
        return false;
    }
    if (!DeleteKeyTree(parent, root, path, log, view))
        return false;
    writeLine(log, u"done");
    return true;
}

bool SaveRegistryKeyTree(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view)
{
    if (!ActiveBackup() || !RegistryKeyExists(root, path, KEY_READ | view))
        return true;
    std::vector<WalkedKey> keys;
    std::u16string sections;
    UniqueKey held;
    HKEY parent = nullptr;
    try {
        parent = OpenJudgingLinks(root, path, view, true, held);
    } catch (...) {
        FailureLines(log, u"...error occurred while saving the backup of key", root, path);
        return false;
    }
    return CollectKeyTree(parent, LastName(path), root, path, log, view, keys, &sections) &&
           Save(sections, log, root, path, view);
}

bool SaveRegistryValue(HKEY key, HKEY root, const std::u16string& path, const std::u16string& name, REGSAM view)
{
    DWORD size = 0;
    const auto found = static_cast<DWORD>(Os().regQueryValueEx(key, name.c_str(), nullptr, nullptr, nullptr, &size));
    if (found == ERROR_FILE_NOT_FOUND)
        return false;
    ThrowWindowsError(found);
    if (Backup* backup = ActiveBackup()) {
        RegistryValue value{name, REG_NONE, std::vector<BYTE>(std::max<DWORD>(size, 1))};
        const RegistryValueInfo read = RegQueryValueChecked(key, name, value.data.data(), static_cast<DWORD>(value.data.size()));
        value.type = read.type;
        value.data.resize(read.size);
        backup->save(view, RegFileKeyLine(root, path) + RegFileValueLines(value) + u"\r\n");
    }
    return true;
}

void DeleteRegistryValue(HKEY root, const std::u16string& path, const std::u16string& name, REGSAM view)
{
    UniqueKey held;
    const HKEY key = OpenJudgingLinks(root, path, KEY_QUERY_VALUE | KEY_SET_VALUE | view, false, held);
    if (!SaveRegistryValue(key, root, path, name, view))
        return;
    RegDeleteValueChecked(key, name, root, path, view);
}
