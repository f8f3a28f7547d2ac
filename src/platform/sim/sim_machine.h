#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/os_api.h"

// The calls the simulated machine answers, for counting and fault injection: the seam's operations.
using SimCall = SeamCall;

// A kernel object behind a HANDLE of the simulated machine (process, thread, job, completion
// port, open file). Each area of the machine derives its own.
class SimKernelObject {
public:
    virtual ~SimKernelObject() = default;
};

class SimRegistry;
class SimServices;
class SimSecurity;
class SimProcesses;
class SimFileSystem;
class SimShell;
class SimConsole;
struct SimToken;
struct SimObjectSecurity;

// A message box the program showed.
struct SimMessageBox {
    std::u16string text;
    std::u16string caption;
    UINT type;
};

// An in-memory Windows machine behind the seam, with Windows' semantics for every call it
// models. A call it does not model fails with ERROR_CALL_NOT_IMPLEMENTED, never a silent
// success. Tests build one, install it with ScopedOsApi, run the logic and inspect it.
class SimMachine final : public OsApi {
public:
    SimMachine();
    ~SimMachine() override;

    // Machine set-up.
    void setModulePath(std::u16string path);
    // Started as SYSTEM, as deployment engines start programs: the token's user is S-1-5-18, whose
    // hive HKEY_CURRENT_USER stands for; the profile, listed under ProfileList, is
    // "C:\Windows\system32\config\systemprofile" (for this 32-bit program the one under SysWOW64)
    // with its known folders below it; the temporary folder is "C:\Windows\Temp".
    void runAsSystem();
    // The answer of the next message boxes, in order; IDOK once the script runs out.
    void scriptMessageBoxAnswers(std::vector<int> answers);
    // Another program, run under a standard user's token, makes the named mutex `name` as
    // CreateMutexW would (the descriptor in `attributes`, or the token's own defaults) and holds
    // it until the handle returned is closed. Null on failure, with the last error set.
    HANDLE createMutexAsStandardUser(SECURITY_ATTRIBUTES* attributes, const char16_t* name);
    // A symbolic link of the object namespace, as any user may make among the global objects:
    // `link` and `target` are object names ("\BaseNamedObjects\<name>"), and a mutex named
    // `link` is then made or opened as `target`.
    void linkObjectName(const std::u16string& link, const std::u16string& target);

    // Fault injection: the `nth` use of `call` from now on (1 is the next) fails with `error`.
    void failCall(SimCall call, DWORD error, unsigned nth = 1);
    // The program's process ended at its `nth` seam call from now on (1 is the next), of any kind:
    // that call and every later one fail and change nothing (ERROR_PROCESS_ABORTED, or
    // STATUS_PROCESS_IS_TERMINATING from a native call). What was written stays as written.
    void stopAtCall(unsigned nth);
    // The program's process is gone: the system closes every handle it held (a pending deletion
    // takes effect, a mutex goes with its last handle), and calls go through again, as they do
    // for the next program.
    void endProcess();
    // Whether the process has been ended by stopAtCall: what the program does outside the seam (a
    // library that writes the registry itself, a statement sent to a server) ends with it.
    bool stopped() const;

    // The areas of the machine, each with its own set-up and inspection, created on first use.
    SimRegistry& registry();
    SimServices& services();
    SimSecurity& security();
    SimProcesses& processes();
    SimFileSystem& files();
    SimShell& shell();
    SimConsole& console();

    // Windows restarting: what PendingFileRenameOperations lists is deleted before any program
    // runs (a folder only when it is empty by then), and the list is emptied.
    void restart();

    // Environment variables for ExpandEnvironmentStringsW (names are case-insensitive).
    void setEnvironmentVariable(const std::u16string& name, std::u16string value);

    // The clock behind getTickCount64(), in milliseconds; sleep() and timed waits advance it
    // without waiting. Tests may advance it too.
    ULONGLONG now() const;
    void advanceClock(DWORD milliseconds);

