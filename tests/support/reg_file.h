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
// lines ending in "\". Where the file ends inside a line (a write cut short), it reads what
// regedit reads, as measured under Wine: half a character is passed by; a line without its end
// counts; a cut key's line or value's name, text or type is passed by; dword: takes the digits
// there are, hex bytes end with a lone digit as a byte, a "\" at the end goes on to nothing.
// Throws std::runtime_error for a file regedit imports nothing of (no header line) and for any
// other line regedit would pass by: the tests' files hold none.
std::vector<RegSection> ParseRegFile(const std::string& bytes);

// The value as the registry keeps it once regedit hands it to RegSetValueExW: a text
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) of whole characters not ending in a terminator gets one.
// Of a text with an odd number of bytes Wine keeps bytes the file does not hold (measured:
// hex(2):25,00,54 gave 25 00 00 00 78): that is left as read.
RegistryValue AsStored(RegistryValue value);

#ifndef _WIN32
// Imports the sections into the simulated registry, in the 64-bit view with `view64`: keys made,
// values written (AsStored), as regedit does.
void ImportRegFile(SimRegistry& registry, const std::vector<RegSection>& sections, bool view64);
#endif
