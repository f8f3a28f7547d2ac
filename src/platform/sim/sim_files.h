#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win_types.h"

class SimMachine;
struct SimFileNode;
struct SimObjectSecurity;

// What GetFullPathNameW makes of an absolute path, with or without the long-path prefix:
// separators become backslashes, empty names and "." go, ".." takes the name before it (never the
// drive or the share), the last name loses its trailing dots and blanks, a name before a
// separator loses one trailing dot, a trailing separator stays. A relative path is taken from
// `currentFolder` as Windows takes it from the process's current folder ("a", "..\a", "\a",
// and "C:a" on the current folder's drive; another drive's relative path from its root); nothing
// for a relative path when there is no current folder.
std::optional<std::u16string> SimFullPath(std::u16string_view path, std::u16string_view currentFolder = {});

// Who may touch a file or folder of the simulated machine.
enum class SimAccess {
    // The current user may do anything.
    Open,
    // The access list denies the current user; a DACL granting the current user full access
    // clears it.
    DeniesCurrentUser,
    // As DeniesCurrentUser, and the DACL cannot be changed until the current user owns the object.
    DeniesUntilOwned,
};

// The file system of the simulated machine: drives, folders, files with content and attributes,
// junctions, file links, hard links, version resources and access lists. Names are case-insensitive and keep
// the case they were created with; listings come sorted case-insensitively. A name that does not
// fit 8.3 gets an alias as NTFS makes it ("PROGRA~2"), which opens it too; every object has a
// file index and its drive a volume serial number. Names without the long-path prefix are
// resolved as GetFullPathNameW resolves them, trailing dots and blanks included.
//
// The set-up calls take plain or "\\?\" paths, create missing parent folders, and throw
// std::invalid_argument for a path they cannot place (no such drive, a file in the way). The
// inspection calls never throw; an unresolvable path simply does not exist.
class SimFileSystem : public std::enable_shared_from_this<SimFileSystem> {
public:
    // Starts with drive C: and the temporary folder "C:\Temp\".
    SimFileSystem();
    ~SimFileSystem();
    SimFileSystem(const SimFileSystem&) = delete;
    SimFileSystem& operator=(const SimFileSystem&) = delete;

    // Set-up.
    void addDrive(char16_t letter);
    void addFolder(const std::u16string& path, DWORD attributes = 0);
    // A file; FILE_ATTRIBUTE_ARCHIVE is added as Windows does for a new file.
    void addFile(const std::u16string& path, std::string content = {}, DWORD attributes = 0);
    // A junction (folder link) at `path` pointing at the folder `target`, which need not exist.
    void addJunction(const std::u16string& path, const std::u16string& target);
    // What a user who may change a folder does while a program works in it: the folder at `path`
    // is renamed to its name with ".old" added, and a junction to `target` takes its place.
    void replaceWithJunction(const std::u16string& path, const std::u16string& target);
    // Another program acting between two calls: `action` changes the machine just before the next
    // CreateFileW given `path` (as written, whatever its case) opens anything, or the next
    // NtCreateFile whose open folder (by its path at that moment) and entry name make `path`.
    void beforeOpening(const std::u16string& path, std::function<void()> action);
    // A drive GetDriveTypeW calls remote (a mapped share); its files are reached as any drive's.
    void addNetworkDrive(char16_t letter);
    // A symbolic link of the host under Wine, to a folder or a file: listed as a link (a file link
    // as a plain file), opened as what it leads to even when the link itself is asked for.
    void addHostLink(const std::u16string& path, const std::u16string& target, bool toFolder);
    // A symbolic link to a file.
    void addFileLink(const std::u16string& path, const std::u16string& target);
    // A hard link: one more name, at `path`, of the file at `existing`, sharing its data,
    // attributes, access list and identity. Deleting either name leaves the file to the other.
    void addHardLink(const std::u16string& path, const std::u16string& existing);
    // Gives an existing file a version resource with this fixed file version.
    void setFileVersion(const std::u16string& path, WORD major, WORD minor, WORD build,
                        WORD revision);
    void setAccess(const std::u16string& path, SimAccess access);
    // The file, folder or link was made by a standard user's program: that user owns it, and may
    // change it whatever its access list says.
    void makeOwnedByStandardUser(const std::u16string& path);
    // The access list of the folder or file lets any user change it (add, rename and delete its
    // entries), as ProgramData's lets them add folders; what is made in it later inherits that.
    void letStandardUsersChange(const std::u16string& path);
    // The folder GetTempPathW reports; a trailing backslash is added when missing. The folder
    // itself is not created.
    void setTempPath(std::u16string path);
    // The process's current folder, an absolute folder path; relative names are taken from it.
    // Empty at first: then a relative name is not implemented.
    void setCurrentFolder(std::u16string path) { currentFolder_ = std::move(path); }
    const std::u16string& currentFolder() const { return currentFolder_; }

