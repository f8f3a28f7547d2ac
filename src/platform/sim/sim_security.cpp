#include "platform/sim/sim_security.h"

#include <algorithm>
#include <cstring>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_text.h"

namespace {

constexpr DWORD kErrorNoSuchPrivilege = 1313;
constexpr DWORD kErrorNoneMapped = 1332;
constexpr DWORD kErrorInvalidAcl = 1336;
constexpr DWORD kErrorNoToken = 1008;

struct KnownPrivilege {
    const char16_t* name;
    DWORD luid;
};
// The LUIDs Windows gives these privileges.
constexpr KnownPrivilege kPrivileges[] = {
    {u"SeSecurityPrivilege", 8},  {u"SeTakeOwnershipPrivilege", 9},
    {u"SeBackupPrivilege", 17},   {u"SeRestorePrivilege", 18},
    {u"SeShutdownPrivilege", 19}, {u"SeDebugPrivilege", 20},
};

bool SameText(std::u16string_view a, std::u16string_view b)
{
    return SimSameName(a, b);
}

// The access list SetEntriesInAclW builds on this machine: the standard header, then what the
// machine needs to know of its entries.
struct SimAcl {
    ACL header;
    DWORD magic;
    DWORD currentUserFullAccess;
};
constexpr DWORD kAclMagic = 0x51A1AC15;

class Token : public SimKernelObject {
public:
    explicit Token(DWORD granted) : access(granted) {}
    const DWORD access;
};

constexpr std::u16string_view kRegistryRoots[] = {u"MACHINE\\", u"USERS\\", u"CURRENT_USER\\",
                                                  u"CLASSES_ROOT\\"};

} // namespace

SimSecurity::SimSecurity()
    // S-1-5-21-1004336348-1177238915-682003330-1001: a local account's SID, the name of the
    // hive HKEY_CURRENT_USER stands for.
    : held_{9, 17, 18},
      userSid_{1, 5, 0, 0, 0, 0, 0, 5,
               21, 0, 0, 0,
               0xDC, 0xF4, 0xDC, 0x3B,
               0x83, 0x3D, 0x2B, 0x46,
               0x82, 0x8B, 0xA6, 0x28,
               0xE9, 0x03, 0x00, 0x00}
{
}

void SimSecurity::setUserSid(std::vector<BYTE> sid)
{
    std::lock_guard<std::mutex> lock(mutex_);
    userSid_ = std::move(sid);
}

bool SimSecurity::privilegeLuid(const std::u16string& name, LUID& luid)
{
    for (const auto& privilege : kPrivileges)
        if (SameText(name, privilege.name)) {
            luid.LowPart = privilege.luid;
            luid.HighPart = 0;
            return true;
        }
    return false;
}

void SimSecurity::holdPrivilege(const std::u16string& name, bool held)
{
    LUID luid{};
    if (!privilegeLuid(name, luid))
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (held) {
        held_.insert(luid.LowPart);
    } else {
        held_.erase(luid.LowPart);
        enabled_.erase(luid.LowPart);
    }
}

bool SimSecurity::privilegeEnabled(const std::u16string& name) const
{
    LUID luid{};
    if (!privilegeLuid(name, luid))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return enabled_.count(luid.LowPart) != 0;
}

bool SimSecurity::isCurrentUser(const void* sid) const
{
    return sid != nullptr && std::memcmp(sid, userSid_.data(), userSid_.size()) == 0;
}

bool SimSecurity::adjust(const LUID& luid, bool enable)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (luid.HighPart != 0 || held_.count(luid.LowPart) == 0)
        return false;
    if (enable)
        enabled_.insert(luid.LowPart);
    else
        enabled_.erase(luid.LowPart);
    return true;
}

void SimSecurity::disableAll()
{
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_.clear();
}

SimSecurity& SimMachine::security()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!security_)
        security_ = std::make_shared<SimSecurity>();
    return *security_;
}

