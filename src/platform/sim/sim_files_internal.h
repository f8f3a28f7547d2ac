#pragma once

// What the parts of the simulated file system share, and nothing else includes: the node a name
// leads to, a parsed path, the attribute bits a caller may set, and the few helpers on names and
// folders every part needs. Each helper is written once, in the part it belongs to.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_security.h"
#include "platform/sim/sim_text.h"

struct SimFileNode : std::enable_shared_from_this<SimFileNode> {
    std::u16string name;
    char16_t drive = 0;           // a drive's root folder: its letter
    std::weak_ptr<const SimFileNode> parent; // the folder that holds this name
    std::u16string shortName;     // the 8.3 alias of a name that does not fit 8.3, else empty
    DWORD volume = 0;             // serial number of the drive the node lives on
    std::uint64_t index = 0;      // the file index, unique on its drive
    bool folder = false;
    DWORD attributes = 0;         // the settable bits only
    std::u16string link;          // target of a junction or file link
    // A symbolic link of Wine's host: listed as a link when it leads to a folder, as a plain file
    // when to a file, and opened as what it leads to even when the link itself is asked for.
    bool hostLink = false;
    std::string content;
    bool hasVersion = false;
    DWORD versionMS = 0;
    DWORD versionLS = 0;
    SimAccess access = SimAccess::Open;
    // The access list lets the Users group change the folder or file; inherited by what is made
    // in a folder, as NTFS passes its entries on.
    bool standardUsersMayChange = false;
    bool ownedByCurrentUser = false;
    // Made by a standard user's program: that user owns it.
    bool ownedByStandardUser = false;
    // The access list it was made with, nothing inherited from its folder; empty: the one the
    // flags above describe.
    std::vector<BYTE> madeList;
    std::map<std::u16string, std::shared_ptr<SimFileNode>> children; // keyed by folded name
    // A hard link: this entry is one more name of that file, whose data, attributes, access and
    // identity it shares. The file counts its names in `links`.
    std::shared_ptr<SimFileNode> sameFileAs;
    unsigned links = 1;
    // Open handles, counted by handles that may outlive the file system itself.
    std::atomic<unsigned> opensWithoutDeleteShare{0};
    std::atomic<unsigned> opensForDelete{0};
    std::atomic<unsigned> opens{0};
    // A deletion asked through a handle (FileDispositionInfo): until the last handle closes, the
    // object is still listed but no longer opens. `pendingName` is the entry that then leaves its
    // folder: the name the deleting handle was opened through.
    bool deletePending = false;
    std::weak_ptr<SimFileNode> pendingName;
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
        if (!link.empty() && (folder || !hostLink))
            result |= FILE_ATTRIBUTE_REPARSE_POINT;
        return result == 0 ? FILE_ATTRIBUTE_NORMAL : result;
    }
};

struct SimFileSystem::Path {
    char16_t drive = 0;
    std::vector<std::u16string> parts;
    bool trailingSeparator = false;
};

// A listing in progress; the file system's destructor ends those never closed.
struct SimFileSystem::Search {
    std::shared_ptr<SimFileNode> folder;
    std::vector<std::u16string> names; // "." and ".." stay; the others are looked up again
    std::size_t next = 0;
};

// An open file or folder. It counts how its object is open, so that a deletion meets the sharing
// violation Windows gives, and takes the object out of its folder when it is the last handle to
// close after a deletion was asked. It may outlive the file system, which it holds weakly.
class SimFileSystem::Handle : public SimKernelObject {
public:
    // `entry` is the folder's entry the object was opened through (for a hard link, that name;
    // for a link followed, the target's own), `node` the object itself. Made with the file system
    // locked.
    Handle(std::weak_ptr<SimFileSystem> files, std::shared_ptr<SimFileNode> entry, std::shared_ptr<SimFileNode> node,
           DWORD access, DWORD share);
    // Locks the file system, if it is still there: never destroy a handle with it locked.
    ~Handle() override;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    // Whether the open asked for any of `rights`.
    bool allows(DWORD rights) const { return (access_ & rights) != 0; }
    bool mayWrite() const;
    // Opened to append only: every write lands at the end of the file, wherever it stands.
    bool appendsOnly() const;
    SimFileNode& node() { return *node_; }
    const std::shared_ptr<SimFileNode>& object() const { return node_; }
    const std::shared_ptr<SimFileNode>& entry() const { return entry_; }
    std::size_t position = 0;
    // A listing through the handle in progress, ended with the handle.
    std::unique_ptr<Search> listing;

private:
    std::weak_ptr<SimFileSystem> files_;
    std::shared_ptr<SimFileNode> entry_;
    std::shared_ptr<SimFileNode> node_;
    DWORD access_;
    DWORD share_;
};

namespace SimFilesInternal {

constexpr DWORD kOpenAlways = 4;
constexpr DWORD kSystem = 0x4;
constexpr DWORD kTemporary = 0x100;
constexpr DWORD kOffline = 0x1000;
constexpr DWORD kNotContentIndexed = 0x2000;
// The attributes a caller may set; the others describe what the object is.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | kSystem |
                            FILE_ATTRIBUTE_ARCHIVE | kTemporary | kOffline | kNotContentIndexed;
// The rights that change a file's data.
constexpr DWORD kWriteRights = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA;

// Whether an open asking `access` with sharing `share` may have the object, as both CreateFileW
// and NtCreateFile decide it; `writes` when the open changes the file's data. Written in
// sim_files_handles.cpp.
NTSTATUS Admit(const SimFileNode& node, DWORD access, DWORD share, bool writes);
// RtlNtStatusToDosError's table, in sim_files_relative.cpp.
ULONG DosError(NTSTATUS status);
// A character no file name holds.
bool InvalidNameCharacter(char16_t c);
// A new owner or DACL applied to an object, with SetNamedSecurityInfoW's outcome.
DWORD ApplySecurity(SimFileNode& node, SECURITY_INFORMATION information, bool currentUserFullAccess,
                    bool ownerIsCurrentUser);
// What the security calls read of an object: its owner (the administrators who installed it, the
// current user `currentUser` who took it over or made it, or a standard user who made it) and its
// access list (the one it was made with, or full control for SYSTEM and the administrators and,
// where the flags say so, the right to change for the Users group).
SimObjectSecurity SecurityOf(const SimFileNode& node, const std::vector<BYTE>& currentUser);

inline char16_t Fold(char16_t c)
{
    return SimUpcase(c);
}

inline std::u16string Folded(std::u16string_view text)
{
    return SimUpcased(text);
}

inline bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

// The 8.3 alias NTFS gives `name` in `folder`; empty when the name fits 8.3 itself. With the
// other rules on names, in sim_files_names.cpp.
std::u16string ShortNameFor(const SimFileNode& folder, std::u16string_view name);

// A new entry of `folder`, on its drive, with its alias.
std::shared_ptr<SimFileNode> NewNode(const SimFileNode& folder, const std::u16string& name);

using Children = std::map<std::u16string, std::shared_ptr<SimFileNode>>;

// The entry of `folder` with this name or this alias.
Children::iterator FindChild(SimFileNode& folder, std::u16string_view name);
// The file an entry names: itself, or for a hard link the file it is one more name of.
SimFileNode& File(SimFileNode& entry);
std::shared_ptr<SimFileNode> Child(SimFileNode& folder, std::u16string_view name);

} // namespace SimFilesInternal
