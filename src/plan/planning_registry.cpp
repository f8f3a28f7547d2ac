// The planning layer's overlay of the registry: the keys and values it kept from the machine, as
// later reads see them. Its files are in planning_files.cpp.

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
    LONG opened = below().regOpenKeyEx(key, subKey, options, access, result);
    bool granted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        granted = granted_.count(WithoutView(name)) != 0;
    }
    // Full access was granted in the plan: the rights it would give are the plan's to assume.
    if (opened == ERROR_ACCESS_DENIED && granted)
        opened = below().regOpenKeyEx(key, subKey, options, access & ~(DELETE | WRITE_DAC | WRITE_OWNER), result);
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
    return below().regQueryValueEx(key, valueName, reserved, type, data, dataSize);
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
    const LONG result = below().regQueryInfoKey(key, className, classLength, reserved, subKeys, maxSubKeyLength,
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
        return below().regEnumKeyEx(key, real, buffer, length, reserved, className, classLength, lastWriteTime);
    });
}

LONG PlanningOsApi::regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* reserved,
                                 DWORD* type, BYTE* data, DWORD* dataSize)
{
    const DWORD dataRoom = dataSize ? *dataSize : 0;
    return enumerate(key, index, true, name, nameLength, [&](DWORD real, char16_t* buffer, DWORD* length) {
        if (dataSize)
            *dataSize = dataRoom;
        return below().regEnumValue(key, real, buffer, length, reserved, type, data, dataSize);
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
    return below().regCloseKey(key);
}
