#include "platform/restart_deletions.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/run_record.h"

namespace {

const std::u16string kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::u16string kPendingOperations = u"PendingFileRenameOperations";

// The name as the list keeps it, for comparison: no "\\?\" or "\??\" prefix, upper case.
std::u16string Comparable(std::u16string_view path)
{
    if (path.substr(0, 4) == u"\\\\?\\" || path.substr(0, 4) == u"\\??\\")
        path.remove_prefix(4);
    // A folder named with a closing backslash is the same folder ("C:\" aside).
    while (path.size() > 3 && path.back() == u'\\')
        path.remove_suffix(1);
    std::u16string name(path);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; });
    return name;
}

// The names listed for deletion (those with an empty new name).
std::vector<std::u16string> ListedDeletions()
{
    std::vector<std::u16string> names;
    UniqueKey key;
    if (Os().regOpenKeyEx(HKEY_LOCAL_MACHINE, kSessionManager.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return names;
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (Os().regQueryValueEx(key.get(), kPendingOperations.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return names;
    std::vector<char16_t> text(size / 2 + 1, u'\0');
    if (Os().regQueryValueEx(key.get(), kPendingOperations.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS)
        return names;
    text.resize(size / 2);
    std::vector<std::u16string> strings(1);
    for (const char16_t c : text) {
        if (c == u'\0')
            strings.emplace_back();
        else
            strings.back() += c;
    }
    for (std::size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2)
        if (strings[i + 1].empty())
            names.push_back(Comparable(strings[i]));
    return names;
}

} // namespace

bool PendingDeletionAtRestart(const std::u16string& path)
{
    const std::vector<std::u16string> listed = ListedDeletions();
    const std::u16string full = Comparable(FullPathName(path).value_or(path));
    return std::find(listed.begin(), listed.end(), full) != listed.end();
}

DWORD ScheduleDeletionAtRestart(const std::u16string& given)
{
    // Listed as the system names the folder, without a closing backslash.
    std::u16string path = given;
    while (path.size() > 3 && path.back() == u'\\')
        path.pop_back();
    // A second run before the restart adds nothing to what the first one listed.
    RestartListing listing = RestartListing::Found;
    if (!PendingDeletionAtRestart(path)) {
        if (!Os().moveFileEx(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            return Os().getLastError();
        listing = RestartListing::ListedNow;
    }
    NoteDeletionAtRestart(path, listing);
    return ERROR_SUCCESS;
}

bool StillAwaitsRestart(const std::u16string& path)
{
    // Noted paths are drive paths of any length: asked for in their long form.
    const std::u16string asked = path.size() > 2 && path[1] == u':' ? u"\\\\?\\" + path : path;
    return Os().getFileAttributes(asked.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::u16string ShownPath(const std::u16string& path)
{
    std::u16string shown = path.compare(0, 4, u"\\\\?\\") == 0 && path.size() > 6 && path[5] == u':' ? path.substr(4) : path;
    while (shown.size() > 3 && shown.back() == u'\\')
        shown.pop_back();
    return shown;
}
