// The planning layer's overlay of the files: the files and folders it deleted or changed for the
// machine, as later reads see them.

#include "plan/planning_os_api.h"

#include <utility>
#include <vector>

#include "plan/planning_internal.h"

using PlanningInternal::AtOrBelowAny;
using PlanningInternal::Upper;

std::u16string PlanningOsApi::pathName(const char16_t* path)
{
    std::u16string name = path ? path : u"";
    for (char16_t& c : name)
        if (c == u'/')
            c = u'\\';
    if (name.compare(0, 8, u"\\\\?\\UNC\\") == 0)
        name = u"\\\\" + name.substr(8);
    else if (name.compare(0, 4, u"\\\\?\\") == 0)
        name = name.substr(4);
    // As the system resolves the name: "." and ".." and doubled separators.
    const bool share = name.compare(0, 2, u"\\\\") == 0;
    std::vector<std::u16string> parts;
    for (std::size_t start = share ? 2 : 0; start <= name.size();) {
        const std::size_t end = std::min(name.find(u'\\', start), name.size());
        const std::u16string part = name.substr(start, end - start);
        if (part == u".." && parts.size() > 1)
            parts.pop_back();
        else if (!part.empty() && part != u"." && part != u"..")
            parts.push_back(part);
        start = end + 1;
    }
    std::u16string resolved = share ? u"\\\\" : u"";
    for (std::size_t i = 0; i < parts.size(); ++i)
        resolved += (i ? u"\\" : u"") + parts[i];
    return Upper(resolved);
}

bool PlanningOsApi::pathGone(const std::u16string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return AtOrBelowAny(deletedPaths_, name);
}

DWORD PlanningOsApi::getFileAttributes(const char16_t* path)
{
    const std::u16string name = pathName(path);
    if (pathGone(name)) {
        below().setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attributes = below().getFileAttributes(path);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto changedTo = attributes_.find(name);
    return attributes != INVALID_FILE_ATTRIBUTES && changedTo != attributes_.end() ? changedTo->second : attributes;
}

BOOL PlanningOsApi::setFileAttributes(const char16_t* path, DWORD attributes)
{
    const DWORD now = getFileAttributes(path);
    if (now == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        attributes_[pathName(path)] = (attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) | (now & FILE_ATTRIBUTE_DIRECTORY);
    }
    changed();
    return TRUE;
}

bool PlanningOsApi::filtered(Find& find, WIN32_FIND_DATAW* data)
{
    const std::u16string entry(reinterpret_cast<const char16_t*>(data->cFileName));
    if (entry == u"." || entry == u"..")
        return true;
    const std::u16string name = find.folder + u'\\' + Upper(entry);
    if (pathGone(name))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto changedTo = attributes_.find(name);
    if (changedTo != attributes_.end())
        data->dwFileAttributes = changedTo->second;
    return true;
}

HANDLE PlanningOsApi::findFirstFile(const char16_t* pattern, WIN32_FIND_DATAW* data)
{
    const std::u16string text = pattern ? pattern : u"";
    Find find{pathName(text.substr(0, text.find_last_of(u"\\/")).c_str())};
    if (pathGone(find.folder)) {
        below().setLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE listing = below().findFirstFile(pattern, data);
    if (listing == INVALID_HANDLE_VALUE)
        return listing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finds_[listing] = find;
    }
    if (filtered(find, data) || findNextFile(listing, data))
        return listing;
    findClose(listing);
    below().setLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL PlanningOsApi::findNextFile(HANDLE listing, WIN32_FIND_DATAW* data)
{
    Find find;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = finds_.find(listing);
        if (it != finds_.end())
            find = it->second;
    }
    while (below().findNextFile(listing, data))
        if (find.folder.empty() || filtered(find, data))
            return TRUE;
    return FALSE;
}

BOOL PlanningOsApi::findClose(HANDLE listing)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finds_.erase(listing);
    }
    return below().findClose(listing);
}

