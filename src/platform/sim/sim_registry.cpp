#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace {

char16_t Fold(char16_t c)
{
    return SimUpcase(c);
}

struct CaseLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const
    {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char16_t x, char16_t y) { return Fold(x) < Fold(y); });
    }
};

bool SameName(std::u16string_view a, std::u16string_view b)
{
    return SimSameName(a, b);
}

std::vector<std::u16string> SplitPath(std::u16string_view path)
{
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(u'\\', start), path.size());
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

FILETIME FileTimeOf(ULONGLONG milliseconds)
{
    const ULONGLONG ticks = milliseconds * 10000;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

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

struct SimRegistry::Key {
    struct Value {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> data;
    };

    explicit Key(std::u16string keyName) : name(std::move(keyName)) {}

    std::shared_ptr<Key> child(std::u16string_view childName) const
    {
        const auto it = children.find(std::u16string(childName));
        return it == children.end() ? nullptr : it->second;
    }

    std::shared_ptr<Key> makeChild(const std::u16string& childName)
    {
        auto& slot = children[childName];
        if (!slot)
            slot = std::make_shared<Key>(childName);
        return slot;
    }

    std::u16string name;
    std::u16string className;
    std::map<std::u16string, std::shared_ptr<Key>, CaseLess> children;
    std::map<std::u16string, Value, CaseLess> values;
    FILETIME lastWriteTime{};
    DWORD refusedAccess = 0; // rights the access list refuses the current user
    bool needsOwnership = false;
    bool deleted = false;
    // Set on HKLM only: its SOFTWARE child has a 32-bit view below WOW6432Node.
    bool redirectsSoftware = false;
};

struct SimRegistry::OpenKey {
    std::shared_ptr<Key> key;
    REGSAM access = 0; // specific rights, generic ones mapped
};

SimRegistry::SimRegistry(SimMachine& machine)
    : machine_(machine),
      machineRoot_(std::make_shared<Key>(u"HKEY_LOCAL_MACHINE")),
      usersRoot_(std::make_shared<Key>(u"HKEY_USERS")),
      configRoot_(std::make_shared<Key>(u"HKEY_CURRENT_CONFIG")),
      currentUser_(u"S-1-5-21-1004336348-1177238915-682003330-1001")
{
    machineRoot_->redirectsSoftware = true;
    const auto software = machineRoot_->makeChild(u"SOFTWARE");
    const auto wow = software->makeChild(u"WOW6432Node");
    // The classes are shared between the two views, as on Windows and Wine.
    const auto classes = software->makeChild(u"Classes");
    wow->children[u"Classes"] = classes;
    machineRoot_->makeChild(u"SYSTEM");
    usersRoot_->makeChild(u".DEFAULT");
    usersRoot_->makeChild(currentUser_);
}

SimRegistry::~SimRegistry() = default;

SimRegistry& SimMachine::registry()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!registry_)
        registry_ = std::make_shared<SimRegistry>(*this);
    return *registry_;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::rootKey(HKEY root) const
{
    if (root == HKEY_LOCAL_MACHINE)
        return machineRoot_;
    if (root == HKEY_USERS)
        return usersRoot_;
    if (root == HKEY_CURRENT_USER)
        return usersRoot_->child(currentUser_);
    if (root == HKEY_CLASSES_ROOT)
        return machineRoot_->child(u"SOFTWARE")->child(u"Classes");
    if (root == HKEY_CURRENT_CONFIG)
        return configRoot_;
    return nullptr;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::handleKey(HKEY key) const
{
    if (auto root = rootKey(key))
        return root;
    const auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : it->second->key;
}

bool SimRegistry::handleGrants(HKEY key, REGSAM rights) const
{
    if (rootKey(key))
        return true;
    const auto it = handles_.find(key);
    return it != handles_.end() && (it->second->access & rights) == rights;
}

LONG SimRegistry::liveKey(HKEY key, std::shared_ptr<Key>& open) const
{
    open = handleKey(key);
    if (!open)
        return ERROR_INVALID_HANDLE;
    return open->deleted ? static_cast<LONG>(ERROR_KEY_DELETED) : static_cast<LONG>(ERROR_SUCCESS);
}

std::shared_ptr<SimRegistry::Key> SimRegistry::resolve(HKEY root, std::u16string_view path,
                                                      bool wow64Key64, bool create) const
{
    std::shared_ptr<Key> key = handleKey(root);
    if (!key)
        return nullptr;
    const std::vector<std::u16string> parts = SplitPath(path);
    for (std::size_t i = 0; i < parts.size() && key; ++i) {
        const bool redirect = key->redirectsSoftware && !wow64Key64 && SameName(parts[i], u"SOFTWARE");
        key = create ? key->makeChild(parts[i]) : key->child(parts[i]);
        if (key && redirect)
            key = key->child(u"WOW6432Node");
    }
    return key;
}

bool SimRegistry::inView64(HKEY root, std::u16string_view path, View view)
{
    // Windows Installer keeps its per-user data in the 64-bit view only, whichever view the
    // package was installed from: set-up and inspection find it where the installer puts it.
    constexpr std::u16string_view kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
    const bool userData = root == HKEY_LOCAL_MACHINE && path.size() >= kUserData.size() &&
                          SameName(path.substr(0, kUserData.size()), kUserData) &&
                          (path.size() == kUserData.size() || path[kUserData.size()] == u'\\');
    return view == View::Native64 || userData;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::setUpKey(HKEY root, std::u16string_view path,
                                                       View view) const
{
    return resolve(root, path, inView64(root, path, view), true);
}

void SimRegistry::createKey(HKEY root, std::u16string_view path, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    setUpKey(root, path, view);
}

void SimRegistry::setValue(HKEY root, std::u16string_view path, std::u16string_view name,
                           DWORD type, std::vector<BYTE> data, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = setUpKey(root, path, view);
    key->values[std::u16string(name)] = Key::Value{std::u16string(name), type, std::move(data)};
}

void SimRegistry::setString(HKEY root, std::u16string_view path, std::u16string_view name,
                            std::u16string_view text, DWORD type, View view)
{
    std::vector<BYTE> data;
    for (const char16_t c : std::u16string(text) + u'\0') {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    setValue(root, path, name, type, std::move(data), view);
}

void SimRegistry::setDword(HKEY root, std::u16string_view path, std::u16string_view name,
                           DWORD value, View view)
{
    std::vector<BYTE> data(4);
    for (std::size_t i = 0; i < 4; ++i)
        data[i] = static_cast<BYTE>(value >> (8 * i));
    setValue(root, path, name, REG_DWORD, std::move(data), view);
}

void SimRegistry::denyCurrentUser(HKEY root, std::u16string_view path, bool needsOwnership,
                                  DWORD refused, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = setUpKey(root, path, view);
    key->refusedAccess = refused;
    key->needsOwnership = needsOwnership;
}

void SimRegistry::loadUserHive(std::u16string_view name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    usersRoot_->makeChild(std::u16string(name));
}

void SimRegistry::removeTree(HKEY root, std::u16string_view path, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> parts = SplitPath(path);
    if (parts.empty())
        return;
    const std::u16string last = parts.back();
    parts.pop_back();
    std::u16string parentPath;
    for (const std::u16string& part : parts)
        parentPath += part + u'\\';
    const auto parent = resolve(root, parentPath, inView64(root, path, view), false);
    const auto target = parent ? parent->child(last) : nullptr;
    if (!target)
        return;
    std::vector<std::shared_ptr<Key>> pending{target};
    while (!pending.empty()) {
        const std::shared_ptr<Key> key = pending.back();
        pending.pop_back();
        key->deleted = true;
        for (const auto& entry : key->children)
            pending.push_back(entry.second);
    }
    parent->children.erase(last);
    parent->lastWriteTime = FileTimeOf(machine_.now());
}

bool SimRegistry::keyExists(HKEY root, std::u16string_view path, View view) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return resolve(root, path, inView64(root, path, view), false) != nullptr;
}

bool SimRegistry::valueExists(HKEY root, std::u16string_view path, std::u16string_view name,
                              View view) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = resolve(root, path, inView64(root, path, view), false);
    return key && key->values.count(std::u16string(name));
}

std::vector<std::u16string> SimRegistry::subkeys(HKEY root, std::u16string_view path,
                                                 View view) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> names;
    if (const auto key = resolve(root, path, inView64(root, path, view), false))
        for (const auto& entry : key->children)
            names.push_back(entry.second->name);
    return names;
}

