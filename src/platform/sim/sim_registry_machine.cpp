// The machine's registry calls: counting and fault injection, the arguments the registry does
// not model refused, then the registry.

#include "platform/sim/sim_registry.h"

#include "platform/sim/sim_machine.h"

SimRegistry& SimMachine::registry()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!registry_)
        registry_ = std::make_shared<SimRegistry>(*this);
    return *registry_;
}

LONG SimMachine::regOpenKeyEx(HKEY key, const char16_t* subKey, DWORD options, REGSAM access,
                              HKEY* result)
{
    if (const DWORD error = enter(SimCall::RegOpenKeyEx))
        return static_cast<LONG>(error);
    if ((options & ~REG_OPTION_OPEN_LINK) != 0)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return registry().open(key, subKey, (options & REG_OPTION_OPEN_LINK) != 0, access, result);
}

LONG SimMachine::regQueryValueEx(HKEY key, const char16_t* valueName, DWORD* reserved,
                                 DWORD* type, BYTE* data, DWORD* dataSize)
{
    if (const DWORD error = enter(SimCall::RegQueryValueEx))
        return static_cast<LONG>(error);
    if (reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return registry().queryValue(key, valueName, type, data, dataSize);
}

LONG SimMachine::regQueryInfoKey(HKEY key, char16_t* className, DWORD* classLength,
                                 DWORD* reserved, DWORD* subKeys, DWORD* maxSubKeyLength,
                                 DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                                 DWORD* maxValueLength, DWORD* securityDescriptorSize,
                                 FILETIME* lastWriteTime)
{
    if (const DWORD error = enter(SimCall::RegQueryInfoKey))
        return static_cast<LONG>(error);
    if (reserved != nullptr || securityDescriptorSize != nullptr)
        return ERROR_CALL_NOT_IMPLEMENTED;
    return registry().queryInfo(key, className, classLength, subKeys, maxSubKeyLength,
                                maxClassLength, values, maxValueNameLength, maxValueLength,
                                lastWriteTime);
}

LONG SimMachine::regEnumKeyEx(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* reserved, char16_t* className, DWORD* classLength,
                              FILETIME* lastWriteTime)
{
    if (const DWORD error = enter(SimCall::RegEnumKeyEx))
        return static_cast<LONG>(error);
    if (reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return registry().enumKey(key, index, name, nameLength, className, classLength, lastWriteTime);
}

LONG SimMachine::regEnumValue(HKEY key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    if (const DWORD error = enter(SimCall::RegEnumValue))
        return static_cast<LONG>(error);
    if (reserved != nullptr)
        return ERROR_INVALID_PARAMETER;
    return registry().enumValue(key, index, name, nameLength, type, data, dataSize);
}

LONG SimMachine::regDeleteKey(HKEY key, const char16_t* subKey)
{
    if (const DWORD error = enter(SimCall::RegDeleteKey))
        return static_cast<LONG>(error);
    return registry().deleteKey(key, subKey);
}

LONG SimMachine::regDeleteKeyEx(HKEY key, const char16_t* subKey, REGSAM access, DWORD reserved)
{
    if (const DWORD error = enter(SimCall::RegDeleteKeyEx))
        return static_cast<LONG>(error);
    if (reserved != 0)
        return ERROR_INVALID_PARAMETER;
    return registry().deleteKey(key, subKey, access);
}

LONG SimMachine::regDeleteValue(HKEY key, const char16_t* valueName)
{
    if (const DWORD error = enter(SimCall::RegDeleteValue))
        return static_cast<LONG>(error);
    return registry().deleteValue(key, valueName);
}

LONG SimMachine::regCloseKey(HKEY key)
{
    if (const DWORD error = enter(SimCall::RegCloseKey))
        return static_cast<LONG>(error);
    return registry().close(key);
}

NTSTATUS SimMachine::ntDeleteKey(HANDLE key)
{
    // A native call: an injected fault is its status, and the thread's last error stays as it was.
    const DWORD lastError = getLastError();
    if (const DWORD fault = enter(SimCall::NtDeleteKey)) {
        setLastError(lastError);
        return static_cast<NTSTATUS>(fault);
    }
    return registry().deleteOpenKey(static_cast<HKEY>(key));
}
