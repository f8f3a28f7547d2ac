// The planning layer's refusal of changes it was not written for, and what it makes of programs,
// jobs, services and access lists. Its overlays are in planning_registry.cpp and
// planning_files.cpp.

#include "plan/planning_os_api.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plan/planning_internal.h"
#include "platform/process.h"
#include "platform/text.h"

PlanningOsApi::PlanningOsApi(OsApi& machine, PlannedChanges& changes)
    : ForwardingOsApi(machine), changes_(changes), currentUser_(CurrentUserSidText(machine))
{
}

PlanningOsApi::~PlanningOsApi() = default;

std::vector<std::u16string> PlanningOsApi::startedPrograms() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
}

void PlanningOsApi::forwarding(SeamCall call)
{
    // A change nobody wrote the layer for: nothing may assume it harmless.
    if (OperationOf(call).kind == SeamClass::Change) {
        std::fprintf(stderr, "QTVRemove: the planning layer was asked to pass on the change %s\n", OperationOf(call).name);
        std::abort();
    }
}

void PlanningOsApi::changed()
{
    changes_.note();
}

HANDLE PlanningOsApi::fakeHandle()
{
    std::lock_guard<std::mutex> lock(mutex_);
    nextFake_ += 4;
    const auto handle = reinterpret_cast<HANDLE>(nextFake_);
    fakes_.insert(handle);
    return handle;
}

bool PlanningOsApi::isFake(HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fakes_.count(handle) != 0;
}

DWORD PlanningOsApi::getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    // A file the plan only made has no security of its own to read.
    if (isFake(handle))
        return ERROR_INVALID_HANDLE;
    return below().getSecurityInfo(handle, objectType, information, owner, group, dacl, sacl, descriptor);
}

// Services: a stop or a deletion is kept in the overlay; the service reads as stopped or gone.

SC_HANDLE PlanningOsApi::openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access)
{
    const std::u16string name = PlanningInternal::Upper(serviceName ? serviceName : u"");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (deletedServices_.count(name)) {
            below().setLastError(ERROR_SERVICE_DOES_NOT_EXIST);
            return nullptr;
        }
    }
    const SC_HANDLE service = below().openService(manager, serviceName, access);
    if (service) {
        std::lock_guard<std::mutex> lock(mutex_);
        services_[service] = name;
    }
    return service;
}

BOOL PlanningOsApi::queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    const BOOL answered = below().queryServiceStatus(service, status);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = services_.find(service);
    if (answered && status && it != services_.end() && stoppedServices_.count(it->second))
        status->dwCurrentState = SERVICE_STOPPED;
    return answered;
}

BOOL PlanningOsApi::controlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    SERVICE_STATUS now{};
    if (!queryServiceStatus(service, &now))
        return FALSE;
    if (control == SERVICE_CONTROL_STOP && now.dwCurrentState == SERVICE_STOPPED) {
        below().setLastError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (control == SERVICE_CONTROL_STOP)
            stoppedServices_.insert(services_[service]);
    }
    changed();
    if (status) {
        *status = now;
        status->dwCurrentState = control == SERVICE_CONTROL_STOP ? SERVICE_STOPPED : now.dwCurrentState;
    }
    return TRUE;
}

BOOL PlanningOsApi::deleteService(SC_HANDLE service)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::u16string name = services_[service];
        deletedServices_.insert(name);
        // The service manager takes the service's registration with it.
        for (const char16_t* view : {u"32|", u"64|"})
            deletedKeys_.insert(view + std::u16string(u"HKLM\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\") + name);
    }
    changed();
    return TRUE;
}

BOOL PlanningOsApi::closeServiceHandle(SC_HANDLE handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        services_.erase(handle);
    }
    return below().closeServiceHandle(handle);
}

// An access list or owner set: kept, so that what it would have opened opens.

