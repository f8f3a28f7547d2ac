#include "platform/sim/sim_files.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_text.h"

namespace {

constexpr DWORD kErrorDirectory = 267;          // ERROR_DIRECTORY: the name is not a folder
constexpr DWORD kErrorFilenameTooLong = 206;    // ERROR_FILENAME_EXCED_RANGE
constexpr DWORD kErrorBufferOverflow = 111;     // ERROR_BUFFER_OVERFLOW
constexpr DWORD kOpenAlways = 4;
constexpr DWORD kTruncateExisting = 5;
constexpr DWORD kFileWriteData = 0x2;
constexpr DWORD kFileAppendData = 0x4;
constexpr DWORD kFlagSequentialScan = 0x08000000;
constexpr DWORD kFlagWriteThrough = 0x80000000;
constexpr DWORD kSystem = 0x4;
constexpr DWORD kTemporary = 0x100;
constexpr DWORD kOffline = 0x1000;
constexpr DWORD kNotContentIndexed = 0x2000;
// The attributes a caller may set; the others describe what the object is.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | kSystem |
                            FILE_ATTRIBUTE_ARCHIVE | kTemporary | kOffline | kNotContentIndexed;
// CreateDirectoryW leaves room for an 8.3 name below the new folder.
constexpr std::size_t kFolderPathLimit = MAX_PATH - 12;
constexpr int kLinkDepth = 8;

constexpr std::u16string_view kLongPrefix = u"\\\\?\\";

char16_t Fold(char16_t c)
{
    return SimUpcase(c);
}

std::u16string Folded(std::u16string_view text)
{
    return SimUpcased(text);
}

bool InvalidNameCharacter(char16_t c)
{
    return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' ||
           c == u'?' || c == u'*' || c == u'/';
}

// Case-insensitive wildcard match of a listing mask: "*" any run, "?" one character.
bool Matches(std::u16string_view mask, std::u16string_view name)
{
    if (mask == u"*" || mask == u"*.*")
        return true;
    std::size_t m = 0, n = 0, starM = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || Fold(mask[m]) == Fold(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM != std::u16string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

// The block GetFileVersionInfoW hands out on this machine: a header of its own followed by
// the fixed file information. `length` is how much of it the caller received.
struct VersionBlock {
    char magic[8];
    DWORD length;
    DWORD reserved;
    VS_FIXEDFILEINFO fixed;
};
constexpr char kVersionMagic[8] = {'S', 'I', 'M', 'V', 'E', 'R', '1', '\0'};

bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

} // namespace

namespace {

// A drive or network path, resolved as GetFullPathNameW does.
std::optional<std::u16string> ResolveAbsolute(std::u16string_view text)
{
    std::u16string root;
    std::size_t start = 0;
    if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
        // "\\server\share" is the root of a network path.
        root = u"\\";
        std::size_t end = 2;
        for (int names = 0; names < 2; ++names) {
            const std::size_t from = end;
            while (end < text.size() && !IsSeparator(text[end]))
                ++end;
            if (end == from)
                return std::nullopt;
            root += u"\\";
            root += text.substr(from, end - from);
            if (end < text.size())
                ++end;
        }
        start = end;
    } else if (text.size() >= 3 && text[1] == u':' && IsSeparator(text[2])) {
        root = std::u16string(text.substr(0, 2)) + u"\\";
        start = 3;
    } else {
        return std::nullopt;
    }
    std::vector<std::u16string_view> names;
    std::size_t at = start;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        std::u16string_view name = text.substr(at, end - at);
        if (name == u"..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != u".") {
            // A name followed by a separator loses one trailing dot (Wine measured: "Suite.."
            // becomes "Suite.", "Suite ." becomes "Suite ", a trailing blank stays).
            if (end < text.size() && name.back() == u'.')
                name.remove_suffix(1);
            if (!name.empty())
                names.push_back(name);
        }
        at = end + 1;
    }
    const bool trailingSeparator = !names.empty() && start < text.size() && IsSeparator(text.back());
    // The last name loses its trailing dots and blanks.
    if (!names.empty() && !trailingSeparator) {
        std::u16string_view& last = names.back();
        while (!last.empty() && (last.back() == u'.' || last.back() == u' '))
            last.remove_suffix(1);
        if (last.empty())
            names.pop_back();
    }
    std::u16string full = root;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0 || full.back() != u'\\')
            full += u'\\';
        full += names[i];
    }
    if (trailingSeparator)
        full += u'\\';
    return full;
}

} // namespace

