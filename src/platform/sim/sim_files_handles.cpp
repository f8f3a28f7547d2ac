// Open files of the simulated machine: CreateFileW with its dispositions, the access and sharing
// rules every open shares, the handle that keeps count of how its object is open, WriteFile, and
// what a handle tells of its object (GetFileInformationByHandle, GetFinalPathNameByHandleW).

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <string_view>

#include "platform/sim/sim_files_internal.h"
#include "platform/sim/sim_machine.h"

using namespace SimFilesInternal;

namespace {

constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kFlagSequentialScan = 0x08000000;
constexpr DWORD kFlagWriteThrough = 0x80000000;

// What a denying access list still lets the current user open: the attributes (the parent
// folder's listing right grants them), the security descriptor to read, the owner to replace (the
// privilege to take ownership), and the access list to replace where the list lets the user or
// once the user owns the object.
DWORD StillGranted(const SimFileNode& node)
{
    const DWORD always = FILE_READ_ATTRIBUTES | SYNCHRONIZE | READ_CONTROL | WRITE_OWNER;
    if (node.access == SimAccess::DeniesUntilOwned && !node.ownedByCurrentUser)
        return always;
    return always | WRITE_DAC;
}

} // namespace

namespace SimFilesInternal {

NTSTATUS Admit(const SimFileNode& node, DWORD access, DWORD share, bool writes)
{
    if (node.deletePending)
        return kStatusDeletePending;
    if ((node.access != SimAccess::Open && (access & ~StillGranted(node)) != 0) ||
        (writes && !node.folder && (node.attributes & FILE_ATTRIBUTE_READONLY)))
        return kStatusAccessDenied;
    if (((access & DELETE) && node.opensWithoutDeleteShare > 0) ||
        (!(share & FILE_SHARE_DELETE) && node.opensForDelete > 0))
        return kStatusSharingViolation;
    return kStatusSuccess;
}

} // namespace SimFilesInternal

SimFileSystem::Handle::Handle(std::weak_ptr<SimFileSystem> files, std::shared_ptr<SimFileNode> entry,
                              std::shared_ptr<SimFileNode> node, DWORD access, DWORD share)
    : files_(std::move(files)), entry_(std::move(entry)), node_(std::move(node)), access_(access), share_(share)
{
    if (!(share_ & FILE_SHARE_DELETE))
        ++node_->opensWithoutDeleteShare;
    if (access_ & DELETE)
        ++node_->opensForDelete;
    ++node_->opens;
}

SimFileSystem::Handle::~Handle()
{
    const std::shared_ptr<SimFileSystem> files = files_.lock();
    std::unique_lock<std::mutex> lock;
    if (files)
        lock = std::unique_lock<std::mutex>(files->mutex_);
    if (!(share_ & FILE_SHARE_DELETE))
        --node_->opensWithoutDeleteShare;
    if (access_ & DELETE)
        --node_->opensForDelete;
    // Without the file system there is no folder left to take the entry out of.
    if (--node_->opens == 0 && node_->deletePending && files)
        files->dropPending(*node_);
}

bool SimFileSystem::Handle::mayWrite() const
{
    return !node_->folder && (access_ & kWriteRights);
}

bool SimFileSystem::Handle::appendsOnly() const
{
    return (access_ & FILE_APPEND_DATA) && !(access_ & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA));
}

