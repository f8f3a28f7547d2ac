#pragma once

#include <string>

#include "platform/handles.h"
#include "platform/win_types.h"

// A service manager or service handle, closed with CloseServiceHandle exactly once; a failed
// close is ignored.
struct ServiceHandleTraits {
    using Handle = SC_HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle handle) noexcept { return handle != nullptr; }
    static void close(Handle handle) noexcept;
};
using UniqueServiceHandle = UniqueHandle<ServiceHandleTraits>;

// Each throws Windows::Error with the last error when its call fails; OpenServiceChecked gives
// ERROR_SERVICE_DOES_NOT_EXIST (1060) for a service that is not installed.
UniqueServiceHandle OpenSCManagerChecked(const char16_t* machineName, const char16_t* databaseName,
                                         DWORD access);
UniqueServiceHandle OpenServiceChecked(SC_HANDLE manager, const std::u16string& serviceName,
                                       DWORD access);
SERVICE_STATUS QueryServiceStatusChecked(SC_HANDLE service);
SERVICE_STATUS ControlServiceChecked(SC_HANDLE service, DWORD control);
void DeleteServiceChecked(SC_HANDLE service);
