// The machine's entry points for processes, jobs and completion ports: counting and fault
// injection, then the area.

#include "platform/sim/sim_processes.h"

SimProcesses& SimMachine::processes()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!processes_)
        processes_ = std::make_shared<SimProcesses>(*this);
    return *processes_;
}

HANDLE SimMachine::createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    if (enter(SimCall::CreateJobObject))
        return nullptr;
    return processes().createJobObject(attributes, name);
}

BOOL SimMachine::createProcess(const char16_t* applicationName, char16_t* commandLine, SECURITY_ATTRIBUTES* processAttributes, SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, void* environment, const char16_t* currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation)
{
    if (enter(SimCall::CreateProcess))
        return FALSE;
    return processes().createProcess(applicationName, commandLine, processAttributes,
                                     threadAttributes, inheritHandles, creationFlags,
                                     environment, currentDirectory, startupInfo,
                                     processInformation);
}

HANDLE SimMachine::createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey, DWORD concurrency)
{
    if (enter(SimCall::CreateIoCompletionPort))
        return nullptr;
    return processes().createIoCompletionPort(file, existingPort, completionKey, concurrency);
}

BOOL SimMachine::setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information, DWORD length)
{
    if (enter(SimCall::SetInformationJobObject))
        return FALSE;
    return processes().setInformationJobObject(job, informationClass, information, length);
}

BOOL SimMachine::assignProcessToJobObject(HANDLE job, HANDLE process)
{
    if (enter(SimCall::AssignProcessToJobObject))
        return FALSE;
    return processes().assignProcessToJobObject(job, process);
}

DWORD SimMachine::resumeThread(HANDLE thread)
{
    if (enter(SimCall::ResumeThread))
        return 0xFFFFFFFF;
    return processes().resumeThread(thread);
}

BOOL SimMachine::terminateProcess(HANDLE process, UINT exitCode)
{
    if (enter(SimCall::TerminateProcess))
        return FALSE;
    return processes().terminateProcess(process, exitCode);
}

BOOL SimMachine::getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped, DWORD milliseconds)
{
    if (enter(SimCall::GetQueuedCompletionStatus)) {
        if (overlapped != nullptr)
            *overlapped = nullptr;
        return FALSE;
    }
    return processes().getQueuedCompletionStatus(port, bytes, key, overlapped, milliseconds);
}

DWORD SimMachine::waitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (enter(SimCall::WaitForSingleObject))
        return WAIT_FAILED;
    return processes().waitForSingleObject(handle, milliseconds);
}

BOOL SimMachine::getExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    if (enter(SimCall::GetExitCodeProcess))
        return FALSE;
    return processes().getExitCodeProcess(process, exitCode);
}

BOOL SimMachine::terminateJobObject(HANDLE job, UINT exitCode)
{
    if (enter(SimCall::TerminateJobObject))
        return FALSE;
    return processes().terminateJobObject(job, exitCode);
}

BOOL SimMachine::enumWindows(WNDENUMPROC callback, LPARAM parameter)
{
    if (enter(SimCall::EnumWindows))
        return FALSE;
    return processes().enumWindows(callback, parameter);
}

DWORD SimMachine::getWindowThreadProcessId(HWND window, DWORD* processId)
{
    if (enter(SimCall::GetWindowThreadProcessId))
        return 0;
    return processes().getWindowThreadProcessId(window, processId);
}

BOOL SimMachine::isWindowVisible(HWND window)
{
    if (enter(SimCall::IsWindowVisible))
        return FALSE;
    return processes().isWindowVisible(window);
}

int SimMachine::getWindowText(HWND window, char16_t* text, int capacity)
{
    if (enter(SimCall::GetWindowText))
        return 0;
    return processes().getWindowText(window, text, capacity);
}
