#include "toolkit/uninstaller.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <optional>
#include <set>
#include <string_view>

#include "core/log.h"
#include "platform/desktop.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/registry.h"
#include "platform/process.h"
#include "platform/run_record.h"
#include "platform/text.h"
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

// How often a running uninstaller is looked at, and how long a window of it may be shown before
// it counts as waiting for an answer.
constexpr DWORD kLookEvery = 1000;
constexpr ULONGLONG kWindowPatience = 60000;
// How long the processes of a job just ended may take to be gone.
constexpr DWORD kEndingTakes = 30000;

enum class JobEnd { Finished, TimeLimit, Unanswerable, WaitFailed };

// The processes of a job, as its port announces them, and the first visible window one shows.
struct JobWindows {
    std::set<DWORD> processes;
    std::optional<std::u16string> title;
};

BOOL CALLBACK NoteJobWindow(HWND window, LPARAM parameter)
{
    auto& search = *reinterpret_cast<JobWindows*>(parameter);
    DWORD process = 0;
    if (Os().getWindowThreadProcessId(window, &process) == 0 || search.processes.count(process) == 0 ||
        !Os().isWindowVisible(window))
        return TRUE;
    char16_t text[256] = {};
    const int length = Os().getWindowText(window, text, static_cast<int>(std::size(text)));
    // Whatever the window says, it says on one line of the log; nothing may unwind through the
    // system's frames that call back.
    try {
        search.title = EscapeControlCharacters(std::u16string_view(text, static_cast<std::size_t>(std::max(length, 0))));
    } catch (...) {
        search.title = u"";
    }
    return FALSE;
}

// What the job's port said within a wait: a notification, nothing, or the wait failed.
enum class JobNews { Notified, Quiet, Failed };

// Waits up to `milliseconds` for one notification of the job and takes it: the port itself, never
// a wait on its handle, which on Windows would take the notification without saying which. New
// processes and exits (normal or not) keep the list of its processes; `allEnded` says whether no
// process is active in it any more.
JobNews NextJobNotification(HANDLE port, DWORD milliseconds, std::set<DWORD>& processes, bool& allEnded)
{
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    if (!Os().getQueuedCompletionStatus(port, &message, &key, &overlapped, milliseconds))
        return overlapped == nullptr && Os().getLastError() == WAIT_TIMEOUT ? JobNews::Quiet : JobNews::Failed;
    const auto process = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(overlapped));
    if (message == JOB_OBJECT_MSG_NEW_PROCESS)
        processes.insert(process);
    else if (message == JOB_OBJECT_MSG_EXIT_PROCESS || message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS)
        processes.erase(process);
    allEnded = message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO;
    return JobNews::Notified;
}

// Waits for the job's notification that no process is active in it any more, looking at it every
// second: past the time limit, or with a window nobody can answer, it is not waited for further.
// `title` receives the window's; a window somebody can answer is told once in the log, on a line
// of its own, after which `lineOpen` is false.
JobEnd WaitForJob(const JobProcess& job, std::optional<unsigned> minutes, std::u16string& title, bool& lineOpen,
                  Remove::Log* log)
{
    JobWindows windows;
    windows.processes.insert(job.process.processId);
    const bool answerable = DesktopVisible();
    const ULONGLONG start = Os().getTickCount64();
    ULONGLONG lookedAt = start;
    bool windowShown = false;
    ULONGLONG windowSince = 0;
    bool told = false;
    for (;;) {
        bool allEnded = false;
        const JobNews news = NextJobNotification(job.port.get(), kLookEvery, windows.processes, allEnded);
        if (news == JobNews::Failed)
            return JobEnd::WaitFailed;
        if (allEnded)
            return JobEnd::Finished;
        // A job that keeps starting processes is looked at all the same.
        const ULONGLONG now = Os().getTickCount64();
        if (minutes && now - start >= *minutes * 60000ULL)
            return JobEnd::TimeLimit;
        if (now - lookedAt < kLookEvery)
            continue;
        lookedAt = now;
        windows.title.reset();
        Os().enumWindows(NoteJobWindow, reinterpret_cast<LPARAM>(&windows));
        if (!windows.title) {
            windowShown = false;
            continue;
        }
        if (!windowShown) {
            windowShown = true;
            windowSince = now;
        }
        if (now - windowSince < kWindowPatience)
            continue;
        title = *windows.title;
        if (!answerable)
            return JobEnd::Unanswerable;
        if (!told) {
            log->write(EOL);
            writeLine(log, u"The uninstaller is waiting in its window \"" + title + u"\".");
            told = true;
            lineOpen = false;
        }
    }
}

