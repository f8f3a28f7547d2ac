// The planning layer's overlays of the registry and the files: what it kept from the machine,
// as later reads see it.

#include "plan/planning_os_api.h"

#include <utility>
#include <vector>

#include "plan/planning_internal.h"

using PlanningInternal::AtOrBelowAny;
using PlanningInternal::Upper;

namespace {

const std::pair<HKEY, const char16_t*> kRoots[] = {
    {HKEY_LOCAL_MACHINE, u"HKLM"}, {HKEY_USERS, u"HKU"},          {HKEY_CURRENT_USER, u"HKCU"},
    {HKEY_CLASSES_ROOT, u"HKCR"},  {HKEY_CURRENT_CONFIG, u"HKCC"},
};

// A key without its view: "HKLM\PATH" of "32|HKLM\PATH".
std::u16string WithoutView(const std::u16string& name)
{
    return name.substr(name.find(u'|') + 1);
}

// Whether a set holds the name or something of which it is a part: the name's own prefix up to a
// separator `mark` ('\\' for keys and paths, '\n' for a key's values).
bool AnyWithin(const std::set<std::u16string>& names, const std::u16string& prefix, char16_t mark)
{
    const std::u16string start = prefix + mark;
    const auto it = names.lower_bound(start);
    return it != names.end() && it->compare(0, start.size(), start) == 0;
}

} // namespace

// The registry.

std::u16string PlanningOsApi::keyName(HKEY key, const char16_t* subKey, REGSAM access) const
{
    std::u16string name;
    for (const auto& [root, shown] : kRoots)
        if (root == key)
            name = std::u16string((access & KEY_WOW64_64KEY) ? u"64|" : u"32|") +
                   (root == HKEY_CURRENT_USER && !currentUser_.empty() ? u"HKU\\" + Upper(currentUser_) : shown);
    if (name.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = keys_.find(key);
        name = it != keys_.end() ? it->second : u"?|" + std::u16string(u"(...)");
    }
    const std::u16string sub = Upper(subKey ? subKey : u"");
    for (std::size_t start = 0; start < sub.size();) {
        const std::size_t end = std::min(sub.find(u'\\', start), sub.size());
        if (end > start)
            name += u'\\' + sub.substr(start, end - start);
        start = end + 1;
    }
    return name;
}

bool PlanningOsApi::keyGone(const std::u16string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return AtOrBelowAny(deletedKeys_, name);
}

bool PlanningOsApi::valueGone(const std::u16string& key, const char16_t* value) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return deletedValues_.count(key + u'\n' + Upper(value ? value : u"")) != 0;
}

LONG PlanningOsApi::regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access, HKEY* result)
{
    const std::u16string name = keyName(key, subKey, access);
    if (keyGone(name))
        return ERROR_FILE_NOT_FOUND;
    LONG opened = machine_.regOpenKeyEx(key, subKey, options, access, result);
    bool granted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        granted = granted_.count(WithoutView(name)) != 0;
    }
    // Full access was granted in the plan: the rights it would give are the plan's to assume.
    if (opened == ERROR_ACCESS_DENIED && granted)
        opened = machine_.regOpenKeyEx(key, subKey, options, access & ~(DELETE | WRITE_DAC | WRITE_OWNER), result);
    if (opened == ERROR_SUCCESS) {
        std::lock_guard<std::mutex> lock(mutex_);
        keys_[*result] = name;
        cursors_.erase(*result);
    }
    return opened;
}

LONG PlanningOsApi::regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                    DWORD* dataSize)
{
    const std::u16string name = keyName(key, nullptr, 0);
    if (keyGone(name))
        return ERROR_KEY_DELETED;
    if (valueGone(name, valueName))
        return ERROR_FILE_NOT_FOUND;
    return machine_.regQueryValueEx(key, valueName, reserved, type, data, dataSize);
}

