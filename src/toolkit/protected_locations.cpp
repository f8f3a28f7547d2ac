#include "toolkit/protected_locations.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/win_types.h"
#include "toolkit/well_known_folders.h"

namespace {

char16_t Upper(char16_t c)
{
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - u'a' + u'A');
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    return c;
}

bool StartsWith(const std::u16string& text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin());
}

// `ancestor` is `path` itself or one of the folders above it.
bool IsSameOrAbove(const std::u16string& ancestor, const std::u16string& path)
{
    return path == ancestor || (StartsWith(path, ancestor) && path[ancestor.size()] == u'\\');
}

void AddFolder(std::vector<std::u16string>& folders, const std::optional<std::u16string>& folder)
{
    if (!folder)
        return;
    if (auto normal = NormalizeLocation(*folder))
        folders.push_back(std::move(*normal));
}

std::optional<std::u16string> Expanded(const std::u16string& reference)
{
    try {
        std::u16string text = ExpandEnvironmentText(reference);
        if (text != reference)
            return text;
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<std::u16string> TempFolder()
{
    char16_t buffer[MAX_PATH + 2] = {};
    const DWORD length = Os().getTempPath(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH + 1)
        return std::nullopt;
    return std::u16string(buffer, length);
}

std::optional<std::u16string> Parent(const std::optional<std::u16string>& folder)
{
    if (!folder)
        return std::nullopt;
    const std::size_t slash = folder->find_last_of(u'\\');
    if (slash == std::u16string::npos)
        return std::nullopt;
    return folder->substr(0, slash);
}

// The name without the long-path prefix, as a plain name reads.
std::u16string WithoutLongPathPrefix(const std::u16string& path)
{
    if (StartsWith(path, u"\\\\?\\UNC\\"))
        return u"\\\\" + path.substr(8);
    if (StartsWith(path, u"\\\\?\\"))
        return path.substr(4);
    return path;
}

// The drive ("C:") or share ("\\SERVER\SHARE") a normal location starts with.
std::size_t RootLength(const std::u16string& location)
{
    if (!StartsWith(location, u"\\\\"))
        return 2;
    const std::size_t share = location.find(u'\\', location.find(u'\\', 2) + 1);
    return share == std::u16string::npos ? location.size() : share;
}

// The location and every folder above it, the root last, each as a name that opens it.
std::vector<std::u16string> SelfAndAbove(std::u16string location)
{
    std::vector<std::u16string> chain;
    const std::size_t root = RootLength(location);
    while (location.size() > root) {
        chain.push_back(location);
        location.erase(location.rfind(u'\\'));
    }
    chain.push_back(location + u"\\");
    return chain;
}

bool IsRoot(const std::u16string& location)
{
    return location.size() == RootLength(location);
}

// The protected places, as normal locations.
struct ProtectedPlaces {
    std::vector<std::u16string> windows;
    std::vector<std::u16string> folders;
};

// `complete` when every well-known folder was named.
ProtectedPlaces CollectProtectedPlaces(bool& complete)
{
    ProtectedPlaces places;
    complete = true;
    const auto named = [&complete](std::optional<std::u16string> folder) {
        complete = complete && folder.has_value();
        return folder;
    };
    AddFolder(places.windows, named(GetSpecialFolder(CSIDL_WINDOWS)));
    AddFolder(places.windows, Expanded(u"%SystemRoot%"));
    for (const int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                            CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE,
                            CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA})
        AddFolder(places.folders, named(GetSpecialFolder(csidl)));
    AddFolder(places.folders, Parent(named(GetSpecialFolder(CSIDL_PROFILE)))); // the Users folder
    AddFolder(places.folders, Expanded(u"%ProgramW6432%"));
    AddFolder(places.folders, Expanded(u"%CommonProgramW6432%"));
    AddFolder(places.folders, named(TempFolder()));
    return places;
}

// A name as it opens: beyond MAX_PATH through the long-path prefix.
std::optional<FileIdentity> IdentityOfName(const std::u16string& name)
{
    return IdentityOf(name.size() < MAX_PATH ? name
                      : StartsWith(name, u"\\\\") ? u"\\\\?\\UNC\\" + name.substr(2)
                                                   : u"\\\\?\\" + name);
}

// The protected places and what their names lead to: each protected folder and every folder above
// it, and the Windows folders.
struct ProtectedSet {
    ProtectedPlaces places;
    std::vector<FileIdentity> protectedObjects;
    std::vector<FileIdentity> windowsObjects;
    // Names that led nowhere when gathered: looked at again each time, since one made later
    // must be as protected as the rest.
    std::vector<std::u16string> protectedUnopened;
    std::vector<std::u16string> windowsUnopened;
};

ProtectedSet CollectProtectedSet(bool& complete)
{
    ProtectedSet set;
    set.places = CollectProtectedPlaces(complete);
    for (const auto* list : {&set.places.windows, &set.places.folders})
        for (const std::u16string& folder : *list)
            for (const std::u16string& above : SelfAndAbove(folder))
                if (const std::optional<FileIdentity> identity = IdentityOfName(above))
                    set.protectedObjects.push_back(*identity);
                else
                    set.protectedUnopened.push_back(above);
    for (const std::u16string& windows : set.places.windows)
        if (const std::optional<FileIdentity> identity = IdentityOfName(windows))
            set.windowsObjects.push_back(*identity);
        else
            set.windowsUnopened.push_back(windows);
    return set;
}

// Naming a dozen well-known folders and opening each, with the folders above them, is what the
// guard costs: done once while the seam stays the same and every folder could be named.
std::shared_ptr<const ProtectedSet> Protected()
{
    static std::mutex mutex;
    static std::shared_ptr<const ProtectedSet> kept;
    static unsigned keptGeneration = 0;
    std::lock_guard<std::mutex> lock(mutex);
    if (kept && keptGeneration == OsGeneration())
        return kept;
    bool complete = false;
    auto set = std::make_shared<const ProtectedSet>(CollectProtectedSet(complete));
    if (complete) {
        kept = set;
        keptGeneration = OsGeneration();
    } else {
        kept.reset();
    }
    return set;
}

// By the name alone: a root, the Windows folder, anything inside it or above it, or a folder equal
// to or above a protected one.
bool IsProtectedName(const std::u16string& location, const ProtectedPlaces& places)
{
    if (IsRoot(location))
        return true;
    for (const std::u16string& folder : places.windows)
        if (IsSameOrAbove(folder, location) || IsSameOrAbove(location, folder))
            return true;
    return std::any_of(places.folders.begin(), places.folders.end(),
                       [&](const std::u16string& folder) { return IsSameOrAbove(location, folder); });
}

// By what the names lead to: the location is the same object as a protected folder, the Windows
// folder or a folder above them, or one of the folders it passes through is the Windows folder.
bool IsProtectedObject(const std::u16string& location, const ProtectedSet& set)
{
    const std::optional<FileIdentity> target = IdentityOfName(location);
    if (!target)
        return false;
    const auto among = [](const std::vector<FileIdentity>& objects, const std::vector<std::u16string>& unopened,
                          const FileIdentity& identity) {
        return std::find(objects.begin(), objects.end(), identity) != objects.end() ||
               std::any_of(unopened.begin(), unopened.end(),
                           [&identity](const std::u16string& name) { return IdentityOfName(name) == identity; });
    };
    if (among(set.protectedObjects, set.protectedUnopened, *target))
        return true;
    for (const std::u16string& passed : SelfAndAbove(location))
        if (const std::optional<FileIdentity> identity = IdentityOfName(passed);
            identity && among(set.windowsObjects, set.windowsUnopened, *identity))
            return true;
    return false;
}

} // namespace