// Ends the job and waits, for a while, until its processes are gone. Throws Windows::Error when
// they are not.
void EndJob(const JobProcess& job, UINT exitCode)
{
    ThrowLastErrorIfFalse(Os().terminateJobObject(job.job.get(), exitCode));
    std::set<DWORD> processes;
    const ULONGLONG start = Os().getTickCount64();
    for (;;) {
        const ULONGLONG waited = Os().getTickCount64() - start;
        if (waited >= kEndingTakes)
            ThrowWindowsError(ERROR_TIMEOUT);
        bool allEnded = false;
        if (NextJobNotification(job.port.get(), static_cast<DWORD>(kEndingTakes - waited), processes, allEnded) ==
            JobNews::Failed)
            ThrowLastError();
        if (allEnded)
            return;
    }
}

// EndJob; when the job cannot be ended, the log says so after `saying` and the error is thrown on.
void EndJobOrSay(const JobProcess& job, UINT exitCode, const std::u16string& saying, Remove::Log* log)
{
    try {
        EndJob(job, exitCode);
    } catch (...) {
        writeLine(log, saying + DescribeCurrentExceptionW());
        throw;
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
            NoteUninstallerRun({commandLine, UninstallerEnd::NotStarted, std::nullopt});
            return true;
        }
        job = StartProcessInJob(program.c_str(), commandLine.data(), [&] {
            created = true;
            log->write(u"...waiting for the uninstaller to finish...");
        }, SystemFolder().c_str());
    } catch (...) {
        log->write(created ? u"...error creating IO completion port" : u"...error creating process: ");
        writeLine(log, DescribeCurrentExceptionW());
        NoteUninstallerRun({commandLine, UninstallerEnd::NotStarted, std::nullopt});
        return false;
    }
    NoteDeleted(DeletedKind::Uninstaller, commandLine);

    const UninstallerTimeLimitScope* limit = UninstallerTimeLimitScope::innermost();
    const std::optional<unsigned> minutes = limit ? limit->minutes : std::nullopt;
    std::u16string title;
    bool lineOpen = true;
    const JobEnd end = WaitForJob(job, minutes, title, lineOpen, log);
    if (end == JobEnd::WaitFailed) {
        writeLine(log, u"...wait failed");
        // What nobody watches may not run on beside the removal by hand.
        EndJobOrSay(job, ERROR_CANCELLED, u"The uninstaller could not be ended: ", log);
        return false;
    }
    UninstallerRun run{commandLine, UninstallerEnd::Finished, std::nullopt};
    if (end == JobEnd::Finished) {
        writeLine(log, u"finished");
    } else {
        const std::u16string why =
            end == JobEnd::TimeLimit
                ? u"The uninstaller did not finish in time (/timeout " + ToUtf16(std::to_string(*minutes)) + u")"
                : u"The uninstaller is waiting for an answer nobody can give (\"" + title + u"\")";
        run.ended = end == JobEnd::TimeLimit ? UninstallerEnd::TimeLimit : UninstallerEnd::Unanswerable;
        if (lineOpen)
            log->write(EOL);
        try {
            EndJobOrSay(job, end == JobEnd::TimeLimit ? ERROR_TIMEOUT : ERROR_CANCELLED,
                        why + u", and it could not be ended: ", log);
        } catch (...) {
            NoteUninstallerRun(run);
            throw;
        }
        writeLine(log, why + u": it and the processes it started were ended.");
    }
    DWORD exitCode = 0;
    if (Os().getExitCodeProcess(job.process.process.get(), &exitCode)) {
        run.exitCode = exitCode;
        // Its own answer, also when a program it left behind was ended: those end with 1460 or 1223.
        if (exitCode == 3010 || exitCode == 1641)
            restartRequested = true;
    }
    NoteUninstallerRun(run);
    return true;
}

bool TakeRestartRequest()
{
    return restartRequested.exchange(false);
}
