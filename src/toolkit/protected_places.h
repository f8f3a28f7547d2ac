#pragma once

#include <memory>
#include <string>
#include <vector>

// The places the folder deletion protects, as the machine names them now. Each place is held as
// the normal location (protected_locations.h) of its name and, where it exists and is not
// remote, of its final path, so that a location is judged by where it really is.

struct ProtectedPlaces {
    // The Windows folder: it, everything inside it and everything above it.
    std::vector<std::u16string> windows;
    // Each folder and everything above it: both Program Files folders and their Common Files,
    // ProgramData, the Users and Public folders, every profile folder ProfileList names, the
    // machine's common known folders, and the running account's profile, known folders and
    // temporary folder.
    std::vector<std::u16string> folders;
    // Where the running account's profile lies inside the Windows folder (SYSTEM, LocalService,
    // NetworkService): its known folders inside that profile, whose contents are no part of
    // Windows. Empty for any other account.
    std::vector<std::u16string> accountFolders;
    // Every place could be named, so that the set may be kept.
    bool complete = true;
};

// For a folder that a registry value names: each place and everything above it, beside the
// ones above: the known folders of every profile loaded under HKEY_USERS, and the install
// location of every product registered under Uninstall (both views) under a name that is not
// the suite's.
struct SettingPlaces {
    std::vector<std::u16string> folders;
    // Every profile, known folder list and Uninstall entry could be read: a folder a setting
    // names is refused when they could not, since they are what it is judged against.
    bool complete = true;
};

// Both are gathered on first use and kept while the seam stays the same and they are complete.
// `suite` names the Uninstall entries that are the suite's own (protected_locations.h); it is one
// list for the whole run.
std::shared_ptr<const ProtectedPlaces> CurrentProtectedPlaces();
std::shared_ptr<const SettingPlaces> CurrentSettingPlaces(const std::vector<std::u16string>& suite);

// A location that names a network share ("\\server\share\...") or lies on a drive the system
// calls remote. It is decided from the name alone, without opening anything.
bool IsRemoteName(const std::u16string& location);