namespace {

// A relative name joined to the current folder as the system joins it; any other name as it is.
std::u16string FromCurrentFolder(std::u16string_view text, std::u16string_view currentFolder)
{
    const bool network = text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]);
    const bool drive = text.size() >= 2 && text[1] == u':';
    if (currentFolder.size() < 2 || network || (drive && text.size() >= 3 && IsSeparator(text[2])))
        return std::u16string(text);
    std::u16string joined;
    if (drive) {
        // "C:a": from the current folder when it is on that drive, else from the drive's root.
        if (Fold(text[0]) == Fold(currentFolder[0]))
            joined = std::u16string(currentFolder) + u"\\" + std::u16string(text.substr(2));
        else
            joined = std::u16string(text.substr(0, 2)) + u"\\" + std::u16string(text.substr(2));
    } else if (!text.empty() && IsSeparator(text[0])) {
        joined = std::u16string(currentFolder.substr(0, 2)) + std::u16string(text);
    } else {
        joined = std::u16string(currentFolder) + u"\\" + std::u16string(text);
    }
    return joined;
}

} // namespace

std::optional<std::u16string> SimFullPath(std::u16string_view given, std::u16string_view currentFolder)
{
    const std::u16string absolute = FromCurrentFolder(given, currentFolder);
    const std::u16string_view text = absolute;
    constexpr std::u16string_view kLongUnc = u"\\\\?\\UNC\\";
    if (text.substr(0, kLongUnc.size()) == kLongUnc) {
        const std::optional<std::u16string> full = ResolveAbsolute(u"\\\\" + std::u16string(text.substr(kLongUnc.size())));
        return full ? std::optional<std::u16string>(std::u16string(kLongUnc) + full->substr(2)) : std::nullopt;
    }
    if (text.substr(0, kLongPrefix.size()) == kLongPrefix) {
        const std::optional<std::u16string> full = ResolveAbsolute(text.substr(kLongPrefix.size()));
        return full ? std::optional<std::u16string>(std::u16string(kLongPrefix) + *full) : std::u16string(text);
    }
    return ResolveAbsolute(text);
}


struct SimFileNode {
    std::u16string name;
    std::u16string shortName;     // the 8.3 alias of a name that does not fit 8.3, else empty
    DWORD volume = 0;             // serial number of the drive the node lives on
    std::uint64_t index = 0;      // the file index, unique on its drive
    bool folder = false;
    DWORD attributes = 0;         // the settable bits only
    std::u16string link;          // target of a junction or file link
    std::string content;
    bool hasVersion = false;
    DWORD versionMS = 0;
    DWORD versionLS = 0;
    SimAccess access = SimAccess::Open;
    bool ownedByCurrentUser = false;
    std::map<std::u16string, std::shared_ptr<SimFileNode>> children; // keyed by folded name
    // A hard link: this entry is one more name of that file, whose data, attributes, access and
    // identity it shares. The file counts its names in `links`.
    std::shared_ptr<SimFileNode> sameFileAs;
    unsigned links = 1;
    // Open handles, counted by handles that may outlive the file system itself.
    std::atomic<unsigned> opensWithoutDeleteShare{0};
    std::atomic<unsigned> opensForDelete{0};
    // Running programs whose image this file is; each answers whether it still runs.
    std::vector<std::function<bool()>> imageHolds;

    bool runningImage()
    {
        imageHolds.erase(std::remove_if(imageHolds.begin(), imageHolds.end(),
                                        [](const auto& running) { return !running(); }),
                         imageHolds.end());
        return !imageHolds.empty();
    }

    DWORD visibleAttributes() const
    {
        DWORD result = attributes;
        if (folder)
            result |= FILE_ATTRIBUTE_DIRECTORY;
        if (!link.empty())
            result |= FILE_ATTRIBUTE_REPARSE_POINT;
        return result == 0 ? FILE_ATTRIBUTE_NORMAL : result;
    }
};

