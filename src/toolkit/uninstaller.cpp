#include "toolkit/uninstaller.h"

#include <atomic>
#include <optional>
#include <string_view>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/process.h"
#include "platform/run_record.h"
#include "toolkit/access.h"
#include "toolkit/protected_places.h"

namespace {

std::atomic<bool> restartRequested{false};

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

bool IsSeparator(char16_t c)
{
    return c == u'\\' || c == u'/';
}

// A drive path ("C:\...") or a share path ("\\server\...").
bool IsAbsolute(std::u16string_view path)
{
    return (path.size() >= 3 && path[1] == u':' && IsSeparator(path[2])) ||
           (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

bool IsBareName(std::u16string_view path)
{
    return path.find_first_of(u"\\/:") == std::u16string_view::npos;
}

// CreateProcessW adds ".exe" to a program name that has no extension at all.
std::u16string WithExeExtension(std::u16string path)
{
    const std::size_t name = path.find_last_of(u"\\/");
    if (path.find(u'.', name == std::u16string::npos ? 0 : name + 1) == std::u16string::npos)
        path += u".exe";
    return path;
}

bool IsFile(const std::u16string& path)
{
    const DWORD attributes = Os().getFileAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::u16string& path)
{
    const DWORD attributes = Os().getFileAttributes(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A beginning of the command that may end a name: at a blank or at the command's end.
bool EndsName(const std::u16string& command, std::size_t end)
{
    return end > 0 && !IsBlank(command[end - 1]) && (end == command.size() || IsBlank(command[end]));
}

// How much of the command names the deepest folder that exists: the program is in it or below,
// never in a folder above it, where a file would only have been planted.
std::size_t DeepestFolder(const std::u16string& command)
{
    for (std::size_t end = command.size(); end > 0; --end)
        if ((EndsName(command, end) || IsSeparator(command[end - 1])) && IsFolder(command.substr(0, end)))
            return end;
    return 0;
}

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

// A bare program name found in the system folder, then the Windows folder.
std::u16string SystemProgram(const std::u16string& name)
{
    for (const std::u16string& folder : {SystemFolder() + u"\\", ExpandEnvironmentText(u"%SystemRoot%") + u"\\"})
        if (IsFile(folder + WithExeExtension(name)))
            return folder + WithExeExtension(name);
    throw Windows::Error(ERROR_FILE_NOT_FOUND);
}

} // namespace

std::u16string ProgramToStart(const std::u16string& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == u'"') {
        const std::size_t close = commandLine.find(u'"', 1);
        const std::u16string program =
            WithExeExtension(commandLine.substr(1, close == std::u16string::npos ? close : close - 1));
        if (IsBareName(program))
            return SystemProgram(program);
        if (IsAbsolute(program) && IsFile(program))
            return program;
        throw Windows::Error(ERROR_FILE_NOT_FOUND);
    }
    if (IsAbsolute(commandLine)) {
        // A name the folder's own text ends with may still be a program: "setup" beside
        // "setup.exe".
        const std::size_t folder = DeepestFolder(commandLine);
        for (std::size_t end = commandLine.size(); end >= folder && end > 0; --end) {
            if (!EndsName(commandLine, end))
                continue;
            const std::u16string name = WithExeExtension(commandLine.substr(0, end));
            if (IsFile(name))
                return name;
        }
        throw Windows::Error(ERROR_FILE_NOT_FOUND);
    }
    const std::u16string first = commandLine.substr(0, commandLine.find_first_of(u" \t"));
    if (!IsBareName(first))
        throw Windows::Error(ERROR_FILE_NOT_FOUND);
    return SystemProgram(first);
}


bool RunUninstaller(std::u16string commandLine, const std::u16string& displayName, Remove::Log* log)
{
    log->write(u"Running uninstaller for \"");
    log->write(displayName);
    log->write(u"\" with command ");
    log->write(commandLine);
    log->write(EOL);

    // What the uninstaller and the programs it started changed is complete only once they ended.
    struct NoteChangesAtEnd {
        ~NoteChangesAtEnd() { NoteProgramMayHaveChangedRegistry(); }
    } atEnd;
    bool created = false;
    JobProcess job;
    try {
        const std::u16string program = ProgramToStart(commandLine);
        // What runs as the administrator must be what the administrators put there: a program
        // that anybody else could have replaced, or anything beside it that it loads, is not run.
        const std::optional<std::u16string> changeable =
            IsRemoteName(program) ? std::optional<std::u16string>(program) : FolderOthersMayChange(program, true);
        if (changeable) {
            writeLine(log, u"Not starting \"" + program + u"\": a standard user can change \"" + *changeable + u"\".");
            return true;
        }
        job = StartProcessInJob(program.c_str(), commandLine.data(), [&] {
            created = true;
            log->write(u"...waiting for the uninstaller to finish...");
        }, SystemFolder().c_str());
    } catch (...) {
        log->write(created ? u"...error creating IO completion port" : u"...error creating process: ");
        writeLine(log, DescribeCurrentExceptionW());
        return false;
    }
    NoteDeleted(DeletedKind::Uninstaller, commandLine);

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
