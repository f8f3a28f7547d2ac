#include "toolkit/protected_locations.h"

#include <algorithm>
#include <vector>

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
    const std::optional<std::u16string> location = NormalizeLocation(path);
    if (!location)
        return true;
    // A root is the drive ("C:") or share ("\\SERVER\SHARE") alone.
    const bool isDrive = location->size() == 2;
    const bool isShare = StartsWith(*location, u"\\\\") &&
                         std::count(location->begin(), location->end(), u'\\') == 3;
    if (isDrive || isShare)
        return true;

    std::vector<std::u16string> windows;
    AddFolder(windows, GetSpecialFolder(CSIDL_WINDOWS));
    AddFolder(windows, Expanded(u"%SystemRoot%"));
    for (const std::u16string& folder : windows)
        if (IsSameOrAbove(folder, *location) || IsSameOrAbove(*location, folder))
            return true;

    std::vector<std::u16string> protectedFolders;
    for (const int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                            CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE,
                            CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA})
        AddFolder(protectedFolders, GetSpecialFolder(csidl));
    AddFolder(protectedFolders, Parent(GetSpecialFolder(CSIDL_PROFILE))); // the Users folder
    AddFolder(protectedFolders, Expanded(u"%ProgramW6432%"));
    AddFolder(protectedFolders, Expanded(u"%CommonProgramW6432%"));
    AddFolder(protectedFolders, TempFolder());
    return std::any_of(protectedFolders.begin(), protectedFolders.end(),
                       [&](const std::u16string& folder) { return IsSameOrAbove(*location, folder); });
}