DWORD PlanningOsApi::visibleCount(HKEY key, bool values)
{
    std::vector<char16_t> name(16384);
    DWORD count = 0;
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG result = values ? regEnumValue(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                                   : regEnumKeyEx(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return count;
        ++count;
    }
}

LONG PlanningOsApi::regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength, DWORD* reserved,
                                    DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                                    DWORD* maxValueNameLength, DWORD* maxValueLength,
                                    DWORD* securityDescriptorSize, FILETIME* lastWriteTime)
{
    const std::u16string name = keyName(key, nullptr, 0);
    if (keyGone(name))
        return ERROR_KEY_DELETED;
    const LONG result = machine_.regQueryInfoKey(key, className, classLength, reserved, subKeys, maxSubKeyLength,
                                                 maxClassLength, values, maxValueNameLength, maxValueLength,
                                                 securityDescriptorSize, lastWriteTime);
    // The longest lengths may stay those of what is deleted: they only size buffers.
    if (result == ERROR_SUCCESS && subKeys)
        *subKeys = visibleCount(key, false);
    if (result == ERROR_SUCCESS && values)
        *values = visibleCount(key, true);
    return result;
}

LONG PlanningOsApi::enumerate(HKEY key, DWORD index, bool values, char16_t* name, DWORD* nameLength,
                              const std::function<LONG(DWORD, char16_t*, DWORD*)>& real)
{
    const std::u16string parent = keyName(key, nullptr, 0);
    if (keyGone(parent))
        return ERROR_KEY_DELETED;
    bool overlaid = false;
    KeyCursor cursor;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        overlaid = values ? AnyWithin(deletedValues_, parent, u'\n') : AnyWithin(deletedKeys_, parent, u'\\');
        const auto it = cursors_.find(key);
        if (it != cursors_.end() && it->second.values == values && it->second.visible <= index)
            cursor = it->second;
        cursor.values = values;
    }
    // Nothing deleted below: the machine's own answer.
    if (!overlaid)
        return real(index, name, nameLength);
    const DWORD room = nameLength ? *nameLength : 0;
    for (;; ++cursor.real) {
        DWORD length = room;
        const LONG result = real(cursor.real, name, &length);
        if (result != ERROR_SUCCESS) {
            if (nameLength)
                *nameLength = length;
            return result;
        }
        const std::u16string child = Upper(std::u16string(name, length));
        const bool gone = values ? valueGone(parent, child.c_str()) : keyGone(parent + u'\\' + child);
        if (gone)
            continue;
        if (cursor.visible == index) {
            *nameLength = length;
            std::lock_guard<std::mutex> lock(mutex_);
            cursors_[key] = KeyCursor{index + 1, cursor.real + 1, values};
            return ERROR_SUCCESS;
        }
        ++cursor.visible;
    }
}

LONG PlanningOsApi::regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                                 char16_t* className, DWORD* classLength, FILETIME* lastWriteTime)
{
    const DWORD classRoom = classLength ? *classLength : 0;
    return enumerate(key, index, false, name, nameLength, [&](DWORD real, char16_t* buffer, DWORD* length) {
        if (classLength)
            *classLength = classRoom;
        return machine_.regEnumKeyEx(key, real, buffer, length, reserved, className, classLength, lastWriteTime);
    });
}

LONG PlanningOsApi::regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                                 DWORD* type, BYTE* data, DWORD* dataSize)
{
    const DWORD dataRoom = dataSize ? *dataSize : 0;
    return enumerate(key, index, true, name, nameLength, [&](DWORD real, char16_t* buffer, DWORD* length) {
        if (dataSize)
            *dataSize = dataRoom;
        return machine_.regEnumValue(key, real, buffer, length, reserved, type, data, dataSize);
    });
}

LONG PlanningOsApi::deleteKey(HKEY key, const char16_t* subKey, REGSAM access, bool ex)
{
    const REGSAM view = ex ? (access & KEY_WOW64_64KEY) : 0;
    HKEY opened = nullptr;
    const LONG found = regOpenKeyEx(key, subKey, 0, KEY_READ | view, &opened);
    if (found == ERROR_FILE_NOT_FOUND || found == ERROR_PATH_NOT_FOUND)
        return found;
    if (found == ERROR_SUCCESS) {
        char16_t child[256];
        DWORD length = 256;
        // A key with a child left is not deleted, as the system refuses it.
        const LONG listed = regEnumKeyEx(opened, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
        regCloseKey(opened);
        if (listed == ERROR_SUCCESS || listed == ERROR_MORE_DATA)
            return ERROR_ACCESS_DENIED;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deletedKeys_.insert(keyName(key, subKey, view));
    }
    changed();
    return ERROR_SUCCESS;
}

LONG PlanningOsApi::regDeleteKey(HKEY key, const char16_t* subKey)
{
    return deleteKey(key, subKey, 0, false);
}

LONG PlanningOsApi::regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD)
{
    return deleteKey(key, subKey, access, true);
}

