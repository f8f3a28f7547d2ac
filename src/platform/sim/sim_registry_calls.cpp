// The calls on the simulated registry's handles: opening a key with the rights the handle then
// carries, reading values and key information, enumerating subkeys, deleting keys and values,
// closing. Each answers with the code the system gives (ERROR_MORE_DATA for a short buffer,
// ERROR_KEY_DELETED, ERROR_ACCESS_DENIED), since the logic above the seam reads its outcome
// from that code.

#include "platform/sim/sim_registry.h"

#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry_internal.h"

using namespace SimRegistryInternal;

namespace {

constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kGenericExecute = 0x20000000;

// The registry's generic mapping; the view flags choose a registry, they are not rights.
REGSAM SpecificRights(REGSAM access)
{
    if (access & (GENERIC_READ | kGenericExecute))
        access |= KEY_READ;
    if (access & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (access & (GENERIC_ALL | kMaximumAllowed))
        access |= KEY_ALL_ACCESS;
    return access & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
}

} // namespace

REGSAM SimRegistry::stillGranted(const Key& key)
{
    // Its security descriptor to read, its owner to replace (the privilege to take ownership),
    // and its access list to replace where the list lets the user or once the user owns it.
    return READ_CONTROL | WRITE_OWNER | (key.needsOwnership ? 0 : WRITE_DAC);
}

LONG SimRegistry::open(HKEY key, const char16_t* subKey, bool openLink, REGSAM access, HKEY* result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!handleKey(key))
        return ERROR_INVALID_HANDLE;
    bool tooManyLinks = false;
    const auto target = resolve(key, subKey ? subKey : u"", (access & KEY_WOW64_64KEY) != 0, false,
                                openLink ? Links::LastOpened : Links::Followed, &tooManyLinks);
    if (tooManyLinks)
        return ERROR_INVALID_PARAMETER;
    if (!target || target->deleted)
        return ERROR_FILE_NOT_FOUND;
    const REGSAM rights = SpecificRights(access);
    if (target->refusedAccess & rights & ~stillGranted(*target))
        return ERROR_ACCESS_DENIED;
    nextHandle_ += 4;
    const auto handle = reinterpret_cast<HKEY>(nextHandle_);
    handles_.emplace(handle, std::make_shared<OpenKey>(OpenKey{target, rights}));
    *result = handle;
    return ERROR_SUCCESS;
}

LONG SimRegistry::queryValue(HKEY key, const char16_t* name, DWORD* type, BYTE* data,
                             DWORD* dataSize)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return error;
    if (!handleGrants(key, KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data != nullptr && dataSize == nullptr)
        return ERROR_INVALID_PARAMETER;
    const auto it = open->values.find(name ? name : u"");
    if (it == open->values.end())
        return ERROR_FILE_NOT_FOUND;
    const Key::Value& value = it->second;
    const auto size = static_cast<DWORD>(value.data.size());
    if (type)
        *type = value.type;
    if (data == nullptr) {
        if (dataSize)
            *dataSize = size;
        return ERROR_SUCCESS;
    }
    const DWORD room = *dataSize;
    *dataSize = size;
    if (room < size)
        return ERROR_MORE_DATA;
    std::copy(value.data.begin(), value.data.end(), data);
    return ERROR_SUCCESS;
}

