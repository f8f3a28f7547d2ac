// The planning layer's table of the seam's operations, its forwarding of reads, and what it
// makes of programs, jobs, services and access lists. Its registry and file overlays are in
// planning_overlay.cpp.

#include "platform/planning_os_api.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/planning_internal.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

std::atomic<unsigned> plannedChanges{0};

SeamClass ClassOf(const char* name)
{
    for (const SeamOperation& operation : SeamOperations())
        if (std::strcmp(operation.name, name) == 0)
            return operation.kind;
    // An operation nobody classified: nothing may assume it harmless.
    std::fprintf(stderr, "QTVRemove: the planning layer does not know the operation %s\n", name);
    std::abort();
}

} // namespace

const std::vector<SeamOperation>& SeamOperations()
{
    static const std::vector<SeamOperation> operations = {
        {"GetLastError", SeamClass::Local},
        {"SetLastError", SeamClass::Local},
        {"FormatMessageW", SeamClass::Read},
        {"LocalFree", SeamClass::Local},
        {"MultiByteToWideChar", SeamClass::Read},
        {"GetModuleFileNameW", SeamClass::Read},
        {"MessageBoxW", SeamClass::Local},
        {"GetProcessWindowStation", SeamClass::Read},
        {"GetUserObjectInformationW", SeamClass::Read},
        {"RegOpenKeyExW", SeamClass::Read},
        {"RegQueryValueExW", SeamClass::Read},
        {"RegQueryInfoKeyW", SeamClass::Read},
        {"RegEnumKeyExW", SeamClass::Read},
        {"RegEnumValueW", SeamClass::Read},
        {"RegDeleteKeyW", SeamClass::Change},
        {"RegDeleteKeyExW", SeamClass::Change},
        {"RegDeleteValueW", SeamClass::Change},
        {"RegCloseKey", SeamClass::Local},
        {"OpenSCManagerW", SeamClass::Read},
        {"OpenServiceW", SeamClass::Read},
        {"QueryServiceStatus", SeamClass::Read},
        {"ControlService", SeamClass::Change},
        {"DeleteService", SeamClass::Change},
        {"CloseServiceHandle", SeamClass::Local},
        {"SetEntriesInAclW", SeamClass::Local},
        {"SetNamedSecurityInfoW", SeamClass::Change},
        {"GetNamedSecurityInfoW", SeamClass::Read},
        {"SetSecurityInfo", SeamClass::Change},
        {"GetCurrentProcess", SeamClass::Read},
        {"OpenProcessToken", SeamClass::Read},
        {"GetTokenInformation", SeamClass::Read},
        {"LookupPrivilegeValueW", SeamClass::Read},
        {"AdjustTokenPrivileges", SeamClass::Local},
        {"CreateJobObjectW", SeamClass::Local},
        {"CreateMutexW", SeamClass::Local},
        {"CreateProcessW", SeamClass::Change},
        {"CreateIoCompletionPort", SeamClass::Local},
        {"SetInformationJobObject", SeamClass::Local},
        {"AssignProcessToJobObject", SeamClass::Local},
        {"ResumeThread", SeamClass::Local},
        {"TerminateProcess", SeamClass::Change},
        {"GetQueuedCompletionStatus", SeamClass::Read},
        {"WaitForSingleObject", SeamClass::Read},
        {"GetExitCodeProcess", SeamClass::Read},
        {"CloseHandle", SeamClass::Local},
        {"GetFileAttributesW", SeamClass::Read},
        {"SetFileAttributesW", SeamClass::Change},
        {"FindFirstFileW", SeamClass::Read},
        {"FindNextFileW", SeamClass::Read},
        {"FindClose", SeamClass::Local},
        {"DeleteFileW", SeamClass::Change},
        {"RemoveDirectoryW", SeamClass::Change},
        {"CreateDirectoryW", SeamClass::Change},
        {"CreateFileW", SeamClass::Change},
        {"WriteFile", SeamClass::Change},
        {"FlushFileBuffers", SeamClass::Change},
        {"MoveFileExW", SeamClass::Change},
        {"GetTempPathW", SeamClass::Read},
        {"GetTempFileNameW", SeamClass::Change},
        {"ExpandEnvironmentStringsW", SeamClass::Read},
        {"CompareStringW", SeamClass::Read},
        {"GetSysColor", SeamClass::Read},
        {"GetFullPathNameW", SeamClass::Read},
        {"GetLongPathNameW", SeamClass::Read},
        {"GetFileInformationByHandle", SeamClass::Read},
        {"GetFinalPathNameByHandleW", SeamClass::Read},
        {"GetDriveTypeW", SeamClass::Read},
        {"SetCurrentDirectoryW", SeamClass::Local},
        {"NtCreateFile", SeamClass::Read},
        {"RtlNtStatusToDosError", SeamClass::Local},
        {"GetFileInformationByHandleEx", SeamClass::Read},
        {"SetFileInformationByHandle", SeamClass::Change},
        {"GetStdHandle", SeamClass::Read},
        {"AttachConsole", SeamClass::Local},
        {"GetFileType", SeamClass::Read},
        {"WriteConsoleW", SeamClass::Local},
        {"LoadLibraryW", SeamClass::Local},
        {"GetProcAddress", SeamClass::Read},
        {"FreeLibrary", SeamClass::Local},
        {"GetFileVersionInfoSizeW", SeamClass::Read},
        {"GetFileVersionInfoW", SeamClass::Read},
        {"VerQueryValueW", SeamClass::Read},
        {"Sleep", SeamClass::Local},
        {"GetTickCount64", SeamClass::Read},
        {"GetSecurityInfo", SeamClass::Read},
        {"NtDeleteKey", SeamClass::Change},
        {"RegSetKeySecurity", SeamClass::Change},
        {"NtQueryObject", SeamClass::Read},
    };
    return operations;
}

