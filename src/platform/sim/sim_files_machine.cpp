// The machine's file calls: each counts itself and answers an injected fault first, refuses what
// the file system does not model (most security descriptors, templates, overlapped writes), then
// hands the call to the file system and turns its error code into the Win32 call's return value
// and last error.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <optional>

#include "platform/security_descriptor.h"
#include "platform/sim/sim_console.h"
#include "platform/sim/sim_files_internal.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_text.h"

using SimFilesInternal::kOpenAlways;

namespace {

// How the path calls hand out a name: its length when it fits with its terminator, else the
// room it needs, terminator included.
DWORD PathAnswer(const std::u16string& result, char16_t* buffer, DWORD length)
{
    const auto size = static_cast<DWORD>(result.size());
    if (buffer == nullptr || length < size + 1)
        return size + 1;
    std::copy(result.begin(), result.end(), buffer);
    buffer[size] = u'\0';
    return size;
}

} // namespace

SimFileSystem& SimMachine::files()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!files_)
        files_ = std::make_shared<SimFileSystem>();
    return *files_;
}

DWORD SimMachine::getFileAttributes(const char16_t* path)
{
    if (enter(SimCall::GetFileAttributes))
        return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (const DWORD error = files().getAttributes(path, attributes))
        return fail(error, INVALID_FILE_ATTRIBUTES);
    return attributes;
}

