#pragma once

#include <string>

// The application's name as message-box captions show it: the executable's base name without
// its extension ("QTVRemove"). Throws Windows::Error when the module path cannot be read.
std::u16string ApplicationName();

// The base name of a Windows path without its extension: "C:\Tools\QTVRemove.exe" gives
// "QTVRemove".
std::u16string BaseNameWithoutExtension(const std::u16string& path);
