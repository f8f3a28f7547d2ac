#include "platform/text.h"

#include <limits>

#include "platform/errors.h"
#include "platform/os_api.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (c >> 10));
        out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
    }
}

bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::u16string ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1, c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        if (valid) {
            AppendUtf16(out, c);
            i += length;
        } else {
            AppendUtf16(out, kReplacement);
            ++i;
        }
    }
    return out;
}

std::u16string AnsiToUtf16(std::string_view text)
{
    if (text.empty())
        return {};
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        ThrowWindowsError(ERROR_INVALID_PARAMETER);
    const int bytes = static_cast<int>(text.size());
    const int needed = Os().multiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
    if (needed <= 0)
        ThrowLastError();
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    const int written = Os().multiByteToWideChar(CP_ACP, 0, text.data(), bytes, wide.data(), needed);
    if (written <= 0)
        ThrowLastError();
    wide.resize(static_cast<std::size_t>(written));
    return wide;
}

std::string Utf16LeBytes(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

bool HasControlCharacter(std::u16string_view text)
{
    for (const char16_t c : text)
        if (c < 0x20)
            return true;
    return false;
}

std::u16string EscapeControlCharacters(std::u16string_view text)
{
    if (!HasControlCharacter(text))
        return std::u16string(text);
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string escaped;
    escaped.reserve(text.size() + 8);
    for (const char16_t c : text) {
        if (c >= 0x20) {
            escaped += c;
        } else if (c == u'\r') {
            escaped += u"\\r";
        } else if (c == u'\n') {
            escaped += u"\\n";
        } else if (c == u'\t') {
            escaped += u"\\t";
        } else {
            escaped += u"\\x";
            escaped += kDigits[c >> 4];
            escaped += kDigits[c & 0xF];
        }
    }
    return escaped;
}