    // Inspection.
    bool exists(const std::u16string& path) const;
    DWORD attributes(const std::u16string& path) const; // INVALID_FILE_ATTRIBUTES when absent
    std::optional<std::string> content(const std::u16string& path) const;
    // The drives' roots ("C:\\"), in order.
    std::vector<std::u16string> drives() const;
    // Names of a folder's entries, sorted case-insensitively; empty when there is no such folder.
    std::vector<std::u16string> entries(const std::u16string& folder) const;
    std::optional<SimAccess> access(const std::u16string& path) const;
    // Every name on a share or a network drive a call was given, in order.
    std::vector<std::u16string> remoteReached() const;
    bool ownedByCurrentUser(const std::u16string& path) const;

    // For the processes and services areas: the file at `path` is the image of a running
    // program for as long as `running` answers true, and cannot be deleted meanwhile. `running`
    // is asked with the file system locked, so it must lock no area of the machine. False when
    // there is no such file (a folder does not count).
    bool holdImage(const std::u16string& path, std::function<bool()> running);
    // A file, not a folder, is there: what CreateProcessW needs to find before it starts it.
    bool fileExists(const std::u16string& path) const;

    // For the security area: applies a new owner or DACL to the object, with the outcome
    // SetNamedSecurityInfoW would return. `currentUserFullAccess` describes the new DACL,
    // `ownerIsCurrentUser` the new owner.
    DWORD applySecurity(const std::u16string& path, SECURITY_INFORMATION information,
                        bool currentUserFullAccess, bool ownerIsCurrentUser);
    // The same through an open handle (SetSecurityInfo), which must have been opened with
    // WRITE_OWNER for the owner and WRITE_DAC for the DACL.
    DWORD applySecurity(SimMachine& machine, HANDLE file, SECURITY_INFORMATION information,
                        bool currentUserFullAccess, bool ownerIsCurrentUser);
    // For the security area: what GetNamedSecurityInfoW describes of the object a name leads to,
    // and GetSecurityInfo of the one a handle holds (opened with READ_CONTROL). `currentUser` is
    // the token's user, owner of what it took over.
    DWORD securityOf(const std::u16string& path, const std::vector<BYTE>& currentUser, SimObjectSecurity& security) const;
    DWORD securityOf(SimMachine& machine, HANDLE file, const std::vector<BYTE>& currentUser,
                     SimObjectSecurity& security) const;

private:
    friend class SimMachine;
    struct Path;
    struct Search;
    class Handle;

