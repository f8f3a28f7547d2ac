// Open files of the simulated machine: CreateFileW with its dispositions and sharing rules, the
// handle that keeps count of how its node is open (so that a deletion meets the sharing
// violation Windows gives), WriteFile, and GetFileInformationByHandle's identity of the object.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <string_view>

#include "platform/sim/sim_files_internal.h"
#include "platform/sim/sim_machine.h"

using namespace SimFilesInternal;

namespace {

constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kFileWriteData = 0x2;
constexpr DWORD kFileAppendData = 0x4;
constexpr DWORD kFlagSequentialScan = 0x08000000;
constexpr DWORD kFlagWriteThrough = 0x80000000;

} // namespace

class SimFileSystem::Handle : public SimKernelObject {
public:
    Handle(std::shared_ptr<SimFileNode> node, DWORD access, DWORD share)
        : node_(std::move(node)), access_(access), share_(share)
    {
        if (!(share_ & FILE_SHARE_DELETE))
            ++node_->opensWithoutDeleteShare;
        if (access_ & DELETE)
            ++node_->opensForDelete;
    }
    ~Handle() override
    {
        if (!(share_ & FILE_SHARE_DELETE))
            --node_->opensWithoutDeleteShare;
        if (access_ & DELETE)
            --node_->opensForDelete;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool mayWrite() const
    {
        return !node_->folder &&
               (access_ & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData));
    }
    // Opened to append only: every write lands at the end of the file, wherever it stands.
    bool appendsOnly() const
    {
        return (access_ & kFileAppendData) && !(access_ & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData));
    }
    SimFileNode& node() { return *node_; }
    std::size_t position = 0;

private:
    std::shared_ptr<SimFileNode> node_;
    DWORD access_;
    DWORD share_;
};

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
        auto handle = std::make_shared<Handle>(drive->second, access, shareMode);
        lock.unlock();
        file = machine.addHandle(std::move(handle));
        return ERROR_SUCCESS;
    }
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const std::u16string key = Folded(path.parts.back());
    std::shared_ptr<SimFileNode> node;
    const auto child = FindChild(*parent, path.parts.back());
    existed = child != parent->children.end();
    if (existed) {
        node = child->second->sameFileAs ? child->second->sameFileAs : child->second;
        if (!node->link.empty() && !(flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT)) {
            std::shared_ptr<SimFileNode> target;
            if (resolveText(node->link, target, 1) != ERROR_SUCCESS)
                return ERROR_FILE_NOT_FOUND;
            node = target;
        }
        if (disposition == CREATE_NEW)
            return ERROR_FILE_EXISTS;
        const bool writes = (access & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData |
                                       kFileAppendData)) != 0 ||
                            disposition == CREATE_ALWAYS || disposition == kTruncateExisting;
        if (node->folder) {
            if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) ||
                disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
                return ERROR_ACCESS_DENIED;
        } else if (path.trailingSeparator) {
            return ERROR_INVALID_NAME;
        }
        // Reading the attributes alone is granted by the parent folder's listing right,
        // whatever the object's own access list says.
        const bool attributesOnly = (access & ~(FILE_READ_ATTRIBUTES | SYNCHRONIZE)) == 0;
        if ((node->access != SimAccess::Open && !attributesOnly) ||
            (writes && !node->folder && (node->attributes & FILE_ATTRIBUTE_READONLY)))
            return ERROR_ACCESS_DENIED;
        if (((access & DELETE) && node->opensWithoutDeleteShare > 0) ||
            (!(shareMode & FILE_SHARE_DELETE) && node->opensForDelete > 0))
            return ERROR_SHARING_VIOLATION;
        if (disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
            node->content.clear();
    } else {
        if (disposition == OPEN_EXISTING || disposition == kTruncateExisting)
            return ERROR_FILE_NOT_FOUND;
        if (path.trailingSeparator)
            return ERROR_INVALID_NAME;
        if (parent->access != SimAccess::Open)
            return ERROR_ACCESS_DENIED;
        node = NewNode(*parent, path.parts.back());
        node->attributes = (flagsAndAttributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
        node->ownedByCurrentUser = true;
        parent->children.emplace(key, node);
    }
    auto handle = std::make_shared<Handle>(node, access, shareMode);
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
    const SimFileNode* node = &handle->node();
    while (node->drive == 0) {
        // A name deleted since leads nowhere any more.
        const std::shared_ptr<const SimFileNode> parent = node->parent.lock();
        if (!parent)
            return ERROR_FILE_NOT_FOUND;
        const auto entry = parent->children.find(Folded(node->name));
        if (entry == parent->children.end() || &File(*entry->second) != node)
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
