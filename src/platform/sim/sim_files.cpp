// The file tree of the simulated machine: drives, folders, files and links as nodes, how a parsed
// path walks down to one (following junctions and file links), and the set-up and inspection
// calls tests lay and read the tree with. The calls of the seam work on what this finds.

#include "platform/sim/sim_files.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/security_descriptor.h"
#include "platform/sim/sim_files_internal.h"

using namespace SimFilesInternal;

namespace {

constexpr int kLinkDepth = 8;

std::atomic<std::uint64_t> lastIndex{0};

} // namespace

namespace SimFilesInternal {

std::shared_ptr<SimFileNode> NewNode(const SimFileNode& folder, const std::u16string& name)
{
    auto node = std::make_shared<SimFileNode>();
    node->name = name;
    node->shortName = ShortNameFor(folder, name);
    node->volume = folder.volume;
    node->index = ++lastIndex;
    node->parent = folder.weak_from_this();
    node->standardUsersMayChange = folder.standardUsersMayChange;
    return node;
}

Children::iterator FindChild(SimFileNode& folder, std::u16string_view name)
{
    const std::u16string key = Folded(name);
    const auto child = folder.children.find(key);
    if (child != folder.children.end())
        return child;
    return std::find_if(folder.children.begin(), folder.children.end(), [&key](const auto& entry) {
        return entry.second && !entry.second->shortName.empty() && Folded(entry.second->shortName) == key;
    });
}

SimFileNode& File(SimFileNode& entry)
{
    return entry.sameFileAs ? *entry.sameFileAs : entry;
}

std::shared_ptr<SimFileNode> Child(SimFileNode& folder, std::u16string_view name)
{
    const auto child = FindChild(folder, name);
    return child == folder.children.end() ? nullptr : child->second;
}

} // namespace SimFilesInternal

SimFileSystem::SimFileSystem() : tempPath_(u"C:\\Temp\\")
{
    addDrive(u'C');
    addFolder(u"C:\\Temp");
    // Where every program of the system lives, and where the program runs its uninstallers.
    addFolder(u"C:\\Windows\\System32");
}

SimFileSystem::~SimFileSystem() = default;