    // The machine's calls, answering a Win32 error code (ERROR_SUCCESS on success).
    DWORD getAttributes(const char16_t* path, DWORD& attributes) const;
    DWORD setAttributes(const char16_t* path, DWORD attributes);
    DWORD findFirst(const char16_t* pattern, WIN32_FIND_DATAW* data, HANDLE& find);
    // Hands out the search's next entry still present; false at the end.
    bool fill(Search& search, WIN32_FIND_DATAW* data) const;
    DWORD findNext(HANDLE find, WIN32_FIND_DATAW* data);
    DWORD findClose(HANDLE find);
    DWORD deleteFile(const char16_t* path);
    // What the system does at start-up with a deletion it was asked to make then: no program
    // runs, so nothing holds the file; a folder goes only when empty.
    DWORD deleteAtStartUp(const std::u16string& path);
    DWORD removeDirectory(const char16_t* path);
    // MoveFileExW of a file (or a link, as itself) to a new name on the same drive; one there is
    // replaced when `replace` says so. Folders are not moved here.
    DWORD move(const char16_t* existing, const char16_t* newName, bool replace);
    // `made`: the security the program made the folder with; null for what its folder passes on.
    DWORD createDirectory(const char16_t* path, const SimObjectSecurity* made);
    // The action to take before `path` is opened, once.
    std::function<void()> takeBeforeOpening(const char16_t* path);
    DWORD createFile(SimMachine& machine, const char16_t* path, DWORD access, DWORD shareMode,
                     DWORD disposition, DWORD flagsAndAttributes, HANDLE& file, bool& existed);
    DWORD checkFileHandle(SimMachine& machine, HANDLE file, bool forWriting) const;
    DWORD writeFile(SimMachine& machine, HANDLE file, const void* buffer, DWORD bytes,
                    DWORD* written);
    DWORD tempPath(std::u16string& path) const;
    // GetLongPathNameW: each name that fits 8.3 and is found is replaced by the name on the disk;
    // from the first name not found as written (or "." or ".."), the rest is copied as it is.
    DWORD longPath(const char16_t* path, std::u16string& result) const;
    DWORD fileInformation(SimMachine& machine, HANDLE file, BY_HANDLE_FILE_INFORMATION* information) const;
    // GetFinalPathNameByHandleW's path: the names from the drive's root down to the name the
    // object was opened through.
    DWORD finalPath(SimMachine& machine, HANDLE file, std::u16string& path) const;
    UINT driveType(const char16_t* root) const;
    // NtCreateFile of the entry `name` of the open folder `root`, found in that folder whatever
    // its name is now. `path` is where the open leads, when the folder still has a name.
    NTSTATUS openRelative(SimMachine& machine, HANDLE root, const std::u16string& name,
                          const std::optional<std::u16string>& path, DWORD access, DWORD share, ULONG options,
                          HANDLE& file);
    // Where an open of `name` inside `root` leads: the folder's path now, then the name.
    std::optional<std::u16string> relativePath(SimMachine& machine, HANDLE root, const std::u16string& name) const;
    // GetFileInformationByHandleEx and SetFileInformationByHandle.
    DWORD informationByHandle(SimMachine& machine, HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information,
                              DWORD size);
    DWORD changeByHandle(SimMachine& machine, HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, const void* information,
                         DWORD size);
    // A folder listed through its handle: as many whole entries as fit, from where the handle's
    // listing stands (or from the start).
    DWORD listByHandle(Handle& handle, bool restart, void* buffer, DWORD size);
    // What a listing of `folder` reports: its entries whose names match `mask`, with "." and ".."
    // first when `dots`.
    std::unique_ptr<Search> snapshot(const std::shared_ptr<SimFileNode>& folder, std::u16string_view mask,
                                     bool dots) const;
    // From `at` on, the first name of the search still there ("." and ".." always are) and its
    // entry (null for those two); the end of the names when none is left.
    std::size_t present(const Search& search, std::size_t at, std::shared_ptr<SimFileNode>& entry) const;
    // The last handle to `file` has closed: the name its deletion was asked through leaves its
    // folder. Called with the file system locked.
    void dropPending(SimFileNode& file);
    DWORD tempFileName(const char16_t* folder, const char16_t* prefix, UINT unique,
                       char16_t* name, UINT& number);
    DWORD versionInfoSize(const char16_t* path, DWORD& size) const;
    DWORD versionInfo(const char16_t* path, DWORD length, void* data) const;

    // `setUp` for the set-up and inspection calls, whose names reach out to nobody.
    DWORD parse(const char16_t* raw, std::size_t limit, Path& path, bool pattern = false, bool setUp = false) const;
    // Resolution. `followLast` follows a link in the last place too.
    DWORD resolve(const Path& path, std::shared_ptr<SimFileNode>& node, bool followLast) const;
    DWORD resolveParent(const Path& path, std::shared_ptr<SimFileNode>& parent) const;
    // A name of any length (the long-path limit) parsed and resolved, for the security calls: an
    // object whose deletion is pending is refused as their open refuses it.
    DWORD resolveName(const std::u16string& text, std::shared_ptr<SimFileNode>& node, bool followLast) const;
    DWORD resolveText(const std::u16string& path, std::shared_ptr<SimFileNode>& node,
                      int depth) const;
    DWORD walk(const Path& path, std::size_t count, std::shared_ptr<SimFileNode>& node,
               int depth) const;
    DWORD enterFolder(std::shared_ptr<SimFileNode>& node, int depth) const;
    std::shared_ptr<SimFileNode> place(const std::u16string& path, bool folderAtEnd);
    std::shared_ptr<SimFileNode> lookup(const std::u16string& path) const;
    // The same for a test's setting: throws std::invalid_argument when nothing is there.
    std::shared_ptr<SimFileNode> existing(const std::u16string& path) const;

    mutable std::mutex mutex_;
    std::map<char16_t, std::shared_ptr<SimFileNode>> drives_;
    std::set<char16_t> networkDrives_;
    std::map<std::u16string, std::function<void()>> beforeOpening_; // by folded path
    mutable std::mutex reachedMutex_;
    mutable std::vector<std::u16string> remoteReached_;
    std::map<HANDLE, std::unique_ptr<Search>> searches_;
    std::uintptr_t nextSearch_ = 0x7F000000;
    std::u16string tempPath_;
    std::u16string currentFolder_;
    unsigned tempCounter_ = 0x3A7;
};
