#include "toolkit/service_cleanup.h"

#include <optional>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/run_record.h"
#include "platform/services.h"

namespace {

// The manager and the service; the service is closed first.
struct OpenedService {
    UniqueServiceHandle manager;
    UniqueServiceHandle service;
};

// Opens the service; nothing when it is not installed. Any other failure throws.
std::optional<OpenedService> Open(const std::u16string& name)
{
    OpenedService opened;
    opened.manager = OpenSCManagerChecked(nullptr, u"ServicesActive", SC_MANAGER_ALL_ACCESS);
    try {
        opened.service = OpenServiceChecked(opened.manager.get(), name, SERVICE_ALL_ACCESS);
    } catch (const Windows::Error& error) {
        if (error.code() == ERROR_SERVICE_DOES_NOT_EXIST)
            return std::nullopt;
        throw;
    }
    return opened;
}

void Progress(Remove::Log* log, std::u16string_view opening, const std::u16string& name,
              std::u16string_view closing)
{
    log->write(opening);
    log->write(name);
    log->write(closing);
}

} // namespace

bool CheckServiceExists(const std::u16string& name, Remove::Log* log)
{
    Progress(log, u"Checking for \"", name, u"\" service...");
    try {
        if (!Open(name)) {
            writeLine(log, u"not found");
            return false;
        }
        writeLine(log, u"exists");
        return true;
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        NoteCurrentProbeError(u"service \"" + name + u"\"");
        return false;
    }
}

bool CheckServiceRunning(const std::u16string& name, Remove::Log* log)
{
    Progress(log, u"Checking if \"", name, u"\" is running...");
    try {
        const std::optional<OpenedService> opened = Open(name);
        if (!opened) {
            writeLine(log, u"service does not exist");
            return false;
        }
        const bool running = QueryServiceStatusChecked(opened->service.get()).dwCurrentState == SERVICE_RUNNING;
        writeLine(log, running ? u"service is running" : u"service not running");
        return running;
    } catch (...) {
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
}

bool StopServiceWithWait(const std::u16string& name, Remove::Log* log, unsigned timeoutSeconds)
{
    Progress(log, u"Stopping service \"", name, u"\"...");
    try {
        const std::optional<OpenedService> opened = Open(name);
        if (!opened) {
            writeLine(log, u"service does not exist");
            return true;
        }
        const SC_HANDLE service = opened->service.get();
        const DWORD state = QueryServiceStatusChecked(service).dwCurrentState;
        if (state == SERVICE_STOPPED) {
            writeLine(log, u"service is already stopped");
            return true;
        }
        if (state != SERVICE_STOP_PENDING)
            ControlServiceChecked(service, SERVICE_CONTROL_STOP);
        // The wait rests on the number of polls, 100 ms apart, not on a clock.
        const unsigned polls = timeoutSeconds * 10;
        for (unsigned i = 0;; ++i) {
            if (i == polls) {
                writeLine(log, u"abandoning wait.  Service not stopped.");
                return false;
            }
            if (QueryServiceStatusChecked(service).dwCurrentState == SERVICE_STOPPED)
                break;
            Os().sleep(100);
            if (i % 10 == 0)
                log->write(u".");
        }
        writeLine(log, u"stopped");
        return true;
    } catch (...) {
        log->write(u"error encountered: ");
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
}

bool StopAndDeleteService(const std::u16string& name, Remove::Log* log, unsigned timeoutSeconds)
{
    if (!StopServiceWithWait(name, log, timeoutSeconds))
        return false;
    Progress(log, u"Deleting service \"", name, u"\"...");
    try {
        const std::optional<OpenedService> opened = Open(name);
        if (!opened) {
            writeLine(log, u"service does not exist");
            return true;
        }
        try {
            DeleteServiceChecked(opened->service.get());
        } catch (...) {
            log->write(u"failed to delete service: ");
            writeLine(log, DescribeCurrentExceptionW());
            return false;
        }
        writeLine(log, u"deleted");
        NoteDeleted(DeletedKind::Service, name);
        return true;
    } catch (...) {
        log->write(u"error encountered: ");
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
}
