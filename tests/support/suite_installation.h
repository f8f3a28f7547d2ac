#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/deletion_record.h"

// platform/registry.h brings the system headers, whose names the items' kinds would shadow.
struct RegistryValue;

// A complete installation of the suite, and the sentinels beside it that every removal must
// leave, as data: the one description that the simulated machine (support/sim_suite) and a Wine
// prefix (e2e/suite_layout) are each laid from and looked at after a run. It names no type of
// either machine, so that both read the same items.
struct SuiteItem {
    // Package: a Windows Installer package, installed by the real msiexec under Wine; the items
    // it installs name it in `package`. Line: a line of the SQL Server stand-in's state file.
    enum class Kind { Key, Value, Folder, File, Junction, Service, Package, Line };
    enum class Root { LocalMachine, CurrentUser, Users };
    // What a file holds: a line of text, or a copy of one of the fixture programs.
    enum class Content { Text, Uninstaller, ServiceProgram, Versioned };
    // A value's type, numbered as the registry numbers it.
    enum class Type : unsigned long { String = 1, ExpandString = 2, Binary = 3, Dword = 4, MultiString = 7, Qword = 11 };

    std::u16string component; // the component's switch without "/"; "bin" (the fixture programs
                              // the installation runs), "database", "roots" or "sentinel"
    Kind kind;
    std::u16string path;      // key, folder, file, junction, service name, package file, line
    std::u16string name;      // a value's name
    std::u16string data;      // a value's data, a junction's target, a package's product code,
                              // a service's program (as its ImagePath names it); ValueBytes
                              // reads a value's
    Type type = Type::String; // a value's
    Root root = Root::LocalMachine;
    bool view64 = false;      // in the 64-bit registry view only
    Content content = Content::Text;
    bool readOnly = false;
    unsigned stopDelayMs = 0; // how long the service takes to stop
    std::u16string package;   // the product code of the package that installs this item and
                              // whose uninstall takes it away
};

// The well-known folders the installation uses, as the machine names them.
struct SuiteFolders {
    std::u16string documents;
    std::u16string localAppData;
};

// A value's data as the registry holds it: a text as UTF-16LE with its terminator (a
// REG_MULTI_SZ's texts, written one a line in `data`, each with its own and one more after the
// last), a number (written in decimal) as its little-endian bytes, REG_BINARY written in pairs of
// hexadecimal digits.
std::vector<unsigned char> ValueBytes(const SuiteItem& item);

// Every item, components first, sentinels last.
std::vector<SuiteItem> SuiteItems(const SuiteFolders& folders);

// The suite's roots, as items of "roots": the folders and keys the program's root clean-up deletes
// once nothing of the suite is left (a user's hive's key as the current user's and the default's).
std::vector<SuiteItem> SuiteRoots(const SuiteFolders& folders);

// What clearing the installation away deletes whole besides its keys and values: the topmost
// folder of every file and folder below the machine's own folder it lies in (a drive, Program
// Files, the user's documents or local application data), or the file where it lies in one.
std::vector<std::u16string> ClearedPaths(const SuiteFolders& folders);

// Neither a fixture program nor a sentinel.
bool OfTheSuite(const SuiteItem& item);

// How an item reads in a report: "relay: key HKLM\SOFTWARE\Zantrel\QTVRelay".
std::string Describe(const SuiteItem& item);
std::string Describe(const std::vector<SuiteItem>& items); // one a line

// What a run's record of deleted objects misses or names beyond the suite, one a line, empty
// when it is right: every key, value, folder, file, junction and service of the suite is named
// (a value by its key or itself), except what the uninstallers take away (a package's items, the
// Uninstall entries) and what `alsoTaken` says went otherwise; and every object named is one of
// the suite's, below one, or above one (a root the clean-up deletes).
std::string AuditGaps(const std::vector<SuiteItem>& items, const std::vector<DeletedObject>& deleted,
                      const std::function<bool(const SuiteItem&)>& alsoTaken = {});

// A registry's keys and their values, by RegistryKeyName.
using RegistryContents = std::map<std::string, std::vector<RegistryValue>>;
// A key's name for RegistryContents, from the record's form ("HKLM\...", " (64-bit view)" after
// a key of that view); a user's hive below HKU counts as HKCU.
std::string RegistryKeyName(const std::u16string& name);

// The keys and values of `before` that `went` says went and `after` does not hold as they were
// (the value with its type and data), one a line, empty when none: `went(key, nullptr)` asks
// about the key, `went(key, &value)` about one of its values.
std::string NotGivenBack(const RegistryContents& before, const RegistryContents& after,
                         const std::function<bool(const std::string& key, const RegistryValue* value)>& went);

// What the import of a run's backup did not put back, one a line, empty when it is right: every
// key and value the record names as deleted is there again, and every key there was there
// before the run, with the values it had (but for those a package's uninstall took) and no other.
std::string RestoreGaps(const std::vector<SuiteItem>& items, const RegistryContents& before, const RegistryContents& after,
                        const std::vector<DeletedObject>& deleted);