DWORD SimFileSystem::enterFolder(std::shared_ptr<SimFileNode>& node, int depth) const
{
    if (!node->link.empty()) {
        if (depth >= kLinkDepth)
            return ERROR_PATH_NOT_FOUND;
        std::shared_ptr<SimFileNode> target;
        if (resolveText(node->link, target, depth + 1) != ERROR_SUCCESS)
            return ERROR_PATH_NOT_FOUND;
        node = target;
    }
    return node->folder ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

DWORD SimFileSystem::walk(const Path& path, std::size_t count, std::shared_ptr<SimFileNode>& node,
                          int depth) const
{
    const auto drive = drives_.find(path.drive);
    if (drive == drives_.end())
        return ERROR_PATH_NOT_FOUND;
    node = drive->second;
    for (std::size_t i = 0; i < count; ++i) {
        if (const DWORD error = enterFolder(node, depth))
            return error;
        const std::shared_ptr<SimFileNode> child = Child(*node, path.parts[i]);
        if (!child)
            return i + 1 == path.parts.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        node = child->sameFileAs ? child->sameFileAs : child;
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::resolveText(const std::u16string& text, std::shared_ptr<SimFileNode>& node,
                                 int depth) const
{
    Path path;
    if (const DWORD error = parse(text.c_str(), 0x8000, path))
        return error;
    if (const DWORD error = walk(path, path.parts.size(), node, depth))
        return error;
    if (!node->link.empty()) {
        if (depth >= kLinkDepth)
            return ERROR_FILE_NOT_FOUND;
        return resolveText(std::u16string(node->link), node, depth + 1);
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::resolve(const Path& path, std::shared_ptr<SimFileNode>& node,
                             bool followLast) const
{
    if (const DWORD error = walk(path, path.parts.size(), node, 0))
        return error;
    if (path.trailingSeparator && !node->folder)
        return ERROR_INVALID_NAME;
    if (followLast && !node->link.empty()) {
        std::shared_ptr<SimFileNode> target;
        if (const DWORD error = resolveText(node->link, target, 1))
            return error;
        node = target;
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::resolveName(const std::u16string& text, std::shared_ptr<SimFileNode>& node, bool followLast) const
{
    Path path;
    if (const DWORD error = parse(text.c_str(), 0x8000, path))
        return error;
    if (const DWORD error = resolve(path, node, followLast))
        return error;
    // The security calls open the object, which a pending deletion refuses.
    return node->deletePending ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD SimFileSystem::resolveParent(const Path& path, std::shared_ptr<SimFileNode>& parent) const
{
    if (path.parts.empty())
        return ERROR_ACCESS_DENIED; // the drive's root has no parent to change
    if (const DWORD error = walk(path, path.parts.size() - 1, parent, 0))
        return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    return enterFolder(parent, 0);
}

std::shared_ptr<SimFileNode> SimFileSystem::place(const std::u16string& text, bool folderAtEnd)
{
    Path path;
    if (parse(text.c_str(), 0x8000, path, false, true) != ERROR_SUCCESS || path.parts.empty())
        throw std::invalid_argument("not a placeable path");
    const auto drive = drives_.find(path.drive);
    if (drive == drives_.end())
        throw std::invalid_argument("no such drive");
    std::shared_ptr<SimFileNode> node = drive->second;
    for (std::size_t i = 0; i < path.parts.size(); ++i) {
        if (enterFolder(node, 0) != ERROR_SUCCESS)
            throw std::invalid_argument("a file is in the way");
        auto& slot = node->children[Folded(path.parts[i])];
        const bool last = i + 1 == path.parts.size();
        if (!slot) {
            slot = NewNode(*node, path.parts[i]);
            slot->folder = !last || folderAtEnd;
        } else if (last && slot->folder != folderAtEnd) {
            throw std::invalid_argument("a different kind of object is there");
        }
        node = slot;
    }
    return node;
}

std::shared_ptr<SimFileNode> SimFileSystem::lookup(const std::u16string& text) const
{
    Path path;
    std::shared_ptr<SimFileNode> node;
    if (parse(text.c_str(), 0x8000, path, false, true) != ERROR_SUCCESS ||
        walk(path, path.parts.size(), node, 0) != ERROR_SUCCESS)
        return nullptr;
    return node;
}

void SimFileSystem::addDrive(char16_t letter)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto& root = drives_[Fold(letter)];
    if (!root) {
        root = std::make_shared<SimFileNode>();
        root->folder = true;
        root->volume = 0x5A1E0000u | Fold(letter); // any fixed serial, one per drive
        root->index = ++lastIndex;
        root->drive = Fold(letter);
    }
}

void SimFileSystem::addNetworkDrive(char16_t letter)
{
    addDrive(letter);
    std::lock_guard<std::mutex> lock(mutex_);
    networkDrives_.insert(Fold(letter));
}

UINT SimFileSystem::driveType(const char16_t* root) const
{
    if (root == nullptr)
        return DRIVE_NO_ROOT_DIR;
    const std::u16string_view text(root);
    if (text.size() < 2 || text.size() > 3 || text[1] != u':' || (text.size() == 3 && !IsSeparator(text[2])))
        return DRIVE_NO_ROOT_DIR;
    std::lock_guard<std::mutex> lock(mutex_);
    if (drives_.count(Fold(text[0])) == 0)
        return DRIVE_NO_ROOT_DIR;
    return networkDrives_.count(Fold(text[0])) ? DRIVE_REMOTE : DRIVE_FIXED;
}

void SimFileSystem::addFolder(const std::u16string& path, DWORD attributes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    place(path, true)->attributes = attributes & kSettable;
}

void SimFileSystem::addFile(const std::u16string& path, std::string content, DWORD attributes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = place(path, false);
    node->attributes = (attributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
    node->content = std::move(content);
}

void SimFileSystem::addJunction(const std::u16string& path, const std::u16string& target)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = place(path, true);
    if (!node->children.empty())
        throw std::invalid_argument("a junction replaces an empty folder only");
    node->link = target;
}

void SimFileSystem::addHostLink(const std::u16string& path, const std::u16string& target, bool toFolder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = place(path, toFolder);
    node->link = target;
    node->hostLink = true;
}

void SimFileSystem::replaceWithJunction(const std::u16string& path, const std::u16string& target)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path parsed;
    std::shared_ptr<SimFileNode> parent;
    if (parse(path.c_str(), 0x8000, parsed, false, true) != ERROR_SUCCESS || resolveParent(parsed, parent) != ERROR_SUCCESS)
        throw std::invalid_argument("no such folder");
    const auto entry = FindChild(*parent, parsed.parts.back());
    if (entry == parent->children.end())
        throw std::invalid_argument("no such folder");
    std::shared_ptr<SimFileNode> moved = entry->second;
    parent->children.erase(entry);
    moved->name += u".old";
    moved->shortName.clear();
    parent->children[Folded(moved->name)] = moved;
    const auto junction = NewNode(*parent, parsed.parts.back());
    junction->folder = true;
    junction->link = target;
    parent->children[Folded(junction->name)] = junction;
}

void SimFileSystem::addFileLink(const std::u16string& path, const std::u16string& target)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = place(path, false);
    node->attributes |= FILE_ATTRIBUTE_ARCHIVE;
    node->link = target;
}

void SimFileSystem::addHardLink(const std::u16string& path, const std::u16string& existing)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto file = lookup(existing);
    if (!file || file->folder || !file->link.empty())
        throw std::invalid_argument("a hard link names a file");
    const auto node = place(path, false);
    node->sameFileAs = file;
    ++file->links;
}

std::shared_ptr<SimFileNode> SimFileSystem::existing(const std::u16string& path) const
{
    const auto node = lookup(path);
    if (!node)
        throw std::invalid_argument("no such file or folder");
    return node;
}

void SimFileSystem::setAccess(const std::u16string& path, SimAccess access)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = existing(path);
    node->access = access;
    node->ownedByCurrentUser = false;
}

void SimFileSystem::letStandardUsersChange(const std::u16string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = existing(path);
    node->standardUsersMayChange = true;
}

void SimFileSystem::makeOwnedByStandardUser(const std::u16string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = existing(path);
    node->ownedByStandardUser = true;
    node->ownedByCurrentUser = false;
}

SimObjectSecurity SimFilesInternal::SecurityOf(const SimFileNode& node, const std::vector<BYTE>& currentUser)
{
    SimObjectSecurity security;
    security.owner = node.ownedByStandardUser ? SimSecurity::standardUserToken().user
                     : node.ownedByCurrentUser ? currentUser
                                               : kAdministratorsSid;
    if (!node.madeList.empty()) {
        security.list = node.madeList;
        security.control = kSeDaclProtected;
        return security;
    }
    std::vector<AllowedEntry> entries = {{0x1F01FF, kSystemSid}, {0x1F01FF, kAdministratorsSid}};
    if (node.standardUsersMayChange)
        entries.push_back({0x1301BF, kUsersSid}); // read, write, execute and delete
    security.list = AccessList(entries);
    return security;
}

DWORD SimFileSystem::securityOf(const std::u16string& text, const std::vector<BYTE>& currentUser,
                                SimObjectSecurity& security) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolveName(text, node, true))
        return error;
    security = SecurityOf(*node, currentUser);
    return ERROR_SUCCESS;
}

void SimFileSystem::setTempPath(std::u16string path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (path.empty() || path.back() != u'\\')
        path += u'\\';
    tempPath_ = std::move(path);
}

bool SimFileSystem::holdImage(const std::u16string& path, std::function<bool()> running)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node || node->folder)
        return false;
    node->imageHolds.push_back(std::move(running));
    return true;
}

