#include "platform/files.h"

#include <vector>

#include "platform/errors.h"
#include "platform/os_api.h"

namespace {

UniqueKernelHandle OpenFile(const std::u16string& path, DWORD access, DWORD disposition)
{
    const HANDLE opened = Os().createFile(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        ThrowLastError();
    return UniqueKernelHandle(opened);
}

// Asks a call that fills a buffer and answers the length written, or the size it needs when the
// buffer is too short.
template <class Call>
std::optional<std::u16string> AskForText(Call call)
{
    std::vector<char16_t> buffer(MAX_PATH + 1, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return std::nullopt;
        if (length < buffer.size())
            return std::u16string(buffer.data(), length);
        buffer.assign(length, u'\0');
    }
    return std::nullopt;
}

} // namespace

void WriteFileReplacing(const std::u16string& path, std::string_view bytes)
{
    const UniqueKernelHandle file = OpenFile(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    // A short write leaves a file its reader would misread.
    WriteAll(file.get(), bytes);
    ThrowLastErrorIfFalse(Os().flushFileBuffers(file.get()));
}

void WriteAll(HANDLE file, std::string_view bytes)
{
    const auto size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ThrowLastErrorIfFalse(Os().writeFile(file, bytes.data(), size, &written, nullptr));
    if (written != size)
        ThrowWindowsError(ERROR_DISK_FULL);
}

std::optional<std::u16string> FullPathName(const std::u16string& path)
{
    return AskForText([&path](char16_t* buffer, DWORD size) {
        return Os().getFullPathName(path.c_str(), size, buffer, nullptr);
    });
}

std::optional<std::u16string> LongPathName(const std::u16string& path)
{
    return AskForText([&path](char16_t* buffer, DWORD size) {
        return Os().getLongPathName(path.c_str(), buffer, size);
    });
}

std::optional<std::u16string> FinalPathOf(HANDLE file)
{
    std::optional<std::u16string> path = AskForText([file](char16_t* buffer, DWORD size) {
        return Os().getFinalPathNameByHandle(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    if (!path)
        return std::nullopt;
    if (path->compare(0, 8, u"\\\\?\\UNC\\") == 0)
        return u"\\\\" + path->substr(8);
    if (path->compare(0, 4, u"\\\\?\\") == 0)
        return path->substr(4);
    return path;
}

std::optional<std::u16string> FinalPathName(const std::u16string& path)
{
    const HANDLE opened = Os().createFile(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const UniqueKernelHandle file(opened);
    return FinalPathOf(file.get());
}

bool OpenEntry(HANDLE folder, const std::u16string& name, DWORD access, UniqueKernelHandle& opened)
{
    std::u16string text = name;
    UNICODE_STRING objectName{};
    objectName.Length = static_cast<USHORT>(text.size() * sizeof(char16_t));
    objectName.MaximumLength = objectName.Length;
    objectName.Buffer = reinterpret_cast<decltype(objectName.Buffer)>(text.data());
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &objectName;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK status{};
    HANDLE file = nullptr;
    const NTSTATUS result = Os().ntCreateFile(
        &file, access | SYNCHRONIZE, &attributes, &status, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (result < 0) {
        Os().setLastError(Os().rtlNtStatusToDosError(result));
        return false;
    }
    opened.reset(file);
    return true;
}

std::vector<FolderEntry> ListFolder(HANDLE folder)
{
    std::vector<FolderEntry> entries;
    // Entries start on 8-byte boundaries; 64 KB holds a few hundred of them a call.
    std::vector<std::uint64_t> buffer(8192);
    const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(buffer[0]));
    for (FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;; next = FileIdBothDirectoryInfo) {
        if (!Os().getFileInformationByHandleEx(folder, next, buffer.data(), size)) {
            if (Os().getLastError() == ERROR_NO_MORE_FILES)
                return entries;
            ThrowLastError();
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (DWORD at = 0;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
            const std::u16string name(reinterpret_cast<const char16_t*>(entry->FileName),
                                      entry->FileNameLength / sizeof(char16_t));
            if (name != u"." && name != u"..")
                entries.push_back({name, entry->FileAttributes});
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
}

bool SetAttributesOf(HANDLE file, DWORD attributes)
{
    FILE_BASIC_INFO information{};
    // Zero leaves the attributes as they are; none at all is FILE_ATTRIBUTE_NORMAL.
    information.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return Os().setFileInformationByHandle(file, FileBasicInfo, &information, sizeof(information)) != FALSE;
}

bool MarkForDeletion(HANDLE file)
{
    FILE_DISPOSITION_INFO information{};
    information.DeleteFile = TRUE;
    return Os().setFileInformationByHandle(file, FileDispositionInfo, &information, sizeof(information)) != FALSE;
}
