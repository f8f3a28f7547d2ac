#include "platform/sim/sim_security.h"

#include <algorithm>
#include <cstring>

#include "platform/security_descriptor.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_text.h"

namespace {

constexpr DWORD kErrorNoneMapped = 1332;
constexpr DWORD kErrorInvalidAcl = 1336;

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

const std::vector<BYTE> kUsersSid = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};

namespace {

const std::vector<BYTE> kEveryone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
const std::vector<BYTE> kAuthenticatedUsers = {1, 1, 0, 0, 0, 0, 0, 5, 11, 0, 0, 0};
constexpr DWORD kErrorInvalidOwner = 1307;
constexpr DWORD kErrorInvalidSecurityDescriptor = 1338;
constexpr WORD kSelfRelative = 0x8000;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kSaclPresent = 0x0010;

DWORD Read32(const BYTE* at)
{
    return static_cast<DWORD>(at[0] | at[1] << 8 | at[2] << 16 | static_cast<DWORD>(at[3]) << 24);
}

WORD Read16(const BYTE* at)
{
    return static_cast<WORD>(at[0] | at[1] << 8);
}

std::vector<BYTE> SidAt(const BYTE* at)
{
    return std::vector<BYTE>(at, at + 8 + 4 * static_cast<std::size_t>(at[1]));
}

bool Holds(const SimToken& token, const std::vector<BYTE>& sid)
{
    return sid == token.user || std::find(token.sids.begin(), token.sids.end(), sid) != token.sids.end();
}

} // namespace

SimToken SimSecurity::token() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return SimToken{userSid_, userSid_, {kAdministratorsSid, kEveryone, kAuthenticatedUsers}};
}

SimToken SimSecurity::standardUserToken()
{
    // S-1-5-21-1004336348-1177238915-682003330-1002: another local account of the machine.
    const std::vector<BYTE> user = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 0xDC, 0xF4, 0xDC, 0x3B,
                                    0x83, 0x3D, 0x2B, 0x46, 0x82, 0x8B, 0xA6, 0x28, 0xEA, 0x03, 0x00, 0x00};
    return SimToken{user, user, {kUsersSid, kEveryone, kAuthenticatedUsers}};
}

DWORD SimReadDescriptor(const void* descriptor, const SimToken& token, SimObjectSecurity& security)
{
    security = SimObjectSecurity{token.owner, std::nullopt, 0};
    const BYTE* bytes = static_cast<const BYTE*>(descriptor);
    const WORD control = bytes ? Read16(bytes + 2) : 0;
    if (bytes && bytes[0] != 1)
        return kErrorInvalidSecurityDescriptor;
    if (bytes && (!(control & kSelfRelative) || (control & kSaclPresent) || Read32(bytes + 8) != 0))
        return ERROR_CALL_NOT_IMPLEMENTED; // absolute descriptors, groups and system lists
    if (bytes && Read32(bytes + 4) != 0) {
        security.owner = SidAt(bytes + Read32(bytes + 4));
        // An owner may be the token's user, or a group it holds that may own: the administrators.
        if (security.owner != token.user && !(security.owner == kAdministratorsSid && Holds(token, kAdministratorsSid)))
            return kErrorInvalidOwner;
    }
    if (!(control & kDaclPresent)) {
        security.list = AccessList({{GENERIC_ALL, kSystemSid}, {GENERIC_ALL, security.owner}});
        return ERROR_SUCCESS;
    }
    security.control = control & kSeDaclProtected;
    if (Read32(bytes + 16) == 0)
        return ERROR_SUCCESS; // a null list
    const BYTE* list = bytes + Read32(bytes + 16);
    const WORD size = Read16(list + 2);
    for (std::size_t at = 8, entry = 0; entry < Read16(list + 4); ++entry, at += Read16(list + at + 2)) {
        if (at + 8 > size)
            return kErrorInvalidSecurityDescriptor;
        if (list[at] != 0)
            return ERROR_CALL_NOT_IMPLEMENTED; // only entries that allow are modelled
    }
    security.list = std::vector<BYTE>(list, list + size);
    return ERROR_SUCCESS;
}

bool SimGrants(const SimObjectSecurity& security, const SimToken& token, DWORD rights, DWORD allRights)
{
    if (!security.list)
        return true;
    const std::vector<BYTE>& list = *security.list;
    DWORD granted = 0;
    for (std::size_t at = 8, entry = 0; entry < Read16(list.data() + 4); ++entry, at += Read16(list.data() + at + 2)) {
        const bool inheritOnly = list[at + 1] & 0x08;
        if (inheritOnly || !Holds(token, SidAt(list.data() + at + 8)))
            continue;
        const DWORD mask = Read32(list.data() + at + 4);
        granted |= (mask & GENERIC_ALL) ? allRights : mask;
    }
    return (granted & rights) == rights;
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

DWORD SimMachine::answerSecurity(const SimObjectSecurity& security, SECURITY_INFORMATION information, PSID* owner,
                                 PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    if (descriptor == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (group != nullptr || sacl != nullptr ||
        (information & ~(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION)) != 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    const std::vector<BYTE> bytes = SelfRelativeDescriptor(
        (information & OWNER_SECURITY_INFORMATION) ? security.owner : std::vector<BYTE>{},
        security.list ? &*security.list : nullptr, security.control);
    auto* block = static_cast<BYTE*>(localAlloc(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), block);
    *descriptor = block;
    // The offsets of the owner and of the access list; 0 for none.
    if (owner != nullptr)
        *owner = Read32(block + 4) != 0 ? block + Read32(block + 4) : nullptr;
    if (dacl != nullptr)
        *dacl = (information & DACL_SECURITY_INFORMATION) && Read32(block + 16) != 0
                    ? reinterpret_cast<PACL>(block + Read32(block + 16))
                    : nullptr;
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
    if (objectType != SE_FILE_OBJECT)
        return ERROR_CALL_NOT_IMPLEMENTED;
    SimObjectSecurity described;
    if (const DWORD error = files().securityOf(objectName, security().userSid(), described))
        return error;
    return answerSecurity(described, information, owner, group, dacl, sacl, descriptor);
}

DWORD SimMachine::getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information,
                                  PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    if (const DWORD error = enter(SimCall::GetSecurityInfo))
        return error;
    SimObjectSecurity described;
    if (objectType == SE_REGISTRY_KEY) {
        if (const DWORD error = registry().securityOf(static_cast<HKEY>(handle), described))
            return error;
    } else if (const auto mutex = handleObject<SimMutex>(handle)) {
        if (objectType != SE_KERNEL_OBJECT)
            return ERROR_CALL_NOT_IMPLEMENTED;
        described = mutex->security;
    } else if (objectType == SE_FILE_OBJECT) {
        if (const DWORD error = files().securityOf(*this, handle, security().userSid(), described))
            return error;
    } else {
        // Other kinds of kernel objects are not modelled.
        return handleObject<SimKernelObject>(handle) ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_INVALID_HANDLE;
    }
    return answerSecurity(described, information, owner, group, dacl, sacl, descriptor);
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
