#pragma once

// What the parts of the planning layer share, and nothing else includes.

#include <set>
#include <string>
#include <string_view>

#include "plan/planning_os_api.h"

namespace PlanningInternal {

// Upper case for the names the system compares whatever their case (ASCII letters: the suite's
// names, and what the overlay compares them with, are the system's own spelling otherwise).
inline std::u16string Upper(std::u16string_view text)
{
    std::u16string upper(text);
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return upper;
}

// Whether the set holds `name` or one of its ancestors (the parts before each backslash): one
// lookup a level, however much the plan has deleted.
inline bool AtOrBelowAny(const std::set<std::u16string>& names, const std::u16string& name)
{
    if (names.empty())
        return false;
    for (std::size_t end = name.find(u'\\'); end != std::u16string::npos; end = name.find(u'\\', end + 1))
        if (names.count(name.substr(0, end)))
            return true;
    return names.count(name) != 0;
}

} // namespace PlanningInternal

// A listing of a folder, its entries filtered by the overlay.
struct PlanningOsApi::Find {
    std::u16string folder; // canonical
};

// Where a key's enumeration stands, so that listing in order costs one call of the machine a child.
struct PlanningOsApi::KeyCursor {
    DWORD visible = 0; // the next index the caller asks for
    DWORD real = 0;    // the machine's index it stands for
    bool values = false;
};