NTSTATUS PlanningOsApi::ntDeleteKey(HANDLE handle)
{
    const auto key = static_cast<HKEY>(handle);
    std::u16string name;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = keys_.find(key);
        if (it == keys_.end())
            return kStatusInvalidHandle;
        name = it->second;
    }
    if (keyGone(name))
        return kStatusKeyDeleted;
    char16_t child[256];
    DWORD length = 256;
    // A key with a child left is not deleted, as the system refuses it.
    const LONG listed = regEnumKeyEx(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (listed == ERROR_SUCCESS || listed == ERROR_MORE_DATA)
        return kStatusCannotDelete;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deletedKeys_.insert(name);
    }
    changed();
    return kStatusSuccess;
}

LONG PlanningOsApi::regSetKeySecurity(HKEY key, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = keys_.find(key);
        if (it == keys_.end())
            return ERROR_INVALID_HANDLE;
        // Kept for the key the handle stands for, so that what it would have opened opens.
        granted_.insert(WithoutView(it->second));
    }
    changed();
    return ERROR_SUCCESS;
}

LONG PlanningOsApi::regDeleteValue(HKEY key, const char16_t* valueName)
{
    const LONG found = regQueryValueEx(key, valueName, nullptr, nullptr, nullptr, nullptr);
    if (found != ERROR_SUCCESS && found != ERROR_MORE_DATA)
        return found;
    const std::u16string name = keyName(key, nullptr, 0) + u'\n' + Upper(valueName ? valueName : u"");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        deletedValues_.insert(name);
    }
    changed();
    return ERROR_SUCCESS;
}

LONG PlanningOsApi::regCloseKey(HKEY key)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        keys_.erase(key);
        cursors_.erase(key);
    }
    return machine_.regCloseKey(key);
}

// The files.

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
        machine_.setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attributes = machine_.getFileAttributes(path);
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
        machine_.setLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE listing = machine_.findFirstFile(pattern, data);
    if (listing == INVALID_HANDLE_VALUE)
        return listing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finds_[listing] = find;
    }
    if (filtered(find, data) || findNextFile(listing, data))
        return listing;
    findClose(listing);
    machine_.setLastError(ERROR_FILE_NOT_FOUND);
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
    while (machine_.findNextFile(listing, data))
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
    return machine_.findClose(listing);
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
        machine_.setLastError(ERROR_ACCESS_DENIED);
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
        machine_.setLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    // A link goes by itself; a folder only once nothing is left in it.
    std::u16string folder = path;
    while (folder.size() > 3 && folder.back() == u'\\')
        folder.pop_back();
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !folderEmpty(folder)) {
        machine_.setLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    return deletedPath(path);
}

BOOL PlanningOsApi::createDirectory(const char16_t* path, SECURITY_ATTRIBUTES*)
{
    if (getFileAttributes(path) != INVALID_FILE_ATTRIBUTES) {
        machine_.setLastError(ERROR_ALREADY_EXISTS);
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
        machine_.setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = machine_.createFile(path, access, shareMode, attributes, disposition, flagsAndAttributes, templateFile);
    if (file == INVALID_HANDLE_VALUE && machine_.getLastError() == ERROR_ACCESS_DENIED) {
        std::unique_lock<std::mutex> lock(mutex_);
        // An access list the plan replaced would have let it open (planning_handles.cpp).
        if (grantedFiles_.count(name)) {
            lock.unlock();
            file = machine_.createFile(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, shareMode, attributes, disposition,
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
    return machine_.writeFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
}

BOOL PlanningOsApi::flushFileBuffers(HANDLE file)
{
    return isFake(file) ? TRUE : machine_.flushFileBuffers(file);
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
    return machine_.getTempFileName(pathName, prefix, unique, tempFileName);
}

BOOL PlanningOsApi::getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    if (isFake(file)) {
        machine_.setLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return machine_.getFileInformationByHandle(file, information);
}

DWORD PlanningOsApi::getFinalPathNameByHandle(HANDLE file, char16_t* path, DWORD length, DWORD flags)
{
    if (isFake(file)) {
        machine_.setLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return machine_.getFinalPathNameByHandle(file, path, length, flags);
}