BOOL SimMachine::setFileAttributes(const char16_t* path, DWORD attributes)
{
    if (enter(SimCall::SetFileAttributes))
        return FALSE;
    if (const DWORD error = files().setAttributes(path, attributes))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

HANDLE SimMachine::findFirstFile(const char16_t* pattern, WIN32_FIND_DATAW* data)
{
    if (enter(SimCall::FindFirstFile))
        return INVALID_HANDLE_VALUE;
    HANDLE find = INVALID_HANDLE_VALUE;
    if (const DWORD error = files().findFirst(pattern, data, find))
        return fail(error, INVALID_HANDLE_VALUE);
    return find;
}

BOOL SimMachine::findNextFile(HANDLE find, WIN32_FIND_DATAW* data)
{
    if (enter(SimCall::FindNextFile))
        return FALSE;
    if (const DWORD error = files().findNext(find, data))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

BOOL SimMachine::findClose(HANDLE find)
{
    if (enter(SimCall::FindClose))
        return FALSE;
    if (const DWORD error = files().findClose(find))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

BOOL SimMachine::deleteFile(const char16_t* path)
{
    if (enter(SimCall::DeleteFile))
        return FALSE;
    if (const DWORD error = files().deleteFile(path))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

BOOL SimMachine::removeDirectory(const char16_t* path)
{
    if (enter(SimCall::RemoveDirectory))
        return FALSE;
    if (const DWORD error = files().removeDirectory(path))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

BOOL SimMachine::createDirectory(const char16_t* path, SECURITY_ATTRIBUTES* attributes)
{
    if (enter(SimCall::CreateDirectory))
        return FALSE;
    SimObjectSecurity made;
    const void* descriptor = attributes != nullptr ? attributes->lpSecurityDescriptor : nullptr;
    if (descriptor != nullptr) {
        if (const DWORD error = SimReadDescriptor(descriptor, security().token(), made))
            return fail<BOOL>(error, FALSE);
        // Modelled for a folder: an access list of its own, nothing inherited, and no owner named
        // (the folder is its maker's).
        const BYTE* bytes = static_cast<const BYTE*>(descriptor);
        const bool ownerNamed = (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;
        if (!made.list || !(made.control & kSeDaclProtected) || ownerNamed)
            return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    }
    if (const DWORD error = files().createDirectory(path, descriptor != nullptr ? &made : nullptr))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

HANDLE SimMachine::createFile(const char16_t* path, DWORD access, DWORD shareMode,
                              SECURITY_ATTRIBUTES* attributes, DWORD disposition,
                              DWORD flagsAndAttributes, HANDLE templateFile)
{
    if (enter(SimCall::CreateFile))
        return INVALID_HANDLE_VALUE;
    if (const std::function<void()> action = files().takeBeforeOpening(path))
        action();
    if ((attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) ||
        templateFile != nullptr)
        return fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (path != nullptr && SimSameName(path, u"CONOUT$")) {
        if (const DWORD error = console().openOutput(*this, file))
            return fail(error, INVALID_HANDLE_VALUE);
        return file;
    }
    bool existed = false;
    if (const DWORD error = files().createFile(*this, path, access, shareMode, disposition,
                                               flagsAndAttributes, file, existed))
        return fail(error, INVALID_HANDLE_VALUE);
    // The two "always" dispositions tell whether the file was there before.
    if (disposition == CREATE_ALWAYS || disposition == kOpenAlways)
        setLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

BOOL SimMachine::writeFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                           DWORD* bytesWritten, LPOVERLAPPED overlapped)
{
    if (enter(SimCall::WriteFile))
        return FALSE;
    // Bytes to a console go through its code page, which this machine does not model.
    if (overlapped != nullptr || console().isConsole(*this, file))
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (const DWORD error = files().writeFile(*this, file, buffer, bytesToWrite, bytesWritten))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

namespace {

const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char16_t kPendingOperations[] = u"PendingFileRenameOperations";

} // namespace

BOOL SimMachine::moveFileEx(const char16_t* existing, const char16_t* newName, DWORD flags)
{
    if (enter(SimCall::MoveFileEx))
        return FALSE;
    // A file renamed over another on its drive, or a deletion when Windows next starts.
    if ((flags & ~(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) == 0 && newName != nullptr) {
        if (const DWORD error = files().move(existing, newName, (flags & MOVEFILE_REPLACE_EXISTING) != 0))
            return fail<BOOL>(error, FALSE);
        return TRUE;
    }
    if (flags != MOVEFILE_DELAY_UNTIL_REBOOT || newName != nullptr)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    // The system's own name of the path, "\??\C:\...", as RtlDosPathNameToNtPathName_U makes it;
    // the file need not exist. Each deletion is the name and an empty new name; the list ends
    // with one more terminator.
    const std::u16string_view path = existing != nullptr ? existing : u"";
    std::u16string ntName;
    if (path.substr(0, 4) == u"\\\\?\\") {
        ntName = u"\\??\\" + std::u16string(path.substr(4));
    } else if (const std::optional<std::u16string> full = SimFullPath(path, files().currentFolder())) {
        ntName = u"\\??\\" + *full;
    } else {
        return fail<BOOL>(ERROR_PATH_NOT_FOUND, FALSE);
    }
    std::vector<BYTE> data = registry().valueData(HKEY_LOCAL_MACHINE, kSessionManager, kPendingOperations)
                                 .value_or(std::vector<BYTE>{});
    if (data.size() >= 2)
        data.resize(data.size() - 2);
    for (const char16_t c : ntName + u'\0' + u'\0' + u'\0') {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    registry().setValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingOperations, REG_MULTI_SZ, std::move(data));
    return TRUE;
}

void SimMachine::restart()
{
    const std::vector<BYTE> data = registry().valueData(HKEY_LOCAL_MACHINE, kSessionManager, kPendingOperations)
                                       .value_or(std::vector<BYTE>{});
    std::vector<std::u16string> strings(1);
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == u'\0')
            strings.emplace_back();
        else
            strings.back() += c;
    }
    // Pairs of the name and its new name; an empty new name deletes. In the order listed.
    for (std::size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2)
        if (strings[i + 1].empty() && strings[i].rfind(u"\\??\\", 0) == 0)
            files().deleteAtStartUp(u"\\\\?\\" + strings[i].substr(4));
    registry().removeValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingOperations);
}

BOOL SimMachine::flushFileBuffers(HANDLE file)
{
    if (enter(SimCall::FlushFileBuffers))
        return FALSE;
    // The contents live in memory: a handle that may write has nothing left to flush.
    if (const DWORD error = files().checkFileHandle(*this, file, true))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

DWORD SimMachine::getTempPath(DWORD bufferLength, char16_t* buffer)
{
    if (enter(SimCall::GetTempPath))
        return 0;
    std::u16string path;
    files().tempPath(path);
    const auto length = static_cast<DWORD>(path.size());
    if (buffer == nullptr || bufferLength < length + 1)
        return length + 1; // the size needed, terminator included
    std::copy(path.begin(), path.end(), buffer);
    buffer[length] = u'\0';
    return length;
}

DWORD SimMachine::getFullPathName(const char16_t* fileName, DWORD bufferLength, char16_t* buffer,
                                  char16_t** filePart)
{
    if (enter(SimCall::GetFullPathName))
        return 0;
    if (fileName == nullptr)
        return fail<DWORD>(ERROR_INVALID_PARAMETER, 0);
    const std::optional<std::u16string> full = SimFullPath(fileName, files().currentFolder());
    if (!full)
        return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    const auto length = static_cast<DWORD>(full->size());
    if (buffer == nullptr || bufferLength < length + 1)
        return length + 1; // the size needed, terminator included
    std::copy(full->begin(), full->end(), buffer);
    buffer[length] = u'\0';
    if (filePart != nullptr) {
        const std::size_t name = full->find_last_of(u'\\') + 1;
        *filePart = name < full->size() ? buffer + name : nullptr;
    }
    return length;
}

DWORD SimMachine::getLongPathName(const char16_t* shortPath, char16_t* longPath, DWORD bufferLength)
{
    if (enter(SimCall::GetLongPathName))
        return 0;
    std::u16string result;
    if (const DWORD error = files().longPath(shortPath, result))
        return fail<DWORD>(error, 0);
    return PathAnswer(result, longPath, bufferLength);
}

BOOL SimMachine::getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    if (enter(SimCall::GetFileInformationByHandle))
        return FALSE;
    if (const DWORD error = files().fileInformation(*this, file, information))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

DWORD SimMachine::getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags)
{
    if (enter(SimCall::GetFinalPathNameByHandle))
        return 0;
    // Only the normalized name on its drive letter is modelled.
    if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS))
        return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    std::u16string result;
    if (const DWORD error = files().finalPath(*this, file, result))
        return fail<DWORD>(error, 0);
    return PathAnswer(result, path, length);
}

UINT SimMachine::getDriveType(const char16_t* rootPath)
{
    if (enter(SimCall::GetDriveType))
        return DRIVE_UNKNOWN;
    return files().driveType(rootPath);
}

BOOL SimMachine::setCurrentDirectory(const char16_t* path)
{
    if (enter(SimCall::SetCurrentDirectory))
        return FALSE;
    if (path == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const std::optional<std::u16string> full = SimFullPath(path, files().currentFolder());
    if (!full)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    DWORD attributes = 0;
    if (const DWORD error = files().getAttributes(full->c_str(), attributes))
        return fail<BOOL>(error, FALSE);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return fail<BOOL>(ERROR_DIRECTORY, FALSE);
    files().setCurrentFolder(*full);
    return TRUE;
}

BOOL SimMachine::getFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                              void* information, DWORD size)
{
    if (enter(SimCall::GetFileInformationByHandleEx))
        return FALSE;
    if (const DWORD error = files().informationByHandle(*this, file, informationClass, information, size))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

BOOL SimMachine::setFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS informationClass,
                                            void* information, DWORD size)
{
    if (enter(SimCall::SetFileInformationByHandle))
        return FALSE;
    if (const DWORD error = files().changeByHandle(*this, file, informationClass, information, size))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

UINT SimMachine::getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique,
                                 char16_t* tempFileName)
{
    if (enter(SimCall::GetTempFileName))
        return 0;
    UINT number = 0;
    if (const DWORD error = files().tempFileName(pathName, prefix, unique, tempFileName, number))
        return fail<UINT>(error, 0);
    return number;
}

DWORD SimMachine::getFileVersionInfoSize(const char16_t* fileName, DWORD* handle)
{
    if (enter(SimCall::GetFileVersionInfoSize))
        return 0;
    if (handle != nullptr)
        *handle = 0;
    DWORD size = 0;
    if (const DWORD error = files().versionInfoSize(fileName, size))
        return fail<DWORD>(error, 0);
    return size;
}

BOOL SimMachine::getFileVersionInfo(const char16_t* fileName, DWORD handle, DWORD length,
                                    void* data)
{
    if (enter(SimCall::GetFileVersionInfo))
        return FALSE;
    (void)handle; // ignored by the system too
    if (const DWORD error = files().versionInfo(fileName, length, data))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}
