// The simulated registry's keys: the tree under each predefined root, the 32-bit and 64-bit views
// of HKLM\SOFTWARE, and the set-up and inspection calls tests lay and read it with, access lists
// included. The calls on open keys and the machine's entry points are beside it.

#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>

#include "platform/security_descriptor.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_registry_internal.h"
#include "platform/sim/sim_text.h"

using namespace SimRegistryInternal;

namespace {

bool SameName(std::u16string_view a, std::u16string_view b)
{
    return SimSameName(a, b);
}

} // namespace

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

void SimRegistry::setCurrentUserHive(std::u16string name)
{
    loadUserHive(name);
    std::lock_guard<std::mutex> lock(mutex_);
    currentUser_ = std::move(name);
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
                                                      bool wow64Key64, bool create, Links links,
                                                      bool* tooManyLinks) const
{
    std::shared_ptr<Key> key = handleKey(root);
    if (!key)
        return nullptr;
    const std::vector<std::u16string> parts = SplitPath(path);
    int hops = 0;
    // A name opened inside a link opened as itself is looked for where the link leads.
    if (links != Links::Stored && key->symbolicLink && !parts.empty())
        key = linkTarget(*key, hops);
    key = key ? walk(key, parts, wow64Key64, create, links, hops) : nullptr;
    if (tooManyLinks)
        *tooManyLinks = hops > kMostLinks;
    return key;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::walk(std::shared_ptr<Key> key,
                                                   const std::vector<std::u16string>& parts,
                                                   bool wow64Key64, bool create, Links links,
                                                   int& hops) const
{
    for (std::size_t i = 0; i < parts.size() && key; ++i) {
        const bool redirect = key->redirectsSoftware && !wow64Key64 && SameName(parts[i], u"SOFTWARE");
        key = create ? key->makeChild(parts[i]) : key->child(parts[i]);
        if (key && redirect)
            key = key->child(u"WOW6432Node");
        const bool asItself = links == Links::Stored || (links == Links::LastOpened && i + 1 == parts.size());
        if (key && key->symbolicLink && !asItself)
            key = linkTarget(*key, hops);
    }
    return key;
}

std::shared_ptr<SimRegistry::Key> SimRegistry::linkTarget(const Key& link, int& hops) const
{
    const auto value = link.values.find(u"SymbolicLinkValue");
    if (++hops > kMostLinks || value == link.values.end() || value->second.type != REG_LINK)
        return nullptr;
    std::u16string target;
    for (std::size_t at = 0; at + 1 < value->second.data.size(); at += 2)
        target += static_cast<char16_t>(value->second.data[at] | value->second.data[at + 1] << 8);
    while (!target.empty() && target.back() == u'\0')
        target.pop_back();
    // Names of the kernel's registry: the machine's keys as stored, no view chosen.
    const std::pair<std::u16string_view, std::shared_ptr<Key>> kHives[] = {
        {u"\\Registry\\Machine", machineRoot_},
        {u"\\Registry\\User", usersRoot_},
    };
    for (const auto& [prefix, hive] : kHives)
        if (target.size() >= prefix.size() && SameName(std::u16string_view(target).substr(0, prefix.size()), prefix) &&
            (target.size() == prefix.size() || target[prefix.size()] == u'\\'))
            return walk(hive, SplitPath(std::u16string_view(target).substr(prefix.size())), true, false,
                        Links::Followed, hops);
    return nullptr;
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

void SimRegistry::createLink(HKEY root, std::u16string_view path, std::u16string_view target, View view)
{
    std::vector<BYTE> data;
    for (const char16_t c : target) {
        data.push_back(static_cast<BYTE>(c & 0xFF));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = setUpKey(root, path, view);
    key->symbolicLink = true;
    key->values[u"SymbolicLinkValue"] = Key::Value{u"SymbolicLinkValue", REG_LINK, std::move(data)};
}

void SimRegistry::makeOwnedByStandardUser(HKEY root, std::u16string_view path, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    setUpKey(root, path, view)->ownedByStandardUser = true;
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

std::optional<std::vector<BYTE>> SimRegistry::valueData(HKEY root, std::u16string_view path,
                                                        std::u16string_view name, View view) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = resolve(root, path, inView64(root, path, view), false);
    if (!key)
        return std::nullopt;
    const auto found = key->values.find(std::u16string(name));
    if (found == key->values.end())
        return std::nullopt;
    return found->second.data;
}

std::vector<RegistryValue> SimRegistry::values(HKEY root, std::u16string_view path, View view) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<RegistryValue> found;
    if (const auto key = resolve(root, path, inView64(root, path, view), false))
        for (const auto& entry : key->values)
            found.push_back({entry.second.name, entry.second.type, entry.second.data});
    return found;
}

void SimRegistry::removeValue(HKEY root, std::u16string_view path, std::u16string_view name, View view)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto key = resolve(root, path, inView64(root, path, view), false))
        key->values.erase(std::u16string(name));
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

namespace {

// A new owner or access list, alike by name and through a handle: the owner taken lets the list
// be replaced, and a list of full access opens the key.
DWORD ApplyTo(SimRegistry::Key& key, SECURITY_INFORMATION information, bool currentUserFullAccess,
              bool ownerIsCurrentUser)
{
    if ((information & OWNER_SECURITY_INFORMATION) && ownerIsCurrentUser) {
        key.needsOwnership = false;
        key.ownedByStandardUser = false;
    }
    if (information & DACL_SECURITY_INFORMATION) {
        if (key.needsOwnership)
            return ERROR_ACCESS_DENIED;
        if (currentUserFullAccess)
            key.refusedAccess = 0;
    }
    return ERROR_SUCCESS;
}

} // namespace

DWORD SimRegistry::securityAccess(HKEY key, SECURITY_INFORMATION information) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return static_cast<DWORD>(error);
    if (((information & OWNER_SECURITY_INFORMATION) && !handleGrants(key, WRITE_OWNER)) ||
        ((information & DACL_SECURITY_INFORMATION) && !handleGrants(key, WRITE_DAC)))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

DWORD SimRegistry::securityOf(HKEY key, SimObjectSecurity& security) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Key> open;
    if (const LONG error = liveKey(key, open))
        return static_cast<DWORD>(error);
    if (!handleGrants(key, READ_CONTROL))
        return ERROR_ACCESS_DENIED;
    security.owner = open->ownedByStandardUser ? SimSecurity::standardUserToken().user : kAdministratorsSid;
    std::vector<AllowedEntry> entries = {{KEY_ALL_ACCESS, kSystemSid}, {KEY_ALL_ACCESS, kAdministratorsSid}};
    if (open->ownedByStandardUser)
        entries.push_back({KEY_ALL_ACCESS, security.owner});
    security.list = AccessList(entries);
    security.control = 0;
    return ERROR_SUCCESS;
}

DWORD SimRegistry::applySecurity(HKEY key, SECURITY_INFORMATION information, bool currentUserFullAccess,
                                 bool ownerIsCurrentUser)
{
    if (const DWORD refused = securityAccess(key, information))
        return refused;
    std::lock_guard<std::mutex> lock(mutex_);
    return ApplyTo(*handleKey(key), information, currentUserFullAccess, ownerIsCurrentUser);
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
        const auto key = resolve(root, path, view64, false, Links::Followed);
        if (!key)
            return ERROR_FILE_NOT_FOUND;
        return ApplyTo(*key, information, currentUserFullAccess, ownerIsCurrentUser);
    }
    return ERROR_INVALID_PARAMETER;
}
