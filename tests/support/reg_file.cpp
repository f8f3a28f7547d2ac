#include "support/reg_file.h"

#include <stdexcept>

#ifndef _WIN32
#include "platform/sim/sim_registry.h"
#endif
#include "platform/text.h"

namespace {

[[noreturn]] void Fail(const std::string& why, const std::u16string& line)
{
    throw std::runtime_error(why + ": " + ToUtf8(line));
}

// A quoted text from `at` (on its opening quote), with "\\" and "\"" undone; `at` ends past it.
std::u16string Unquote(const std::u16string& line, std::size_t& at)
{
    if (line[at] != u'"')
        Fail("no opening quote", line);
    std::u16string text;
    for (++at; at < line.size(); ++at) {
        if (line[at] == u'"') {
            ++at;
            return text;
        }
        if (line[at] == u'\\' && ++at == line.size())
            break;
        text += line[at];
    }
    Fail("no closing quote", line);
}

unsigned HexDigit(char16_t c, const std::u16string& line)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    Fail("not a hex digit", line);
}

// A value's line; `cut` where the file ends inside it.
RegistryValue ParseValue(const std::u16string& line, bool cut)
{
    RegistryValue value{u"", REG_SZ, {}};
    std::size_t at = 0;
    if (line[0] == u'@')
        at = 1;
    else
        value.name = Unquote(line, at);
    if (at >= line.size() || line[at] != u'=')
        Fail("no '='", line);
    const std::u16string data = line.substr(at + 1);
    if (!data.empty() && data[0] == u'"') {
        std::size_t from = 0;
        const std::u16string text = Unquote(data, from) + u'\0';
        for (const char16_t c : text) {
            value.data.push_back(static_cast<BYTE>(c & 0xFF));
            value.data.push_back(static_cast<BYTE>(c >> 8));
        }
        return value;
    }
    // Fewer digits than eight, where the line was cut, are the number they spell.
    if (data.rfind(u"dword:", 0) == 0 && (data.size() == 14 || (cut && data.size() > 6 && data.size() < 14))) {
        value.type = REG_DWORD;
        DWORD number = 0;
        for (std::size_t i = 6; i < data.size(); ++i)
            number = number << 4 | HexDigit(data[i], line);
        for (int shift = 0; shift < 32; shift += 8)
            value.data.push_back(static_cast<BYTE>(number >> shift));
        return value;
    }
    std::size_t bytes = 0;
    if (data.rfind(u"hex:", 0) == 0) {
        value.type = REG_BINARY;
        bytes = 4;
    } else if (data.rfind(u"hex(", 0) == 0) {
        const std::size_t close = data.find(u"):");
        if (close == std::u16string::npos || close == 4)
            Fail("bad hex type", line);
        value.type = 0;
        for (std::size_t i = 4; i < close; ++i)
            value.type = value.type << 4 | HexDigit(data[i], line);
        bytes = close + 2;
    } else {
        Fail("unknown data", line);
    }
    for (std::size_t i = bytes; i < data.size(); i += 3) {
        // A lone digit where the line was cut is a byte of its own.
        if (cut && i + 1 == data.size()) {
            value.data.push_back(static_cast<BYTE>(HexDigit(data[i], line)));
            break;
        }
        if (i + 2 > data.size() || (i + 2 < data.size() && data[i + 2] != u','))
            Fail("bad hex bytes", line);
        value.data.push_back(static_cast<BYTE>(HexDigit(data[i], line) << 4 | HexDigit(data[i + 1], line)));
    }
    return value;
}

// Where a process ended in the middle of writing a line, regedit sets what it could read of it and
// passes the rest by: a key's line without its "]", a value's without its name's or its text's
// closing quote, its "=" or its data's type, or dword: without a digit.
bool IsCut(const std::u16string& line)
{
    if (line.front() == u'[')
        return line.back() != u']';
    std::size_t at = 0;
    if (line[0] != u'@') {
        try {
            Unquote(line, at);
        } catch (const std::runtime_error&) {
            return true;
        }
    } else {
        at = 1;
    }
    const std::u16string data = at < line.size() && line[at] == u'=' ? line.substr(at + 1) : u"";
    if (data.empty() || data == u"dword:")
        return true;
    if (data[0] == u'"') {
        std::size_t from = 0;
        try {
            Unquote(data, from);
        } catch (const std::runtime_error&) {
            return true;
        }
        return false;
    }
    return data.rfind(u"dword:", 0) != 0 && data.rfind(u"hex:", 0) != 0 && data.find(u"):") == std::u16string::npos;
}

} // namespace

std::vector<RegSection> ParseRegFile(const std::string& bytes)
{
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE)
        throw std::runtime_error("not UTF-16LE with a byte-order mark");
    // Half a character at the end, where a write was cut, is passed by.
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    std::vector<std::u16string> lines;
    bool cut = false; // the file ends inside its last line
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) {
            cut = true;
            end = text.back() == u'\r' ? text.size() - 1 : text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (lines.empty() || lines[0] != u"Windows Registry Editor Version 5.00")
        throw std::runtime_error("no header line");
    std::vector<RegSection> sections;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::u16string line = lines[i];
        // A line of hex bytes ending in "\" goes on after the next line's leading blanks; at the
        // file's end, where a write was cut, it ends there.
        while (!line.empty() && line.back() == u'\\' && line.find(u"hex") != std::u16string::npos) {
            line.pop_back();
            if (i + 1 == lines.size()) {
                cut = true;
                break;
            }
            const std::u16string& next = lines[++i];
            line += next.substr(std::min(next.find_first_not_of(u' '), next.size()));
        }
        const bool last = cut && i + 1 == lines.size();
        if (line.empty() || (last && IsCut(line)))
            continue;
        if (line.front() == u'[') {
            if (line.back() != u']')
                Fail("no closing bracket", line);
            sections.push_back({line.substr(1, line.size() - 2), {}});
        } else if (sections.empty()) {
            Fail("a value before any key", line);
        } else {
            sections.back().values.push_back(ParseValue(line, last));
        }
    }
    return sections;
}

RegistryValue AsStored(RegistryValue value)
{
    // RegSetValueExW counts the terminator a caller left out of a text's size, when one follows.
    const std::size_t size = value.data.size();
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (text && size >= 2 && size % 2 == 0 && (value.data[size - 2] != 0 || value.data[size - 1] != 0))
        value.data.insert(value.data.end(), {0, 0});
    return value;
}

#ifndef _WIN32
void ImportRegFile(SimRegistry& registry, const std::vector<RegSection>& sections, bool view64)
{
    const SimRegistry::View view = view64 ? SimRegistry::View::Native64 : SimRegistry::View::Wow32;
    for (const RegSection& section : sections) {
        const std::size_t cut = section.key.find(u'\\');
        const std::u16string rootName = section.key.substr(0, cut);
        const HKEY root = rootName == u"HKEY_LOCAL_MACHINE" ? HKEY_LOCAL_MACHINE
                          : rootName == u"HKEY_USERS"       ? HKEY_USERS
                          : rootName == u"HKEY_CURRENT_USER" ? HKEY_CURRENT_USER
                          : rootName == u"HKEY_CLASSES_ROOT" ? HKEY_CLASSES_ROOT
                                                             : throw std::runtime_error("unknown root " + ToUtf8(rootName));
        const std::u16string path = cut == std::u16string::npos ? u"" : section.key.substr(cut + 1);
        registry.createKey(root, path, view);
        for (const RegistryValue& read : section.values) {
            const RegistryValue value = AsStored(read);
            registry.setValue(root, path, value.name, value.type, value.data, view);
        }
    }
}
#endif
