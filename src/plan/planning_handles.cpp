// The planning layer's answers for files and folders walked through handles: a name opened inside
// an open folder, a folder listed through its handle, attributes, access and deletions set through
// an object's own handle. Each open handle stands for its name, so that the overlay keeps what is
// changed through it as it keeps what is changed by name.

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "plan/planning_internal.h"

using PlanningInternal::Upper;

void PlanningOsApi::opened(HANDLE handle, std::u16string name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    openFiles_[handle] = std::move(name);
}

std::u16string PlanningOsApi::openedName(HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = openFiles_.find(handle);
    return found == openFiles_.end() ? std::u16string() : found->second;
}

NTSTATUS PlanningOsApi::ntCreateFile(HANDLE* file, ACCESS_MASK access, OBJECT_ATTRIBUTES* attributes,
                                     IO_STATUS_BLOCK* ioStatus, LARGE_INTEGER* allocationSize, ULONG fileAttributes,
                                     ULONG shareAccess, ULONG disposition, ULONG options, void* eaBuffer, ULONG eaLength)
{
    const std::u16string folder = attributes ? openedName(attributes->RootDirectory) : std::u16string();
    std::u16string name;
    if (!folder.empty() && attributes->ObjectName && attributes->ObjectName->Buffer)
        name = folder + u'\\' +
               Upper(std::u16string(reinterpret_cast<const char16_t*>(attributes->ObjectName->Buffer),
                                    attributes->ObjectName->Length / sizeof(char16_t)));
    // Only an open of what is there passes: one that would make, replace or delete on close changes.
    constexpr ULONG kDeleteOnClose = 0x00001000;
    if (disposition != FILE_OPEN || (options & kDeleteOnClose))
        return kStatusNotImplemented;
    if (!name.empty() && pathGone(name))
        return kStatusObjectNameNotFound;
    // Opening changes nothing, whatever it asks for: only what is then done through the handle does.
    const auto open = [&](ACCESS_MASK asked) {
        return below().ntCreateFile(file, asked, attributes, ioStatus, allocationSize, fileAttributes, shareAccess,
                                     disposition, options, eaBuffer, eaLength);
    };
    NTSTATUS status = open(access);
    // An access list the plan replaced would have let the object open: it is opened for what its
    // folder's listing right gives, which is all the plan reads of it.
    if (status == kStatusAccessDenied && !name.empty()) {
        bool granted = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            granted = grantedFiles_.count(name) != 0;
        }
        if (granted)
            status = open(FILE_READ_ATTRIBUTES | SYNCHRONIZE);
    }
    if (status >= 0 && !name.empty())
        opened(*file, name);
    return status;
}

BOOL PlanningOsApi::getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                                 void* information, DWORD size)
{
    const std::u16string name = openedName(file);
    const bool listing = informationClass == FileIdBothDirectoryInfo || informationClass == FileIdBothDirectoryRestartInfo;
    if (name.empty() || !listing)
        return below().getFileInformationByHandleEx(file, informationClass, information, size);
    // Listed through the handle, as the walk lists it (a listing by name would conflict with the
    // handle's right to delete under Wine), then filtered as the overlay shows the folder: what
    // the plan deleted is not there, what it changed reads changed. A call whose entries were all
    // filtered out asks for the next ones.
    for (;; informationClass = FileIdBothDirectoryInfo) {
        if (!below().getFileInformationByHandleEx(file, informationClass, information, size))
            return FALSE;
        auto* bytes = static_cast<unsigned char*>(information);
        FILE_ID_BOTH_DIR_INFO* kept = nullptr;
        DWORD to = 0;
        for (DWORD from = 0;;) {
            auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(bytes + from);
            const DWORD next = entry->NextEntryOffset;
            const std::u16string entryName(reinterpret_cast<const char16_t*>(entry->FileName),
                                           entry->FileNameLength / sizeof(char16_t));
            const std::u16string path = name + u'\\' + Upper(entryName);
            if (entryName == u"." || entryName == u".." || !pathGone(path)) {
                const DWORD length = static_cast<DWORD>(offsetof(FILE_ID_BOTH_DIR_INFO, FileName)) + entry->FileNameLength;
                to = (to + 7) & ~7u;
                auto* moved = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(bytes + to);
                std::memmove(moved, entry, length);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    const auto changedTo = attributes_.find(path);
                    if (changedTo != attributes_.end())
                        moved->FileAttributes = changedTo->second;
                }
                if (kept)
                    kept->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<unsigned char*>(moved) - reinterpret_cast<unsigned char*>(kept));
                kept = moved;
                to += length;
            }
            if (next == 0)
                break;
            from += next;
        }
        if (kept) {
            kept->NextEntryOffset = 0;
            return TRUE;
        }
    }
}

BOOL PlanningOsApi::setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                               void* information, DWORD size)
{
    const std::u16string name = openedName(file);
    if (name.empty() || information == nullptr) {
        below().setLastError(name.empty() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The overlay's own calls by name keep the change, as they would for the name itself.
    const std::u16string path = (name.compare(0, 2, u"\\\\") == 0 ? u"\\\\?\\UNC\\" + name.substr(2) : u"\\\\?\\" + name);
    if (informationClass == FileBasicInfo && size >= sizeof(FILE_BASIC_INFO)) {
        const DWORD attributes = static_cast<const FILE_BASIC_INFO*>(information)->FileAttributes;
        return attributes == 0 ? TRUE : setFileAttributes(path.c_str(), attributes);
    }
    if (informationClass == FileDispositionInfo && size >= sizeof(FILE_DISPOSITION_INFO)) {
        if (!static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile)
            return TRUE;
        const DWORD attributes = getFileAttributes(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return FALSE;
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? removeDirectory(path.c_str()) : deleteFile(path.c_str());
    }
    below().setLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

DWORD PlanningOsApi::setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL)
{
    const std::u16string name = openedName(handle);
    if (name.empty())
        return ERROR_INVALID_HANDLE;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        grantedFiles_.insert(name);
    }
    changed();
    return ERROR_SUCCESS;
}
