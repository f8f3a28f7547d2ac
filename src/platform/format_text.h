#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/errors.h"

// Templates with named placeholders in braces, "Windows Error 0x{err}: {msg}". Every
// placeholder occurrence takes the next argument in order; names starting with "_" are the
// predefined escapes {_cbrace} {_cr} {_crlf} {_lf} {_obrace} {_tab}. When a name occurs more
// than once, every occurrence shows the value bound at its first occurrence. Templates,
// arguments and results are UTF-8.
//
// Every error is thrown before any text is produced; each class's text is its type name.
class BadFormatStringError : public DebuggableException {       // "{" never closed
};
class TooManyFormatArguments : public DebuggableException {     // a placeholder has no argument left
};
class TooFewFormatArguments : public DebuggableException {      // arguments left over
};
class ImproperFormatVariableName : public DebuggableException { // empty name or a bad character
};
class UndefinedFormatVariable : public DebuggableException {    // "_" name that is not predefined
};

// Renders `pattern` with `count` arguments.
std::string FormatTextArgs(std::string_view pattern, const std::string_view* arguments,
                           std::size_t count);

template <class... Args>
std::string FormatText(std::string_view pattern, const Args&... arguments)
{
    const std::array<std::string_view, sizeof...(Args)> list{std::string_view(arguments)...};
    return FormatTextArgs(pattern, list.data(), list.size());
}

// A template whose rendering without arguments gives `text` back.
std::string EscapeFormatText(std::string_view text);
