#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/win_types.h"

// Throwing wrappers for processes, jobs and completion ports. Every failure throws
// Windows::Error with the seam's last error; nothing is written anywhere.

// What a process creation hands back. The holders close the process and thread handles; closing
// them does not end the process.
struct ProcessHandles {
    UniqueKernelHandle process;
    UniqueKernelHandle thread; // the primary thread
    DWORD processId = 0;
    DWORD threadId = 0;
};

// CreateJobObjectW. Returns the owned job handle; throws when the call gives back null. Closing
// the job handle does not end the processes in the job.
UniqueKernelHandle CreateJobObjectChecked(SECURITY_ATTRIBUTES* attributes = nullptr,
                                          const char16_t* name = nullptr);

class OsApi;

// The bytes of the SID of the token's user (the token opened with TOKEN_QUERY), read through
// `os`. Throws Windows::Error on failure.
std::vector<BYTE> TokenUserSid(OsApi& os, HANDLE token);

// The SID of the process's user as text ("S-1-5-18"), read through `os`; empty when the token
// cannot be read.
std::u16string CurrentUserSidText(OsApi& os);
// A SID in its binary form as text; the caller vouches for its 8 + 4 * sid[1] bytes.
std::u16string SidText(const BYTE* sid);

// CreateProcessW with the same arguments. `commandLine` must be writable: the call may change it
// in place. Returns the new process's handles and IDs; throws when the call returns false.
ProcessHandles CreateProcessChecked(const char16_t* applicationName, char16_t* commandLine,
                                    SECURITY_ATTRIBUTES* processAttributes,
                                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                    DWORD creationFlags, void* environment,
                                    const char16_t* currentDirectory,
                                    STARTUPINFOW& startupInfo);

// CreateIoCompletionPort. Returns the owned port handle; throws when the call gives back null.
UniqueKernelHandle CreateIoCompletionPortChecked(HANDLE file, HANDLE existingPort,
                                                 ULONG_PTR completionKey, DWORD concurrency);

// SetInformationJobObject; throws when the call returns false.
void SetInformationJobObjectChecked(HANDLE job, JOBOBJECTINFOCLASS informationClass,
                                    void* information, DWORD length);

// AssignProcessToJobObject; throws when the call returns false.
void AssignProcessToJobObjectChecked(HANDLE job, HANDLE process);

// ResumeThread. Returns the thread's previous suspend count; throws when the call answers
// 0xFFFFFFFF.
DWORD ResumeThreadChecked(HANDLE thread);

// Ends a process when set-up does not complete: unless dismissed, its destructor calls
// TerminateProcess(process, 0) and ignores any failure. It does not own the handle.
class TerminateGuard {
public:
    explicit TerminateGuard(HANDLE process) noexcept : process_(process) {}
    ~TerminateGuard();
    TerminateGuard(const TerminateGuard&) = delete;
    TerminateGuard& operator=(const TerminateGuard&) = delete;

    void dismiss() noexcept { dismissed_ = true; }

private:
    HANDLE process_;
    bool dismissed_ = false;
};

// The completion key the job's notifications carry.
constexpr ULONG_PTR kJobCompletionKey = 1;

// A process running inside a job of its own, with the port that receives the job's
// notifications (JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO once every process in it has ended).
struct JobProcess {
    UniqueKernelHandle job;
    ProcessHandles process;
    UniqueKernelHandle port;
};

// Starts `commandLine` so that its job sees every process it starts in turn: a new unnamed job,
// the process created suspended (CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, default start-up
// settings, the caller's environment, in `folder` or else the caller's; created again without CREATE_BREAKAWAY_FROM_JOB
// when that fails with ERROR_ACCESS_DENIED, as it does inside a job that forbids it), then a port with kJobCompletionKey associated
// with the job, the process assigned to it, and only then resumed. `created`, when given, is
// called once the suspended process exists, before the port is made; a caller uses it to tell a
// failed creation from a failed set-up. Throws Windows::Error on any failure; when the failure
// (or `created`) throws after the process exists, the process is terminated with exit code 0
// before it ever ran, and every handle is closed.
// `applicationName`, when not null, is the program itself, as CreateProcessW takes it.
// The system folder ("%SystemRoot%\System32"), where the program and every uninstaller it starts
// run: nothing there is anybody's but the administrators'.
std::u16string SystemFolder();

JobProcess StartProcessInJob(const char16_t* applicationName, char16_t* commandLine,
                             const std::function<void()>& created = {}, const char16_t* folder = nullptr);
