#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/win_types.h"

class SimMachine;
struct SimObjectSecurity;

// The simulated machine's registry, as a 32-bit program on 64-bit Windows sees it: HKLM, HKU
// (several loaded user hives; HKCU is the current user's), HKCR and HKCC. Under HKLM\SOFTWARE
// the program's default view is the 32-bit one (physically SOFTWARE\WOW6432Node);
// KEY_WOW64_64KEY opens the 64-bit one. HKLM\SOFTWARE\Classes is shared by both views;
// Windows Installer's UserData (SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\UserData)
// is in the 64-bit view only, and the set-up and inspection calls place and find it there
// whatever view they name. Key and value names compare case-insensitively;
// children and values enumerate in sorted order; values are typed byte arrays kept exactly as
// written. A
// handle carries the rights it was opened with: reading values needs KEY_QUERY_VALUE, listing
// children KEY_ENUMERATE_SUB_KEYS, deleting a value KEY_SET_VALUE, or ERROR_ACCESS_DENIED.
// Deleting a key by name opens it anew for deletion, so there the handle's rights do not matter;
// NtDeleteKey deletes the handle's own key and needs DELETE. A symbolic-link key leads every
// open, and every deletion or security change by name, to the key its REG_LINK value
// "SymbolicLinkValue" names ("\Registry\Machine\...", "\Registry\User\..."): a link in the
// middle of a path always, the last one unless it is opened with REG_OPTION_OPEN_LINK, which
// gives the link itself. Set-up and inspection address keys as they are stored, following none.
class SimRegistry {
public:
    // Which view of HKLM\SOFTWARE a set-up or inspection call addresses.
    enum class View { Wow32, Native64 };

    explicit SimRegistry(SimMachine& machine);
    ~SimRegistry();

    // Set-up. Paths are relative to a predefined root; missing parents are created.
    void createKey(HKEY root, std::u16string_view path, View view = View::Wow32);
    void setValue(HKEY root, std::u16string_view path, std::u16string_view name, DWORD type,
                  std::vector<BYTE> data, View view = View::Wow32);
    // A text value stored as UTF-16LE with its terminator, as the system's own tools write it.
    void setString(HKEY root, std::u16string_view path, std::u16string_view name,
                   std::u16string_view text, DWORD type = REG_SZ, View view = View::Wow32);
    void setDword(HKEY root, std::u16string_view path, std::u16string_view name, DWORD value,
                  View view = View::Wow32);
    // A symbolic-link key at `path` leading to `target` ("\Registry\Machine\SYSTEM\...",
    // "\Registry\User\<sid>\..."), as RegCreateKeyExW with REG_OPTION_CREATE_LINK and the
    // REG_LINK value "SymbolicLinkValue" (the target without a terminator) make it.
    void createLink(HKEY root, std::u16string_view path, std::u16string_view target,
                    View view = View::Wow32);
    // The key's access list refuses the current user the `refused` rights (any requested right
    // in the mask fails the open with ERROR_ACCESS_DENIED; deleting the key needs DELETE) until
    // full access is granted to it; with `needsOwnership`, the access list itself cannot be
    // replaced until the current user has taken ownership.
    void denyCurrentUser(HKEY root, std::u16string_view path, bool needsOwnership,
                         DWORD refused = 0xFFFFFFFF, View view = View::Wow32);
    // The key was made by a standard user's program (a key or link in their own hive, say): that
    // user owns it and its access list lets them change it.
    void makeOwnedByStandardUser(HKEY root, std::u16string_view path, View view = View::Wow32);
    // Deletes the key and everything below it, as the system deletes what it owns (a service's
    // registration when the service goes); nothing when there is no such key.
    void removeTree(HKEY root, std::u16string_view path, View view = View::Wow32);
    // Loads a user hive under HKEY_USERS.
    void loadUserHive(std::u16string_view name);
    // The hive HKEY_CURRENT_USER stands for.
    const std::u16string& currentUserHive() const { return currentUser_; }
    // Makes HKEY_CURRENT_USER stand for the hive `name`, loaded under HKEY_USERS when it is not.
    void setCurrentUserHive(std::u16string name);

    // Inspection.
    bool keyExists(HKEY root, std::u16string_view path, View view = View::Wow32) const;
    bool valueExists(HKEY root, std::u16string_view path, std::u16string_view name,
                     View view = View::Wow32) const;
    std::vector<std::u16string> subkeys(HKEY root, std::u16string_view path,
                                        View view = View::Wow32) const;
    // The value's data; nothing when there is no such value.
    std::optional<std::vector<BYTE>> valueData(HKEY root, std::u16string_view path, std::u16string_view name,
                                               View view = View::Wow32) const;
    // Every value of the key, in the order they enumerate; none when there is no such key.
    std::vector<RegistryValue> values(HKEY root, std::u16string_view path, View view = View::Wow32) const;
    // Removes a value, as the system does with what it consumed; nothing when there is none.
    void removeValue(HKEY root, std::u16string_view path, std::u16string_view name, View view = View::Wow32);
    // Keys opened by the program and not yet closed.
    std::size_t openKeys() const;

