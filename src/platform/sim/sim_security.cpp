#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

DWORD SimMachine::setEntriesInAcl(ULONG, EXPLICIT_ACCESS_W*, PACL, PACL*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD SimMachine::setNamedSecurityInfo(char16_t*, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID, PACL, PACL)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

HANDLE SimMachine::getCurrentProcess()
{
    return fail<HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

BOOL SimMachine::openProcessToken(HANDLE, DWORD, HANDLE*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::getTokenInformation(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::lookupPrivilegeValue(const char16_t*, const char16_t*, LUID*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::adjustTokenPrivileges(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