namespace {

std::atomic<std::uint64_t> lastIndex{0};

// Characters an 8.3 name may hold besides letters and digits.
bool ShortNameCharacter(char16_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           (c < 0x80 && std::u16string_view(u"!#$%&'()-@^_`{}~").find(c) != std::u16string_view::npos);
}

// A name of at most eight characters and an extension of at most three, in either case: it is
// its own short name.
bool FitsShortName(std::u16string_view name)
{
    const std::size_t dot = name.find(u'.');
    const std::u16string_view base = name.substr(0, dot);
    const std::u16string_view extension = dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
    return !base.empty() && base.size() <= 8 && extension.size() <= 3 &&
           (dot == std::u16string_view::npos || !extension.empty()) &&
           std::all_of(base.begin(), base.end(), ShortNameCharacter) &&
           std::all_of(extension.begin(), extension.end(), ShortNameCharacter);
}

// The part of a name an alias is made from: blanks and dots dropped, other characters 8.3
// names cannot hold as "_", upper case.
std::u16string AliasPart(std::u16string_view text, std::size_t limit)
{
    std::u16string part;
    for (const char16_t c : text) {
        if (part.size() == limit)
            break;
        if (c == u' ' || c == u'.')
            continue;
        part += ShortNameCharacter(c) ? Fold(c) : u'_';
    }
    return part;
}

// The alias NTFS gives a name that does not fit 8.3: its first six characters, "~" and the
// lowest number free in the folder, then the first three of its extension ("Program Files
// (x86)" beside "Program Files" becomes "PROGRA~2").
std::u16string ShortNameFor(const SimFileNode& folder, std::u16string_view name)
{
    if (FitsShortName(name))
        return {};
    const std::size_t dot = name.rfind(u'.');
    const bool hasExtension = dot != std::u16string_view::npos && dot > 0;
    const std::u16string base = AliasPart(hasExtension ? name.substr(0, dot) : name, 6);
    const std::u16string extension = hasExtension ? AliasPart(name.substr(dot + 1), 3) : std::u16string();
    for (unsigned number = 1;; ++number) {
        std::u16string tail;
        for (unsigned rest = number; rest != 0; rest /= 10)
            tail.insert(tail.begin(), static_cast<char16_t>(u'0' + rest % 10));
        tail.insert(tail.begin(), u'~');
        std::u16string alias = base.substr(0, std::min<std::size_t>(base.size(), 8 - tail.size())) + tail;
        if (!extension.empty())
            alias += u"." + extension;
        const bool taken = std::any_of(folder.children.begin(), folder.children.end(), [&](const auto& child) {
            return child.second && (Folded(child.second->shortName) == alias || child.first == alias);
        });
        if (!taken)
            return alias;
    }
}

// A new entry of `folder`, on its drive, with its alias.
std::shared_ptr<SimFileNode> NewNode(const SimFileNode& folder, const std::u16string& name)
{
    auto node = std::make_shared<SimFileNode>();
    node->name = name;
    node->shortName = ShortNameFor(folder, name);
    node->volume = folder.volume;
    node->index = ++lastIndex;
    return node;
}

using Children = std::map<std::u16string, std::shared_ptr<SimFileNode>>;

// The entry of `folder` with this name or this alias.
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

// The file an entry names: itself, or for a hard link the file it is one more name of.
SimFileNode& File(SimFileNode& entry)
{
    return entry.sameFileAs ? *entry.sameFileAs : entry;
}

std::shared_ptr<SimFileNode> Child(SimFileNode& folder, std::u16string_view name)
{
    const auto child = FindChild(folder, name);
    return child == folder.children.end() ? nullptr : child->second;
}

} // namespace

struct SimFileSystem::Path {
    char16_t drive = 0;
    std::vector<std::u16string> parts;
    bool trailingSeparator = false;
};

struct SimFileSystem::Search {
    std::shared_ptr<SimFileNode> folder;
    std::vector<std::u16string> names; // "." and ".." stay; the others are looked up again
    std::size_t next = 0;
};

class SimFileSystem::Handle : public SimKernelObject {
public:
    Handle(std::shared_ptr<SimFileNode> node, DWORD access, DWORD share)
        : node_(std::move(node)), access_(access), share_(share)
    {
        if (!(share_ & FILE_SHARE_DELETE))
            ++node_->opensWithoutDeleteShare;
        if (access_ & DELETE)
            ++node_->opensForDelete;
    }
    ~Handle() override
    {
        if (!(share_ & FILE_SHARE_DELETE))
            --node_->opensWithoutDeleteShare;
        if (access_ & DELETE)
            --node_->opensForDelete;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool mayWrite() const
    {
        return !node_->folder &&
               (access_ & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData | kFileAppendData));
    }
    // Opened to append only: every write lands at the end of the file, wherever it stands.
    bool appendsOnly() const
    {
        return (access_ & kFileAppendData) && !(access_ & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData));
    }
    SimFileNode& node() { return *node_; }
    std::size_t position = 0;

private:
    std::shared_ptr<SimFileNode> node_;
    DWORD access_;
    DWORD share_;
};

