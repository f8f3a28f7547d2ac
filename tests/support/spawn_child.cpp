#include "support/spawn_child.h"

#include <string>

#ifdef _WIN32
#include <windows.h>

#include "support/wine_main.h"
#else
#include "platform/os_api.h"
#include "platform/sim/sim_processes.h"
#endif

std::u16string SpawnChildCommand(const std::u16string& arguments)
{
    return u"\"" + SpawnChildPath() + u"\" " + arguments;
}

#ifdef _WIN32

std::u16string SpawnChildPath()
{
    const std::wstring& path = TestFile(L"spawn_child.exe");
    return std::u16string(path.begin(), path.end());
}

bool PlaceSpawnChild(const std::u16string& path)
{
    const std::wstring target(path.begin(), path.end());
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
    CreateDirectoryW(folder.c_str(), nullptr);
    return CopyFileW(TestFile(L"spawn_child.exe").c_str(), target.c_str(), FALSE) != FALSE;
}

#else

std::u16string SpawnChildPath()
{
    return u"C:\\qtv\\spawn_child.exe";
}

bool PlaceSpawnChild(const std::u16string& path)
{
    auto* machine = dynamic_cast<SimMachine*>(&Os());
    if (machine == nullptr)
        return false;
    BindSpawnChild(*machine, path);
    return true;
}

void BindSpawnChild(SimMachine& machine, const std::u16string& path)
{
    machine.processes().addProgram(path, [](SimProgramContext& context) {
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