unsigned PlannedChangeCount()
{
    return plannedChanges.load();
}

namespace {

} // namespace

PlanningOsApi::PlanningOsApi(OsApi& machine)
    : machine_(machine), currentUser_(CurrentUserSidText(machine))
{
}

PlanningOsApi::~PlanningOsApi() = default;

std::vector<std::u16string> PlanningOsApi::startedPrograms() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
}

template <class Call>
auto PlanningOsApi::pass(const char* name, Call call)
{
    if (ClassOf(name) == SeamClass::Change) {
        std::fprintf(stderr, "QTVRemove: the planning layer was asked to pass on the change %s\n", name);
        std::abort();
    }
    return call();
}

bool PlanningActive()
{
    return dynamic_cast<PlanningOsApi*>(&Os()) != nullptr;
}

void NotePlannedChange()
{
    plannedChanges.fetch_add(1);
}

void PlanningOsApi::changed()
{
    NotePlannedChange();
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

DWORD PlanningOsApi::getLastError()
{
    return pass("GetLastError", [&] { return machine_.getLastError(); });
}

void PlanningOsApi::setLastError(DWORD code)
{
    pass("SetLastError", [&] { machine_.setLastError(code); return 0; });
}

DWORD PlanningOsApi::formatMessage(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char16_t* buffer, DWORD size, va_list* arguments)
{
    return pass("FormatMessageW", [&] { return machine_.formatMessage(flags, source, messageId, languageId, buffer, size, arguments); });
}

HLOCAL PlanningOsApi::localFree(HLOCAL memory)
{
    return pass("LocalFree", [&] { return machine_.localFree(memory); });
}

int PlanningOsApi::multiByteToWideChar(UINT codePage, DWORD flags, const char* text, int bytes, char16_t* wide, int wideChars)
{
    return pass("MultiByteToWideChar", [&] { return machine_.multiByteToWideChar(codePage, flags, text, bytes, wide, wideChars); });
}

DWORD PlanningOsApi::getModuleFileName(HMODULE module, char16_t* buffer, DWORD size)
{
    return pass("GetModuleFileNameW", [&] { return machine_.getModuleFileName(module, buffer, size); });
}

int PlanningOsApi::messageBox(HWND owner, const char16_t* text, const char16_t* caption, UINT type)
{
    return pass("MessageBoxW", [&] { return machine_.messageBox(owner, text, caption, type); });
}

HWINSTA PlanningOsApi::getProcessWindowStation()
{
    return pass("GetProcessWindowStation", [&] { return machine_.getProcessWindowStation(); });
}

BOOL PlanningOsApi::getUserObjectInformation(HANDLE object, int index, void* information, DWORD length, DWORD* lengthNeeded)
{
    return pass("GetUserObjectInformationW", [&] { return machine_.getUserObjectInformation(object, index, information, length, lengthNeeded); });
}

SC_HANDLE PlanningOsApi::openSCManager(const char16_t* machineName, const char16_t* databaseName, DWORD access)
{
    return pass("OpenSCManagerW", [&] { return machine_.openSCManager(machineName, databaseName, access); });
}

DWORD PlanningOsApi::setEntriesInAcl(ULONG count, EXPLICIT_ACCESS_W* entries, PACL oldAcl, PACL* newAcl)
{
    return pass("SetEntriesInAclW", [&] { return machine_.setEntriesInAcl(count, entries, oldAcl, newAcl); });
}

HANDLE PlanningOsApi::getCurrentProcess()
{
    return pass("GetCurrentProcess", [&] { return machine_.getCurrentProcess(); });
}

BOOL PlanningOsApi::openProcessToken(HANDLE process, DWORD access, HANDLE* token)
{
    return pass("OpenProcessToken", [&] { return machine_.openProcessToken(process, access, token); });
}

BOOL PlanningOsApi::getTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, void* information, DWORD length, DWORD* returnLength)
{
    return pass("GetTokenInformation", [&] { return machine_.getTokenInformation(token, informationClass, information, length, returnLength); });
}

