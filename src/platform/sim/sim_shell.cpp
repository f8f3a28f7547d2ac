#include "platform/sim/sim_machine.h"

// Not modelled yet: every call of this area fails loudly.

HMODULE SimMachine::loadLibrary(const char16_t*)
{
    return fail<HMODULE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

FARPROC SimMachine::getProcAddress(HMODULE, const char*)
{
    return fail<FARPROC>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
}

BOOL SimMachine::freeLibrary(HMODULE)
{
    return fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
