#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/suite_installation.h"
#include "support/win_machine.h"

// The suite installation (support/suite_installation.h) in the Wine prefix: laid, looked for and
// cleared. Its packages are installed by the real msiexec, which lays the items that name them;
// the fixture programs it runs are the test program's own (support/wine_main.h), copied into
// C:\qtv-suite\bin.

// The SQL Server stand-in's state file, inside the prefix; its environment names the same file.
extern const wchar_t kSqlServerState[];
// Where the uninstaller stand-ins record how they were started (runs.txt) and the scenarios
// write their logs, reports and backups.
extern const wchar_t kRunsFolder[];

// Every item, with the prefix's own well-known folders; with `roots`, the suite's roots
// (SuiteRoots) after them.
std::vector<SuiteItem> PrefixSuiteItems(bool roots = false);

// Lays every item (services created and started); false with `why` when something failed.
bool LaySuite(std::wstring& why);

// The items and roots still present, of the given components ({} for all but the sentinels).
std::vector<SuiteItem> SuiteLeft(const std::vector<std::u16string>& components);

// The sentinels that are gone or changed.
std::vector<SuiteItem> SentinelsLost();

// Removes every item, the suite's roots and the stand-ins' records, so that the prefix is as it
// was: before and after every test that lays anything of the suite.
void ClearSuite();

// A test on the whole installation, laid afresh before it; after it, every sentinel must be
// there, and the prefix is cleared.
class SuiteTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
