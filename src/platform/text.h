#pragma once

#include <string>
#include <string_view>

// Conversions between the program's UTF-16 text and UTF-8. Malformed input never fails: each
// broken sequence (a lone surrogate, a bad UTF-8 byte) becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
// The text as UTF-16LE bytes, as Windows keeps it in files (no byte-order mark).
std::string Utf16LeBytes(std::u16string_view text);

// Text in the system's ANSI code page, converted by the operating system (MultiByteToWideChar).
// Throws Windows::Error when the conversion fails.
std::u16string AnsiToUtf16(std::string_view text);
