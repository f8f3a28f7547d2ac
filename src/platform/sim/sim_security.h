#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/win_types.h"

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
