// The machine's console calls: the standard handles, attaching to the starting program's console
// and writing to it. A program has no console of its own here (it is a window program, as the
// real one is), so every console handle leads to the starting program's.

#include "platform/sim/sim_console.h"

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"

namespace {

class ConsoleOutput final : public SimKernelObject {
};

} // namespace

void SimConsole::setStdHandle(DWORD which, HANDLE handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stdHandles_[which] = handle;
}

void SimConsole::setParentConsole(bool present)
{
    std::lock_guard<std::mutex> lock(mutex_);
    parentConsole_ = present;
}

HANDLE SimConsole::openParentConsole(SimMachine& machine)
{
    return machine.addHandle(std::make_shared<ConsoleOutput>());
}

std::u16string SimConsole::parentConsoleText() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return parentText_;
}

bool SimConsole::attached() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return attached_;
}

HANDLE SimConsole::stdHandle(DWORD which) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = stdHandles_.find(which);
    return it == stdHandles_.end() ? nullptr : it->second;
}

DWORD SimConsole::attach(DWORD processId)
{
    if (processId != ATTACH_PARENT_PROCESS)
        return ERROR_CALL_NOT_IMPLEMENTED;
    std::lock_guard<std::mutex> lock(mutex_);
    if (attached_)
        return ERROR_ACCESS_DENIED;
    if (!parentConsole_)
        return ERROR_INVALID_HANDLE;
    attached_ = true;
    return ERROR_SUCCESS;
}

DWORD SimConsole::openOutput(SimMachine& machine, HANDLE& handle)
{
    if (!attached())
        return ERROR_INVALID_HANDLE;
    handle = openParentConsole(machine);
    return ERROR_SUCCESS;
}

bool SimConsole::isConsole(SimMachine& machine, HANDLE handle) const
{
    return machine.handleObject<ConsoleOutput>(handle) != nullptr;
}

DWORD SimConsole::write(SimMachine& machine, HANDLE handle, const char16_t* text,
                        DWORD characters, DWORD* written)
{
    if (!isConsole(machine, handle))
        return ERROR_INVALID_HANDLE;
    if (text == nullptr && characters != 0)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(mutex_);
    parentText_.append(text, characters);
    if (written != nullptr)
        *written = characters;
    return ERROR_SUCCESS;
}

SimConsole& SimMachine::console()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!console_)
        console_ = std::make_shared<SimConsole>();
    return *console_;
}

HANDLE SimMachine::getStdHandle(DWORD which)
{
    if (enter(SimCall::GetStdHandle))
        return INVALID_HANDLE_VALUE;
    return console().stdHandle(which);
}

BOOL SimMachine::attachConsole(DWORD processId)
{
    if (enter(SimCall::AttachConsole))
        return FALSE;
    if (const DWORD error = console().attach(processId))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}

DWORD SimMachine::getFileType(HANDLE file)
{
    if (enter(SimCall::GetFileType))
        return FILE_TYPE_UNKNOWN;
    if (console().isConsole(*this, file))
        return FILE_TYPE_CHAR;
    if (files().checkFileHandle(*this, file, false) == ERROR_SUCCESS)
        return FILE_TYPE_DISK;
    // Any other kernel object is of no file type; the last error says whether it is one at all.
    setLastError(handleObject<SimKernelObject>(file) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
}

BOOL SimMachine::writeConsole(HANDLE consoleOutput, const char16_t* text, DWORD characters,
                              DWORD* written, void* reserved)
{
    if (enter(SimCall::WriteConsole))
        return FALSE;
    if (reserved != nullptr)
        return fail<BOOL>(ERROR_INVALID_PARAMETER, FALSE);
    if (const DWORD error = console().write(*this, consoleOutput, text, characters, written))
        return fail<BOOL>(error, FALSE);
    return TRUE;
}
