#include "toolkit/uninstaller.h"

#include <atomic>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/process.h"

namespace {

std::atomic<bool> restartRequested{false};

// Waits for the job's notification that no process is active in it any more.
bool WaitForJob(HANDLE port)
{
    for (;;) {
        if (Os().waitForSingleObject(port, INFINITE) != WAIT_OBJECT_0)
            return false;
        DWORD message = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        // New processes, exits and failed dequeues lead back to the wait.
        if (Os().getQueuedCompletionStatus(port, &message, &key, &overlapped, INFINITE) &&
            message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
            return true;
    }
}

} // namespace

bool RunUninstaller(std::u16string commandLine, const std::u16string& displayName, Remove::Log* log)
{
    log->write(u"Running uninstaller for \"");
    log->write(displayName);
    log->write(u"\" with command ");
    log->write(commandLine);
    log->write(EOL);

    // What the uninstaller and the programs it started changed is complete only once they ended.
    struct NoteChangesAtEnd {
        ~NoteChangesAtEnd() { NoteRegistryChange(); }
    } atEnd;
    bool created = false;
    JobProcess job;
    try {
        job = StartProcessInJob(commandLine.data(), [&] {
            created = true;
            log->write(u"...waiting for the uninstaller to finish...");
        });
    } catch (...) {
        log->write(created ? u"...error creating IO completion port" : u"...error creating process: ");
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }

    if (!WaitForJob(job.port.get())) {
        writeLine(log, u"...wait failed");
        return false;
    }
    writeLine(log, u"finished");
    DWORD exitCode = 0;
    if (Os().getExitCodeProcess(job.process.process.get(), &exitCode) && (exitCode == 3010 || exitCode == 1641))
        restartRequested = true;
    return true;
}

bool TakeRestartRequest()
{
    return restartRequested.exchange(false);
}
