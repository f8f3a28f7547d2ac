// Job objects and I/O completion ports of the simulated machine: a process joining a job (and
// every job it is nested in), the port a job reports to, and the notifications the program
// waits on to learn when everything an uninstaller started has ended.

#include "platform/sim/sim_processes.h"

#include "platform/sim/sim_processes_internal.h"

using namespace SimProcessesInternal;

namespace {

constexpr DWORD kErrorBadLength = 24;

} // namespace

void SimProcesses::joinJob(const std::shared_ptr<SimProcess>& process,
                           const std::shared_ptr<Job>& job)
{
    process->job = job;
    for (Job* joined = job.get(); joined; joined = joined->parent.get()) {
        ++joined->active;
        joined->post(JOB_OBJECT_MSG_NEW_PROCESS, ProcessIdAsOverlapped(process->id));
    }
}

HANDLE SimProcesses::createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    if (attributes != nullptr || (name != nullptr && *name != u'\0'))
        return machine_.fail<HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    return machine_.addHandle(std::make_shared<JobObject>());
}

HANDLE SimProcesses::createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR,
                                            DWORD)
{
    // Only a new port with no file is modelled; the key matters only for file associations.
    if (file != INVALID_HANDLE_VALUE || existingPort != nullptr)
        return machine_.fail<HANDLE>(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
    return machine_.addHandle(std::make_shared<PortObject>());
}

BOOL SimProcesses::setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass,
                                           void* information, DWORD length)
{
    const auto jobObject = machine_.handleObject<JobObject>(job);
    if (!jobObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (informationClass != JobObjectAssociateCompletionPortInformation)
        return machine_.fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (information == nullptr || length != sizeof(JOBOBJECT_ASSOCIATE_COMPLETION_PORT))
        return machine_.fail<BOOL>(kErrorBadLength, FALSE);
    const auto* association = static_cast<const JOBOBJECT_ASSOCIATE_COMPLETION_PORT*>(information);
    const auto portObject = machine_.handleObject<PortObject>(association->CompletionPort);
    if (!portObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // A job keeps the first port it was given.
    if (jobObject->job->port)
        return machine_.fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    jobObject->job->port = portObject->port;
    jobObject->job->key = reinterpret_cast<ULONG_PTR>(association->CompletionKey);
    return TRUE;
}

BOOL SimProcesses::assignProcessToJobObject(HANDLE job, HANDLE process)
{
    const auto jobObject = machine_.handleObject<JobObject>(job);
    const auto processObject = machine_.handleObject<ProcessObject>(process);
    if (!jobObject || !processObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    settle();
    const auto& target = processObject->process;
    if (target->state == SimProcess::State::Ended)
        return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    const std::shared_ptr<Job>& joined = jobObject->job;
    if (target->job == joined)
        return TRUE;
    if (target->job) {
        // Jobs nest since Windows 8: a job that holds nothing yet goes inside the process's job.
        // A job already nested elsewhere, or holding other processes, cannot take it.
        if (joined->active != 0 || (joined->parent && joined->parent != target->job))
            return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
        joined->parent = target->job;
        target->job = joined;
        ++joined->active;
        joined->post(JOB_OBJECT_MSG_NEW_PROCESS, ProcessIdAsOverlapped(target->id));
        return TRUE;
    }
    joinJob(target, joined);
    return TRUE;
}

BOOL SimProcesses::getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                                             LPOVERLAPPED* overlapped, DWORD milliseconds)
{
    const auto portObject = machine_.handleObject<PortObject>(port);
    if (!portObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (bytes == nullptr || key == nullptr || overlapped == nullptr)
        return machine_.fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto& queue = portObject->port->queue;
    const DWORD result = waitUntil([&queue] { return !queue.empty(); }, milliseconds,
                                   "a completion port");
    if (result != WAIT_OBJECT_0) {
        *overlapped = nullptr;
        if (result == WAIT_TIMEOUT)
            machine_.setLastError(WAIT_TIMEOUT);
        return FALSE;
    }
    const auto packet = queue.front();
    queue.pop_front();
    *bytes = packet.bytes;
    *key = packet.key;
    *overlapped = packet.overlapped;
    return TRUE;
}

BOOL SimProcesses::terminateJobObject(HANDLE job, UINT exitCode)
{
    const auto jobObject = machine_.handleObject<JobObject>(job);
    if (!jobObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    settle();
    // The job's own processes and those of the jobs nested in it.
    for (const auto& process : processes_) {
        if (process->state == SimProcess::State::Ended)
            continue;
        for (const Job* in = process->job.get(); in; in = in->parent.get()) {
            if (in == jobObject->job.get()) {
                end(process, exitCode);
                break;
            }
        }
    }
    return TRUE;
}