std::size_t SimRegistry::openKeys() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

DWORD SimRegistry::applySecurity(const std::u16string& objectName,
                                 SECURITY_INFORMATION information, bool currentUserFullAccess,
                                 bool ownerIsCurrentUser, bool view64)
{
    static const std::pair<std::u16string_view, HKEY> kRoots[] = {
        {u"MACHINE", HKEY_LOCAL_MACHINE},
        {u"USERS", HKEY_USERS},
        {u"CURRENT_USER", HKEY_CURRENT_USER},
        {u"CLASSES_ROOT", HKEY_CLASSES_ROOT},
    };
    const std::size_t slash = objectName.find(u'\\');
    const std::u16string_view rootName = std::u16string_view(objectName).substr(0, slash);
    const std::u16string_view path =
        slash == std::u16string::npos ? std::u16string_view() : std::u16string_view(objectName).substr(slash + 1);
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, root] : kRoots) {
        if (!SameName(name, rootName))
            continue;
        const auto key = resolve(root, path, view64, false);
        if (!key)
            return ERROR_FILE_NOT_FOUND;
        if ((information & OWNER_SECURITY_INFORMATION) && ownerIsCurrentUser)
            key->needsOwnership = false;
        if (information & DACL_SECURITY_INFORMATION) {
            if (key->needsOwnership)
                return ERROR_ACCESS_DENIED;
            if (currentUserFullAccess)
                key->refusedAccess = 0;
        }
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_PARAMETER;
}

