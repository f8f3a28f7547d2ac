// Processes of the simulated machine: which program a command line starts, a process's life on
// the simulated clock from creation to its end, and the seam's calls on processes and threads.
// Jobs and completion ports, what a behaviour sees, and the machine's entry points are in the
// sim_processes_*.cpp files beside this one.

#include "platform/sim/sim_processes.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes_internal.h"
#include "platform/sim/sim_text.h"

using namespace SimProcessesInternal;

namespace {

constexpr DWORD kErrorBadExeFormat = 193;
constexpr DWORD kModelledCreationFlags = CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB;

std::u16string UpperCase(std::u16string_view text)
{
    return SimUpcased(text);
}

// Programs are found by the name the system resolves a path to: doubled backslashes and ".."
// make no difference, case neither.
std::u16string ProgramKey(const std::u16string& path)
{
    return UpperCase(SimFullPath(path).value_or(path));
}

bool IsBlank(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// CreateProcessW adds ".exe" only when the file name carries no extension at all.
std::u16string WithExeExtension(const std::u16string& path)
{
    const std::size_t name = path.find_last_of(u"\\/");
    const std::size_t dot = path.find(u'.', name == std::u16string::npos ? 0 : name + 1);
    return dot == std::u16string::npos ? path + u".exe" : path;
}

bool IsBareName(const std::u16string& path)
{
    return path.find_first_of(u"\\/:") == std::u16string::npos;
}

} // namespace

// Set-up and inspection.

SimProcesses::SimProcesses(SimMachine& machine) : machine_(machine)
{
}

SimProcesses::~SimProcesses() = default;

void SimProcesses::addProgram(const std::u16string& path, SimBehaviour behaviour)
{
    if (!machine_.files().fileExists(path))
        machine_.files().addFile(path, "MZ");
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    programs_[ProgramKey(path)] = {path, std::move(behaviour)};
}

SimBehaviour SimProcesses::behaviourOf(const std::u16string& path) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto program = programs_.find(ProgramKey(path));
    return program == programs_.end() ? SimBehaviour() : program->second.second;
}

void SimProcesses::runProgramInJob()
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    outerJob_ = std::make_shared<Job>();
}

std::vector<SimProgramRun> SimProcesses::runs() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<SimProgramRun> runs;
    for (const auto& p : processes_)
        runs.push_back({p->program, p->commandLine, p->id, p->ran, p->currentFolder});
    return runs;
}

std::vector<std::u16string> SimProcesses::commandLinesOf(const std::u16string& path) const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<std::u16string> lines;
    for (const auto& p : processes_)
        if (ProgramKey(p->program) == ProgramKey(path))
            lines.push_back(p->commandLine);
    return lines;
}

std::size_t SimProcesses::aliveCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // A process whose time ran out while the test moved the clock has ended by now.
    const_cast<SimProcesses*>(this)->settle();
    return static_cast<std::size_t>(std::count_if(processes_.begin(), processes_.end(), [](const auto& p) {
        return p->state != SimProcess::State::Ended;
    }));
}

std::size_t SimProcesses::suspendedCount() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(processes_.begin(), processes_.end(), [](const auto& p) {
        return p->state == SimProcess::State::Suspended;
    }));
}

// The life of a process.

DWORD SimProcesses::spawn(const std::u16string& commandLine, DWORD creationFlags,
                          const std::shared_ptr<SimProcess>& creator,
                          std::shared_ptr<SimProcess>& created)
{
    if ((creationFlags & ~kModelledCreationFlags) != 0)
        return ERROR_CALL_NOT_IMPLEMENTED;

    // The candidates for the executable, in the order CreateProcessW tries them.
    std::vector<std::u16string> candidates;
    if (!commandLine.empty() && commandLine[0] == u'"') {
        const std::size_t close = commandLine.find(u'"', 1);
        candidates.push_back(WithExeExtension(commandLine.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1)));
    } else {
        for (std::size_t i = 0; i <= commandLine.size(); ++i)
            if (i == commandLine.size() || IsBlank(commandLine[i]))
                if (i > 0 && !IsBlank(commandLine[i - 1]))
                    candidates.push_back(WithExeExtension(commandLine.substr(0, i)));
    }

    std::lock_guard<std::recursive_mutex> lock(mutex_);
    // The first candidate whose file is on the disk is the program, bound to a behaviour or not.
    std::optional<std::u16string> image;
    for (const std::u16string& candidate : candidates) {
        std::vector<std::u16string> paths{candidate};
        if (IsBareName(candidate)) {
            paths = {u"C:\\Windows\\System32\\" + candidate, u"C:\\Windows\\" + candidate};
        }
        for (const std::u16string& path : paths)
            if (!image && machine_.files().fileExists(path))
                image = path;
        if (image)
            break;
    }
    if (!image)
        return ERROR_FILE_NOT_FOUND;
    const auto program = programs_.find(ProgramKey(*image));
    // A file no behaviour is bound to is no program this machine can run.
    if (program == programs_.end())
        return kErrorBadExeFormat;
    const bool inJob = creator ? creator->job != nullptr : outerJob_ != nullptr;
    if (inJob && (creationFlags & CREATE_BREAKAWAY_FROM_JOB))
        return ERROR_ACCESS_DENIED;

    created = std::make_shared<SimProcess>();
    created->program = program->second.first;
    created->commandLine = commandLine;
    created->currentFolder = creator ? creator->currentFolder : machine_.files().currentFolder();
    created->behaviour = program->second.second;
    created->id = nextProcessId_;
    nextProcessId_ += 4;
    processes_.push_back(created);
    if (creator && creator->job)
        joinJob(created, creator->job);
    else if (!creator && outerJob_)
        joinJob(created, outerJob_);
    // The system maps the image at creation and lets it go when the process ends.
    const std::weak_ptr<std::atomic<ULONGLONG>> releasedAt = created->imageReleasedAt;
    machine_.files().holdImage(*image, [this, releasedAt] {
        const auto at = releasedAt.lock();
        return at && machine_.now() < at->load();
    });
    if (creationFlags & CREATE_SUSPENDED)
        created->suspendCount = 1;
    else
        run(created);
    return ERROR_SUCCESS;
}