// Without the long-path prefix the path is limited to `limit` characters with its terminator,
// "/" counts as a separator and "." and ".." are resolved, as the system does before the file
// system sees the name. With the prefix the names are taken as they are.
DWORD SimFileSystem::parse(const char16_t* raw, std::size_t limit, Path& path, bool pattern) const
{
    if (raw == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string_view text(raw);
    const bool longForm = text.substr(0, kLongPrefix.size()) == kLongPrefix;
    std::u16string resolved;
    if (longForm) {
        text.remove_prefix(kLongPrefix.size());
    } else if (text.size() + 1 > limit) {
        return kErrorFilenameTooLong;
    } else if (std::optional<std::u16string> full = SimFullPath(text, currentFolder_)) {
        // The name as GetFullPathNameW resolves it: trailing dots and blanks gone as there.
        resolved = std::move(*full);
        text = resolved;
    }
    if (text.empty())
        return ERROR_PATH_NOT_FOUND;
    // Only drive paths: a relative name without a current folder, or a network path, is not here.
    if (text.size() < 2 || text[1] != u':' || !((Fold(text[0]) >= u'A' && Fold(text[0]) <= u'Z')))
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (text.size() > 2 && text[2] != u'\\' && (longForm || text[2] != u'/'))
        return ERROR_CALL_NOT_IMPLEMENTED; // drive-relative
    path.drive = Fold(text[0]);
    path.parts.clear();
    path.trailingSeparator = false;
    std::size_t start = 3;
    while (start <= text.size() && start > 2) {
        std::size_t end = start;
        while (end < text.size() && text[end] != u'\\' && (longForm || text[end] != u'/'))
            ++end;
        const std::u16string_view part = text.substr(std::min(start, text.size()), end - std::min(start, text.size()));
        if (part.empty()) {
            if (end >= text.size())
                path.trailingSeparator = start > 3;
            else if (longForm)
                return ERROR_INVALID_NAME;
        } else if (part == u"." || part == u"..") {
            // Resolved above for a plain name; through the prefix the file system refuses them.
            if (longForm)
                return ERROR_INVALID_NAME;
            if (part == u".." && !path.parts.empty())
                path.parts.pop_back();
        } else {
            // A listing's last name is a mask and may hold the wildcards.
            const bool mask = pattern && end >= text.size();
            if (std::any_of(part.begin(), part.end(), [mask](char16_t c) {
                    return InvalidNameCharacter(c) && !(mask && (c == u'*' || c == u'?'));
                }))
                return ERROR_INVALID_NAME;
            path.parts.emplace_back(part);
        }
        if (end >= text.size())
            break;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

SimFileSystem::SimFileSystem() : tempPath_(u"C:\\Temp\\")
{
    addDrive(u'C');
    addFolder(u"C:\\Temp");
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
    if (parse(text.c_str(), 0x8000, path) != ERROR_SUCCESS || path.parts.empty())
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
    if (parse(text.c_str(), 0x8000, path) != ERROR_SUCCESS ||
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
    }
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

void SimFileSystem::setFileVersion(const std::u16string& path, WORD major, WORD minor,
                                   WORD build, WORD revision)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node || node->folder)
        throw std::invalid_argument("no such file");
    node->hasVersion = true;
    node->versionMS = static_cast<DWORD>(major) << 16 | minor;
    node->versionLS = static_cast<DWORD>(build) << 16 | revision;
}

void SimFileSystem::setAccess(const std::u16string& path, SimAccess access)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto node = lookup(path);
    if (!node)
        throw std::invalid_argument("no such file or folder");
    node->access = access;
    node->ownedByCurrentUser = false;
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

DWORD SimFileSystem::applySecurity(const std::u16string& text, SECURITY_INFORMATION information,
                                   bool currentUserFullAccess, bool ownerIsCurrentUser)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text.c_str(), 0x8000, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, false))
        return error;
    if (information & OWNER_SECURITY_INFORMATION)
        node->ownedByCurrentUser = ownerIsCurrentUser;
    if (information & DACL_SECURITY_INFORMATION) {
        if (node->access == SimAccess::DeniesUntilOwned && !node->ownedByCurrentUser)
            return ERROR_ACCESS_DENIED;
        node->access = currentUserFullAccess ? SimAccess::Open : SimAccess::DeniesCurrentUser;
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::getAttributes(const char16_t* text, DWORD& attributes) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, false))
        return error;
    attributes = node->visibleAttributes();
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::setAttributes(const char16_t* text, DWORD attributes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, false))
        return error;
    if (node->access != SimAccess::Open)
        return ERROR_ACCESS_DENIED;
    node->attributes = attributes & kSettable;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::findFirst(const char16_t* pattern, WIN32_FIND_DATAW* data, HANDLE& find)
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(pattern, MAX_PATH, path, true))
        return error;
    if (path.trailingSeparator || path.parts.empty())
        return ERROR_FILE_NOT_FOUND;
    const std::u16string mask = path.parts.back();
    path.parts.pop_back();
    std::shared_ptr<SimFileNode> folder;
    if (const DWORD error = walk(path, path.parts.size(), folder, 0))
        return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
    if (const DWORD error = enterFolder(folder, 0))
        return error;
    if (folder->access != SimAccess::Open)
        return ERROR_ACCESS_DENIED;

    auto search = std::make_unique<Search>();
    search->folder = folder;
    // A drive's root has no "." and ".." entries.
    if (!path.parts.empty())
        for (const char16_t* dot : {u".", u".."})
            if (Matches(mask, dot))
                search->names.emplace_back(dot);
    for (const auto& child : folder->children)
        if (Matches(mask, child.second->name))
            search->names.push_back(child.first);
    if (search->names.empty())
        return ERROR_FILE_NOT_FOUND;

    fill(*search, data);
    nextSearch_ += 4;
    find = reinterpret_cast<HANDLE>(nextSearch_);
    searches_.emplace(find, std::move(search));
    return ERROR_SUCCESS;
}