LONG SimRegistry::open(HKEY key, const char16_t* subKey, REGSAM access, HKEY* result)
{
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!handleKey(key))
        return ERROR_INVALID_HANDLE;
    const auto target = resolve(key, subKey ? subKey : u"", (access & KEY_WOW64_64KEY) != 0, false);
    if (!target || target->deleted)
        return ERROR_FILE_NOT_FOUND;
    const REGSAM rights = SpecificRights(access);
    if (target->refusedAccess & rights)
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

LONG SimRegistry::deleteKey(HKEY key, const char16_t* subKey, REGSAM view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto open = handleKey(key);
    if (!open)
        return ERROR_INVALID_HANDLE;
    if (subKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> parts = SplitPath(subKey);
    // The key is opened anew for deletion, so the handle's own rights do not matter; an empty
    // name stands for the handle's key itself, and a predefined root is never deleted.
    std::shared_ptr<Key> parent;
    std::u16string last;
    if (parts.empty()) {
        if (rootKey(key) || open->deleted)
            return open->deleted ? ERROR_KEY_DELETED : ERROR_ACCESS_DENIED;
        parent = parentOf(open);
        last = open->name;
    } else {
        last = parts.back();
        parts.pop_back();
        std::u16string parentPath;
        for (const std::u16string& part : parts)
            parentPath += part + u'\\';
        parent = resolve(key, parentPath, (view & KEY_WOW64_64KEY) != 0, false);
    }
    const auto target = parent ? parent->child(last) : nullptr;
    if (!target || target->deleted)
        return ERROR_FILE_NOT_FOUND;
    if ((target->refusedAccess & DELETE) || !target->children.empty() || target == machineRoot_->child(u"SOFTWARE")->child(u"Classes"))
        return ERROR_ACCESS_DENIED;
    target->deleted = true;
    parent->children.erase(last);
    parent->lastWriteTime = FileTimeOf(machine_.now());
    return ERROR_SUCCESS;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::parentOf(const std::shared_ptr<Key>& key) const
{
    std::vector<std::shared_ptr<Key>> pending{machineRoot_, usersRoot_, configRoot_};
    while (!pending.empty()) {
        const std::shared_ptr<Key> candidate = pending.back();
        pending.pop_back();
        for (const auto& entry : candidate->children) {
            if (entry.second == key)
                return candidate;
            pending.push_back(entry.second);
        }
    }
    return nullptr;
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

LONG SimRegistry::close(HKEY key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (rootKey(key))
        return ERROR_SUCCESS;
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// The machine's registry calls.

LONG SimMachine::regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access,
                              HKEY* result)
{
    if (const DWORD error = enter(SimCall::RegOpenKeyEx))
        return static_cast<LONG>(error);
    if (options != 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return registry().open(key, subKey, access, result);
}

LONG SimMachine::regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved,
                                 DWORD* type, BYTE* data, DWORD* dataSize)
{
    if (const DWORD error = enter(SimCall::RegQueryValueEx))
        return static_cast<LONG>(error);
    if (reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return registry().queryValue(key, valueName, type, data, dataSize);
}

LONG SimMachine::regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength,
                                 DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength,
                                 DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                                 DWORD* maxValueLength, DWORD* securityDescriptorSize,
                                 FILETIME* lastWriteTime)
{
    if (const DWORD error = enter(SimCall::RegQueryInfoKey))
        return static_cast<LONG>(error);
    if (reserved != nullptr || securityDescriptorSize != nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return registry().queryInfo(key, className, classLength, subKeys, maxSubKeyLength,
                                maxClassLength, values, maxValueNameLength, maxValueLength,
                                lastWriteTime);
}

LONG SimMachine::regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* reserved, char16_t* className, DWORD* classLength,
                              FILETIME* lastWriteTime)
{
    if (const DWORD error = enter(SimCall::RegEnumKeyEx))
        return static_cast<LONG>(error);
    if (reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return registry().enumKey(key, index, name, nameLength, className, classLength, lastWriteTime);
}

LONG SimMachine::regDeleteKey(HKEY key, const char16_t* subKey)
{
    if (const DWORD error = enter(SimCall::RegDeleteKey))
        return static_cast<LONG>(error);
    return registry().deleteKey(key, subKey);
}

LONG SimMachine::regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved)
{
    if (const DWORD error = enter(SimCall::RegDeleteKeyEx))
        return static_cast<LONG>(error);
    if (reserved != 0)
        return ERROR_INVALID_PARAMETER;
    return registry().deleteKey(key, subKey, access);
}

LONG SimMachine::regDeleteValue(HKEY key, const char16_t* valueName)
{
    if (const DWORD error = enter(SimCall::RegDeleteValue))
        return static_cast<LONG>(error);
    return registry().deleteValue(key, valueName);
}

LONG SimMachine::regCloseKey(HKEY key)
{
    if (const DWORD error = enter(SimCall::RegCloseKey))
        return static_cast<LONG>(error);
    return registry().close(key);
}
