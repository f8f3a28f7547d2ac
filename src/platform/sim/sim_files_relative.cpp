// A folder tree walked through handles: NtCreateFile opens one entry inside an open folder, found
// there whatever the folder is called now; each object is then changed, deleted and given a new
// access list through its own handle (SetFileInformationByHandle, SetSecurityInfo). A deletion
// asked that way is pending until the object's last handle closes: the object stays listed but
// opens no more, and then the name it was opened through leaves its folder.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/sim_files_internal.h"
#include "platform/sim/sim_machine.h"

using namespace SimFilesInternal;

namespace {

constexpr NTSTATUS kStatusDirectoryNotEmpty = static_cast<NTSTATUS>(0xC0000101);
constexpr ULONG kErrorInvalidFunction = 1;
constexpr DWORD kErrorBadLength = 24;
constexpr ULONG_PTR kFileOpened = 1;

// FILE_STANDARD_INFO's layout.
struct StandardInformation {
    LARGE_INTEGER AllocationSize;
    LARGE_INTEGER EndOfFile;
    DWORD NumberOfLinks;
    BOOLEAN DeletePending;
    BOOLEAN Directory;
};

// The drive an object lives on, through the folders that hold it; 0 when a folder on the way is gone.
char16_t DriveOf(const SimFileNode& node)
{
    std::shared_ptr<const SimFileNode> holder;
    const SimFileNode* at = &node;
    while (at->drive == 0) {
        holder = at->parent.lock();
        if (!holder)
            return 0;
        at = holder.get();
    }
    return at->drive;
}

} // namespace

ULONG SimFilesInternal::DosError(NTSTATUS status)
{
    struct Mapping {
        NTSTATUS status;
        ULONG error;
    };
    static constexpr Mapping kMappings[] = {
        {kStatusSuccess, ERROR_SUCCESS},
        {kStatusNotImplemented, kErrorInvalidFunction},
        {kStatusInvalidHandle, ERROR_INVALID_HANDLE},
        {kStatusInvalidParameter, ERROR_INVALID_PARAMETER},
        {kStatusAccessDenied, ERROR_ACCESS_DENIED},
        {kStatusObjectNameInvalid, ERROR_INVALID_NAME},
        {kStatusObjectNameNotFound, ERROR_FILE_NOT_FOUND},
        {kStatusObjectPathNotFound, ERROR_PATH_NOT_FOUND},
        {kStatusSharingViolation, ERROR_SHARING_VIOLATION},
        {kStatusDeletePending, ERROR_ACCESS_DENIED},
        {kStatusFileIsADirectory, ERROR_ACCESS_DENIED},
        {kStatusNotADirectory, ERROR_DIRECTORY},
        {kStatusCannotDelete, ERROR_ACCESS_DENIED},
        {kStatusKeyDeleted, ERROR_KEY_DELETED},
        {kStatusDirectoryNotEmpty, ERROR_DIR_NOT_EMPTY},
    };
    for (const Mapping& mapping : kMappings)
        if (mapping.status == status)
            return mapping.error;
    return ERROR_MR_MID_NOT_FOUND;
}

std::optional<std::u16string> SimFileSystem::relativePath(SimMachine& machine, HANDLE root,
                                                          const std::u16string& name) const
{
    std::u16string path;
    if (finalPath(machine, root, path) != ERROR_SUCCESS)
        return std::nullopt;
    path.erase(0, 4); // "\\?\"
    if (path.back() != u'\\')
        path += u'\\';
    return path + name;
}

