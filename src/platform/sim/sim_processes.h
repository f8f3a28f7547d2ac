#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

class SimProcesses;
struct SimProcess;

// What a program's behaviour sees while it runs: the machine, its own command line, and a way to
// start further programs as its child processes. The behaviour runs once, when the process's
// primary thread first runs; what it declares about its lifetime takes effect when it returns.
class SimProgramContext {
public:
    SimMachine& machine() const { return machine_; }
    const std::u16string& commandLine() const { return commandLine_; }
    DWORD processId() const;

    // Starts a child process as CreateProcessW would from inside this process: it joins this
    // process's job, if any. Answers ERROR_SUCCESS or the error code the creation failed with.
    DWORD startProcess(const std::u16string& commandLine, DWORD creationFlags = 0);

    // The process's exit code when it ends by itself (0 unless set).
    void exitWith(DWORD code);
    // The process stays alive for this long on the simulated clock after the behaviour returns.
    void liveFor(DWORD milliseconds);
    // The process stays alive until TerminateProcess ends it.
    void liveUntilTerminated();
    // The process shows a top-level window with `title` from now until it ends; `visible` false:
    // one made hidden, as a program's message-only or helper windows are.
    void showWindow(const std::u16string& title, bool visible = true);

private:
    friend class SimProcesses;
    SimProgramContext(SimMachine& machine, SimProcesses& processes,
                      std::shared_ptr<SimProcess> process);

    SimMachine& machine_;
    SimProcesses& processes_;
    std::shared_ptr<SimProcess> process_;
    std::u16string commandLine_;
};

using SimBehaviour = std::function<void(SimProgramContext&)>;

// One program start the machine saw, in the order the processes were created.
struct SimProgramRun {
    std::u16string program;     // the executable's path as it was registered
    std::u16string commandLine; // as the creator passed it
    DWORD processId;
    bool ran;                   // the behaviour has run (false while suspended, or if killed so)
    std::u16string currentFolder; // as the creator gave it, else the creator's own
};

// The processes area of the simulated machine: programs, processes, job objects and I/O
// completion ports.
//
// Rules, kept simpler than Windows' where nothing here depends on the difference:
// - A program is an executable file on the machine's disk bound to a behaviour. The command
//   line is resolved as CreateProcessW does without an application name: a quoted first token,
//   or else the blank-separated prefixes from the shortest, each with ".exe" added when its file
//   name has no extension; a bare file name is looked for in C:\Windows\System32 and C:\Windows.
//   The first candidate whose file exists is the program: no file fails with
//   ERROR_FILE_NOT_FOUND, a file no behaviour is bound to with ERROR_BAD_EXE_FORMAT (193).
// - From its creation to its end a process holds its image file: the file cannot be deleted
//   (ERROR_ACCESS_DENIED), so its folder cannot be removed either.
// - A process created by a process in a job joins that job. Breakaway limits are not modelled,
//   so no job allows it: a child asking for CREATE_BREAKAWAY_FROM_JOB from inside a job fails
//   with ERROR_ACCESS_DENIED, as on Windows for a job without JOB_OBJECT_LIMIT_BREAKAWAY_OK.
//   The program under test itself may be made to run in such a job. Jobs nest as they do since
//   Windows 8: a process already in a job can be assigned to an empty job, which then lies inside
//   the first; each job in the chain sees the process's start and end.
// - Behaviours run synchronously when the primary thread first runs; processes end on the
//   simulated clock. Timed waits advance the clock to the next end instead of blocking; an
//   endless wait on something no pending end can signal would block forever on Windows, so it
//   answers nothing: it says why on stderr and aborts the test program, which fails the test
//   instead of hanging it. A test that needs a bounded wait asks for one on the simulated clock.
// - A window a program shows (SimProgramContext::showWindow) is a top-level window of the
//   desktop until its process ends; EnumWindows lists those, the one shown last first.
// - The job's port receives JOB_OBJECT_MSG_NEW_PROCESS (6) and JOB_OBJECT_MSG_EXIT_PROCESS (7)
//   with the process ID as the overlapped pointer, and JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO (4)
//   with a null one, each with the association's completion key. Only processes that enter or
//   leave the job while a port is associated are reported.
class SimProcesses {
public:
    explicit SimProcesses(SimMachine& machine);
    ~SimProcesses();
    SimProcesses(const SimProcesses&) = delete;
    SimProcesses& operator=(const SimProcesses&) = delete;

