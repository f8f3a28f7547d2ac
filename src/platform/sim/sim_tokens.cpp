// The process's token on the simulated machine: its user, and the privileges it holds and enables.

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_security.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kErrorNoSuchPrivilege = 1313;
constexpr DWORD kErrorNoToken = 1008;

class Token : public SimKernelObject {
public:
    explicit Token(DWORD granted) : access(granted) {}
    const DWORD access;
};

} // namespace

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
