#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

class SimRegistry;

// A regedit 5.00 file read as regedit reads it, for the tests: each section's key
// ("HKEY_LOCAL_MACHINE\...") and its values with their types and bytes.
struct RegSection {
    std::u16string key;
    std::vector<RegistryValue> values;
};

// Parses the file's bytes: UTF-16LE with its byte-order mark, "\r\n" line ends, the header line,
// sections, and values as quoted strings, dword: and hex: / hex(type): bytes continued over
// lines ending in "\". Throws std::runtime_error for anything regedit would not read.
std::vector<RegSection> ParseRegFile(const std::string& bytes);

#ifndef _WIN32
// Imports the sections into the simulated registry, in the 64-bit view with `view64`: keys made,
// values written, as regedit does.
void ImportRegFile(SimRegistry& registry, const std::vector<RegSection>& sections, bool view64);
#endif