std::optional<std::u16string> NormalizeLocation(const std::u16string& path)
{
    std::u16string text = path;
    std::replace(text.begin(), text.end(), u'/', u'\\');
    if (StartsWith(text, u"\\\\?\\UNC\\"))
        text = u"\\\\" + text.substr(8);
    else if (StartsWith(text, u"\\\\?\\") || StartsWith(text, u"\\\\.\\"))
        text = text.substr(4);

    std::u16string root;
    std::size_t rest = 0;
    if (text.size() >= 2 && text[1] == u':' && ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'))) {
        if (text.size() > 2 && text[2] != u'\\')
            return std::nullopt; // "C:folder" is relative to the drive's current folder
        root = std::u16string(1, Upper(text[0])) + u":";
        rest = 2;
    } else if (StartsWith(text, u"\\\\")) {
        const std::size_t server = text.find(u'\\', 2);
        if (server == std::u16string::npos || server == 2)
            return std::nullopt;
        const std::size_t share = text.find(u'\\', server + 1);
        const std::size_t end = share == std::u16string::npos ? text.size() : share;
        if (end == server + 1)
            return std::nullopt;
        root = text.substr(0, end);
        rest = end;
    } else {
        return std::nullopt;
    }

    std::vector<std::u16string> parts;
    std::size_t start = rest;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(u'\\', start), text.size());
        const std::u16string part = text.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::u16string normal = root;
    for (const std::u16string& part : parts)
        normal += u"\\" + part;
    std::transform(normal.begin(), normal.end(), normal.begin(), Upper);
    return normal;
}

bool IsProtectedLocation(const std::u16string& path)
{
    const std::optional<std::u16string> given = NormalizeLocation(path);
    if (!given)
        return true;
    const std::shared_ptr<const ProtectedSet> set = Protected();
    const ProtectedPlaces& places = set->places;
    if (IsProtectedName(*given, places))
        return true;

    // What the system makes of the name: trailing dots and blanks dropped ("C:\Windows."),
    // aliases expanded ("C:\PROGRA~2"). The long-path prefix is set aside first, so that the
    // name is read as the system reads a plain one.
    const std::optional<std::u16string> full = FullPathName(WithoutLongPathPrefix(path));
    if (!full)
        return false;
    std::vector<std::u16string> resolved{*full};
    if (const std::optional<std::u16string> onDisk = LongPathName(*full))
        resolved.push_back(*onDisk);
    for (const std::u16string& name : resolved) {
        const std::optional<std::u16string> location = NormalizeLocation(name);
        if (location && IsProtectedName(*location, places))
            return true;
    }

    // Where an existing folder really is, after junctions and mounted folders.
    const std::optional<std::u16string> location = NormalizeLocation(resolved.back());
    return location && IsProtectedObject(*location, *set);
}