DWORD PlanningOsApi::setNamedSecurityInfo(char16_t* objectName, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID, PSID,
                                          PACL, PACL)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        granted_.insert(PlanningInternal::Upper(objectName ? objectName : u""));
    }
    changed();
    return ERROR_SUCCESS;
}

// Programs: not started. Each runs at once in a job that reports it empty, and ends with 0.

HANDLE PlanningOsApi::createJobObject(SECURITY_ATTRIBUTES*, const char16_t*)
{
    return fakeHandle();
}

HANDLE PlanningOsApi::createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey,
                                             DWORD concurrency)
{
    // A new port hears only the jobs of programs not started.
    if (file == INVALID_HANDLE_VALUE && existingPort == nullptr)
        return fakeHandle();
    return below().createIoCompletionPort(file, existingPort, completionKey, concurrency);
}

BOOL PlanningOsApi::setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information,
                                           DWORD length)
{
    if (!isFake(job))
        return below().setInformationJobObject(job, informationClass, information, length);
    if (informationClass == JobObjectAssociateCompletionPortInformation && information) {
        std::lock_guard<std::mutex> lock(mutex_);
        jobPorts_[job] = static_cast<JOBOBJECT_ASSOCIATE_COMPLETION_PORT*>(information)->CompletionPort;
    }
    return TRUE;
}

BOOL PlanningOsApi::createProcess(const char16_t*, char16_t* commandLine, SECURITY_ATTRIBUTES*,
                                  SECURITY_ATTRIBUTES*, BOOL, DWORD, void*, const char16_t*, STARTUPINFOW*,
                                  PROCESS_INFORMATION* processInformation)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        started_.emplace_back(commandLine ? commandLine : u"");
    }
    changed();
    processInformation->hProcess = fakeHandle();
    processInformation->hThread = fakeHandle();
    processInformation->dwProcessId = 0;
    processInformation->dwThreadId = 0;
    return TRUE;
}

BOOL PlanningOsApi::assignProcessToJobObject(HANDLE job, HANDLE process)
{
    if (!isFake(job) || !isFake(process))
        return below().assignProcessToJobObject(job, process);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto port = jobPorts_.find(job);
    if (port != jobPorts_.end())
        ++pending_[port->second];
    return TRUE;
}

DWORD PlanningOsApi::resumeThread(HANDLE thread)
{
    return isFake(thread) ? 1 : below().resumeThread(thread);
}

BOOL PlanningOsApi::terminateProcess(HANDLE process, UINT exitCode)
{
    // Only what the layer started is ever ended; a process of the machine is left running.
    if (!isFake(process))
        changed();
    (void)exitCode;
    return TRUE;
}

BOOL PlanningOsApi::terminateJobObject(HANDLE job, UINT exitCode)
{
    // As a process: only a job the layer made is ended, and its processes ended at their start.
    if (!isFake(job))
        changed();
    (void)exitCode;
    return TRUE;
}

BOOL PlanningOsApi::getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped,
                                              DWORD milliseconds)
{
    if (!isFake(port))
        return below().getQueuedCompletionStatus(port, bytes, key, overlapped, milliseconds);
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned& waiting = pending_[port];
    if (waiting == 0) {
        below().setLastError(WAIT_TIMEOUT);
        return FALSE;
    }
    --waiting;
    *bytes = JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO;
    *key = 0;
    *overlapped = nullptr;
    return TRUE;
}

DWORD PlanningOsApi::waitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (!isFake(handle))
        return below().waitForSingleObject(handle, milliseconds);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto waiting = pending_.find(handle);
    return waiting == pending_.end() || waiting->second > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL PlanningOsApi::getExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    if (!isFake(process))
        return below().getExitCodeProcess(process, exitCode);
    *exitCode = 0;
    return TRUE;
}

BOOL PlanningOsApi::closeHandle(HANDLE handle)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fakes_.erase(handle)) {
            jobPorts_.erase(handle);
            pending_.erase(handle);
            return TRUE;
        }
        openFiles_.erase(handle);
    }
    return below().closeHandle(handle);
}
