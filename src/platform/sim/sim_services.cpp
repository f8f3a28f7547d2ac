#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

SC_HANDLE SimMachine::openSCManager(const char16_t*, const char16_t*, DWORD)
{
    return fail<SC_HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

SC_HANDLE SimMachine::openService(SC_HANDLE, const char16_t*, DWORD)
{
    return fail<SC_HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

BOOL SimMachine::queryServiceStatus(SC_HANDLE, SERVICE_STATUS*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::controlService(SC_HANDLE, DWORD, SERVICE_STATUS*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::deleteService(SC_HANDLE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::closeServiceHandle(SC_HANDLE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
