#pragma once

#include <string>
#include <vector>

// The files the test programs under Wine take from their command line, named in one list
// (wine_main.cpp) by their file names, the Windows Installer packages by their ending: a program
// is given the paths of those it uses, in any order. The one main() of those programs
// (wine_test_main.cpp) takes them before any test runs, and stops with the usage line at an
// argument the list does not name.

// Takes the paths; false at one whose file name is not in the list.
bool TakeTestFiles(const std::vector<std::wstring>& arguments);
// The list as the usage line shows it.
std::string TestFileNames();

// The path given for the file called `name` ("QTVRemove.exe"); the calling test fails when none was.
const std::wstring& TestFile(const wchar_t* name);
// The package given called `name` ("client.msi"); the name itself when none was.
std::wstring TestPackage(const std::wstring& name);
