#include "support/spawn_child.h"

#include <string>

#ifndef _WIN32
#include "platform/sim/sim_processes.h"
#endif

namespace {

#ifdef _WIN32
std::u16string& StoredPath()
{
    static std::u16string path;
    return path;
}
#endif

} // namespace

std::u16string SpawnChildCommand(const std::u16string& arguments)
{
    return u"\"" + SpawnChildPath() + u"\" " + arguments;
}

#ifdef _WIN32

std::u16string SpawnChildPath()
{
    return StoredPath();
}

void SetSpawnChildPath(std::u16string path)
{
    StoredPath() = std::move(path);
}

#else

std::u16string SpawnChildPath()
{
    return u"C:\\qtv\\spawn_child.exe";
}

void BindSpawnChild(SimMachine& machine)
{
    machine.processes().addProgram(SpawnChildPath(), [](SimProgramContext& context) {
        // The arguments follow the quoted program path, as SpawnChildCommand writes them.
        const std::u16string& line = context.commandLine();
        const std::size_t close = line.find(u'"', 1);
        const std::u16string arguments = close == std::u16string::npos ? u"" : line.substr(close + 1);
        const std::size_t verbStart = arguments.find_first_not_of(u' ');
        const std::size_t verbEnd = arguments.find(u' ', verbStart);
        if (verbStart == std::u16string::npos || verbEnd == std::u16string::npos) {
            context.exitWith(100);
            return;
        }
        const std::u16string verb = arguments.substr(verbStart, verbEnd - verbStart);
        DWORD value = 0;
        for (const char16_t c : arguments.substr(verbEnd + 1))
            if (c >= u'0' && c <= u'9')
                value = value * 10 + static_cast<DWORD>(c - u'0');
        if (verb == u"child") {
            context.liveFor(value);
        } else if (verb == u"exit") {
            context.exitWith(value);
        } else if (verb == u"parent") {
            if (context.startProcess(SpawnChildCommand(u"child " + arguments.substr(verbEnd + 1))) != ERROR_SUCCESS)
                context.exitWith(102);
        } else {
            context.exitWith(100);
        }
    });
}

#endif