LONG SimRegistry::queryInfo(HKEY key, char16_t* className, DWORD* classLength, DWORD* subKeys,
                            DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                            DWORD* maxValueNameLength, DWORD* maxValueLength,
                            FILETIME* lastWriteTime)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return error;
    if (!handleGrants(key, KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (className) {
        if (!classLength)
            return ERROR_INVALID_PARAMETER;
        if (*classLength <= open->className.size()) {
            *classLength = static_cast<DWORD>(open->className.size());
            return ERROR_MORE_DATA;
        }
        std::copy(open->className.begin(), open->className.end(), className);
        className[open->className.size()] = u'\0';
    }
    if (classLength)
        *classLength = static_cast<DWORD>(open->className.size());
    DWORD longestName = 0;
    DWORD longestClass = 0;
    for (const auto& entry : open->children) {
        longestName = std::max(longestName, static_cast<DWORD>(entry.second->name.size()));
        longestClass = std::max(longestClass, static_cast<DWORD>(entry.second->className.size()));
    }
    DWORD longestValueName = 0;
    DWORD longestValue = 0;
    for (const auto& entry : open->values) {
        longestValueName = std::max(longestValueName, static_cast<DWORD>(entry.second.name.size()));
        longestValue = std::max(longestValue, static_cast<DWORD>(entry.second.data.size()));
    }
    if (subKeys)
        *subKeys = static_cast<DWORD>(open->children.size());
    if (maxSubKeyLength)
        *maxSubKeyLength = longestName;
    if (maxClassLength)
        *maxClassLength = longestClass;
    if (values)
        *values = static_cast<DWORD>(open->values.size());
    if (maxValueNameLength)
        *maxValueNameLength = longestValueName;
    if (maxValueLength)
        *maxValueLength = longestValue;
    if (lastWriteTime)
        *lastWriteTime = open->lastWriteTime;
    return ERROR_SUCCESS;
}

LONG SimRegistry::enumKey(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                          char16_t* className, DWORD* classLength, FILETIME* lastWriteTime)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return error;
    if (!handleGrants(key, KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (name == nullptr || nameLength == nullptr || (className && !classLength))
        return ERROR_INVALID_PARAMETER;
    if (index >= open->children.size())
        return ERROR_NO_MORE_ITEMS;
    const Key& child = *std::next(open->children.begin(), index)->second;
    // Lengths count characters; the room must hold the terminator too.
    if (*nameLength <= child.name.size())
        return ERROR_MORE_DATA;
    if (className && *classLength <= child.className.size())
        return ERROR_MORE_DATA;
    std::copy(child.name.begin(), child.name.end(), name);
    name[child.name.size()] = u'\0';
    *nameLength = static_cast<DWORD>(child.name.size());
    if (className) {
        std::copy(child.className.begin(), child.className.end(), className);
        className[child.className.size()] = u'\0';
        *classLength = static_cast<DWORD>(child.className.size());
    }
    if (lastWriteTime)
        *lastWriteTime = child.lastWriteTime;
    return ERROR_SUCCESS;
}

LONG SimRegistry::enumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                            BYTE* data, DWORD* dataSize)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return error;
    if (!handleGrants(key, KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (name == nullptr || nameLength == nullptr || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    if (index >= open->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Key::Value& value = std::next(open->values.begin(), index)->second;
    const auto size = static_cast<DWORD>(value.data.size());
    if (*nameLength <= value.name.size() || (data && *dataSize < size)) {
        if (data)
            *dataSize = size;
        return ERROR_MORE_DATA;
    }
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = u'\0';
    *nameLength = static_cast<DWORD>(value.name.size());
    if (type)
        *type = value.type;
    if (dataSize)
        *dataSize = size;
    if (data)
        std::copy(value.data.begin(), value.data.end(), data);
    return ERROR_SUCCESS;
}

LONG SimRegistry::deleteKey(HKEY key, const char16_t* subKey, REGSAM view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto open = handleKey(key);
    if (!open)
        return ERROR_INVALID_HANDLE;
    if (subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    // The key is opened anew for deletion, following a symbolic link as every open without
    // REG_OPTION_OPEN_LINK does: deleting a link by its name deletes what it leads to. So the
    // handle's own rights do not matter; an empty name stands for the handle's key itself, and a
    // predefined root is never deleted.
    if (SplitPath(subKey).empty() && open->deleted)
        return ERROR_KEY_DELETED;
    bool tooManyLinks = false;
    const auto target = resolve(key, subKey, (view & KEY_WOW64_64KEY) != 0, false, Links::Followed, &tooManyLinks);
    if (tooManyLinks)
        return ERROR_INVALID_PARAMETER;
    if (!target || target->deleted)
        return ERROR_FILE_NOT_FOUND;
    if (target->refusedAccess & DELETE)
        return ERROR_ACCESS_DENIED;
    // Every refusal of the deletion itself is access denied, as the system answers it.
    return remove(*target) == kStatusSuccess ? ERROR_SUCCESS : static_cast<LONG>(ERROR_ACCESS_DENIED);
}

NTSTATUS SimRegistry::deleteOpenKey(HKEY key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // The predefined roots are ADVAPI32's names, not handles of the kernel: an invalid handle
    // here, as under Wine.
    const auto it = handles_.find(key);
    if (it == handles_.end())
        return kStatusInvalidHandle;
    if (!(it->second->access & DELETE))
        return kStatusAccessDenied;
    Key& target = *it->second->key;
    // Deleting it again changes nothing and succeeds (measured under Wine).
    if (target.deleted)
        return kStatusSuccess;
    return remove(target);
}

NTSTATUS SimRegistry::remove(Key& key)
{
    const auto parent = key.parent.lock();
    if (!parent || &key == machineRoot_->child(u"SOFTWARE")->child(u"Classes").get())
        return kStatusAccessDenied;
    // A key with children is refused as access denied (measured under Wine).
    if (!key.children.empty())
        return kStatusAccessDenied;
    key.deleted = true;
    parent->children.erase(key.name);
    parent->lastWriteTime = FileTimeOf(machine_.now());
    return kStatusSuccess;
}

LONG SimRegistry::deleteValue(HKEY key, const char16_t* name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return error;
    if (!handleGrants(key, KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return open->values.erase(name ? name : u"") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

void SimRegistry::closeAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.clear();
}

LONG SimRegistry::close(HKEY key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (rootKey(key))
        return ERROR_SUCCESS;
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