bool SimFileSystem::fill(Search& search, WIN32_FIND_DATAW* data) const
{
    while (search.next < search.names.size()) {
        const std::u16string& key = search.names[search.next++];
        DWORD attributes = FILE_ATTRIBUTE_DIRECTORY;
        std::u16string name = key;
        std::u16string alias;
        std::size_t size = 0;
        if (key != u"." && key != u"..") {
            // Entries deleted since the listing began are not reported, as on NTFS.
            const auto child = search.folder->children.find(key);
            if (child == search.folder->children.end())
                continue;
            attributes = File(*child->second).visibleAttributes();
            name = child->second->name;
            alias = child->second->shortName;
            size = File(*child->second).content.size();
        }
        std::memset(data, 0, sizeof *data);
        data->dwFileAttributes = attributes;
        data->nFileSizeLow = static_cast<DWORD>(size);
        data->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(size) >> 32);
        const std::size_t length = std::min<std::size_t>(name.size(), MAX_PATH - 1);
        std::copy_n(name.begin(), length, data->cFileName);
        std::copy(alias.begin(), alias.end(), data->cAlternateFileName);
        return true;
    }
    return false;
}

DWORD SimFileSystem::findNext(HANDLE find, WIN32_FIND_DATAW* data)
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto search = searches_.find(find);
    if (search == searches_.end())
        return ERROR_INVALID_HANDLE;
    return fill(*search->second, data) ? ERROR_SUCCESS : ERROR_NO_MORE_FILES;
}

DWORD SimFileSystem::findClose(HANDLE find)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return searches_.erase(find) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

