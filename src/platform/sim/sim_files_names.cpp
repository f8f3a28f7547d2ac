// Names on the simulated file system: how a path is read (as GetFullPathNameW reads it, or taken
// as it is behind the long-path prefix), the 8.3 aliases NTFS gives long names, and
// GetLongPathNameW's way back from them. Every call reads its names through here, so the rules
// live in one place.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/sim/sim_files_internal.h"

using namespace SimFilesInternal;

namespace {

constexpr DWORD kErrorFilenameTooLong = 206; // ERROR_FILENAME_EXCED_RANGE

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

// A drive or network path, resolved as GetFullPathNameW does.
std::optional<std::u16string> ResolveAbsolute(std::u16string_view text)
{
    std::u16string root;
    std::size_t start = 0;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        // "\\server\share" is the root of a network path.
        root = u"\\";
        std::size_t end = 2;
        for (int names = 0; names < 2; ++names) {
            const std::size_t from = end;
            while (end < text.size() && !IsSeparator(text[end]))
                ++end;
            if (end == from)
                return std::nullopt;
            root += u"\\";
            root += text.substr(from, end - from);
            if (end < text.size())
                ++end;
        }
        start = end;
    } else if (text.size() >= 3 && text[1] == u':' && IsSeparator(text[2])) {
        root = std::u16string(text.substr(0, 2)) + u"\\";
        start = 3;
    } else {
        return std::nullopt;
    }
    std::vector<std::u16string_view> names;
    std::size_t at = start;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        std::u16string_view name = text.substr(at, end - at);
        if (name == u"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != u".") {
            // A name followed by a separator loses one trailing dot (Wine measured: "Suite.."
            // becomes "Suite.", "Suite ." becomes "Suite ", a trailing blank stays).
            if (end < text.size() && name.back() == u'.')
                name.remove_suffix(1);
            if (!name.empty())
                names.push_back(name);
        }
        at = end + 1;
    }
    const bool trailingSeparator = !names.empty() && start < text.size() && IsSeparator(text.back());
    // The last name loses its trailing dots and blanks.
    if (!names.empty() && !trailingSeparator) {
        std::u16string_view& last = names.back();
        while (!last.empty() && (last.back() == u'.' || last.back() == u' '))
            last.remove_suffix(1);
        if (last.empty())
            names.pop_back();
    }
    std::u16string full = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0 || full.back() != u'\\')
            full += u'\\';
        full += names[i];
    }
    if (trailingSeparator)
        full += u'\\';
    return full;
}

// A relative name joined to the current folder as the system joins it; any other name as it is.
std::u16string FromCurrentFolder(std::u16string_view text, std::u16string_view currentFolder)
{
    const bool network = text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]);
    const bool drive = text.size() >= 2 && text[1] == u':';
    if (currentFolder.size() < 2 || network || (drive && text.size() >= 3 && IsSeparator(text[2])))
        return std::u16string(text);
    std::u16string joined;
    if (drive) {
        // "C:a": from the current folder when it is on that drive, else from the drive's root.
        if (Fold(text[0]) == Fold(currentFolder[0]))
            joined = std::u16string(currentFolder) + u"\\" + std::u16string(text.substr(2));
        else
            joined = std::u16string(text.substr(0, 2)) + u"\\" + std::u16string(text.substr(2));
    } else if (!text.empty() && IsSeparator(text[0])) {
        joined = std::u16string(currentFolder.substr(0, 2)) + std::u16string(text);
    } else {
        joined = std::u16string(currentFolder) + u"\\" + std::u16string(text);
    }
    return joined;
}

// Characters an 8.3 name may hold besides letters and digits.
bool ShortNameCharacter(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           (c < 0x80 && std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos);
}

// A name of at most eight characters and an extension of at most three, in either case: it is
// its own short name.
bool FitsShortName(std::u16string_view name)
{
    const std::size_t dot = name.find(u'.');
    const std::u16string_view base = name.substr(0, dot);
    const std::u16string_view extension = dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
    return !base.empty() && base.size() <= 8 && extension.size() <= 3 &&
           (dot == std::u16string_view::npos || !extension.empty()) &&
           std::all_of(base.begin(), base.end(), ShortNameCharacter) &&
           std::all_of(extension.begin(), extension.end(), ShortNameCharacter);
}

