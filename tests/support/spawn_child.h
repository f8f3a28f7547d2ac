#pragma once

#include <string>

#ifndef _WIN32
#include "platform/sim/sim_machine.h"
#endif

// The spawn_child fixture program: "child MS" sleeps MS ms and exits with 0, "parent MS" starts
// "child MS" and exits at once, "exit CODE" exits with CODE.

// Its path on the machine under test: under Wine the path the test program was given
// (support/wine_main.h), natively where BindSpawnChild puts it.
std::u16string SpawnChildPath();

// Its command line: the quoted path, a blank, then `arguments`.
std::u16string SpawnChildCommand(const std::u16string& arguments);

// Puts a copy of the fixture at `path`, creating its folder: under Wine a copy of the program
// file, natively the same behaviours bound to that path of the installed simulated machine.
// False when the copy could not be made.
bool PlaceSpawnChild(const std::u16string& path);

#ifndef _WIN32
// Binds the fixture's behaviours to `path` on a simulated machine.
void BindSpawnChild(SimMachine& machine, const std::u16string& path = SpawnChildPath());
#endif
