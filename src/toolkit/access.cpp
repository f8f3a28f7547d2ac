#include "toolkit/access.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/restart_deletions.h"

namespace {

// The rights that let whoever holds them change a folder's entries or its access list; on a key,
// the same bits are its values (where a link keeps its target) and its subkeys.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | 0x40 /* FILE_DELETE_CHILD */ | DELETE |
                                0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ | GENERIC_ALL |
                                0x40000000 /* GENERIC_WRITE */ | 0x02000000 /* MAXIMUM_ALLOWED */;

bool Trusted(const std::u16string& sid, const std::u16string& runningAccount)
{
    return sid == u"S-1-5-18" || sid == u"S-1-5-32-544" ||
           sid == u"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464" || sid == runningAccount;
}

WORD Word(const BYTE* at)
{
    return static_cast<WORD>(at[0] | at[1] << 8);
}

// Whether the owner and every entry that grants a right to change belong to the trusted. An entry
// the system passes on to what is made in the folder and does not apply to it is passed over; an
// entry of a kind not read here counts against.
bool OnlyTrustedMayChange(const BYTE* owner, const BYTE* list, const std::u16string& runningAccount)
{
    if (owner == nullptr || list == nullptr || !Trusted(SidText(owner), runningAccount))
        return false;
    const WORD size = Word(list + 2);
    const WORD count = Word(list + 4);
    std::size_t at = 8;
    for (WORD entry = 0; entry < count; ++entry) {
        if (at + 8 > size)
            return false;
        const BYTE type = list[at];
        const bool inheritOnly = list[at + 1] & 0x08;
        const WORD entrySize = Word(list + at + 2);
        const DWORD mask = static_cast<DWORD>(Word(list + at + 4)) | static_cast<DWORD>(Word(list + at + 6)) << 16;
        const BYTE* sid = list + at + 8;
        if (entrySize < 16 || at + entrySize > size || 8 + 8 + 4 * static_cast<std::size_t>(sid[1]) > entrySize)
            return false;
        const bool allows = type == 0;
        const bool denies = type == 1;
        if (!inheritOnly && ((allows && (mask & kChangeRights) && !Trusted(SidText(sid), runningAccount)) || (!allows && !denies)))
            return false;
        at += entrySize;
    }
    return true;
}

// The running account, to become an object's owner, with the privilege to take ownership enabled.
std::vector<BYTE> OwnerToBe()
{
    UniqueKernelHandle token;
    ThrowLastErrorIfFalse(Os().openProcessToken(Os().getCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                                token.put()));
    std::vector<BYTE> user = TokenUserSid(Os(), token.get());
    EnablePrivilege(token.get(), u"SeTakeOwnershipPrivilege");
    return user;
}

// Gives the current user full access to an object through handles `open(rights, holder)` gives
// (false with the Win32 error as the last error): the access list is replaced; where even that is
// refused, ownership is taken first. Each handle is checked (`check`) before anything is changed
// through it, and changed with `set(handle, information, owner, list)`. Throws, after "error
// changing object owner: " or "error setting object security descriptor: " where the change
// itself is refused.
template <class Holder, class Open, class Check, class Set>
void GiveFullAccess(const Open& open, const Check& check, const Set& set, Remove::Log* log)
{
    const UniqueLocalMemory acl = BuildFullAccessAcl(log);
    const auto list = static_cast<PACL>(acl.get());
    Holder guarded;
    DWORD result = ERROR_ACCESS_DENIED;
    if (open(WRITE_DAC, guarded)) {
        check(guarded.get());
        result = set(guarded.get(), DACL_SECURITY_INFORMATION, nullptr, list);
    } else if (Os().getLastError() != ERROR_ACCESS_DENIED) {
        ThrowLastError();
    }
    if (result == ERROR_SUCCESS)
        return;
    std::vector<BYTE> user = OwnerToBe();
    Holder owned;
    ThrowLastErrorIfFalse(open(WRITE_OWNER, owned));
    check(owned.get());
    result = set(owned.get(), OWNER_SECURITY_INFORMATION, user.data(), nullptr);
    if (result != ERROR_SUCCESS) {
        log->write(u"error changing object owner: ");
        ThrowWindowsError(result);
    }
    ThrowLastErrorIfFalse(open(WRITE_DAC, guarded));
    check(guarded.get());
    result = set(guarded.get(), DACL_SECURITY_INFORMATION, nullptr, list);
    if (result != ERROR_SUCCESS) {
        log->write(u"error setting object security descriptor: ");
        ThrowWindowsError(result);
    }
}

} // namespace

std::optional<std::u16string> FolderOthersMayChange(const std::u16string& path, bool itself)
{
    const std::u16string runningAccount = CurrentUserSidText(Os());
    std::u16string folder = ShownPath(path) + (itself ? u"\\" : u"");
    for (std::size_t slash = folder.rfind(u'\\'); slash != std::u16string::npos && slash > 2; slash = folder.rfind(u'\\')) {
        folder.erase(slash);
        const std::u16string name = folder.size() < MAX_PATH ? folder : u"\\\\?\\" + folder;
        PSID owner = nullptr;
        PACL list = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        const DWORD read = Os().getNamedSecurityInfo(name.c_str(), SE_FILE_OBJECT,
                                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                                     nullptr, &list, nullptr, &descriptor);
        const UniqueLocalMemory held(descriptor);
        if (read != ERROR_SUCCESS ||
            !OnlyTrustedMayChange(static_cast<const BYTE*>(owner), reinterpret_cast<const BYTE*>(list), runningAccount))
            return folder;
    }
    return std::nullopt;
}

