#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/win_types.h"

// While a detection or removal pass runs, the lookups read the Uninstall key and Windows
// Installer's registration (Products, UpgradeCodes, UserData) from memory: the names of each
// location's children and the values read under them come from the registry once. A key or value
// the pass deletes drops what the index holds of it alone; any other registry change the program
// makes or may have made (RegistryChangeCount: access lists of keys, every program started,
// every uninstaller run) drops all of it, and the next lookup reads afresh. The lookups answer
// and log exactly what they would without it; no other registry read goes through it.
class DetectionIndex : public RegistryReadKeeper {
public:
    // Whether the index keeps root\path in that view: one of the four locations, or (for
    // values) a key below one.
    static bool keepsNames(HKEY root, const std::u16string& path, REGSAM view);
    static bool keepsValues(HKEY root, const std::u16string& path, REGSAM view);

    // The children's names of a kept location; `read` reads them from the registry the first
    // time (and again after a change).
    std::vector<std::u16string> names(const std::u16string& path, REGSAM view,
                                      const std::function<std::vector<std::u16string>()>& read);
    // A value of a key below a kept location, as RegQueryTextChecked reads it from the key
    // opened with KEY_READ and the view; absent where the open or the read fails. The first
    // read of a location's child also reads the values the lookups read of every child there.
    std::optional<RegistryText> value(const std::u16string& path, const std::u16string& valueName, REGSAM view);

    void deleted(HKEY root, const std::u16string& path, const std::u16string* value) override;

private:
    void dropIfChanged();
    void dropAll();

    unsigned changes_ = 0;
    unsigned generation_ = 0;
    // By location; the values by location and the rest of the key's path in upper case, as the
    // registry compares names.
    std::map<std::size_t, std::vector<std::u16string>> names_;
    std::map<std::pair<std::size_t, std::u16string>, std::map<std::u16string, std::optional<RegistryText>>> values_;
};

// The index of the pass running on this thread, or null when none runs.
DetectionIndex* ActiveDetectionIndex();

// Whoever runs a detection or removal pass holds one on the thread that runs it, for the
// pass's duration; without one, the lookups read the registry every time. Scopes nest: the
// inner one has its own index.
class DetectionIndexScope {
public:
    DetectionIndexScope();
    ~DetectionIndexScope();

    DetectionIndexScope(const DetectionIndexScope&) = delete;
    DetectionIndexScope& operator=(const DetectionIndexScope&) = delete;

private:
    DetectionIndex index_;
    DetectionIndex* previous_;
    ScopedRegistryReadKeeper keeper_;
};
