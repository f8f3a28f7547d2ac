#pragma once

#include <array>
#include <string_view>

// A version text of up to four numbers separated by "." or ",", each at most 65535. Anything
// else (a letter, a hyphen, a fifth number, a number past 65535) reads as 0.0.0.0; an empty
// text too.
struct DottedVersion {
    std::array<unsigned, 4> parts{};
    unsigned count = 4;
};

DottedVersion ParseDottedVersion(std::u16string_view text);

// Compares the first min(count) numbers only: 9.5 equals 9.5.5.0. Negative, zero or positive.
int CompareDottedVersions(const DottedVersion& a, const DottedVersion& b);
