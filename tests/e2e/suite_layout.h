#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A complete installation of the suite on the real machine under Wine, and the sentinels that
// must survive every removal, described as data (suite_layout.cpp) and laid, looked for and
// cleared from that one description.

// Where the fixture programs the installation runs are found (copied into C:\qtv-suite\bin).
struct SuitePrograms {
    std::wstring uninstaller;           // the uninstaller stand-in
    std::wstring service;               // the service fixture
    std::wstring versioned;             // a program with a version resource
    std::vector<std::wstring> packages; // Windows Installer packages, installed by the real msiexec

    // From the command line of a test or tool: the three programs, then every package.
    static bool FromArguments(int argc, char** argv, int first, SuitePrograms& programs);
    // The package whose file is called `file` ("client.msi").
    std::wstring package(const std::wstring& file) const;
};

// The SQL Server stand-in's state file, inside the prefix; its environment names the same file.
extern const wchar_t kSqlServerState[];

// One thing the installation holds.
struct SuiteItem {
    // Line: a line of the SQL Server stand-in's state file (a database, a job).
    enum class Kind { Key, Value, Folder, File, Service, Package, Line };
    std::wstring component; // the component's switch without "/", or "sentinel"
    Kind kind;
    HKEY root;              // keys and values; HKEY_LOCAL_MACHINE in the 32-bit view
    std::wstring path;      // key, folder, file, service name, package file, or state line
    std::wstring name;      // value name
    std::wstring data;      // value data; for a file, the program to copy ("" for a text file);
                            // for a package, its product code
    bool readOnly = false;
    REGSAM view = 0;        // KEY_WOW64_64KEY for what lives in the 64-bit view only
};

// Every item, components first, sentinels last.
std::vector<SuiteItem> SuiteItems(const SuitePrograms& programs);

// Lays every item (services created and started); false with `why` when something failed.
bool LaySuite(const SuitePrograms& programs, std::wstring& why);

// The items still present, of the given components ({} for all but the sentinels).
std::vector<SuiteItem> SuiteLeft(const SuitePrograms& programs, const std::vector<std::wstring>& components);

// The sentinels that are gone or changed.
std::vector<SuiteItem> SentinelsLost(const SuitePrograms& programs);

// Removes every item and every root of the suite, so that the prefix is as it was.
void ClearSuite(const SuitePrograms& programs);

// How an item reads in a report line: "key HKLM\...", "service QTVRelay".
std::wstring Describe(const SuiteItem& item);