bool PlanningOsApi::folderEmpty(const std::u16string& folder)
{
    WIN32_FIND_DATAW entry{};
    const HANDLE listing = findFirstFile((folder + u"\\*.*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return true;
    bool empty = true;
    do {
        const std::u16string name(reinterpret_cast<const char16_t*>(entry.cFileName));
        empty = name == u"." || name == u"..";
    } while (empty && findNextFile(listing, &entry));
    findClose(listing);
    return empty;
}

BOOL PlanningOsApi::deletedPath(const char16_t* path)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deletedPaths_.insert(pathName(path));
    }
    changed();
    return TRUE;
}

BOOL PlanningOsApi::deleteFile(const char16_t* path)
{
    const DWORD attributes = getFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        below().setLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return deletedPath(path);
}

BOOL PlanningOsApi::removeDirectory(const char16_t* path)
{
    const DWORD attributes = getFileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        below().setLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    // A link goes by itself; a folder only once nothing is left in it.
    std::u16string folder = path;
    while (folder.size() > 3 && folder.back() == u'\\')
        folder.pop_back();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !folderEmpty(folder)) {
        below().setLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    return deletedPath(path);
}

BOOL PlanningOsApi::createDirectory(const char16_t* path, SECURITY_ATTRIBUTES*)
{
    if (getFileAttributes(path) != INVALID_FILE_ATTRIBUTES) {
        below().setLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    changed();
    return TRUE;
}

HANDLE PlanningOsApi::createFile(const char16_t* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* attributes,
                                 DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile)
{
    constexpr DWORD kWriting = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;
    // A file made or written (the uninstallers' answers): a handle that writes nowhere.
    if ((access & kWriting) || disposition != OPEN_EXISTING) {
        changed();
        return fakeHandle();
    }
    const std::u16string name = pathName(path);
    if (pathGone(name)) {
        below().setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = below().createFile(path, access, shareMode, attributes, disposition, flagsAndAttributes, templateFile);
    if (file == INVALID_HANDLE_VALUE && below().getLastError() == ERROR_ACCESS_DENIED) {
        std::unique_lock<std::mutex> lock(mutex_);
        // An access list the plan replaced would have let it open (planning_handles.cpp).
        if (grantedFiles_.count(name)) {
            lock.unlock();
            file = below().createFile(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, shareMode, attributes, disposition,
                                       flagsAndAttributes, templateFile);
        }
    }
    if (file != INVALID_HANDLE_VALUE)
        opened(file, name);
    return file;
}

BOOL PlanningOsApi::writeFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
                              LPOVERLAPPED overlapped)
{
    if (isFake(file)) {
        if (bytesWritten)
            *bytesWritten = bytesToWrite;
        return TRUE;
    }
    // A file opened before the plan began: the program's own log or report.
    return below().writeFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
}

BOOL PlanningOsApi::flushFileBuffers(HANDLE file)
{
    return isFake(file) ? TRUE : below().flushFileBuffers(file);
}

BOOL PlanningOsApi::moveFileEx(const char16_t*, const char16_t*, DWORD)
{
    changed();
    return TRUE;
}

UINT PlanningOsApi::getTempFileName(const char16_t* pathName, const char16_t* prefix, UINT unique,
                                    char16_t* tempFileName)
{
    // Given a number, the system only names the file; without one, it makes it.
    if (unique == 0) {
        changed();
        std::lock_guard<std::mutex> lock(mutex_);
        unique = 0xA000 + ++tempNames_;
    }
    return below().getTempFileName(pathName, prefix, unique, tempFileName);
}

BOOL PlanningOsApi::getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    if (isFake(file)) {
        below().setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return below().getFileInformationByHandle(file, information);
}

DWORD PlanningOsApi::getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags)
{
    if (isFake(file)) {
        below().setLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return below().getFinalPathNameByHandle(file, path, length, flags);
}
