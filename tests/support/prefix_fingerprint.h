#pragma once

#include <map>
#include <string>
#include <vector>

// What the whole prefix holds, name by name: every file under C:\ (the 64-bit system folder
// included) with its size, last write time and a hash of its bytes, but none of `skipped` (folders
// or files);
// every key of HKEY_LOCAL_MACHINE (both views) and HKEY_USERS with its values and last write
// time, as the registry saves them (`scratch` is the file the save goes through).
using Fingerprint = std::map<std::wstring, std::string>;
Fingerprint PrefixFingerprint(const std::vector<std::wstring>& skipped, const std::wstring& scratch);
// One line for each name new, gone or changed between the two; empty when they agree.
std::string FingerprintChanges(const Fingerprint& before, const Fingerprint& after);
