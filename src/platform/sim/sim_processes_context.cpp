// The context: what a program's behaviour sees while it runs on the simulated machine. Its
// command line and process ID, the machine, child processes started from inside it, and how long
// it lives after the behaviour returns.

#include "platform/sim/sim_processes.h"

#include "platform/sim/sim_processes_internal.h"

SimProgramContext::SimProgramContext(SimMachine& machine, SimProcesses& processes,
                                     std::shared_ptr<SimProcess> process)
    : machine_(machine), processes_(processes), process_(std::move(process)),
      commandLine_(process_->commandLine)
{
}

DWORD SimProgramContext::processId() const
{
    return process_->id;
}

DWORD SimProgramContext::startProcess(const std::u16string& commandLine, DWORD creationFlags)
{
    std::shared_ptr<SimProcess> created;
    return processes_.spawn(commandLine, creationFlags, process_, created);
}

void SimProgramContext::exitWith(DWORD code)
{
    process_->exitCode = code;
}

void SimProgramContext::liveFor(DWORD milliseconds)
{
    process_->forever = false;
    process_->endAt = machine_.now() + milliseconds;
}

void SimProgramContext::liveUntilTerminated()
{
    process_->forever = true;
}

void SimProgramContext::showWindow(const std::u16string& title, bool visible)
{
    std::lock_guard<std::recursive_mutex> lock(processes_.mutex_);
    const auto handle = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x20000 + 4 * processes_.windows_.size()));
    processes_.windows_.push_back({handle, process_, title, visible});
}
