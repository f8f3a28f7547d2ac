// Text order and colours of the simulated machine.

#include <string_view>

#include "platform/sim/sim_machine.h"

namespace {

// Case folding for the letters the suite's names use: ASCII and Latin-1.
char16_t Folded(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<char16_t>(c + 0x20);
    return c;
}

bool IsUpper(char16_t c)
{
    return Folded(c) != c;
}

int Order(int difference)
{
    return difference < 0 ? CSTR_LESS_THAN : difference > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

std::u16string_view Text(const char16_t* text, int length)
{
    return length < 0 ? std::u16string_view(text) : std::u16string_view(text, static_cast<std::size_t>(length));
}

} // namespace

// As Windows sorts for the user's locale, where the suite's texts are concerned: letters compare
// without case first; texts that differ only in case put the lower-case letter first, unless the
// case is ignored. Punctuation is not given the weights Windows gives it.
int SimMachine::compareString(LCID locale, DWORD flags, const char16_t* first, int firstLength,
                              const char16_t* second, int secondLength)
{
    if (enter(SimCall::CompareString))
        return 0;
    if (first == nullptr || second == nullptr)
        return fail<int>(ERROR_INVALID_PARAMETER, 0);
    if (locale != LOCALE_USER_DEFAULT || (flags & ~(NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) != 0)
        return fail<int>(ERROR_CALL_NOT_IMPLEMENTED, 0);
    const std::u16string_view a = Text(first, firstLength);
    const std::u16string_view b = Text(second, secondLength);
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
        if (Folded(a[i]) != Folded(b[i]))
            return Order(static_cast<int>(Folded(a[i])) - static_cast<int>(Folded(b[i])));
    if (a.size() != b.size())
        return Order(a.size() < b.size() ? -1 : 1);
    if (flags != 0)
        return CSTR_EQUAL;
    for (std::size_t i = 0; i < common; ++i)
        if (a[i] != b[i])
            return Order(IsUpper(a[i]) ? 1 : -1);
    return CSTR_EQUAL;
}

DWORD SimMachine::getSysColor(int index)
{
    if (enter(SimCall::GetSysColor))
        return 0;
    // Windows' standard scheme.
    switch (index) {
    case COLOR_WINDOW:
        return 0xFFFFFF;
    case COLOR_WINDOWTEXT:
        return 0x000000;
    default:
        return 0;
    }
}
