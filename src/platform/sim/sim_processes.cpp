#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

HANDLE SimMachine::createJobObject(SECURITY_ATTRIBUTES*, const char16_t*)
{
    return fail<HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

BOOL SimMachine::createProcess(const char16_t*, char16_t*, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*, BOOL, DWORD, void*, const char16_t*, STARTUPINFOW*, PROCESS_INFORMATION*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

HANDLE SimMachine::createIoCompletionPort(HANDLE, HANDLE, ULONG_PTR, DWORD)
{
    return fail<HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

BOOL SimMachine::setInformationJobObject(HANDLE, JOBOBJECTINFOCLASS, void*, DWORD)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::assignProcessToJobObject(HANDLE, HANDLE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

DWORD SimMachine::resumeThread(HANDLE)
{
    return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0xFFFFFFFF);
}

BOOL SimMachine::terminateProcess(HANDLE, UINT)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::getQueuedCompletionStatus(HANDLE, DWORD*, ULONG_PTR*, LPOVERLAPPED*, DWORD)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

DWORD SimMachine::waitForSingleObject(HANDLE, DWORD)
{
    return fail(ERROR_CALL_NOT_IMPLEMENTED, WAIT_FAILED);
}

BOOL SimMachine::getExitCodeProcess(HANDLE, DWORD*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