BOOL PlanningOsApi::lookupPrivilegeValue(const char16_t* systemName, const char16_t* name, LUID* luid)
{
    return pass("LookupPrivilegeValueW", [&] { return machine_.lookupPrivilegeValue(systemName, name, luid); });
}

BOOL PlanningOsApi::adjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferLength, TOKEN_PRIVILEGES* previousState, DWORD* returnLength)
{
    return pass("AdjustTokenPrivileges", [&] { return machine_.adjustTokenPrivileges(token, disableAll, newState, bufferLength, previousState, returnLength); });
}

HANDLE PlanningOsApi::createMutex(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, const char16_t* name)
{
    return pass("CreateMutexW", [&] { return machine_.createMutex(attributes, initialOwner, name); });
}

DWORD PlanningOsApi::getTempPath(DWORD bufferLength, char16_t* buffer)
{
    return pass("GetTempPathW", [&] { return machine_.getTempPath(bufferLength, buffer); });
}

DWORD PlanningOsApi::expandEnvironmentStrings(const char16_t* source, char16_t* destination, DWORD size)
{
    return pass("ExpandEnvironmentStringsW", [&] { return machine_.expandEnvironmentStrings(source, destination, size); });
}

int PlanningOsApi::compareString(LCID locale, DWORD flags, const char16_t* first, int firstLength, const char16_t* second, int secondLength)
{
    return pass("CompareStringW", [&] { return machine_.compareString(locale, flags, first, firstLength, second, secondLength); });
}

DWORD PlanningOsApi::getSysColor(int index)
{
    return pass("GetSysColor", [&] { return machine_.getSysColor(index); });
}

DWORD PlanningOsApi::getFullPathName(const char16_t* fileName, DWORD bufferLength, char16_t* buffer, char16_t** filePart)
{
    return pass("GetFullPathNameW", [&] { return machine_.getFullPathName(fileName, bufferLength, buffer, filePart); });
}

DWORD PlanningOsApi::getLongPathName(const char16_t* shortPath, char16_t* longPath, DWORD bufferLength)
{
    return pass("GetLongPathNameW", [&] { return machine_.getLongPathName(shortPath, longPath, bufferLength); });
}

DWORD PlanningOsApi::getNamedSecurityInfo(const char16_t* objectName, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    return pass("GetNamedSecurityInfoW", [&] {
        return machine_.getNamedSecurityInfo(objectName, objectType, information, owner, group, dacl, sacl, descriptor);
    });
}

UINT PlanningOsApi::getDriveType(const char16_t* rootPath)
{
    return pass("GetDriveTypeW", [&] { return machine_.getDriveType(rootPath); });
}

BOOL PlanningOsApi::setCurrentDirectory(const char16_t* path)
{
    return pass("SetCurrentDirectoryW", [&] { return machine_.setCurrentDirectory(path); });
}

HANDLE PlanningOsApi::getStdHandle(DWORD which)
{
    return pass("GetStdHandle", [&] { return machine_.getStdHandle(which); });
}

BOOL PlanningOsApi::attachConsole(DWORD processId)
{
    return pass("AttachConsole", [&] { return machine_.attachConsole(processId); });
}

DWORD PlanningOsApi::getFileType(HANDLE file)
{
    return pass("GetFileType", [&] { return machine_.getFileType(file); });
}

BOOL PlanningOsApi::writeConsole(HANDLE console, const char16_t* text, DWORD characters, DWORD* written, void* reserved)
{
    return pass("WriteConsoleW", [&] { return machine_.writeConsole(console, text, characters, written, reserved); });
}

HMODULE PlanningOsApi::loadLibrary(const char16_t* fileName)
{
    return pass("LoadLibraryW", [&] { return machine_.loadLibrary(fileName); });
}

FARPROC PlanningOsApi::getProcAddress(HMODULE module, const char* procName)
{
    return pass("GetProcAddress", [&] { return machine_.getProcAddress(module, procName); });
}