// The part of a name an alias is made from: blanks and dots dropped, other characters 8.3
// names cannot hold as "_", upper case.
std::u16string AliasPart(std::u16string_view text, std::size_t limit)
{
    std::u16string part;
    for (const char16_t c : text) {
        if (part.size() == limit)
            break;
        if (c == u' ' || c == u'.')
            continue;
        part += ShortNameCharacter(c) ? Fold(c) : u'_';
    }
    return part;
}

} // namespace

std::optional<std::u16string> SimFullPath(std::u16string_view given, std::u16string_view currentFolder)
{
    const std::u16string absolute = FromCurrentFolder(given, currentFolder);
    const std::u16string_view text = absolute;
    constexpr std::u16string_view kLongUnc = u"\\\\?\\UNC\\";
    if (text.substr(0, kLongUnc.size()) == kLongUnc) {
        const std::optional<std::u16string> full = ResolveAbsolute(u"\\\\" + std::u16string(text.substr(kLongUnc.size())));
        return full ? std::optional<std::u16string>(std::u16string(kLongUnc) + full->substr(2)) : std::nullopt;
    }
    if (text.substr(0, kLongPrefix.size()) == kLongPrefix) {
        const std::optional<std::u16string> full = ResolveAbsolute(text.substr(kLongPrefix.size()));
        return full ? std::optional<std::u16string>(std::u16string(kLongPrefix) + *full) : std::u16string(text);
    }
    return ResolveAbsolute(text);
}

namespace SimFilesInternal {

bool InvalidNameCharacter(char16_t c)
{
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
           c == u'?' || c == u'*' || c == u'/';
}

// The alias NTFS gives a name that does not fit 8.3: its first six characters, "~" and the
// lowest number free in the folder, then the first three of its extension ("Program Files
// (x86)" beside "Program Files" becomes "PROGRA~2").
std::u16string ShortNameFor(const SimFileNode& folder, std::u16string_view name)
{
    if (FitsShortName(name))
        return {};
    const std::size_t dot = name.rfind(u'.');
    const bool hasExtension = dot != std::u16string_view::npos && dot > 0;
    const std::u16string base = AliasPart(hasExtension ? name.substr(0, dot) : name, 6);
    const std::u16string extension = hasExtension ? AliasPart(name.substr(dot + 1), 3) : std::u16string();
    for (unsigned number = 1;; ++number) {
        std::u16string tail;
        for (unsigned rest = number; rest != 0; rest /= 10)
            tail.insert(tail.begin(), static_cast<char16_t>(u'0' + rest % 10));
        tail.insert(tail.begin(), u'~');
        std::u16string alias = base.substr(0, std::min<std::size_t>(base.size(), 8 - tail.size())) + tail;
        if (!extension.empty())
            alias += u"." + extension;
        const bool taken = std::any_of(folder.children.begin(), folder.children.end(), [&](const auto& child) {
            return child.second && (Folded(child.second->shortName) == alias || child.first == alias);
        });
        if (!taken)
            return alias;
    }
}

} // namespace SimFilesInternal

namespace {

// What a 32-bit program meets in the system folder: "C:\\Windows\\System32" is the 32-bit one,
// SysWOW64, but for the few folders Windows leaves to both.
bool Redirected(const std::vector<std::u16string>& parts)
{
    const auto is = [&parts](std::size_t i, std::u16string_view name) {
        return i < parts.size() && Folded(parts[i]) == name;
    };
    if (!is(0, u"WINDOWS") || !is(1, u"SYSTEM32"))
        return false;
    for (const std::u16string_view shared : {u"CATROOT", u"CATROOT2", u"DRIVERSTORE", u"LOGFILES", u"SPOOL"})
        if (is(2, shared))
            return false;
    return !(is(2, u"DRIVERS") && is(3, u"ETC"));
}

} // namespace