void SimProcesses::run(const std::shared_ptr<SimProcess>& process)
{
    process->state = SimProcess::State::Running;
    process->ran = true;
    process->endAt = machine_.now();
    SimProgramContext context(machine_, *this, process);
    process->inBehaviour = true;
    if (process->behaviour)
        process->behaviour(context);
    process->inBehaviour = false;
    if (!process->forever)
        process->imageReleasedAt->store(process->endAt);
    settle();
}

void SimProcesses::end(const std::shared_ptr<SimProcess>& process, DWORD exitCode)
{
    process->state = SimProcess::State::Ended;
    process->exitCode = exitCode;
    process->imageReleasedAt->store(0);
    for (Job* job = process->job.get(); job; job = job->parent.get()) {
        job->post(JOB_OBJECT_MSG_EXIT_PROCESS, ProcessIdAsOverlapped(process->id));
        if (--job->active == 0)
            job->post(JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO, nullptr);
    }
}

void SimProcesses::settle()
{
    const ULONGLONG now = machine_.now();
    for (;;) {
        std::shared_ptr<SimProcess> due;
        for (const auto& p : processes_)
            if (p->state == SimProcess::State::Running && !p->forever && !p->inBehaviour && p->endAt <= now &&
                (!due || p->endAt < due->endAt))
                due = p;
        if (!due)
            return;
        end(due, due->exitCode);
    }
}

bool SimProcesses::nextEnd(ULONGLONG& when) const
{
    bool found = false;
    for (const auto& p : processes_)
        if (p->state == SimProcess::State::Running && !p->forever && !p->inBehaviour && (!found || p->endAt < when)) {
            when = p->endAt;
            found = true;
        }
    return found;
}

DWORD SimProcesses::waitUntil(const std::function<bool()>& signalled, DWORD milliseconds,
                              const char* what)
{
    settle();
    if (signalled())
        return WAIT_OBJECT_0;
    const bool endless = milliseconds == INFINITE;
    const ULONGLONG deadline = endless ? std::numeric_limits<ULONGLONG>::max()
                                       : machine_.now() + milliseconds;
    const auto advanceTo = [this](ULONGLONG when) {
        while (machine_.now() < when)
            machine_.advanceClock(static_cast<DWORD>(
                std::min<ULONGLONG>(when - machine_.now(), 0x7FFFFFFF)));
        settle();
    };
    for (;;) {
        ULONGLONG when = 0;
        if (!nextEnd(when) || when > deadline) {
            if (endless) {
                // Nothing pending can ever signal it: on Windows this wait never returns, and any
                // answer would be one the real system never gives. The run stops here instead.
                std::fprintf(stderr,
                             "SimProcesses: endless wait on %s that no pending process end can "
                             "signal; on Windows it would never return\n",
                             what);
                std::abort();
            }
            advanceTo(deadline);
            return signalled() ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
        }
        advanceTo(when);
        if (signalled())
            return WAIT_OBJECT_0;
    }
}

// The calls.

