#pragma once

#include <cstddef>

// What a detection writes to the log, piece by piece: one line in five pieces, repeated.
inline constexpr const char16_t* kLogPieceCycle[] = {
    u"Checking for registry key \"",
    u"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{00001234-0000-4000-8000-FOREIGN00000}",
    u"\"...",
    u"not found",
    u"\r\n",
};

// The piece written `index`-th.
inline const char16_t* LogPiece(int index)
{
    return kLogPieceCycle[static_cast<std::size_t>(index) % (sizeof kLogPieceCycle / sizeof kLogPieceCycle[0])];
}
