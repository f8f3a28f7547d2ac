#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/suite_installation.h"

// The suite installation (support/suite_installation.h) in the Wine prefix: laid, looked for and
// cleared. Its packages are installed by the real msiexec, which lays the items that name them.

// Where the fixture programs the installation runs are found (copied into C:\qtv-suite\bin).
struct SuitePrograms {
    std::wstring uninstaller;           // the uninstaller stand-in
    std::wstring service;               // the service fixture
    std::wstring versioned;             // a program with a version resource
    std::vector<std::wstring> packages; // Windows Installer packages, installed by the real msiexec

    // From a test's or tool's arguments, from `first` on: the three programs, then every package.
    static bool FromArguments(const std::vector<std::wstring>& arguments, std::size_t first,
                              SuitePrograms& programs);
    // The package whose file is called `file` ("client.msi").
    std::wstring package(const std::wstring& file) const;
};

// The SQL Server stand-in's state file, inside the prefix; its environment names the same file.
extern const wchar_t kSqlServerState[];

// Every item, with the prefix's own well-known folders.
std::vector<SuiteItem> PrefixSuiteItems();

// Lays every item (services created and started); false with `why` when something failed.
bool LaySuite(const SuitePrograms& programs, std::wstring& why);

// The items still present, of the given components ({} for all but the sentinels).
std::vector<SuiteItem> SuiteLeft(const SuitePrograms& programs, const std::vector<std::u16string>& components);

// The sentinels that are gone or changed.
std::vector<SuiteItem> SentinelsLost(const SuitePrograms& programs);

// Removes every item and every root of the suite, so that the prefix is as it was.
void ClearSuite(const SuitePrograms& programs);