BOOL SimProcesses::createProcess(const char16_t* applicationName, char16_t* commandLine,
                                 SECURITY_ATTRIBUTES* processAttributes,
                                 SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                                 DWORD creationFlags, void* environment,
                                 const char16_t* currentDirectory, STARTUPINFOW* startupInfo,
                                 PROCESS_INFORMATION* processInformation)
{
    if (startupInfo == nullptr || processInformation == nullptr ||
        (applicationName == nullptr && commandLine == nullptr))
        return machine_.fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    // Windows' limit, terminator included; Wine does not enforce it.
    if (commandLine != nullptr && std::char_traits<char16_t>::length(commandLine) > 32766)
        return machine_.fail<BOOL>(ERROR_FILENAME_EXCED_RANGE, FALSE);
    // Nothing a behaviour sees depends on these, so they are refused rather than ignored.
    if (processAttributes != nullptr || threadAttributes != nullptr || inheritHandles ||
        environment != nullptr)
        return machine_.fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    std::optional<std::u16string> folder;
    if (currentDirectory != nullptr) {
        folder = SimFullPath(currentDirectory, machine_.files().currentFolder());
        if (!folder || machine_.files().attributes(*folder) == INVALID_FILE_ATTRIBUTES ||
            !(machine_.files().attributes(*folder) & FILE_ATTRIBUTE_DIRECTORY))
            return machine_.fail<BOOL>(ERROR_DIRECTORY, FALSE);
    }

    std::u16string line;
    if (applicationName != nullptr) {
        // The program is named exactly: quote it so that resolution takes it whole, and add no
        // extension, as CreateProcessW does with an application name. A relative name is taken
        // from the current folder, never searched for.
        const std::optional<std::u16string> full = SimFullPath(applicationName, machine_.files().currentFolder());
        if (!full)
            return machine_.fail<BOOL>(ERROR_FILE_NOT_FOUND, FALSE);
        const std::u16string& name = *full;
        line = commandLine != nullptr ? std::u16string(commandLine) : std::u16string(applicationName);
        if (!machine_.files().fileExists(name))
            return machine_.fail<BOOL>(ERROR_FILE_NOT_FOUND, FALSE);
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        // Resolve through the quoted form, then record the line as given.
        std::shared_ptr<SimProcess> created;
        const DWORD error = spawn(u"\"" + name + u"\"", creationFlags, nullptr, created);
        if (error != ERROR_SUCCESS)
            return machine_.fail<BOOL>(error, FALSE);
        created->commandLine = line;
        if (folder)
            created->currentFolder = *folder;
        processInformation->hProcess = machine_.addHandle(std::make_shared<ProcessObject>(created));
        processInformation->hThread = machine_.addHandle(std::make_shared<ThreadObject>(created));
        processInformation->dwProcessId = created->id;
        processInformation->dwThreadId = created->id + 2;
        return TRUE;
    }

    std::shared_ptr<SimProcess> created;
    const DWORD error = spawn(commandLine, creationFlags, nullptr, created);
    if (error != ERROR_SUCCESS)
        return machine_.fail<BOOL>(error, FALSE);
    if (folder)
        created->currentFolder = *folder;
    processInformation->hProcess = machine_.addHandle(std::make_shared<ProcessObject>(created));
    processInformation->hThread = machine_.addHandle(std::make_shared<ThreadObject>(created));
    processInformation->dwProcessId = created->id;
    processInformation->dwThreadId = created->id + 2;
    return TRUE;
}

DWORD SimProcesses::resumeThread(HANDLE thread)
{
    const auto threadObject = machine_.handleObject<ThreadObject>(thread);
    if (!threadObject)
        return machine_.fail<DWORD>(ERROR_INVALID_HANDLE, 0xFFFFFFFF);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto& process = threadObject->process;
    if (process->state != SimProcess::State::Suspended)
        return 0;
    const DWORD previous = process->suspendCount--;
    if (process->suspendCount == 0)
        run(process);
    return previous;
}

BOOL SimProcesses::terminateProcess(HANDLE process, UINT exitCode)
{
    const auto processObject = machine_.handleObject<ProcessObject>(process);
    if (!processObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    settle();
    if (processObject->process->state == SimProcess::State::Ended)
        return machine_.fail<BOOL>(ERROR_ACCESS_DENIED, FALSE);
    end(processObject->process, exitCode);
    return TRUE;
}

DWORD SimProcesses::waitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::shared_ptr<SimProcess> process;
    if (const auto p = machine_.handleObject<ProcessObject>(handle))
        process = p->process;
    else if (const auto t = machine_.handleObject<ThreadObject>(handle))
        process = t->process;
    if (process)
        return waitUntil([&process] { return process->state == SimProcess::State::Ended; },
                         milliseconds, "a process");
    if (const auto p = machine_.handleObject<PortObject>(handle)) {
        auto& queue = p->port->queue;
        return waitUntil([&queue] { return !queue.empty(); }, milliseconds, "a completion port");
    }
    if (machine_.handleObject<SimKernelObject>(handle))
        return machine_.fail(ERROR_CALL_NOT_IMPLEMENTED, WAIT_FAILED); // jobs, files
    return machine_.fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
}

BOOL SimProcesses::getExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    const auto processObject = machine_.handleObject<ProcessObject>(process);
    if (!processObject)
        return machine_.fail<BOOL>(ERROR_INVALID_HANDLE, FALSE);
    if (exitCode == nullptr)
        return machine_.fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    settle();
    const auto& p = processObject->process;
    *exitCode = p->state == SimProcess::State::Ended ? p->exitCode : STILL_ACTIVE;
    return TRUE;
}