    // Kernel handles, shared by the areas. A handle stays valid until closeHandle().
    HANDLE addHandle(std::shared_ptr<SimKernelObject> object);
    template <class T>
    std::shared_ptr<T> handleObject(HANDLE handle) const
    {
        return std::dynamic_pointer_cast<T>(kernelObject(handle));
    }
    std::size_t openHandles() const;

    // Inspection.
    const std::vector<SimMessageBox>& messageBoxes() const { return messageBoxes_; }
    // A service's window station, or a deployment engine's session 0: nobody sees it. A message
    // box shown there would wait for ever; the machine records it and refuses it instead.
    void setWindowStationVisible(bool visible) { windowStationVisible_ = visible; }
    // Message boxes refused because nobody could have answered them.
    const std::vector<SimMessageBox>& unseenMessageBoxes() const { return unseenMessageBoxes_; }
    unsigned callCount(SimCall call) const;
    unsigned callCount() const; // of every kind

    // Blocks the system handed out (FormatMessageW) and not yet given back with LocalFree.
    std::size_t liveAllocations() const { return allocations_.size(); }
    // LocalAlloc for the areas: a zeroed block the program gives back with localFree.
    void* localAlloc(std::size_t bytes);

    // OsApi.
    QTV_SEAM_OPERATIONS(QTV_SEAM_OVERRIDE)

    // For the areas: counts the call and gives back the injected error code when a fault fires
    // (and sets it as the last error), ERROR_SUCCESS otherwise.
    DWORD enter(SimCall call);
    // Sets the last error and gives back `result`, for the failure paths.
    template <class T>
    T fail(DWORD error, T result)
    {
        setLastError(error);
        return result;
    }

private:
    // Shell32 of this machine stops answering once the machine goes (sim_shell.cpp).
    void forgetShell();
    // CreateMutexW as a program running with `token` makes or opens the mutex.
    HANDLE makeMutex(const SimToken& token, SECURITY_ATTRIBUTES* attributes, const char16_t* name);
    // The owner and access list of an object as GetNamedSecurityInfoW and GetSecurityInfo hand them
    // out: one self-relative block from localAlloc, the pointers into it.
    DWORD answerSecurity(const SimObjectSecurity& security, SECURITY_INFORMATION information, PSID* owner,
                         PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor);
    std::shared_ptr<SimKernelObject> kernelObject(HANDLE handle) const;

    struct Fault {
        unsigned countdown;
        DWORD error;
    };

    mutable std::mutex mutex_;
    std::map<std::thread::id, DWORD> lastErrors_;
    std::map<SimCall, unsigned> calls_;
    unsigned stopCountdown_ = 0; // 0: no stop set
    bool stopped_ = false;
    std::multimap<SimCall, Fault> faults_;
    std::map<const void*, std::unique_ptr<char16_t[]>> allocations_;
    std::vector<SimMessageBox> messageBoxes_;
    std::vector<SimMessageBox> unseenMessageBoxes_;
    bool windowStationVisible_ = true;
    std::vector<int> messageBoxAnswers_;
    std::u16string modulePath_;
    std::map<std::u16string, std::u16string> environment_; // keyed by upper-case name
    ULONGLONG clock_ = 0;
    std::map<HANDLE, std::shared_ptr<SimKernelObject>> handles_;
    // Named mutexes, by their exact name (object names are case-sensitive); one lives while a
    // handle to it is open.
    std::map<std::u16string, std::weak_ptr<SimKernelObject>> namedMutexes_; // by object name
    std::map<std::u16string, std::u16string> objectLinks_;
    std::uintptr_t nextHandle_ = 0x100;
    std::shared_ptr<SimRegistry> registry_;
    std::shared_ptr<SimServices> services_;
    std::shared_ptr<SimSecurity> security_;
    std::shared_ptr<SimProcesses> processes_;
    std::shared_ptr<SimFileSystem> files_;
    std::shared_ptr<SimShell> shell_;
    std::shared_ptr<SimConsole> console_;
};

// The system's message text for an error code as the simulated machine knows it, with the
// trailing line break FormatMessageW gives; null for a code it has no text for.
const char16_t* SimSystemMessage(DWORD code);