DWORD SimFileSystem::createFile(SimMachine& machine, const char16_t* text, DWORD access,
                                DWORD shareMode, DWORD disposition, DWORD flagsAndAttributes,
                                HANDLE& file, bool& existed)
{
    const DWORD modelledFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                                kFlagSequentialScan | kFlagWriteThrough | 0xFFFF;
    if (flagsAndAttributes & ~modelledFlags)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (disposition < CREATE_NEW || disposition > kTruncateExisting)
        return ERROR_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (path.parts.empty()) {
        // "C:\" is the drive's root folder; the volume itself ("C:", "\\.\C:") is not modelled.
        const std::u16string_view raw(text);
        if (!IsSeparator(raw.back()))
            return ERROR_CALL_NOT_IMPLEMENTED;
        const auto drive = drives_.find(path.drive);
        if (drive == drives_.end())
            return ERROR_PATH_NOT_FOUND;
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || (disposition != OPEN_EXISTING && disposition != kOpenAlways))
            return ERROR_ACCESS_DENIED;
        existed = true;
        auto handle = std::make_shared<Handle>(weak_from_this(), drive->second, drive->second, access, shareMode);
        lock.unlock();
        file = machine.addHandle(std::move(handle));
        return ERROR_SUCCESS;
    }
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const std::u16string key = Folded(path.parts.back());
    std::shared_ptr<SimFileNode> entry;
    std::shared_ptr<SimFileNode> node;
    const auto child = FindChild(*parent, path.parts.back());
    existed = child != parent->children.end();
    if (existed) {
        entry = child->second;
        node = entry->sameFileAs ? entry->sameFileAs : entry;
        if (!node->link.empty() && (!(flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) || node->hostLink)) {
            std::shared_ptr<SimFileNode> target;
            if (resolveText(node->link, target, 1) != ERROR_SUCCESS)
                return ERROR_FILE_NOT_FOUND;
            entry = node = target;
        }
        if (disposition == CREATE_NEW)
            return ERROR_FILE_EXISTS;
        const bool writes = (access & kWriteRights) != 0 || disposition == CREATE_ALWAYS ||
                            disposition == kTruncateExisting;
        if (node->folder) {
            if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) ||
                disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
                return ERROR_ACCESS_DENIED;
        } else if (path.trailingSeparator) {
            return ERROR_INVALID_NAME;
        }
        if (const NTSTATUS status = Admit(*node, access, shareMode, writes))
            return DosError(status);
        if (disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
            node->content.clear();
    } else {
        if (disposition == OPEN_EXISTING || disposition == kTruncateExisting)
            return ERROR_FILE_NOT_FOUND;
        if (path.trailingSeparator)
            return ERROR_INVALID_NAME;
        // A folder whose deletion is pending takes no new entries.
        if (parent->access != SimAccess::Open || parent->deletePending)
            return ERROR_ACCESS_DENIED;
        entry = node = NewNode(*parent, path.parts.back());
        node->attributes = (flagsAndAttributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
        node->ownedByCurrentUser = true;
        parent->children.emplace(key, node);
    }
    auto handle = std::make_shared<Handle>(weak_from_this(), entry, node, access, shareMode);
    lock.unlock();
    file = machine.addHandle(std::move(handle));
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::checkFileHandle(SimMachine& machine, HANDLE file, bool forWriting) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    return forWriting && !handle->mayWrite() ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD SimFileSystem::writeFile(SimMachine& machine, HANDLE file, const void* buffer, DWORD bytes,
                               DWORD* written)
{
    if (const DWORD error = checkFileHandle(machine, file, true))
        return error;
    if (written == nullptr || (buffer == nullptr && bytes != 0))
        return ERROR_INVALID_PARAMETER;
    const auto handle = machine.handleObject<Handle>(file);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& content = handle->node().content;
    if (handle->appendsOnly())
        handle->position = content.size();
    if (content.size() < handle->position)
        content.resize(handle->position);
    content.replace(handle->position, std::min<std::size_t>(bytes, content.size() - handle->position),
                    static_cast<const char*>(buffer), bytes);
    handle->position += bytes;
    *written = bytes;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::fileInformation(SimMachine& machine, HANDLE file,
                                     BY_HANDLE_FILE_INFORMATION* information) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (information == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const SimFileNode& node = handle->node();
    *information = {};
    information->dwFileAttributes = node.visibleAttributes();
    information->dwVolumeSerialNumber = node.volume;
    information->nFileSizeLow = static_cast<DWORD>(node.content.size());
    information->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(node.content.size()) >> 32);
    information->nNumberOfLinks = node.links;
    information->nFileIndexLow = static_cast<DWORD>(node.index);
    information->nFileIndexHigh = static_cast<DWORD>(node.index >> 32);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::finalPath(SimMachine& machine, HANDLE file, std::u16string& path) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string_view> names;
    // From the name the object was opened through: a hard link's path is its own.
    const SimFileNode* node = handle->entry().get();
    while (node->drive == 0) {
        // A name deleted since leads nowhere any more.
        const std::shared_ptr<const SimFileNode> parent = node->parent.lock();
        if (!parent)
            return ERROR_FILE_NOT_FOUND;
        const auto entry = parent->children.find(Folded(node->name));
        if (entry == parent->children.end() || entry->second.get() != node)
            return ERROR_FILE_NOT_FOUND;
        names.push_back(node->name);
        node = parent.get();
    }
    path = u"\\\\?\\";
    path += node->drive;
    path += u':';
    if (names.empty())
        path += u'\\';
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path += u'\\';
        path += *name;
    }
    return ERROR_SUCCESS;
}
