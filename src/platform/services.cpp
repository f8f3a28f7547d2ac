#include "platform/services.h"

#include "platform/errors.h"
#include "platform/os_api.h"

void ServiceHandleTraits::close(Handle handle) noexcept
{
    if (!Os().closeServiceHandle(handle)) {
        // A failed release is ignored: raise it for a debugger that breaks on throw, then drop it.
        try {
            throw CloseSCHandleFailed();
        } catch (const CloseSCHandleFailed&) {
        }
    }
}

UniqueServiceHandle OpenSCManagerChecked(const char16_t* machineName, const char16_t* databaseName,
                                         DWORD access)
{
    UniqueServiceHandle manager(Os().openSCManager(machineName, databaseName, access));
    if (!manager)
        ThrowLastError();
    return manager;
}

UniqueServiceHandle OpenServiceChecked(SC_HANDLE manager, const std::u16string& serviceName,
                                       DWORD access)
{
    UniqueServiceHandle service(Os().openService(manager, serviceName.c_str(), access));
    if (!service)
        ThrowLastError();
    return service;
}

SERVICE_STATUS QueryServiceStatusChecked(SC_HANDLE service)
{
    SERVICE_STATUS status{};
    ThrowLastErrorIfFalse(Os().queryServiceStatus(service, &status));
    return status;
}

SERVICE_STATUS ControlServiceChecked(SC_HANDLE service, DWORD control)
{
    SERVICE_STATUS status{};
    ThrowLastErrorIfFalse(Os().controlService(service, control, &status));
    return status;
}

void DeleteServiceChecked(SC_HANDLE service)
{
    ThrowLastErrorIfFalse(Os().deleteService(service));
}
