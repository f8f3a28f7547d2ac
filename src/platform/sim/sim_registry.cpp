#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

LONG SimMachine::regOpenKeyEx(HKEY, const char16_t*, DWORD, REGSAM, HKEY*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regQueryValueEx(HKEY, const char16_t*, DWORD*, DWORD*, BYTE*, DWORD*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regQueryInfoKey(HKEY, char16_t*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, FILETIME*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regEnumKeyEx(HKEY, DWORD, char16_t*, DWORD*, DWORD*, char16_t*, DWORD*, FILETIME*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regDeleteKey(HKEY, const char16_t*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regDeleteValue(HKEY, const char16_t*)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}

LONG SimMachine::regCloseKey(HKEY)
{
    return ERROR_CALL_NOT_IMPLEMENTED;
}