    // SetNamedSecurityInfoW on a registry object name ("MACHINE\...", "USERS\...",
    // "CURRENT_USER\...", "CLASSES_ROOT\...", of the 64-bit view with `view64`): the owner
    // becomes the current user and/or the access list becomes full access for the current user.
    // Gives a Win32 error code.
    DWORD applySecurity(const std::u16string& objectName, SECURITY_INFORMATION information,
                        bool currentUserFullAccess, bool ownerIsCurrentUser, bool view64 = false);
    // RegSetKeySecurity: the same on the key an open handle holds, which must carry WRITE_OWNER
    // for the owner and WRITE_DAC for the access list (securityAccess, checked first: the handle
    // is judged before what the descriptor holds, as under Wine).
    DWORD applySecurity(HKEY key, SECURITY_INFORMATION information, bool currentUserFullAccess,
                        bool ownerIsCurrentUser);
    DWORD securityAccess(HKEY key, SECURITY_INFORMATION information) const;
    // GetSecurityInfo of the key an open handle holds (opened with READ_CONTROL): its owner (a
    // standard user for what one made, the Administrators otherwise) and an access list letting
    // SYSTEM, the Administrators and that owner do anything. Gives a Win32 error code.
    DWORD securityOf(HKEY key, SimObjectSecurity& security) const;

    struct Key;
    struct OpenKey;

    // For the machine's registry calls.
    LONG open(HKEY key, const char16_t* subKey, bool openLink, REGSAM access, HKEY* result);
    LONG queryValue(HKEY key, const char16_t* name, DWORD* type, BYTE* data, DWORD* dataSize);
    LONG queryInfo(HKEY key, char16_t* className, DWORD* classLength, DWORD* subKeys,
                   DWORD* maxSubKeyLength, DWORD* maxClassLength, DWORD* values,
                   DWORD* maxValueNameLength, DWORD* maxValueLength, FILETIME* lastWriteTime);
    LONG enumKey(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, char16_t* className,
                 DWORD* classLength, FILETIME* lastWriteTime);
    LONG enumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                   BYTE* data, DWORD* dataSize);
    LONG deleteKey(HKEY key, const char16_t* subKey, REGSAM view = 0);
    NTSTATUS deleteOpenKey(HKEY key);
    LONG deleteValue(HKEY key, const char16_t* name);
    LONG close(HKEY key);
    // Every handle the program held, as the system closes them when its process ends.
    void closeAll();

private:
    // Which symbolic links a walk follows: none (set-up and inspection), all, or all but the last
    // key named (REG_OPTION_OPEN_LINK).
    enum class Links { Stored, Followed, LastOpened };
    // Links followed in a row before an open gives up with ERROR_INVALID_PARAMETER, as Wine
    // does (measured: 32 open, 33 and a loop do not).
    static constexpr int kMostLinks = 32;
    // The key a root handle and a relative path lead to, or null; `create` makes missing keys.
    // `tooManyLinks` tells a null that came of more links than kMostLinks.
    std::shared_ptr<Key> resolve(HKEY root, std::u16string_view path, bool wow64Key64,
                                 bool create, Links links = Links::Stored,
                                 bool* tooManyLinks = nullptr) const;
    // The key `parts` lead to from `key`; `hops` counts the links followed on the way.
    std::shared_ptr<Key> walk(std::shared_ptr<Key> key, const std::vector<std::u16string>& parts,
                              bool wow64Key64, bool create, Links links, int& hops) const;
    // The key a symbolic link leads to, or null when its target is not there or more than
    // kMostLinks links lead on.
    std::shared_ptr<Key> linkTarget(const Key& link, int& hops) const;
    // The rights a key refusing the current user still lets it open (its own security).
    static REGSAM stillGranted(const Key& key);
    // Deletes a key without children from its parent; a root, the classes shared by both views
    // and a key with children stay (STATUS_ACCESS_DENIED).
    NTSTATUS remove(Key& key);
    std::shared_ptr<Key> rootKey(HKEY root) const;
    std::shared_ptr<Key> handleKey(HKEY key) const;
    // The key behind a handle: ERROR_INVALID_HANDLE for none, ERROR_KEY_DELETED once deleted.
    LONG liveKey(HKEY key, std::shared_ptr<Key>& open) const;
    // Whether the handle was opened with all of `rights` (a predefined root has every right).
    bool handleGrants(HKEY key, REGSAM rights) const;
    std::shared_ptr<Key> setUpKey(HKEY root, std::u16string_view path, View view) const;
    // Whether a set-up or inspection path lies in the 64-bit view.
    static bool inView64(HKEY root, std::u16string_view path, View view);

    SimMachine& machine_;
    mutable std::mutex mutex_;
    std::shared_ptr<Key> machineRoot_;
    std::shared_ptr<Key> usersRoot_;
    std::shared_ptr<Key> configRoot_;
    std::u16string currentUser_;
    std::map<HKEY, std::shared_ptr<OpenKey>> handles_;
    std::uintptr_t nextHandle_ = 0x4000;
};
