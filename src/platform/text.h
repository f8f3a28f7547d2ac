#pragma once

#include <string>
#include <string_view>

// Conversions between the program's UTF-16 text and UTF-8. Malformed input never fails: each
// broken sequence (a lone surrogate, a bad UTF-8 byte) becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string ToUtf16(std::string_view text);
// The text as UTF-16LE bytes, as Windows keeps it in files (no byte-order mark).
std::string Utf16LeBytes(std::u16string_view text);

// Whether the text holds a control character (below 0x20: a line break, a tab, NUL and the like).
bool HasControlCharacter(std::u16string_view text);
// The text as a line of the log, deleted.txt or a listing shows a name read from the machine:
// each control character escaped ("\r", "\n", "\t", "\x" and two hexadecimal digits for the
// others, NUL included), so that no name can end a line or begin one. Every other character,
// a backslash included, is kept as it is.
std::u16string EscapeControlCharacters(std::u16string_view text);

// Text in the system's ANSI code page, converted by the operating system (MultiByteToWideChar).
// Throws Windows::Error when the conversion fails.
std::u16string AnsiToUtf16(std::string_view text);
