#include "platform/format_text.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

struct Predefined {
    std::string_view name;
    std::string_view value;
};

// Sorted by name.
constexpr Predefined kPredefined[] = {
    {"_cbrace", "}"}, {"_cr", "\r"},      {"_crlf", "\r\n"},
    {"_lf", "\n"},    {"_obrace", "{"},   {"_tab", "\t"},
};

std::optional<std::string_view> PredefinedValue(std::string_view name)
{
    const auto* it = std::lower_bound(
        std::begin(kPredefined), std::end(kPredefined), name,
        [](const Predefined& entry, std::string_view key) { return entry.name < key; });
    if (it != std::end(kPredefined) && it->name == name)
        return it->value;
    return std::nullopt;
}

struct Token {
    bool placeholder;
    std::string_view text; // the literal run, or the placeholder's name
};

// Walks a template token by token.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view pattern) : pattern_(pattern) {}

    std::optional<Token> next()
    {
        if (position_ >= pattern_.size())
            return std::nullopt;
        if (pattern_[position_] != '{') {
            const std::size_t end = std::min(pattern_.find('{', position_), pattern_.size());
            Token token{false, pattern_.substr(position_, end - position_)};
            position_ = end;
            return token;
        }
        const std::size_t close = pattern_.find('}', position_ + 1);
        if (close == std::string_view::npos)
            throw BadFormatStringError();
        Token token{true, pattern_.substr(position_ + 1, close - position_ - 1)};
        position_ = close + 1;
        return token;
    }

private:
    std::string_view pattern_;
    std::size_t position_ = 0;
};

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void CheckName(std::string_view name)
{
    if (name.empty())
        throw ImproperFormatVariableName();
    if (name.front() == '_') {
        if (!PredefinedValue(name))
            throw UndefinedFormatVariable();
        return;
    }
    // The first character is deliberately not tested.
    if (!std::all_of(name.begin() + 1, name.end(), IsNameCharacter))
        throw ImproperFormatVariableName();
}

struct Binding {
    std::string_view name;
    std::string_view value;
};

} // namespace

std::string FormatTextArgs(std::string_view pattern, const std::string_view* arguments,
                           std::size_t count)
{
    std::vector<Binding> bindings;
    std::size_t used = 0;
    Tokenizer binder(pattern);
    while (const auto token = binder.next()) {
        if (!token->placeholder)
            continue;
        CheckName(token->text);
        if (token->text.front() == '_')
            continue;
        if (used == count)
            throw TooManyFormatArguments();
        bindings.push_back({token->text, arguments[used++]});
    }
    if (used < count)
        throw TooFewFormatArguments();
    std::stable_sort(bindings.begin(), bindings.end(),
                     [](const Binding& a, const Binding& b) { return a.name < b.name; });

    std::string out;
    Tokenizer renderer(pattern);
    while (const auto token = renderer.next()) {
        if (!token->placeholder) {
            out += token->text;
        } else if (token->text.front() == '_') {
            out += *PredefinedValue(token->text);
        } else {
            const auto bound = std::lower_bound(
                bindings.begin(), bindings.end(), token->text,
                [](const Binding& entry, std::string_view key) { return entry.name < key; });
            out += bound->value;
        }
    }
    return out;
}

std::string EscapeFormatText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (const char c = text[i]) {
        case '\t': out += "{_tab}"; break;
        case '\n': out += "{_lf}"; break;
        case '{': out += "{_obrace}"; break;
        case '}': out += "{_cbrace}"; break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                out += "{_crlf}";
                ++i;
            } else {
                out += "{_cr}";
            }
            break;
        default: out += c; break;
        }
    }
    return out;
}
