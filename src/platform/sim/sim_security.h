#pragma once

#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_types.h"

// The Users group (S-1-5-32-545), which every standard user is in.
extern const std::vector<BYTE> kUsersSid;

// A token as the objects it makes and opens see it: its user, the owner it names for what it
// makes, and every SID an access list may grant it through.
struct SimToken {
    std::vector<BYTE> user;
    std::vector<BYTE> owner;
    std::vector<std::vector<BYTE>> sids;
};

// What the security calls say of one object: its owner (none when empty) and its access list
// (none: a null list, which lets everybody do anything), with the descriptor's control flags
// beyond SE_SELF_RELATIVE and SE_DACL_PRESENT.
struct SimObjectSecurity {
    std::vector<BYTE> owner;
    std::optional<std::vector<BYTE>> list;
    WORD control = 0;
};

// The security descriptor a program hands a creation (SECURITY_ATTRIBUTES): only the
// self-relative form with an access list of entries that allow is modelled. What it leaves out
// comes from `token`: its owner, and a list that lets SYSTEM and that owner do anything. An
// error code for a descriptor it cannot take: ERROR_INVALID_OWNER for an owner the token may not
// name (its user, or a group it holds), ERROR_INVALID_SECURITY_DESCR for one that is malformed.
DWORD SimReadDescriptor(const void* descriptor, const SimToken& token, SimObjectSecurity& security);

// Whether the object's list lets `token` have every right of `rights`; GENERIC_ALL stands for
// `allRights`, the object's own full access.
bool SimGrants(const SimObjectSecurity& security, const SimToken& token, DWORD rights, DWORD allRights);

// A named mutex of the machine and the security it was made with.
class SimMutex final : public SimKernelObject {
public:
    SimMutex(SimObjectSecurity made, std::u16string name)
        : security(std::move(made)), objectName(std::move(name)) {}
    const SimObjectSecurity security;
    // Its name in the object namespace ("\BaseNamedObjects\<name>"); empty when unnamed.
    const std::u16string objectName;
};

// The security state of the simulated machine's one process: the current user, the privileges
// its token holds and which of them are enabled. What each file or key lets the user do lives
// with the file system and the registry.
class SimSecurity {
public:
    // The user holds SeTakeOwnershipPrivilege, SeBackupPrivilege and SeRestorePrivilege, as an
    // elevated administrator does; none is enabled.
    SimSecurity();

    // Set-up: whether the token holds a privilege at all (case-insensitive name).
    void holdPrivilege(const std::u16string& name, bool held);
    // The token's user, as GetTokenInformation(TokenUser) gives it.
    void setUserSid(std::vector<BYTE> sid);

    // The program's token: an administrator's, holding the Administrators group. What it makes
    // is its user's unless the maker names the group owner: no token's default can be counted on
    // (Wine's names a group of no administrator, S-1-5-21-0-0-0-513; Windows' follows a policy).
    SimToken token() const;
    // A standard user's token (S-1-5-21-1004336348-1177238915-682003330-1002, in the Users
    // group): the one another user's programs run with.
    static SimToken standardUserToken();

    // Inspection.
    bool privilegeEnabled(const std::u16string& name) const;
    // The current user's SID in its binary form, as GetTokenInformation(TokenUser) gives it.
    const std::vector<BYTE>& userSid() const { return userSid_; }
    bool isCurrentUser(const void* sid) const;

    // For the machine's calls.
    // The LUID of a privilege this machine knows; false when it knows no such privilege.
    static bool privilegeLuid(const std::u16string& name, LUID& luid);
    // Enables or disables by LUID; false when the token does not hold it.
    bool adjust(const LUID& luid, bool enable);
    void disableAll();

private:
    mutable std::mutex mutex_;
    std::set<DWORD> held_;
    std::set<DWORD> enabled_;
    std::vector<BYTE> userSid_;
};
