#include "toolkit/access.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/registry.h"

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

} // namespace

void WriteFailureLine(Remove::Log* log, std::u16string_view what, const std::u16string& name)
{
    log->write(DescribeCurrentExceptionW());
    log->write(what);
    log->write(name);
    log->write(u"\"");
    log->write(EOL);
}

void CheckSoleName(const std::u16string& path)
{
    const HANDLE opened = Os().createFile(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        ThrowLastError();
    const UniqueKernelHandle file(opened);
    BY_HANDLE_FILE_INFORMATION information{};
    ThrowLastErrorIfFalse(Os().getFileInformationByHandle(file.get(), &information));
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
    UniqueKernelHandle token;
    ThrowLastErrorIfFalse(Os().openProcessToken(Os().getCurrentProcess(),
                                                TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()));
    std::vector<BYTE> user = TokenUserSid(Os(), token.get());

    EnablePrivilege(token.get(), u"SeTakeOwnershipPrivilege");

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

bool GrantFileAccess(const std::u16string& path, Remove::Log* log)
{
    const HANDLE file = Os().createFile(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        UniqueKernelHandle closed(file);
        return true;
    }
    try {
        // A new owner or access list belongs to the file, not to this one of its names.
        CheckSoleName(path);
        SetFullAccessForCurrentUser(path, SE_FILE_OBJECT, log);
        return true;
    } catch (...) {
        WriteFailureLine(log, u"...error occurred while granting access to file \"", path);
        return false;
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
