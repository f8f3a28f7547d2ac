#include "platform/process.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/run_record.h"
#include "platform/text.h"

UniqueKernelHandle CreateJobObjectChecked(SECURITY_ATTRIBUTES* attributes, const char16_t* name)
{
    UniqueKernelHandle job(Os().createJobObject(attributes, name));
    if (!job)
        ThrowLastError();
    return job;
}

ProcessHandles CreateProcessChecked(const char16_t* applicationName, char16_t* commandLine,
                                    SECURITY_ATTRIBUTES* processAttributes,
                                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                    DWORD creationFlags, void* environment,
                                    const char16_t* currentDirectory,
                                    STARTUPINFOW& startupInfo)
{
    NoteProgramMayHaveChangedRegistry();
    PROCESS_INFORMATION information{};
    ThrowLastErrorIfFalse(Os().createProcess(applicationName, commandLine, processAttributes,
                                             threadAttributes, inheritHandles, creationFlags,
                                             environment, currentDirectory, &startupInfo,
                                             &information));
    ProcessHandles handles;
    handles.process.reset(information.hProcess);
    handles.thread.reset(information.hThread);
    handles.processId = information.dwProcessId;
    handles.threadId = information.dwThreadId;
    return handles;
}

UniqueKernelHandle CreateIoCompletionPortChecked(HANDLE file, HANDLE existingPort,
                                                 ULONG_PTR completionKey, DWORD concurrency)
{
    UniqueKernelHandle port(Os().createIoCompletionPort(file, existingPort, completionKey,
                                                        concurrency));
    if (!port)
        ThrowLastError();
    return port;
}

void SetInformationJobObjectChecked(HANDLE job, JOBOBJECTINFOCLASS informationClass,
                                    void* information, DWORD length)
{
    ThrowLastErrorIfFalse(Os().setInformationJobObject(job, informationClass, information, length));
}

void AssignProcessToJobObjectChecked(HANDLE job, HANDLE process)
{
    ThrowLastErrorIfFalse(Os().assignProcessToJobObject(job, process));
}

DWORD ResumeThreadChecked(HANDLE thread)
{
    const DWORD previous = Os().resumeThread(thread);
    if (previous == 0xFFFFFFFF)
        ThrowLastError();
    return previous;
}

TerminateGuard::~TerminateGuard()
{
    if (!dismissed_) {
        // Runs while an exception leaves the set-up: keep the code it carries.
        const DWORD saved = Os().getLastError();
        Os().terminateProcess(process_, 0);
        Os().setLastError(saved);
    }
}

std::u16string SystemFolder()
{
    return ExpandEnvironmentText(u"%SystemRoot%") + u"\\System32";
}

JobProcess StartProcessInJob(const char16_t* applicationName, char16_t* commandLine,
                             const std::function<void()>& created, const char16_t* folder)
{
    JobProcess started;
    started.job = CreateJobObjectChecked(nullptr, nullptr);

    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    // Suspended, so that nothing it starts can escape before it is in the job; breaking away
    // from a job we may run in ourselves lets it enter ours. A deployment engine's job may forbid
    // breaking away: then it starts inside that job too, and ours nests in it.
    try {
        started.process = CreateProcessChecked(applicationName, commandLine, nullptr, nullptr, FALSE,
                                               CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB,
                                               nullptr, folder, startupInfo);
    } catch (const Windows::Error& error) {
        if (error.code() != ERROR_ACCESS_DENIED)
            throw;
        started.process = CreateProcessChecked(applicationName, commandLine, nullptr, nullptr, FALSE,
                                               CREATE_SUSPENDED, nullptr, folder, startupInfo);
    }
    TerminateGuard guard(started.process.process.get());
    if (created)
        created();

    started.port = CreateIoCompletionPortChecked(INVALID_HANDLE_VALUE, nullptr, kJobCompletionKey, 0);
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
    association.CompletionKey = reinterpret_cast<void*>(kJobCompletionKey);
    association.CompletionPort = started.port.get();
    SetInformationJobObjectChecked(started.job.get(), JobObjectAssociateCompletionPortInformation,
                                   &association, sizeof(association));
    AssignProcessToJobObjectChecked(started.job.get(), started.process.process.get());
    ResumeThreadChecked(started.process.thread.get());
    guard.dismiss();
    return started;
}

std::vector<BYTE> TokenUserSid(OsApi& os, HANDLE token)
{
    DWORD size = 0;
    if (!os.getTokenInformation(token, TokenUser, nullptr, 0, &size) && os.getLastError() != ERROR_INSUFFICIENT_BUFFER)
        ThrowWindowsError(os.getLastError());
    // Kept as pointers' worth of storage so the record inside is aligned.
    std::vector<void*> buffer((size + sizeof(void*) - 1) / sizeof(void*) + 1);
    if (!os.getTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size() * sizeof(void*)), &size))
        ThrowWindowsError(os.getLastError());
    const auto* sid = static_cast<const BYTE*>(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    // Revision, the count of sub-authorities, the authority, then four bytes for each sub-authority.
    return std::vector<BYTE>(sid, sid + 8 + 4 * static_cast<std::size_t>(sid[1]));
}

std::u16string CurrentUserSidText(OsApi& os)
{
    HANDLE token = nullptr;
    if (!os.openProcessToken(os.getCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    std::vector<BYTE> sid;
    try {
        sid = TokenUserSid(os, token);
    } catch (...) {
    }
    os.closeHandle(token);
    if (sid.size() < 8 || sid.size() < 8 + 4 * static_cast<std::size_t>(sid[1]))
        return {};
    return SidText(sid.data());
}

std::u16string SidText(const BYTE* sid)
{
    // Revision, the count of sub-authorities, the authority (six bytes, the most significant
    // first) and the sub-authorities (four bytes each, the least significant first).
    std::uint64_t authority = 0;
    for (int at = 2; at < 8; ++at)
        authority = authority << 8 | sid[at];
    char shown[24];
    std::snprintf(shown, sizeof shown, authority >> 32 ? "0x%012llX" : "%llu", static_cast<unsigned long long>(authority));
    std::string text = "S-" + std::to_string(sid[0]) + "-" + shown;
    for (int part = 0; part < sid[1]; ++part) {
        const BYTE* bytes = sid + 8 + 4 * part;
        text += "-" + std::to_string(static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
    }
    return ToUtf16(text);
}