NTSTATUS SimFileSystem::openRelative(SimMachine& machine, HANDLE root, const std::u16string& name,
                                     const std::optional<std::u16string>& path, DWORD access, DWORD share,
                                     ULONG options, HANDLE& file)
{
    const auto folder = machine.handleObject<Handle>(root);
    if (!folder)
        return kStatusInvalidHandle;
    std::unique_lock<std::mutex> lock(mutex_);
    if (networkDrives_.count(DriveOf(folder->node()))) {
        std::lock_guard<std::mutex> reached(reachedMutex_);
        remoteReached_.push_back(path.value_or(name));
    }
    if (!folder->node().folder)
        return kStatusInvalidParameter;
    // A junction opened as itself holds no entries: what it pointed at is not reached through it.
    const auto child = FindChild(folder->node(), name);
    if (child == folder->node().children.end())
        return kStatusObjectNameNotFound;
    std::shared_ptr<SimFileNode> entry = child->second;
    std::shared_ptr<SimFileNode> node = entry->sameFileAs ? entry->sameFileAs : entry;
    if (!node->link.empty() && (!(options & FILE_OPEN_REPARSE_POINT) || node->hostLink)) {
        std::shared_ptr<SimFileNode> target;
        if (resolveText(node->link, target, 1) != ERROR_SUCCESS)
            return kStatusObjectNameNotFound;
        entry = node = target;
    }
    if ((options & FILE_DIRECTORY_FILE) && !node->folder)
        return kStatusNotADirectory;
    if ((options & FILE_NON_DIRECTORY_FILE) && node->folder)
        return kStatusFileIsADirectory;
    if (const NTSTATUS status = Admit(*node, access, share, (access & kWriteRights) != 0))
        return status;
    auto handle = std::make_shared<Handle>(weak_from_this(), entry, node, access, share);
    lock.unlock();
    file = machine.addHandle(std::move(handle));
    return kStatusSuccess;
}

DWORD SimFileSystem::informationByHandle(SimMachine& machine, HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                         void* information, DWORD size)
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (kind == FileIdBothDirectoryRestartInfo || kind == FileIdBothDirectoryInfo)
        return listByHandle(*handle, kind == FileIdBothDirectoryRestartInfo, information, size);
    if (kind != FileStandardInfo)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (information == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (size < sizeof(StandardInformation))
        return kErrorBadLength;
    std::lock_guard<std::mutex> lock(mutex_);
    const SimFileNode& node = handle->node();
    // The clusters a file takes are not modelled: AllocationSize stays 0.
    StandardInformation standard{};
    standard.EndOfFile.QuadPart = static_cast<std::int64_t>(node.content.size());
    standard.NumberOfLinks = node.links;
    standard.DeletePending = node.deletePending ? 1 : 0;
    standard.Directory = node.folder ? 1 : 0;
    std::memcpy(information, &standard, sizeof standard);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::changeByHandle(SimMachine& machine, HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind,
                                    const void* information, DWORD size)
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (kind != FileBasicInfo && kind != FileDispositionInfo)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (information == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (size < (kind == FileBasicInfo ? sizeof(FILE_BASIC_INFO) : sizeof(FILE_DISPOSITION_INFO)))
        return kErrorBadLength;
    if (kind == FileBasicInfo) {
        if (!handle->allows(FILE_WRITE_ATTRIBUTES | GENERIC_WRITE | GENERIC_ALL))
            return ERROR_ACCESS_DENIED;
        FILE_BASIC_INFO basic;
        std::memcpy(&basic, information, sizeof basic);
        // No times are kept here: only "leave it as it is" (0, or -1) is honoured.
        for (const LARGE_INTEGER& time : {basic.CreationTime, basic.LastAccessTime, basic.LastWriteTime, basic.ChangeTime})
            if (time.QuadPart != 0 && time.QuadPart != -1)
                return ERROR_CALL_NOT_IMPLEMENTED;
        std::lock_guard<std::mutex> lock(mutex_);
        if (basic.FileAttributes != 0)
            handle->node().attributes = basic.FileAttributes & kSettable;
        return ERROR_SUCCESS;
    }
    if (!handle->allows(DELETE | GENERIC_ALL))
        return ERROR_ACCESS_DENIED;
    const bool remove = static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != 0;
    std::lock_guard<std::mutex> lock(mutex_);
    SimFileNode& node = handle->node();
    if (!remove) {
        node.deletePending = false;
        node.pendingName.reset();
        return ERROR_SUCCESS;
    }
    // A drive's root is no entry of any folder; the system maps a running program's image.
    if (node.drive != 0 || (node.attributes & FILE_ATTRIBUTE_READONLY) || node.runningImage())
        return ERROR_ACCESS_DENIED;
    // A junction goes by itself; what it points at is never looked at.
    if (node.folder && node.link.empty() && !node.children.empty())
        return ERROR_DIR_NOT_EMPTY;
    node.deletePending = true;
    node.pendingName = handle->entry();
    return ERROR_SUCCESS;
}

void SimFileSystem::dropPending(SimFileNode& file)
{
    file.deletePending = false;
    const std::shared_ptr<SimFileNode> entry = file.pendingName.lock();
    file.pendingName.reset();
    const auto parent = entry ? std::const_pointer_cast<SimFileNode>(entry->parent.lock()) : nullptr;
    if (!parent)
        return;
    // A name deleted or taken by another object since has nothing left to remove; a folder the
    // set-up filled meanwhile stays, as no deletion of a folder with entries is made.
    const auto found = parent->children.find(Folded(entry->name));
    if (found == parent->children.end() || found->second != entry ||
        (entry->folder && entry->link.empty() && !entry->children.empty()))
        return;
    --File(*entry).links;
    parent->children.erase(found);
}

DWORD SimFileSystem::applySecurity(SimMachine& machine, HANDLE file, SECURITY_INFORMATION information,
                                   bool currentUserFullAccess, bool ownerIsCurrentUser)
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (((information & OWNER_SECURITY_INFORMATION) && !handle->allows(WRITE_OWNER | GENERIC_ALL)) ||
        ((information & DACL_SECURITY_INFORMATION) && !handle->allows(WRITE_DAC | GENERIC_ALL)))
        return ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(mutex_);
    return ApplySecurity(handle->node(), information, currentUserFullAccess, ownerIsCurrentUser);
}