// Without the long-path prefix the path is limited to `limit` characters with its terminator,
// "/" counts as a separator and "." and ".." are resolved, as the system does before the file
// system sees the name. With the prefix the names are taken as they are.
DWORD SimFileSystem::parse(const char16_t* raw, std::size_t limit, Path& path, bool pattern, bool setUp) const
{
    if (raw == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view text(raw);
    const bool longForm = text.substr(0, kLongPrefix.size()) == kLongPrefix;
    std::u16string resolved;
    if (longForm) {
        text.remove_prefix(kLongPrefix.size());
    } else if (text.size() + 1 > limit) {
        return kErrorFilenameTooLong;
    } else if (std::optional<std::u16string> full = SimFullPath(text, currentFolder_)) {
        // The name as GetFullPathNameW resolves it: trailing dots and blanks gone as there.
        resolved = std::move(*full);
        text = resolved;
    }
    if (text.empty())
        return ERROR_PATH_NOT_FOUND;
    // What reaches out to another machine is noted, whether this machine can answer it or not.
    const bool share = text.substr(0, 2) == u"\\\\" || (longForm && Folded(text.substr(0, 4)) == u"UNC\\");
    if (!setUp && (share || (text.size() >= 2 && text[1] == u':' && networkDrives_.count(Fold(text[0]))))) {
        std::lock_guard<std::mutex> lock(reachedMutex_);
        remoteReached_.emplace_back(raw);
    }
    // Only drive paths: a relative name without a current folder, or a network path, is not here.
    if (text.size() < 2 || text[1] != u':' || !((Fold(text[0]) >= u'A' && Fold(text[0]) <= u'Z')))
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (text.size() > 2 && text[2] != u'\\' && (longForm || text[2] != u'/'))
        return ERROR_CALL_NOT_IMPLEMENTED; // drive-relative
    path.drive = Fold(text[0]);
    path.parts.clear();
    path.trailingSeparator = false;
    std::size_t start = 3;
    while (start <= text.size() && start > 2) {
        std::size_t end = start;
        while (end < text.size() && text[end] != u'\\' && (longForm || text[end] != u'/'))
            ++end;
        const std::u16string_view part = text.substr(std::min(start, text.size()), end - std::min(start, text.size()));
        if (part.empty()) {
            if (end >= text.size())
                path.trailingSeparator = start > 3;
            else if (longForm)
                return ERROR_INVALID_NAME;
        } else if (part == u"." || part == u"..") {
            // Resolved above for a plain name; through the prefix the file system refuses them.
            if (longForm)
                return ERROR_INVALID_NAME;
            if (part == u".." && !path.parts.empty())
                path.parts.pop_back();
        } else {
            // A listing's last name is a mask and may hold the wildcards.
            const bool mask = pattern && end >= text.size();
            if (std::any_of(part.begin(), part.end(), [mask](char16_t c) {
                    return InvalidNameCharacter(c) && !(mask && (c == u'*' || c == u'?'));
                }))
                return ERROR_INVALID_NAME;
            path.parts.emplace_back(part);
        }
        if (end >= text.size())
            break;
        start = end + 1;
    }
    if (path.drive == u'C' && Redirected(path.parts))
        path.parts[1] = u"SysWOW64";
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::longPath(const char16_t* text, std::u16string& result) const
{
    DWORD attributes = 0;
    if (const DWORD error = getAttributes(text, attributes))
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error; // as Wine answers
    const std::u16string_view path(text);
    const std::size_t root = (path.substr(0, kLongPrefix.size()) == kLongPrefix ? kLongPrefix.size() : 0) + 3;
    result = std::u16string(path.substr(0, std::min(root, path.size())));
    std::lock_guard<std::mutex> lock(mutex_);
    const auto drive = drives_.find(Fold(path[root - 3]));
    if (drive == drives_.end())
        return ERROR_FILE_NOT_FOUND;
    std::shared_ptr<SimFileNode> node = drive->second;
    bool resolving = true;
    for (std::size_t at = root; at < path.size();) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::u16string_view name = path.substr(at, end - at);
        std::shared_ptr<SimFileNode> child;
        if (resolving && name != u"." && name != u".." && enterFolder(node, 0) == ERROR_SUCCESS)
            child = Child(*node, name);
        if (child) {
            result += FitsShortName(name) ? child->name : std::u16string(name);
            node = child;
        } else {
            result += name;
            resolving = false;
        }
        if (end < path.size())
            result += path[end];
        at = end + 1;
    }
    return ERROR_SUCCESS;
}
