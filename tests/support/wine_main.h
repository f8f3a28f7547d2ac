#pragma once

#include <string>
#include <vector>

// The one main() of the test programs that take files from their command line under Wine
// (wine_main.cpp): Google Test takes its own flags, the program takes the rest before any test
// runs, and wrong arguments print the usage line and exit with 2.

// The arguments as the usage line shows them: "PATH\\QTVRemove.exe PATH\\spawn_child.exe".
extern const char kArguments[];

// Takes the program's arguments; false when they are not what it needs.
bool TakeArguments(const std::vector<std::wstring>& arguments);
