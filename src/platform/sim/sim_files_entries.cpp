// The seam's calls on a folder's entries by name: attributes read and set, files deleted, folders
// made and removed, and temporary file names. Here the simulated machine refuses what Windows
// refuses (read-only, a denying access list, a running program's image, a folder not empty, a
// handle open without delete sharing, a deletion already pending), with Windows' codes, since the
// removal's outcome hangs on exactly these refusals.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <string_view>

#include "platform/sim/sim_files_internal.h"

using namespace SimFilesInternal;

namespace {

constexpr DWORD kErrorDirectory = 267;      // ERROR_DIRECTORY: the name is not a folder
constexpr DWORD kErrorBufferOverflow = 111; // ERROR_BUFFER_OVERFLOW
// CreateDirectoryW leaves room for an 8.3 name below the new folder.
constexpr std::size_t kFolderPathLimit = MAX_PATH - 12;

// Whether the name of `file` may go as a deletion takes it: ERROR_SUCCESS, or why it stays.
DWORD WhyTheNameStays(SimFileNode& file)
{
    // The image of a running program is mapped by the system, which refuses its deletion.
    if ((file.attributes & FILE_ATTRIBUTE_READONLY) || file.access != SimAccess::Open || file.deletePending ||
        file.runningImage())
        return ERROR_ACCESS_DENIED;
    return file.opensWithoutDeleteShare > 0 ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

} // namespace

DWORD SimFileSystem::getAttributes(const char16_t* text, DWORD& attributes) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, false))
        return error;
    // The attributes are read through an open, which a pending deletion refuses.
    if (node->deletePending)
        return ERROR_ACCESS_DENIED;
    attributes = node->visibleAttributes();
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::setAttributes(const char16_t* text, DWORD attributes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, false))
        return error;
    if (node->access != SimAccess::Open || node->deletePending)
        return ERROR_ACCESS_DENIED;
    node->attributes = attributes & kSettable;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::deleteFile(const char16_t* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const auto child = FindChild(*parent, path.parts.back());
    if (child == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    SimFileNode& node = File(*child->second);
    if (path.trailingSeparator)
        return ERROR_INVALID_NAME;
    if (node.folder)
        return ERROR_ACCESS_DENIED;
    if (const DWORD error = WhyTheNameStays(node))
        return error;
    // One name goes; the file stays while it has another.
    --node.links;
    parent->children.erase(child);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::deleteAtStartUp(const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text.c_str(), kFolderPathLimit, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const auto child = FindChild(*parent, path.parts.back());
    if (child == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    const SimFileNode& node = *child->second;
    if (node.folder && node.link.empty() && !node.children.empty())
        return ERROR_DIR_NOT_EMPTY;
    parent->children.erase(child);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::removeDirectory(const char16_t* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const auto child = FindChild(*parent, path.parts.back());
    if (child == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    const SimFileNode& node = *child->second;
    if (!node.folder)
        return kErrorDirectory;
    if ((node.attributes & FILE_ATTRIBUTE_READONLY) || node.access != SimAccess::Open || node.deletePending)
        return ERROR_ACCESS_DENIED;
    // A junction goes by itself; what it points at is never looked at.
    if (node.link.empty() && !node.children.empty())
        return ERROR_DIR_NOT_EMPTY;
    if (node.opensWithoutDeleteShare > 0)
        return ERROR_SHARING_VIOLATION;
    parent->children.erase(child);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::move(const char16_t* existing, const char16_t* newName, bool replace)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path from;
    Path to;
    if (const DWORD error = parse(existing, MAX_PATH, from))
        return error;
    if (const DWORD error = parse(newName, MAX_PATH, to))
        return error;
    std::shared_ptr<SimFileNode> fromFolder;
    std::shared_ptr<SimFileNode> toFolder;
    if (const DWORD error = resolveParent(from, fromFolder))
        return error;
    if (const DWORD error = resolveParent(to, toFolder))
        return error;
    const auto moving = FindChild(*fromFolder, from.parts.back());
    if (moving == fromFolder->children.end())
        return ERROR_FILE_NOT_FOUND;
    const std::shared_ptr<SimFileNode> entry = moving->second;
    SimFileNode& file = File(*entry);
    if (entry->folder && entry->link.empty())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (fromFolder->volume != toFolder->volume)
        return ERROR_NOT_SAME_DEVICE;
    // Renaming takes the right to delete the name, in both folders the right to change them.
    if (file.access != SimAccess::Open || fromFolder->access != SimAccess::Open ||
        toFolder->access != SimAccess::Open || file.deletePending || toFolder->deletePending)
        return ERROR_ACCESS_DENIED;
    if (file.opensWithoutDeleteShare > 0)
        return ERROR_SHARING_VIOLATION;
    const auto there = FindChild(*toFolder, to.parts.back());
    if (there != toFolder->children.end() && there->second != entry) {
        SimFileNode& replaced = File(*there->second);
        if (!replace)
            return ERROR_ALREADY_EXISTS;
        // What is replaced goes as a deletion would: a link itself, never what it leads to.
        if (there->second->folder && there->second->link.empty())
            return ERROR_ACCESS_DENIED;
        if (const DWORD error = WhyTheNameStays(replaced))
            return error;
        --replaced.links;
        toFolder->children.erase(there);
    }
    fromFolder->children.erase(FindChild(*fromFolder, from.parts.back()));
    entry->name = to.parts.back();
    entry->shortName = ShortNameFor(*toFolder, entry->name);
    entry->parent = toFolder->weak_from_this();
    toFolder->children.emplace(Folded(entry->name), entry);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::createDirectory(const char16_t* text, const SimObjectSecurity* made)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, kFolderPathLimit, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    if (FindChild(*parent, path.parts.back()) != parent->children.end())
        return ERROR_ALREADY_EXISTS;
    if (parent->access != SimAccess::Open || parent->deletePending)
        return ERROR_ACCESS_DENIED;
    const std::shared_ptr<SimFileNode> slot = NewNode(*parent, path.parts.back());
    parent->children.emplace(Folded(path.parts.back()), slot);
    slot->folder = true;
    slot->ownedByCurrentUser = true;
    if (made) {
        slot->madeList = *made->list;
        slot->standardUsersMayChange = false;
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::tempPath(std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    path = tempPath_;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::tempFileName(const char16_t* folder, const char16_t* prefix, UINT unique,
                                  char16_t* name, UINT& number)
{
    if (folder == nullptr || name == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string base(folder);
    if (base.empty() || base.back() != u'\\')
        base += u'\\';
    if (prefix != nullptr)
        base += std::u16string_view(prefix).substr(0, 3);
    if (base.size() > MAX_PATH - 14)
        return kErrorBufferOverflow;
    const auto nameFor = [&base](UINT value) {
        static const char16_t digits[] = u"0123456789ABCDEF";
        std::u16string hex;
        for (value &= 0xFFFF; value != 0 || hex.empty(); value >>= 4)
            hex.insert(hex.begin(), digits[value & 0xF]);
        return base + hex + u".tmp";
    };
    std::u16string result;
    if (unique != 0) {
        result = nameFor(unique);
        number = unique;
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        Path path;
        if (const DWORD error = parse(folder, MAX_PATH, path))
            return error;
        std::shared_ptr<SimFileNode> parent;
        if (const DWORD error = walk(path, path.parts.size(), parent, 0))
            return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
        if (enterFolder(parent, 0) != ERROR_SUCCESS)
            return kErrorDirectory;
        if (parent->access != SimAccess::Open || parent->deletePending)
            return ERROR_ACCESS_DENIED;
        for (unsigned tries = 0;; ++tries) {
            if (tries == 0xFFFF)
                return ERROR_FILE_EXISTS;
            tempCounter_ = (tempCounter_ + 1) & 0xFFFF;
            if (tempCounter_ == 0)
                continue;
            result = nameFor(tempCounter_);
            const std::u16string leaf = result.substr(result.rfind(u'\\') + 1);
            auto& slot = parent->children[Folded(leaf)];
            if (slot)
                continue;
            slot = NewNode(*parent, leaf);
            slot->attributes = FILE_ATTRIBUTE_ARCHIVE;
            slot->ownedByCurrentUser = true;
            number = tempCounter_;
            break;
        }
    }
    std::copy(result.begin(), result.end(), name);
    name[result.size()] = u'\0';
    return ERROR_SUCCESS;
}
