#include "toolkit/protected_locations.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/win_types.h"
#include "toolkit/protected_places.h"

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

// By the name alone: a root, the Windows folder, anything inside it (but what the running account
// keeps in its known folders there) or above it, or a folder equal to or above a protected one.
bool IsProtectedName(const std::u16string& location, const ProtectedPlaces& places, const SettingPlaces* setting)
{
    if (IsRoot(location))
        return true;
    const auto atOrAbove = [&location](const std::vector<std::u16string>& folders) {
        return std::any_of(folders.begin(), folders.end(),
                           [&location](const std::u16string& folder) { return IsSameOrAbove(location, folder); });
    };
    const bool inAccountFolder =
        std::any_of(places.accountFolders.begin(), places.accountFolders.end(),
                    [&location](const std::u16string& folder) { return IsStrictlyInside(folder, location); });
    for (const std::u16string& folder : places.windows)
        if (IsSameOrAbove(location, folder) || (IsSameOrAbove(folder, location) && !inAccountFolder))
            return true;
    return atOrAbove(places.folders) || (setting && atOrAbove(setting->folders));
}

} // namespace

std::u16string OpenableName(const std::u16string& location)
{
    if (location.size() < MAX_PATH)
        return location;
    return StartsWith(location, u"\\\\") ? u"\\\\?\\UNC\\" + location.substr(2) : u"\\\\?\\" + location;
}

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

bool IsStrictlyInside(const std::u16string& folder, const std::u16string& location)
{
    return location.size() > folder.size() && IsSameOrAbove(folder, location);
}

std::optional<std::u16string> FinalLocationOf(HANDLE object)
{
    const std::optional<std::u16string> final = FinalPathOf(object);
    return final ? NormalizeLocation(*final) : std::nullopt;
}

std::optional<std::u16string> FinalLocation(const std::u16string& location)
{
    for (const std::u16string& above : SelfAndAbove(location)) {
        const std::optional<std::u16string> final = FinalPathName(OpenableName(above));
        if (!final)
            continue;
        // What is not there yet lies where the nearest folder above it really is.
        const std::u16string rest = location.substr(above.back() == u'\\' ? RootLength(location) : above.size());
        return NormalizeLocation(*final + rest);
    }
    return std::nullopt;
}

bool IsRemoteLocation(const std::u16string& path)
{
    std::optional<std::u16string> location = NormalizeLocation(path);
    if (!location)
        if (const std::optional<std::u16string> full = FullPathName(WithoutLongPathPrefix(path)))
            location = NormalizeLocation(*full);
    return location && IsRemoteName(*location);
}

bool IsProtectedLocation(const std::u16string& path, const SuiteRegistrations* suite)
{
    const std::optional<std::u16string> given = NormalizeLocation(path);
    if (!given)
        return true;
    const std::shared_ptr<const ProtectedPlaces> places = CurrentProtectedPlaces();
    std::shared_ptr<const SettingPlaces> setting;
    if (suite) {
        setting = CurrentSettingPlaces(*suite);
        // What a setting is judged against could not all be read.
        if (!setting->complete)
            return true;
    }
    const auto judge = [&](const std::optional<std::u16string>& location) {
        return location && IsProtectedName(*location, *places, setting.get());
    };
    if (judge(given))
        return true;
    // A share is judged by its name: opening it is already reaching out to its server.
    if (IsRemoteName(*given))
        return false;

    // What the system makes of the name: trailing dots and blanks dropped ("C:\\Windows."),
    // aliases expanded ("C:\\PROGRA~2"). The long-path prefix is set aside first, so that the
    // name is read as the system reads a plain one.
    const std::optional<std::u16string> full = FullPathName(WithoutLongPathPrefix(path));
    if (!full)
        return false;
    std::optional<std::u16string> location = NormalizeLocation(*full);
    if (judge(location))
        return true;
    if (const std::optional<std::u16string> onDisk = LongPathName(*full)) {
        location = NormalizeLocation(*onDisk);
        if (judge(location))
            return true;
    }
    if (!location)
        return false;

    // Where it really is, after links, junctions, mounted folders and the system's redirection:
    // a link on the way may lead anywhere, a share included.
    const std::optional<std::u16string> final = FinalLocation(*location);
    return judge(final) || (final && IsRemoteName(*final));
}