    // Set-up: binds an executable path (compared case-insensitively) to a behaviour, and puts a
    // file there unless one is there already.
    void addProgram(const std::u16string& path, SimBehaviour behaviour);
    // The behaviour bound to `path`, or none: for a test that wraps a program in more.
    SimBehaviour behaviourOf(const std::u16string& path) const;
    // The program under test runs inside a job that does not allow breakaway, as when a host
    // that manages its programs in a job started it: what it starts joins that job.
    void runProgramInJob();

    // Inspection. Every program start in creation order.
    std::vector<SimProgramRun> runs() const;
    // The command lines the program at `path` was started with, in order.
    std::vector<std::u16string> commandLinesOf(const std::u16string& path) const;
    // Processes not yet ended (running or suspended), and those still suspended.
    std::size_t aliveCount() const;
    std::size_t suspendedCount() const;

    // The calls of the seam, answered for SimMachine.
    HANDLE createJobObject(SECURITY_ATTRIBUTES* attributes, const char16_t* name);
    BOOL createProcess(const char16_t* applicationName, char16_t* commandLine,
                       SECURITY_ATTRIBUTES* processAttributes,
                       SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles,
                       DWORD creationFlags, void* environment, const char16_t* currentDirectory,
                       STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation);
    HANDLE createIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR completionKey,
                                  DWORD concurrency);
    BOOL setInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS informationClass,
                                 void* information, DWORD length);
    BOOL assignProcessToJobObject(HANDLE job, HANDLE process);
    DWORD resumeThread(HANDLE thread);
    BOOL terminateProcess(HANDLE process, UINT exitCode);
    BOOL getQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                                   LPOVERLAPPED* overlapped, DWORD milliseconds);
    DWORD waitForSingleObject(HANDLE handle, DWORD milliseconds);
    BOOL getExitCodeProcess(HANDLE process, DWORD* exitCode);
    BOOL terminateJobObject(HANDLE job, UINT exitCode);
    BOOL enumWindows(WNDENUMPROC callback, LPARAM parameter);
    DWORD getWindowThreadProcessId(HWND window, DWORD* processId);
    BOOL isWindowVisible(HWND window);
    int getWindowText(HWND window, char16_t* text, int capacity);

    struct Job;
    struct Port;

private:
    friend class SimProgramContext;

    // Creates a process for `commandLine`; `creator` is the process creating it, null for the
    // program under test. Answers the error code and, on success, the new process.
    DWORD spawn(const std::u16string& commandLine, DWORD creationFlags,
                const std::shared_ptr<SimProcess>& creator,
                std::shared_ptr<SimProcess>& created);
    void run(const std::shared_ptr<SimProcess>& process);
    void end(const std::shared_ptr<SimProcess>& process, DWORD exitCode);
    void joinJob(const std::shared_ptr<SimProcess>& process, const std::shared_ptr<Job>& job);
    struct Window {
        HWND handle;
        std::shared_ptr<SimProcess> owner;
        std::u16string title;
        bool visible;
    };
    // The window `handle` while its process runs, or null.
    const Window* liveWindow(HWND handle);

    // Ends every process whose time is up, in order of their end times.
    void settle();
    // The earliest pending end on the clock, or false when none is pending.
    bool nextEnd(ULONGLONG& when) const;
    // Advances the clock towards `deadline` (or without bound for INFINITE) until `signalled`
    // holds. Answers WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (with the last error set).
    DWORD waitUntil(const std::function<bool()>& signalled, DWORD milliseconds,
                    const char* what);

    SimMachine& machine_;
    mutable std::recursive_mutex mutex_;
    std::map<std::u16string, std::pair<std::u16string, SimBehaviour>> programs_; // by resolved upper-case path
    std::vector<std::shared_ptr<SimProcess>> processes_;
    std::shared_ptr<Job> outerJob_; // the program under test's own job, if it runs in one
    std::vector<Window> windows_; // in the order shown, the top-most last
    DWORD nextProcessId_ = 1000;
};