DWORD SimFileSystem::securityOf(SimMachine& machine, HANDLE file, const std::vector<BYTE>& currentUser,
                                SimObjectSecurity& security) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (!handle->allows(READ_CONTROL | GENERIC_READ | GENERIC_ALL))
        return ERROR_ACCESS_DENIED;
    std::lock_guard<std::mutex> lock(mutex_);
    security = SecurityOf(handle->node(), currentUser);
    return ERROR_SUCCESS;
}

NTSTATUS SimMachine::ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                                  IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes,
                                  ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength)
{
    // A native call: an injected fault is its status, and the thread's last error stays as it was.
    const DWORD lastError = getLastError();
    if (const DWORD fault = enter(SimCall::NtCreateFile)) {
        setLastError(lastError);
        return static_cast<NTSTATUS>(fault);
    }
    // The size and attributes of a new file: no open here creates one.
    (void)allocationSize;
    (void)fileAttributes;
    constexpr ULONG kModelledOptions = FILE_DIRECTORY_FILE | FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT |
                                       FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT;
    if (file == nullptr || attributes == nullptr || ioStatus == nullptr || attributes->ObjectName == nullptr ||
        ((options & FILE_DIRECTORY_FILE) && (options & FILE_NON_DIRECTORY_FILE)) ||
        // Synchronous input and output waits on the handle, which takes the right to.
        ((options & FILE_SYNCHRONOUS_IO_NONALERT) && !(access & SYNCHRONIZE)))
        return kStatusInvalidParameter;
    // Only an existing entry opened inside an open folder is modelled: no full names, no creation,
    // no extended attributes, no streams, no reopening of the folder itself by an empty name.
    const UNICODE_STRING& objectName = *attributes->ObjectName;
    if (attributes->RootDirectory == nullptr || disposition != FILE_OPEN || (options & ~kModelledOptions) != 0 ||
        eaBuffer != nullptr || eaLength != 0 || (attributes->Attributes & ~OBJ_CASE_INSENSITIVE) != 0 ||
        objectName.Length == 0)
        return kStatusNotImplemented;
    if (objectName.Length % sizeof(char16_t) != 0 || objectName.Buffer == nullptr)
        return kStatusInvalidParameter;
    const std::u16string name(objectName.Buffer, objectName.Length / sizeof(char16_t));
    if (name.find(u':') != std::u16string::npos)
        return kStatusNotImplemented;
    if (name == u"." || name == u".." ||
        std::any_of(name.begin(), name.end(), [](char16_t c) { return c == u'\\' || InvalidNameCharacter(c); }))
        return kStatusObjectNameInvalid;
    const std::optional<std::u16string> path = files().relativePath(*this, attributes->RootDirectory, name);
    if (path)
        if (const std::function<void()> action = files().takeBeforeOpening(path->c_str()))
            action();
    HANDLE opened = nullptr;
    if (const NTSTATUS status = files().openRelative(*this, attributes->RootDirectory, name, path, access,
                                                     shareAccess, options, opened))
        return status;
    *file = opened;
    ioStatus->Status = kStatusSuccess;
    ioStatus->Information = kFileOpened;
    return kStatusSuccess;
}

ULONG SimMachine::rtlNtStatusToDosError(NTSTATUS status)
{
    const DWORD lastError = getLastError();
    if (const DWORD fault = enter(SimCall::RtlNtStatusToDosError)) {
        setLastError(lastError);
        return fault;
    }
    return DosError(status);
}
