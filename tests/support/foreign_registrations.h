#pragma once

#include <string>
#include <vector>

// Other programs' registrations on an old server, as data: thousands of entries under the
// Uninstall key and of Windows Installer products, none of them the suite's. Laid on the
// simulated machine by large_machine.cpp and in a Wine prefix by the detection benchmark, from
// this one description.
struct ForeignRegistrationCount {
    int uninstallEntries = 2000;  // foreign entries under the Uninstall key
    int installerProducts = 2000; // foreign Windows Installer products
};

// One REG_SZ value below HKEY_LOCAL_MACHINE.
struct RegistrationValue {
    std::u16string entry;  // the registration's own key, which clearing it removes with all below
    std::u16string path;   // the value's key: `entry` or a key below it
    std::u16string name;
    std::u16string data;
    bool native64 = false; // in the 64-bit view only (Windows Installer's UserData)
};

// Each Uninstall entry's DisplayName, DisplayVersion, InstallLocation and UninstallString; each
// product's ProductName, a feature, its upgrade code and its UserData DisplayName.
std::vector<RegistrationValue> ForeignRegistrations(const ForeignRegistrationCount& count);

// A product's Windows Installer registration: product, features, upgrade code and UserData.
std::vector<RegistrationValue> InstallerRegistration(const std::u16string& packed, const std::u16string& upgrade,
                                                     const std::u16string& name);

// An Uninstall entry: DisplayName, DisplayVersion, and InstallLocation and UninstallString
// unless empty.
std::vector<RegistrationValue> UninstallEntry(const std::u16string& key, const std::u16string& name,
                                              const std::u16string& folder, const std::u16string& command,
                                              const std::u16string& version = u"9.5.10.79");