BOOL PlanningOsApi::freeLibrary(HMODULE module)
{
    return pass("FreeLibrary", [&] { return machine_.freeLibrary(module); });
}

DWORD PlanningOsApi::getFileVersionInfoSize(const char16_t* fileName, DWORD* handle)
{
    return pass("GetFileVersionInfoSizeW", [&] { return machine_.getFileVersionInfoSize(fileName, handle); });
}

BOOL PlanningOsApi::getFileVersionInfo(const char16_t* fileName, DWORD handle, DWORD length, void* data)
{
    return pass("GetFileVersionInfoW", [&] { return machine_.getFileVersionInfo(fileName, handle, length, data); });
}

BOOL PlanningOsApi::verQueryValue(const void* block, const char16_t* subBlock, void** buffer, UINT* length)
{
    return pass("VerQueryValueW", [&] { return machine_.verQueryValue(block, subBlock, buffer, length); });
}

void PlanningOsApi::sleep(DWORD milliseconds)
{
    pass("Sleep", [&] { machine_.sleep(milliseconds); return 0; });
}

ULONGLONG PlanningOsApi::getTickCount64()
{
    return pass("GetTickCount64", [&] { return machine_.getTickCount64(); });
}

DWORD PlanningOsApi::getSecurityInfo(HANDLE handle, SE_OBJECT_TYPE objectType, SECURITY_INFORMATION information, PSID* owner, PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
{
    // A file the plan only made has no security of its own to read.
    if (isFake(handle))
        return ERROR_INVALID_HANDLE;
    return pass("GetSecurityInfo", [&] {
        return machine_.getSecurityInfo(handle, objectType, information, owner, group, dacl, sacl, descriptor);
    });
}

NTSTATUS PlanningOsApi::ntQueryObject(HANDLE handle, OBJECT_INFORMATION_CLASS informationClass, void* information, ULONG length, ULONG* returnLength)
{
    return pass("NtQueryObject",
                [&] { return machine_.ntQueryObject(handle, informationClass, information, length, returnLength); });
}

// Services: a stop or a deletion is kept in the overlay; the service reads as stopped or gone.

SC_HANDLE PlanningOsApi::openService(SC_HANDLE manager, const char16_t* serviceName, DWORD access)
{
    const std::u16string name = PlanningInternal::Upper(serviceName ? serviceName : u"");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (deletedServices_.count(name)) {
            machine_.setLastError(ERROR_SERVICE_DOES_NOT_EXIST);
            return nullptr;
        }
    }
    const SC_HANDLE service = machine_.openService(manager, serviceName, access);
    if (service) {
        std::lock_guard<std::mutex> lock(mutex_);
        services_[service] = name;
    }
    return service;
}

BOOL PlanningOsApi::queryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status)
{
    const BOOL answered = machine_.queryServiceStatus(service, status);
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
        machine_.setLastError(ERROR_SERVICE_NOT_ACTIVE);
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
    return machine_.closeServiceHandle(handle);
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
    return pass("CreateIoCompletionPort",
                [&] { return machine_.createIoCompletionPort(file, existingPort, completionKey, concurrency); });
}

BOOL PlanningOsApi::setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass, void* information,
                                           DWORD length)
{
    if (!isFake(job))
        return machine_.setInformationJobObject(job, informationClass, information, length);
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
        return machine_.assignProcessToJobObject(job, process);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto port = jobPorts_.find(job);
    if (port != jobPorts_.end())
        ++pending_[port->second];
    return TRUE;
}

DWORD PlanningOsApi::resumeThread(HANDLE thread)
{
    return isFake(thread) ? 1 : machine_.resumeThread(thread);
}

BOOL PlanningOsApi::terminateProcess(HANDLE process, UINT exitCode)
{
    // Only what the layer started is ever ended; a process of the machine is left running.
    if (!isFake(process))
        changed();
    (void)exitCode;
    return TRUE;
}

BOOL PlanningOsApi::getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key, LPOVERLAPPED* overlapped,
                                              DWORD milliseconds)
{
    if (!isFake(port))
        return machine_.getQueuedCompletionStatus(port, bytes, key, overlapped, milliseconds);
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned& waiting = pending_[port];
    if (waiting == 0) {
        machine_.setLastError(WAIT_TIMEOUT);
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
        return machine_.waitForSingleObject(handle, milliseconds);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto waiting = pending_.find(handle);
    return waiting == pending_.end() || waiting->second > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL PlanningOsApi::getExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    if (!isFake(process))
        return machine_.getExitCodeProcess(process, exitCode);
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
    return machine_.closeHandle(handle);
}