DWORD SimMachine::setEntriesInAcl(ULONG count, EXPLICIT_ACCESS_W* entries, PACL oldAcl,
                                  PACL* newAcl)
{
    if (const DWORD error = enter(SimCall::SetEntriesInAcl))
        return error;
    if (newAcl == nullptr || (count != 0 && entries == nullptr))
        return ERROR_INVALID_PARAMETER;
    // Merging into an existing list is not modelled.
    if (oldAcl != nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    bool fullAccess = false;
    for (ULONG i = 0; i < count; ++i) {
        const EXPLICIT_ACCESS_W& entry = entries[i];
        const TRUSTEE_W& trustee = entry.Trustee;
        if (trustee.pMultipleTrustee != nullptr || trustee.ptstrName == nullptr)
            return ERROR_INVALID_PARAMETER;
        bool currentUser = false;
        if (trustee.TrusteeForm == TRUSTEE_IS_NAME) {
            // Only the current user's alias is a name this machine can map.
            if (!SameText(trustee.ptstrName, u"CURRENT_USER"))
                return kErrorNoneMapped;
            currentUser = true;
        } else if (trustee.TrusteeForm == TRUSTEE_IS_SID) {
            currentUser = security().isCurrentUser(trustee.ptstrName);
            if (!currentUser)
                return ERROR_CALL_NOT_IMPLEMENTED;
        } else {
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
        if (entry.grfAccessMode != SET_ACCESS && entry.grfAccessMode != GRANT_ACCESS)
            return ERROR_CALL_NOT_IMPLEMENTED;
        if (currentUser && (entry.grfAccessPermissions & GENERIC_ALL))
            fullAccess = true;
    }
    auto* acl = static_cast<SimAcl*>(localAlloc(sizeof(SimAcl)));
    acl->header.AclRevision = 2;
    acl->header.AclSize = static_cast<WORD>(sizeof(SimAcl));
    acl->header.AceCount = static_cast<WORD>(count);
    acl->magic = kAclMagic;
    acl->currentUserFullAccess = fullAccess ? 1 : 0;
    *newAcl = &acl->header;
    return ERROR_SUCCESS;
}

DWORD SimMachine::getNamedSecurityInfo(const char16_t* objectName, SE_OBJECT_TYPE objectType,
                                       SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl,
                                       PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    if (const DWORD error = enter(SimCall::GetNamedSecurityInfo))
        return error;
    if (objectName == nullptr || descriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (objectType != SE_FILE_OBJECT || group != nullptr || sacl != nullptr ||
        (information & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) != 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    bool usersMayChange = false;
    bool ownedByCurrentUser = false;
    if (const DWORD error = files().securityOf(objectName, usersMayChange, ownedByCurrentUser))
        return error;
    // A self-relative descriptor: the owner (the administrators who installed it, or the current
    // user who took it over), then an access list of full control for SYSTEM and the
    // administrators and, where it says so, the right to change for the Users group.
    const std::vector<BYTE> system = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
    const std::vector<BYTE> administrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    const std::vector<BYTE> users = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};
    const std::vector<BYTE> ownerSid = ownedByCurrentUser ? security().userSid() : administrators;
    std::vector<std::pair<DWORD, const std::vector<BYTE>*>> entries = {{0x1F01FF, &system}, {0x1F01FF, &administrators}};
    if (usersMayChange)
        entries.push_back({0x1301BF, &users}); // read, write, execute and delete
    std::vector<BYTE> bytes(20, 0);
    const auto put = [&bytes](std::size_t at, DWORD value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
    };
    bytes[0] = 1;
    put(2, 0x8004, 2); // self-relative, access list present
    put(4, static_cast<DWORD>(bytes.size()), 4);
    bytes.insert(bytes.end(), ownerSid.begin(), ownerSid.end());
    const std::size_t list = bytes.size();
    put(16, static_cast<DWORD>(list), 4);
    bytes.resize(list + 8, 0);
    bytes[list] = 2;
    for (const auto& [mask, sid] : entries) {
        const std::size_t ace = bytes.size();
        bytes.resize(ace + 8, 0);
        put(ace + 2, static_cast<DWORD>(8 + sid->size()), 2);
        put(ace + 4, mask, 4);
        bytes.insert(bytes.end(), sid->begin(), sid->end());
    }
    put(list + 2, static_cast<DWORD>(bytes.size() - list), 2);
    put(list + 4, static_cast<DWORD>(entries.size()), 2);
    auto* block = static_cast<BYTE*>(localAlloc(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), block);
    *descriptor = block;
    if (owner != nullptr)
        *owner = (information & OWNER_SECURITY_INFORMATION) ? block + 20 : nullptr;
    if (dacl != nullptr)
        *dacl = (information & DACL_SECURITY_INFORMATION) ? reinterpret_cast<PACL>(block + list) : nullptr;
    return ERROR_SUCCESS;
}

namespace {

// What a new owner or DACL says, read alike by SetNamedSecurityInfoW and SetSecurityInfo: whether
// the owner is the current user and the DACL gives that user full access; or the call's error.
DWORD ReadSecurityChange(SimSecurity& security, SECURITY_INFORMATION information, PSID owner, PSID group,
                         PACL dacl, PACL sacl, bool& ownerIsCurrentUser, bool& fullAccess)
{
    if (group != nullptr || sacl != nullptr ||
        (information & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) != 0 ||
        information == 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (information & OWNER_SECURITY_INFORMATION) {
        if (owner == nullptr)
            return ERROR_INVALID_PARAMETER;
        ownerIsCurrentUser = security.isCurrentUser(owner);
        // Making oneself owner of what one may not touch takes the enabled privilege.
        if (!security.privilegeEnabled(u"SeTakeOwnershipPrivilege"))
            return ERROR_ACCESS_DENIED;
    }
    if (information & DACL_SECURITY_INFORMATION) {
        // A null DACL (everyone may do anything) is not modelled.
        if (dacl == nullptr)
            return ERROR_CALL_NOT_IMPLEMENTED;
        const auto* acl = reinterpret_cast<const SimAcl*>(dacl);
        if (acl->magic != kAclMagic)
            return kErrorInvalidAcl;
        fullAccess = acl->currentUserFullAccess != 0;
    }
    return ERROR_SUCCESS;
}

} // namespace

DWORD SimMachine::setSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                  PSID owner, PSID group, PACL dacl, PACL sacl)
{
    if (const DWORD error = enter(SimCall::SetSecurityInfo))
        return error;
    // Only files and folders are changed through their handles here.
    if (objectType != SE_FILE_OBJECT)
        return ERROR_CALL_NOT_IMPLEMENTED;
    bool ownerIsCurrentUser = false;
    bool fullAccess = false;
    if (const DWORD error = ReadSecurityChange(security(), information, owner, group, dacl, sacl,
                                               ownerIsCurrentUser, fullAccess))
        return error;
    return files().applySecurity(*this, handle, information, fullAccess, ownerIsCurrentUser);
}

DWORD SimMachine::setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE objectType,
                                       SECURITY_INFORMATION information, PSID owner, PSID group,
                                       PACL dacl, PACL sacl)
{
    if (const DWORD error = enter(SimCall::SetNamedSecurityInfo))
        return error;
    if (objectName == nullptr)
        return ERROR_INVALID_PARAMETER;
    bool ownerIsCurrentUser = false;
    bool fullAccess = false;
    if (const DWORD error = ReadSecurityChange(security(), information, owner, group, dacl, sacl,
                                               ownerIsCurrentUser, fullAccess))
        return error;
    const std::u16string name(objectName);
    if (objectType == SE_FILE_OBJECT)
        return files().applySecurity(name, information, fullAccess, ownerIsCurrentUser);
    if (objectType == SE_REGISTRY_KEY || objectType == kSeRegistryWow64_64Key) {
        const bool known = std::any_of(std::begin(kRegistryRoots), std::end(kRegistryRoots),
                                       [&](std::u16string_view root) {
                                           return SameText(name.substr(0, root.size()), root) ||
                                                  SameText(name, root.substr(0, root.size() - 1));
                                       });
        if (!known)
            return ERROR_INVALID_PARAMETER;
        return registry().applySecurity(name, information, fullAccess, ownerIsCurrentUser,
                                        objectType == kSeRegistryWow64_64Key);
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regSetKeySecurity(HKEY key, SECURITY_INFORMATION information, PSECURITY_DESCRIPTOR descriptor)
{
    if (const DWORD error = enter(SimCall::RegSetKeySecurity))
        return static_cast<LONG>(error);
    if (const DWORD refused = registry().securityAccess(key, information))
        return static_cast<LONG>(refused);
    if (descriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    // Only the absolute form is read here: its owner and list are pointed at.
    constexpr WORD kSelfRelative = 0x8000;
    const auto& given = *static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (given.Revision != SECURITY_DESCRIPTOR_REVISION || (given.Control & kSelfRelative))
        return ERROR_CALL_NOT_IMPLEMENTED;
    bool ownerIsCurrentUser = false;
    bool fullAccess = false;
    if (const DWORD error = ReadSecurityChange(security(), information, given.Owner, nullptr,
                                               (given.Control & SE_DACL_PRESENT) ? given.Dacl : nullptr,
                                               nullptr, ownerIsCurrentUser, fullAccess))
        return static_cast<LONG>(error);
    return static_cast<LONG>(registry().applySecurity(key, information, fullAccess, ownerIsCurrentUser));
}

HANDLE SimMachine::getCurrentProcess()
{
    enter(SimCall::GetCurrentProcess); // counted; the pseudo handle cannot fail
    return INVALID_HANDLE_VALUE;
}

BOOL SimMachine::openProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    if (enter(SimCall::OpenProcessToken))
        return FALSE;
    if (token == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    // Other processes' tokens are not modelled.
    if (process != INVALID_HANDLE_VALUE)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    *token = addHandle(std::make_shared<Token>(access));
    return TRUE;
}

BOOL SimMachine::getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass,
                                     void* information, DWORD length, DWORD* returnLength)
{
    if (enter(SimCall::GetTokenInformation))
        return FALSE;
    const auto held = handleObject<Token>(token);
    if (!held)
        return fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (returnLength == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (!(held->access & TOKEN_QUERY))
        return fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (informationClass != TokenUser)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    const std::vector<BYTE>& sid = security().userSid();
    const auto needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
    *returnLength = needed;
    if (information == nullptr || length < needed)
        return fail<BOOL>(ERROR_INSUFFICIENT_BUFFER, FALSE);
    // The SID follows the structure in the caller's buffer, which the structure points into.
    auto* user = static_cast<TOKEN_USER*>(information);
    BYTE* sidCopy = static_cast<BYTE*>(information) + sizeof(TOKEN_USER);
    std::copy(sid.begin(), sid.end(), sidCopy);
    user->User.Sid = sidCopy;
    user->User.Attributes = 0;
    return TRUE;
}

BOOL SimMachine::lookupPrivilegeValue(const char16_t* systemName, const char16_t* name,
                                      LUID* luid)
{
    if (enter(SimCall::LookupPrivilegeValue))
        return FALSE;
    if (systemName != nullptr && *systemName != u'\0')
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE); // other machines
    if (name == nullptr || luid == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (!SimSecurity::privilegeLuid(name, *luid))
        return fail<BOOL>(kErrorNoSuchPrivilege, FALSE);
    return TRUE;
}

BOOL SimMachine::adjustTokenPrivileges(HANDLE token, BOOL disableAll,
                                       TOKEN_PRIVILEGES* newState, DWORD bufferLength,
                                       TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    if (enter(SimCall::AdjustTokenPrivileges))
        return FALSE;
    (void)bufferLength;
    (void)returnLength;
    const auto held = handleObject<Token>(token);
    if (!held)
        return fail<BOOL>(token == nullptr ? kErrorNoToken : ERROR_INVALID_HANDLE, FALSE);
    if (!(held->access & TOKEN_ADJUST_PRIVILEGES))
        return fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    if (previousState != nullptr)
        return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (disableAll) {
        security().disableAll();
        setLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (newState == nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    bool allAssigned = true;
    const LUID_AND_ATTRIBUTES* privileges = newState->Privileges;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i)
        if (!security().adjust(privileges[i].Luid,
                               (privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0))
            allAssigned = false;
    // Success either way; only the last error tells that a privilege was not held.
    setLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}
