#include "toolkit/access.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/restart_deletions.h"

namespace {

constexpr std::u16string_view kLongPathPrefix = u"\\\\?\\";

DWORD SetSecurity(std::u16string name, SE_OBJECT_TYPE type, SECURITY_INFORMATION information,
                  PSID owner, PACL dacl)
{
    // A key's new access list may let a read through that failed before.
    if (type == SE_REGISTRY_KEY)
        NoteRegistryChange();
    return Os().setNamedSecurityInfo(name.data(), type, information, owner, nullptr, dacl, nullptr);
}

DWORD SetFullAccessDacl(const std::u16string& name, SE_OBJECT_TYPE type, Remove::Log* log)
{
    const UniqueLocalMemory acl = BuildFullAccessAcl(log);
    return SetSecurity(name, type, DACL_SECURITY_INFORMATION, nullptr, static_cast<PACL>(acl.get()));
}

// The rights that let whoever holds them change a folder's entries or its access list.
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

bool OthersMayChange(HANDLE object)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = Os().getSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
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

void TakeOwnership(const std::u16string& name, SE_OBJECT_TYPE type, Remove::Log* log)
{
    std::vector<BYTE> user = OwnerToBe();
    const DWORD result = SetSecurity(name, type, OWNER_SECURITY_INFORMATION, user.data(), nullptr);
    if (result != ERROR_SUCCESS) {
        log->write(u"error changing object owner: ");
        ThrowWindowsError(result);
    }
}

void SetFullAccessForCurrentUser(const std::u16string& name, SE_OBJECT_TYPE type, Remove::Log* log)
{
    const std::u16string object =
        name.compare(0, kLongPathPrefix.size(), kLongPathPrefix) == 0 ? name.substr(kLongPathPrefix.size()) : name;
    if (SetFullAccessDacl(object, type, log) == ERROR_SUCCESS)
        return;
    TakeOwnership(object, type, log);
    const DWORD result = SetFullAccessDacl(object, type, log);
    if (result != ERROR_SUCCESS) {
        log->write(u"error setting object security descriptor: ");
        ThrowWindowsError(result);
    }
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
        const UniqueLocalMemory acl = BuildFullAccessAcl(log);
        const auto setFullAccess = [&acl](HANDLE object) {
            return Os().setSecurityInfo(object, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        static_cast<PACL>(acl.get()), nullptr);
        };
        UniqueKernelHandle guarded;
        DWORD result = ERROR_ACCESS_DENIED;
        if (open(kSecurityAccess | WRITE_DAC, guarded)) {
            CheckSoleObject(guarded.get());
            result = setFullAccess(guarded.get());
        } else if (Os().getLastError() != ERROR_ACCESS_DENIED) {
            ThrowLastError();
        }
        if (result != ERROR_SUCCESS) {
            std::vector<BYTE> user = OwnerToBe();
            UniqueKernelHandle owned;
            ThrowLastErrorIfFalse(open(kSecurityAccess | WRITE_OWNER, owned));
            CheckSoleObject(owned.get());
            result = Os().setSecurityInfo(owned.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, user.data(), nullptr,
                                          nullptr, nullptr);
            if (result != ERROR_SUCCESS) {
                log->write(u"error changing object owner: ");
                ThrowWindowsError(result);
            }
            ThrowLastErrorIfFalse(open(kSecurityAccess | WRITE_DAC, guarded));
            CheckSoleObject(guarded.get());
            result = setFullAccess(guarded.get());
            if (result != ERROR_SUCCESS) {
                log->write(u"error setting object security descriptor: ");
                ThrowWindowsError(result);
            }
        }
        ThrowLastErrorIfFalse(open(access, opened));
        return Opening::Opened;
    } catch (...) {
        WriteFailureLine(log, u"...error occurred while granting access to file \"", shown);
        return Opening::Refused;
    }
}

bool GrantKeyAccess(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view)
{
    // The deletion reads the key's children, then deletes it: it needs both rights.
    if (RegistryKeyExists(root, path, DELETE | KEY_READ | view))
        return true;
    try {
        // By name, a key of the 64-bit view is its own kind of object.
        const SE_OBJECT_TYPE type = (view & KEY_WOW64_64KEY) ? kSeRegistryWow64_64Key : SE_REGISTRY_KEY;
        SetFullAccessForCurrentUser(RegistrySecurityObjectName(root, path), type, log);
        return true;
    } catch (...) {
        WriteFailureLine(log, u"...error occurred while granting access to key \"", DisplayPath(root, path));
        return false;
    }
}
