#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win_types.h"

class SimMachine;

// The consoles a program of the simulated machine can reach: the standard handles it was started
// with, and the console of the program that started it (a command prompt), if that has one.
class SimConsole {
public:
    // Set-up: what GetStdHandle gives for `which` (null, as for a program started from Explorer,
    // until set); whether the starting program has a console to attach to.
    void setStdHandle(DWORD which, HANDLE handle);
    void setParentConsole(bool present);
    // A new handle to the starting program's console output, as a command prompt hands its
    // own to the programs it starts.
    HANDLE openParentConsole(SimMachine& machine);

    // Inspection: what was written to the starting program's console; whether the program
    // attached to it.
    std::u16string parentConsoleText() const;
    bool attached() const;

    // For the machine's calls. Each gives the Win32 error code, ERROR_SUCCESS on success.
    HANDLE stdHandle(DWORD which) const;
    DWORD attach(DWORD processId);
    // CONOUT$: the output of the console attached to.
    DWORD openOutput(SimMachine& machine, HANDLE& handle);
    bool isConsole(SimMachine& machine, HANDLE handle) const;
    DWORD write(SimMachine& machine, HANDLE handle, const char16_t* text, DWORD characters,
                DWORD* written);

private:
    mutable std::mutex mutex_;
    std::map<DWORD, HANDLE> stdHandles_;
    bool parentConsole_ = false;
    bool attached_ = false;
    std::u16string parentText_;
};
