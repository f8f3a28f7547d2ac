#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

DWORD SimMachine::getFileAttributes(const char16_t*)
{
    return fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_FILE_ATTRIBUTES);
}

BOOL SimMachine::setFileAttributes(const char16_t*, DWORD)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

HANDLE SimMachine::findFirstFile(const char16_t*, WIN32_FIND_DATAW*)
{
    return fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
}

BOOL SimMachine::findNextFile(HANDLE, WIN32_FIND_DATAW*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::findClose(HANDLE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::deleteFile(const char16_t*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::removeDirectory(const char16_t*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::createDirectory(const char16_t*, SECURITY_ATTRIBUTES*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

HANDLE SimMachine::createFile(const char16_t*, DWORD, DWORD, SECURITY_ATTRIBUTES*, DWORD, DWORD, HANDLE)
{
    return fail(ERROR_CALL_NOT_IMPLEMENTED, INVALID_HANDLE_VALUE);
}

BOOL SimMachine::writeFile(HANDLE, const void*, DWORD, DWORD*, LPOVERLAPPED)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::flushFileBuffers(HANDLE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

DWORD SimMachine::getTempPath(DWORD, char16_t*)
{
    return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
}

UINT SimMachine::getTempFileName(const char16_t*, const char16_t*, UINT, char16_t*)
{
    return fail<UINT>(ERROR_CALL_NOT_IMPLEMENTED, 0);
}

DWORD SimMachine::getFileVersionInfoSize(const char16_t*, DWORD*)
{
    return fail<DWORD>(ERROR_CALL_NOT_IMPLEMENTED, 0);
}

BOOL SimMachine::getFileVersionInfo(const char16_t*, DWORD, DWORD, void*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}

BOOL SimMachine::verQueryValue(const void*, const char16_t*, void**, UINT*)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
