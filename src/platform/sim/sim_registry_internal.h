#pragma once

// What the parts of the simulated registry share, and nothing else includes: a key with its
// values as the registry keeps it, an open key behind a handle, and the way names compare and
// paths split, so that every part orders and finds keys alike.

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_text.h"

namespace SimRegistryInternal {

inline char16_t Fold(char16_t c)
{
    return SimUpcase(c);
}

struct CaseLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const
    {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](char16_t x, char16_t y) { return Fold(x) < Fold(y); });
    }
};

inline std::vector<std::u16string> SplitPath(std::u16string_view path)
{
    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(u'\\', start), path.size());
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

inline FILETIME FileTimeOf(ULONGLONG milliseconds)
{
    const ULONGLONG ticks = milliseconds * 10000;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace SimRegistryInternal

struct SimRegistry::Key : std::enable_shared_from_this<SimRegistry::Key> {
    struct Value {
        std::u16string name;
        DWORD type;
        std::vector<BYTE> data;
    };

    explicit Key(std::u16string keyName) : name(std::move(keyName)) {}

    std::shared_ptr<Key> child(std::u16string_view childName) const
    {
        const auto it = children.find(std::u16string(childName));
        return it == children.end() ? nullptr : it->second;
    }

    std::shared_ptr<Key> makeChild(const std::u16string& childName)
    {
        auto& slot = children[childName];
        if (!slot) {
            slot = std::make_shared<Key>(childName);
            slot->parent = weak_from_this();
        }
        return slot;
    }

    std::u16string name;
    std::u16string className;
    std::map<std::u16string, std::shared_ptr<Key>, SimRegistryInternal::CaseLess> children;
    std::map<std::u16string, Value, SimRegistryInternal::CaseLess> values;
    FILETIME lastWriteTime{};
    DWORD refusedAccess = 0; // rights the access list refuses the current user
    bool needsOwnership = false;
    bool ownedByStandardUser = false;
    bool deleted = false;
    // Made as a symbolic link: opening it leads to the key its "SymbolicLinkValue" names.
    bool symbolicLink = false;
    // The key it was made below; HKLM\SOFTWARE\Classes, seen under both views, knows SOFTWARE.
    std::weak_ptr<Key> parent;
    // Set on HKLM only: its SOFTWARE child has a 32-bit view below WOW6432Node.
    bool redirectsSoftware = false;
};

struct SimRegistry::OpenKey {
    std::shared_ptr<Key> key;
    REGSAM access = 0; // specific rights, generic ones mapped
};