DWORD SimFileSystem::deleteFile(const char16_t* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const auto child = FindChild(*parent, path.parts.back());
    if (child == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    SimFileNode& node = File(*child->second);
    if (path.trailingSeparator)
        return ERROR_INVALID_NAME;
    // The image of a running program is mapped by the system, which refuses its deletion.
    if (node.folder || (node.attributes & FILE_ATTRIBUTE_READONLY) ||
        node.access != SimAccess::Open || node.runningImage())
        return ERROR_ACCESS_DENIED;
    if (node.opensWithoutDeleteShare > 0)
        return ERROR_SHARING_VIOLATION;
    // One name goes; the file stays while it has another.
    --node.links;
    parent->children.erase(child);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::removeDirectory(const char16_t* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const auto child = FindChild(*parent, path.parts.back());
    if (child == parent->children.end())
        return ERROR_FILE_NOT_FOUND;
    const SimFileNode& node = *child->second;
    if (!node.folder)
        return kErrorDirectory;
    if ((node.attributes & FILE_ATTRIBUTE_READONLY) || node.access != SimAccess::Open)
        return ERROR_ACCESS_DENIED;
    // A junction goes by itself; what it points at is never looked at.
    if (node.link.empty() && !node.children.empty())
        return ERROR_DIR_NOT_EMPTY;
    if (node.opensWithoutDeleteShare > 0)
        return ERROR_SHARING_VIOLATION;
    parent->children.erase(child);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::createDirectory(const char16_t* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, kFolderPathLimit, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (const DWORD error = resolveParent(path, parent))
        return error;
    if (FindChild(*parent, path.parts.back()) != parent->children.end())
        return ERROR_ALREADY_EXISTS;
    if (parent->access != SimAccess::Open)
        return ERROR_ACCESS_DENIED;
    const std::shared_ptr<SimFileNode> slot = NewNode(*parent, path.parts.back());
    parent->children.emplace(Folded(path.parts.back()), slot);
    slot->folder = true;
    slot->ownedByCurrentUser = true;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::createFile(SimMachine& machine, const char16_t* text, DWORD access,
                                DWORD shareMode, DWORD disposition, DWORD flagsAndAttributes,
                                HANDLE& file, bool& existed)
{
    const DWORD modelledFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                                kFlagSequentialScan | kFlagWriteThrough | 0xFFFF;
    if (flagsAndAttributes & ~modelledFlags)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (disposition < CREATE_NEW || disposition > kTruncateExisting)
        return ERROR_INVALID_PARAMETER;
    std::unique_lock<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> parent;
    if (path.parts.empty()) {
        // "C:\" is the drive's root folder; the volume itself ("C:", "\\.\C:") is not modelled.
        const std::u16string_view raw(text);
        if (!IsSeparator(raw.back()))
            return ERROR_CALL_NOT_IMPLEMENTED;
        const auto drive = drives_.find(path.drive);
        if (drive == drives_.end())
            return ERROR_PATH_NOT_FOUND;
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) || (disposition != OPEN_EXISTING && disposition != kOpenAlways))
            return ERROR_ACCESS_DENIED;
        existed = true;
        auto handle = std::make_shared<Handle>(drive->second, access, shareMode);
        lock.unlock();
        file = machine.addHandle(std::move(handle));
        return ERROR_SUCCESS;
    }
    if (const DWORD error = resolveParent(path, parent))
        return error;
    const std::u16string key = Folded(path.parts.back());
    std::shared_ptr<SimFileNode> node;
    const auto child = FindChild(*parent, path.parts.back());
    existed = child != parent->children.end();
    if (existed) {
        node = child->second->sameFileAs ? child->second->sameFileAs : child->second;
        if (!node->link.empty() && !(flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT)) {
            std::shared_ptr<SimFileNode> target;
            if (resolveText(node->link, target, 1) != ERROR_SUCCESS)
                return ERROR_FILE_NOT_FOUND;
            node = target;
        }
        if (disposition == CREATE_NEW)
            return ERROR_FILE_EXISTS;
        const bool writes = (access & (GENERIC_WRITE | GENERIC_ALL | kFileWriteData |
                                       kFileAppendData)) != 0 ||
                            disposition == CREATE_ALWAYS || disposition == kTruncateExisting;
        if (node->folder) {
            if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) ||
                disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
                return ERROR_ACCESS_DENIED;
        } else if (path.trailingSeparator) {
            return ERROR_INVALID_NAME;
        }
        // Reading the attributes alone is granted by the parent folder's listing right,
        // whatever the object's own access list says.
        const bool attributesOnly = (access & ~(FILE_READ_ATTRIBUTES | SYNCHRONIZE)) == 0;
        if ((node->access != SimAccess::Open && !attributesOnly) ||
            (writes && !node->folder && (node->attributes & FILE_ATTRIBUTE_READONLY)))
            return ERROR_ACCESS_DENIED;
        if (((access & DELETE) && node->opensWithoutDeleteShare > 0) ||
            (!(shareMode & FILE_SHARE_DELETE) && node->opensForDelete > 0))
            return ERROR_SHARING_VIOLATION;
        if (disposition == CREATE_ALWAYS || disposition == kTruncateExisting)
            node->content.clear();
    } else {
        if (disposition == OPEN_EXISTING || disposition == kTruncateExisting)
            return ERROR_FILE_NOT_FOUND;
        if (path.trailingSeparator)
            return ERROR_INVALID_NAME;
        if (parent->access != SimAccess::Open)
            return ERROR_ACCESS_DENIED;
        node = NewNode(*parent, path.parts.back());
        node->attributes = (flagsAndAttributes & kSettable) | FILE_ATTRIBUTE_ARCHIVE;
        node->ownedByCurrentUser = true;
        parent->children.emplace(key, node);
    }
    auto handle = std::make_shared<Handle>(node, access, shareMode);
    lock.unlock();
    file = machine.addHandle(std::move(handle));
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::checkFileHandle(SimMachine& machine, HANDLE file, bool forWriting) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    return forWriting && !handle->mayWrite() ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD SimFileSystem::writeFile(SimMachine& machine, HANDLE file, const void* buffer, DWORD bytes,
                               DWORD* written)
{
    if (const DWORD error = checkFileHandle(machine, file, true))
        return error;
    if (written == nullptr || (buffer == nullptr && bytes != 0))
        return ERROR_INVALID_PARAMETER;
    const auto handle = machine.handleObject<Handle>(file);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& content = handle->node().content;
    if (handle->appendsOnly())
        handle->position = content.size();
    if (content.size() < handle->position)
        content.resize(handle->position);
    content.replace(handle->position, std::min<std::size_t>(bytes, content.size() - handle->position),
                    static_cast<const char*>(buffer), bytes);
    handle->position += bytes;
    *written = bytes;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::tempPath(std::u16string& path) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    path = tempPath_;
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::longPath(const char16_t* text, std::u16string& result) const
{
    DWORD attributes = 0;
    if (const DWORD error = getAttributes(text, attributes))
        return error == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : error; // as Wine answers
    const std::u16string_view path(text);
    const std::size_t root = (path.substr(0, kLongPrefix.size()) == kLongPrefix ? kLongPrefix.size() : 0) + 3;
    result = std::u16string(path.substr(0, std::min(root, path.size())));
    std::lock_guard<std::mutex> lock(mutex_);
    const auto drive = drives_.find(Fold(path[root - 3]));
    if (drive == drives_.end())
        return ERROR_FILE_NOT_FOUND;
    std::shared_ptr<SimFileNode> node = drive->second;
    bool resolving = true;
    for (std::size_t at = root; at < path.size();) {
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::u16string_view name = path.substr(at, end - at);
        std::shared_ptr<SimFileNode> child;
        if (resolving && name != u"." && name != u".." && enterFolder(node, 0) == ERROR_SUCCESS)
            child = Child(*node, name);
        if (child) {
            result += FitsShortName(name) ? child->name : std::u16string(name);
            node = child;
        } else {
            result += name;
            resolving = false;
        }
        if (end < path.size())
            result += path[end];
        at = end + 1;
    }
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::fileInformation(SimMachine& machine, HANDLE file,
                                     BY_HANDLE_FILE_INFORMATION* information) const
{
    const auto handle = machine.handleObject<Handle>(file);
    if (!handle)
        return ERROR_INVALID_HANDLE;
    if (information == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    const SimFileNode& node = handle->node();
    *information = {};
    information->dwFileAttributes = node.visibleAttributes();
    information->dwVolumeSerialNumber = node.volume;
    information->nFileSizeLow = static_cast<DWORD>(node.content.size());
    information->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(node.content.size()) >> 32);
    information->nNumberOfLinks = node.links;
    information->nFileIndexLow = static_cast<DWORD>(node.index);
    information->nFileIndexHigh = static_cast<DWORD>(node.index >> 32);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::tempFileName(const char16_t* folder, const char16_t* prefix, UINT unique,
                                  char16_t* name, UINT& number)
{
    if (folder == nullptr || name == nullptr)
        return ERROR_INVALID_PARAMETER;
    std::u16string base(folder);
    if (base.empty() || base.back() != u'\\')
        base += u'\\';
    if (prefix != nullptr)
        base += std::u16string_view(prefix).substr(0, 3);
    if (base.size() > MAX_PATH - 14)
        return kErrorBufferOverflow;
    const auto nameFor = [&base](UINT value) {
        static const char16_t digits[] = u"0123456789ABCDEF";
        std::u16string hex;
        for (value &= 0xFFFF; value != 0 || hex.empty(); value >>= 4)
            hex.insert(hex.begin(), digits[value & 0xF]);
        return base + hex + u".tmp";
    };
    std::u16string result;
    if (unique != 0) {
        result = nameFor(unique);
        number = unique;
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        Path path;
        if (const DWORD error = parse(folder, MAX_PATH, path))
            return error;
        std::shared_ptr<SimFileNode> parent;
        if (const DWORD error = walk(path, path.parts.size(), parent, 0))
            return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error;
        if (enterFolder(parent, 0) != ERROR_SUCCESS)
            return kErrorDirectory;
        if (parent->access != SimAccess::Open)
            return ERROR_ACCESS_DENIED;
        for (unsigned tries = 0;; ++tries) {
            if (tries == 0xFFFF)
                return ERROR_FILE_EXISTS;
            tempCounter_ = (tempCounter_ + 1) & 0xFFFF;
            if (tempCounter_ == 0)
                continue;
            result = nameFor(tempCounter_);
            const std::u16string leaf = result.substr(result.rfind(u'\\') + 1);
            auto& slot = parent->children[Folded(leaf)];
            if (slot)
                continue;
            slot = NewNode(*parent, leaf);
            slot->attributes = FILE_ATTRIBUTE_ARCHIVE;
            slot->ownedByCurrentUser = true;
            number = tempCounter_;
            break;
        }
    }
    std::copy(result.begin(), result.end(), name);
    name[result.size()] = u'\0';
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::versionInfoSize(const char16_t* text, DWORD& size) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    if (const DWORD error = parse(text, MAX_PATH, path))
        return error;
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, true))
        return error;
    if (node->folder)
        return ERROR_ACCESS_DENIED;
    // What Wine answers for a text file and for a program without the resource alike.
    if (!node->hasVersion)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    size = sizeof(VersionBlock);
    return ERROR_SUCCESS;
}

DWORD SimFileSystem::versionInfo(const char16_t* text, DWORD length, void* data) const
{
    if (data == nullptr)
        return ERROR_INVALID_PARAMETER;
    DWORD size = 0;
    if (const DWORD error = versionInfoSize(text, size))
        return error;
    std::lock_guard<std::mutex> lock(mutex_);
    Path path;
    parse(text, MAX_PATH, path);
    std::shared_ptr<SimFileNode> node;
    if (const DWORD error = resolve(path, node, true))
        return error;
    VersionBlock block{};
    std::memcpy(block.magic, kVersionMagic, sizeof block.magic);
    block.length = std::min<DWORD>(length, sizeof block);
    block.fixed.dwSignature = 0xFEEF04BD;
    block.fixed.dwStrucVersion = 0x00010000;
    block.fixed.dwFileVersionMS = node->versionMS;
    block.fixed.dwFileVersionLS = node->versionLS;
    block.fixed.dwProductVersionMS = node->versionMS;
    block.fixed.dwProductVersionLS = node->versionLS;
    block.fixed.dwFileOS = 0x40004;  // VOS_NT_WINDOWS32
    block.fixed.dwFileType = 1;      // VFT_APP
    // A short buffer receives the block's beginning, as the system does.
    std::memcpy(data, &block, block.length);
    return ERROR_SUCCESS;
}

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
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (const DWORD error = files().createDirectory(path))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

HANDLE SimMachine::createFile(const char16_t* path, DWORD access, DWORD shareMode,
                              SECURITY_ATTRIBUTES* attributes, DWORD disposition,
                              DWORD flagsAndAttributes, HANDLE templateFile)
{
    if (enter(SimCall::CreateFile))
        return INVALID_HANDLE_VALUE;
    if ((attributes != nullptr && attributes->lpSecurityDescriptor != nullptr) ||
        templateFile != nullptr)
        return fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
    HANDLE file = INVALID_HANDLE_VALUE;
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
    if (overlapped != nullptr)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (const DWORD error = files().writeFile(*this, file, buffer, bytesToWrite, bytesWritten))
        return fail<BOOL>(error, FALSE);
    return TRUE;
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
    const auto length = static_cast<DWORD>(result.size());
    if (longPath == nullptr || bufferLength < length + 1)
        return length + 1; // the size needed, terminator included
    std::copy(result.begin(), result.end(), longPath);
    longPath[length] = u'\0';
    return length;
}

BOOL SimMachine::getFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information)
{
    if (enter(SimCall::GetFileInformationByHandle))
        return FALSE;
    if (const DWORD error = files().fileInformation(*this, file, information))
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

BOOL SimMachine::verQueryValue(const void* block, const char16_t* subBlock, void** buffer,
                               UINT* length)
{
    if (enter(SimCall::VerQueryValue))
        return FALSE;
    if (block == nullptr || subBlock == nullptr || buffer == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    const auto* version = static_cast<const VersionBlock*>(block);
    if (std::memcmp(version->magic, kVersionMagic, sizeof version->magic) != 0)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    // Only the fixed file information is modelled; string tables and translations are not.
    if (std::u16string_view(subBlock) != u"\\")
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (version->length < sizeof(VersionBlock))
        return fail<BOOL>(ERROR_RESOURCE_TYPE_NOT_FOUND, FALSE);
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&version->fixed);
    if (length != nullptr)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
