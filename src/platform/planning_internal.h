#pragma once

// What the parts of the planning layer share, and nothing else includes.

#include <string>
#include <string_view>

#include "platform/planning_os_api.h"

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

// Whether `name` is `ancestor` or lies below it.
inline bool AtOrBelow(const std::u16string& name, const std::u16string& ancestor)
{
    return name.compare(0, ancestor.size(), ancestor) == 0 &&
           (name.size() == ancestor.size() || name[ancestor.size()] == u'\\');
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
