// Listings of the simulated file system (FindFirstFileW, FindNextFileW, FindClose, and a folder's
// handle listed by GetFileInformationByHandleEx): a search holds its folder and the names that
// matched the mask when it began, and reports each entry still there when its turn comes, as NTFS
// does while the caller deletes what it lists.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <cstddef>
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
    if (folder->access != SimAccess::Open || folder->deletePending)
        return ERROR_ACCESS_DENIED;

    // A drive's root has no "." and ".." entries.
    std::unique_ptr<Search> search = snapshot(folder, mask, !path.parts.empty());
    if (search->names.empty())
        return ERROR_FILE_NOT_FOUND;

    fill(*search, data);
    nextSearch_ += 4;
    find = reinterpret_cast<HANDLE>(nextSearch_);
    searches_.emplace(find, std::move(search));
    return ERROR_SUCCESS;
}

std::unique_ptr<SimFileSystem::Search> SimFileSystem::snapshot(const std::shared_ptr<SimFileNode>& folder,
                                                              std::u16string_view mask, bool dots) const
{
    auto search = std::make_unique<Search>();
    search->folder = folder;
    if (dots)
        for (const char16_t* dot : {u".", u".."})
            if (Matches(mask, dot))
                search->names.emplace_back(dot);
    for (const auto& child : folder->children)
        if (Matches(mask, child.second->name))
            search->names.push_back(child.first);
    return search;
}

std::size_t SimFileSystem::present(const Search& search, std::size_t at, std::shared_ptr<SimFileNode>& entry) const
{
    entry = nullptr;
    for (; at < search.names.size(); ++at) {
        const std::u16string& key = search.names[at];
        if (key == u"." || key == u"..")
            return at;
        // Entries deleted since the listing began are not reported, as on NTFS.
        const auto child = search.folder->children.find(key);
        if (child != search.folder->children.end()) {
            entry = child->second;
            return at;
        }
    }
    return at;
}

bool SimFileSystem::fill(Search& search, WIN32_FIND_DATAW* data) const
{
    std::shared_ptr<SimFileNode> entry;
    search.next = present(search, search.next, entry);
    if (search.next == search.names.size())
        return false;
    std::u16string name = search.names[search.next++];
    DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
    std::u16string alias;
    std::size_t size = 0;
    if (entry) {
        attributes = File(*entry).visibleAttributes();
        name = entry->name;
        alias = entry->shortName;
        size = File(*entry).content.size();
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

namespace {

constexpr DWORD kTagMountPoint = 0xA0000003; // IO_REPARSE_TAG_MOUNT_POINT: a junction
constexpr DWORD kTagSymlink = 0xA000000C;    // IO_REPARSE_TAG_SYMLINK: a file link

LARGE_INTEGER Large(std::uint64_t value)
{
    LARGE_INTEGER result{};
    result.QuadPart = static_cast<std::int64_t>(value);
    return result;
}

} // namespace

DWORD SimFileSystem::listByHandle(Handle& handle, bool restart, void* buffer, DWORD size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const SimFileNode& folder = handle.node();
    if (!folder.folder || buffer == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (!handle.allows(FILE_LIST_DIRECTORY | GENERIC_READ | GENERIC_ALL))
        return ERROR_ACCESS_DENIED;
    if (restart || !handle.listing)
        handle.listing = snapshot(handle.object(), u"*", folder.drive == 0);
    Search& search = *handle.listing;
    auto* bytes = static_cast<unsigned char*>(buffer);
    FILE_ID_BOTH_DIR_INFO* previous = nullptr;
    for (std::size_t used = 0;;) {
        std::shared_ptr<SimFileNode> entry;
        const std::size_t at = present(search, search.next, entry);
        if (at == search.names.size()) {
            search.next = at;
            break;
        }
        const std::u16string& name = entry ? entry->name : search.names[at];
        const std::size_t length = offsetof(FILE_ID_BOTH_DIR_INFO, FileName) + name.size() * sizeof(char16_t);
        if (used + length > size) {
            if (previous == nullptr)
                return ERROR_MORE_DATA;
            break;
        }
        auto* info = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(bytes + used);
        std::memset(info, 0, length);
        if (previous != nullptr)
            previous->NextEntryOffset = static_cast<DWORD>(bytes + used - reinterpret_cast<unsigned char*>(previous));
        info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(char16_t));
        std::copy(name.begin(), name.end(), reinterpret_cast<char16_t*>(info->FileName));
        if (entry) {
            const SimFileNode& file = File(*entry);
            info->FileAttributes = file.visibleAttributes();
            info->EndOfFile = Large(file.content.size());
            info->FileId = Large(file.index);
            // A reparse point's tag stands where the extended attributes' size would.
            if (!file.link.empty())
                info->EaSize = file.folder ? kTagMountPoint : kTagSymlink;
            info->ShortNameLength = static_cast<std::int8_t>(entry->shortName.size() * sizeof(char16_t));
            std::copy(entry->shortName.begin(), entry->shortName.end(), reinterpret_cast<char16_t*>(info->ShortName));
        } else {
            info->FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
            const std::shared_ptr<const SimFileNode> parent = folder.parent.lock();
            info->FileId = Large(name == u"." ? folder.index : parent ? parent->index : 0);
        }
        previous = info;
        search.next = at + 1;
        used += (length + 7) & ~std::size_t{7};
    }
    return previous != nullptr ? ERROR_SUCCESS : ERROR_NO_MORE_FILES;
}