bool SimFileSystem::fileExists(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    return node && !node->folder;
}

bool SimFileSystem::exists(const std::u16string& path) const
{
    return attributes(path) != INVALID_FILE_ATTRIBUTES;
}

DWORD SimFileSystem::attributes(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    return node ? node->visibleAttributes() : INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> SimFileSystem::content(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node || node->folder)
        return std::nullopt;
    return node->content;
}

std::vector<std::u16string> SimFileSystem::drives() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> roots;
    for (const auto& drive : drives_)
        roots.push_back(std::u16string(1, drive.first) + u":\\");
    return roots;
}

std::vector<std::u16string> SimFileSystem::entries(const std::u16string& folder) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::u16string> names;
    auto node = lookup(folder);
    if (node && enterFolder(node, 0) == ERROR_SUCCESS)
        for (const auto& child : node->children)
            names.push_back(child.second->name);
    return names;
}

void SimFileSystem::beforeOpening(const std::u16string& path, std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    beforeOpening_[Folded(path)] = std::move(action);
}

std::function<void()> SimFileSystem::takeBeforeOpening(const char16_t* path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = path ? beforeOpening_.find(Folded(path)) : beforeOpening_.end();
    if (found == beforeOpening_.end())
        return nullptr;
    std::function<void()> action = std::move(found->second);
    beforeOpening_.erase(found);
    return action;
}

std::vector<std::u16string> SimFileSystem::remoteReached() const
{
    std::lock_guard<std::mutex> lock(reachedMutex_);
    return remoteReached_;
}

std::optional<SimAccess> SimFileSystem::access(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node)
        return std::nullopt;
    return node->access;
}

bool SimFileSystem::ownedByCurrentUser(const std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    return node && node->ownedByCurrentUser;
}

DWORD SimFilesInternal::ApplySecurity(SimFileNode& node, SECURITY_INFORMATION information, bool currentUserFullAccess,
                                      bool ownerIsCurrentUser)
{
    if (information & OWNER_SECURITY_INFORMATION) {
        node.ownedByCurrentUser = ownerIsCurrentUser;
        node.ownedByStandardUser = false;
    }
    if (information & DACL_SECURITY_INFORMATION) {
        if (node.access == SimAccess::DeniesUntilOwned && !node.ownedByCurrentUser)
            return ERROR_ACCESS_DENIED;
        node.access = currentUserFullAccess ? SimAccess::Open : SimAccess::DeniesCurrentUser;
        node.madeList.clear();
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::applySecurity(const std::u16string& text, SECURITY_INFORMATION information,
                                   bool currentUserFullAccess, bool ownerIsCurrentUser)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolveName(text, node, false))
        return error;
    return ApplySecurity(*node, information, currentUserFullAccess, ownerIsCurrentUser);
}
