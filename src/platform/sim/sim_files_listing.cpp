// Listings of the simulated file system (FindFirstFileW, FindNextFileW, FindClose): a search
// holds its folder and the names that matched the mask when it began, and reports each entry
// still there when its turn comes, as NTFS does while the caller deletes what it lists.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sim/sim_files_internal.h"

using namespace SimFilesInternal;

namespace {

// Case-insensitive wildcard match of a listing mask: "*" any run, "?" one character.
bool Matches(std::u16string_view mask, std::u16string_view name)
{
    if (mask == u"*" || mask == u"*.*")
        return true;
    std::size_t m = 0, n = 0, starM = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || Fold(mask[m]) == Fold(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM != std::u16string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

DWORD SimFileSystem::findFirst(const char16_t* pattern, WIN32_FIND_DATAW* data, HANDLE& find)
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(pattern, MAX_PATH, path, true))
        return error;
    if (path.trailingSeparator || path.parts.empty())
        return ERROR_FILE_NOT_FOUND;
    const std::u16string mask = path.parts.back();
    path.parts.pop_back();
    std::shared_ptr<SimFileNode> folder;
    if (const DWORD error = walk(path, path.parts.size(), folder, 0))
        return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    if (const DWORD error = enterFolder(folder, 0))
        return error;
    if (folder->access != SimAccess::Open)
        return ERROR_ACCESS_DENIED;

    auto search = std::make_unique<Search>();
    search->folder = folder;
    // A drive's root has no "." and ".." entries.
    if (!path.parts.empty())
        for (const char16_t* dot : {u".", u".."})
            if (Matches(mask, dot))
                search->names.emplace_back(dot);
    for (const auto& child : folder->children)
        if (Matches(mask, child.second->name))
            search->names.push_back(child.first);
    if (search->names.empty())
        return ERROR_FILE_NOT_FOUND;

    fill(*search, data);
    nextSearch_ += 4;
    find = reinterpret_cast<HANDLE>(nextSearch_);
    searches_.emplace(find, std::move(search));
    return ERROR_SUCCESS;
}

bool SimFileSystem::fill(Search& search, WIN32_FIND_DATAW* data) const
{
    while (search.next < search.names.size()) {
        const std::u16string& key = search.names[search.next++];
        DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
        std::u16string name = key;
        std::u16string alias;
        std::size_t size = 0;
        if (key != u"." && key != u"..") {
            // Entries deleted since the listing began are not reported, as on NTFS.
            const auto child = search.folder->children.find(key);
            if (child == search.folder->children.end())
                continue;
            attributes = File(*child->second).visibleAttributes();
            name = child->second->name;
            alias = child->second->shortName;
            size = File(*child->second).content.size();
        }
        std::memset(data, 0, sizeof *data);
        data->dwFileAttributes = attributes;
        data->nFileSizeLow = static_cast<DWORD>(size);
        data->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size) >> 32);
        const std::size_t length = std::min<std::size_t>(name.size(), MAX_PATH - 1);
        std::copy_n(name.begin(), length, data->cFileName);
        std::copy(alias.begin(), alias.end(), data->cAlternateFileName);
        return true;
    }
    return false;
}

DWORD SimFileSystem::findNext(HANDLE find, WIN32_FIND_DATAW* data)
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto search = searches_.find(find);
    if (search == searches_.end())
        return ERROR_INVALID_HANDLE;
    return fill(*search->second, data) ? ERROR_SUCCESS : ERROR_NO_MORE_FILES;
}

DWORD SimFileSystem::findClose(HANDLE find)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return searches_.erase(find) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