bool OthersMayChange(HANDLE object, SE_OBJECT_TYPE type)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = Os().getSecurityInfo(object, type, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                            &owner, nullptr, &list, nullptr, &descriptor);
    const UniqueLocalMemory held(descriptor);
    return read != ERROR_SUCCESS || !OnlyTrustedMayChange(static_cast<const BYTE*>(owner), reinterpret_cast<const BYTE*>(list),
                                                          CurrentUserSidText(Os()));
}

void WriteFailureLine(Remove::Log* log, std::u16string_view what, const std::u16string& name)
{
    log->write(DescribeCurrentExceptionW());
    log->write(what);
    log->write(name);
    log->write(u"\"");
    log->write(EOL);
}

void CheckSoleObject(HANDLE object)
{
    BY_HANDLE_FILE_INFORMATION information{};
    ThrowLastErrorIfFalse(Os().getFileInformationByHandle(object, &information));
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw ExceptionPL("refused: the name is a link");
    if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && information.nNumberOfLinks > 1)
        throw ExceptionPL("refused: the file has other names (hard links)");
}

UniqueLocalMemory BuildFullAccessAcl(Remove::Log* log)
{
    std::u16string trustee = u"CURRENT_USER";
    EXPLICIT_ACCESS_W entry{};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
    entry.Trustee.ptstrName = reinterpret_cast<LPWSTR>(trustee.data());
    PACL acl = nullptr;
    const DWORD result = Os().setEntriesInAcl(1, &entry, nullptr, &acl);
    if (result != ERROR_SUCCESS) {
        log->write(u"error creating ACL: ");
        ThrowWindowsError(result);
    }
    return UniqueLocalMemory(acl);
}

void EnablePrivilege(HANDLE token, const std::u16string& privilege)
{
    TOKEN_PRIVILEGES state{};
    ThrowLastErrorIfFalse(Os().lookupPrivilegeValue(nullptr, privilege.c_str(), &state.Privileges[0].Luid));
    state.PrivilegeCount = 1;
    state.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    ThrowLastErrorIfFalse(Os().adjustTokenPrivileges(token, FALSE, &state, 0, nullptr, nullptr));
}

Opening OpenGrantingAccess(const ObjectOpener& open, DWORD access, const std::u16string& shown, Remove::Log* log,
                           UniqueKernelHandle& opened)
{
    if (open(access, opened))
        return Opening::Opened;
    if (Os().getLastError() != ERROR_ACCESS_DENIED)
        return Opening::Failed;
    constexpr DWORD kSecurityAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
    try {
        GiveFullAccess<UniqueKernelHandle>(
            [&open](DWORD rights, UniqueKernelHandle& held) { return open(kSecurityAccess | rights, held); },
            CheckSoleObject,
            [](HANDLE object, SECURITY_INFORMATION information, PSID owner, PACL list) {
                return Os().setSecurityInfo(object, SE_FILE_OBJECT, information, owner, nullptr, list, nullptr);
            },
            log);
        ThrowLastErrorIfFalse(open(access, opened));
        return Opening::Opened;
    } catch (...) {
        WriteFailureLine(log, u"...error occurred while granting access to file \"", shown);
        return Opening::Refused;
    }
}

bool OpenKeyGrantingAccess(HKEY parent, const std::u16string& name, REGSAM access, HKEY root,
                           const std::u16string& path, Remove::Log* log, UniqueKey& opened)
{
    const REGSAM view = access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    // Every open here takes the key named as itself: a symbolic link is opened, checked, changed
    // and deleted as the link, and what it leads to is never reached.
    const auto open = [&](REGSAM rights, UniqueKey& key) {
        const auto result = static_cast<DWORD>(
            Os().regOpenKeyEx(parent, name.c_str(), REG_OPTION_OPEN_LINK, rights | view, key.put()));
        if (result != ERROR_SUCCESS)
            Os().setLastError(result);
        return result == ERROR_SUCCESS;
    };
    if (open(access, opened))
        return true;
    if (Os().getLastError() != ERROR_ACCESS_DENIED)
        ThrowLastError();
    try {
        // Access is recovered below the roots whose keys the security functions can name, as it
        // was when it went by name; any other root (HKCC) is refused with that reason.
        RegistrySecurityObjectName(root, path);
        GiveFullAccess<UniqueKey>(
            open, [](HKEY) {},
            [](HKEY key, SECURITY_INFORMATION information, PSID owner, PACL list) {
                // The absolute form, as InitializeSecurityDescriptor and its setters make it.
                SECURITY_DESCRIPTOR descriptor{};
                descriptor.Revision = SECURITY_DESCRIPTOR_REVISION;
                descriptor.Control = static_cast<WORD>(list ? SE_DACL_PRESENT : 0);
                descriptor.Owner = owner;
                descriptor.Dacl = list;
                // A key's new access list may let a read through that failed before.
                NoteRegistryChange();
                return static_cast<DWORD>(Os().regSetKeySecurity(key, information, &descriptor));
            },
            log);
        ThrowLastErrorIfFalse(open(access, opened));
        return true;
    } catch (...) {
        WriteFailureLine(log, u"...error occurred while granting access to key \"", DisplayPath(root, path));
        return false;
    }
}
