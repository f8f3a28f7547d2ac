#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/registry.h"
#include "platform/run_record.h"
#include "platform/win_types.h"

// The registry reads of one run: while a detection or removal pass runs, the lookups read the
// Uninstall key and Windows Installer's registration (Products, UpgradeCodes, UserData) from
// memory: the names of each location's children and the values read under them come from the
// registry once. The lookups answer and log exactly what they would without it; no other
// registry read goes through it. What it holds is dropped, and the next lookup reads afresh:
//
//   when                                                 what is dropped
//   the run deletes a key under HKLM (either view: the   the key's name in its location's list,
//     keys below Classes are the same in both)           what was read of it and below it, and
//                                                        the lookups' findings about it; a
//                                                        location at or below it: all of that
//                                                        location
//   the run deletes a value under HKLM                   that value of that key, and the
//                                                        lookups' findings about it
//   the run deletes a key or value under HKCU or HKU     nothing: nothing held is there
//   the run deletes one under another root (HKCR, HKCC)  all of it: the classes root shows the
//     or below an open key                               machine's keys under other names, and an
//                                                        open key names no place
//   any other registry change the program makes or may   all of it
//     have made (RegistryChangeCount): access lists of
//     keys, programs started (not those a plan only
//     records), so every uninstaller run; the detection
//     that judges a removal; a look that must not
//     repeat an earlier answer; a deletion no keeper of
//     reads on the thread heard
//   another machine behind the seam (OsGeneration)       all of it
//   a read that meets an error                           that read: it is answered, never held
//
// It hears the run's deletions as a listener of the run record (RunRegistryReadsScope).
class RunRegistryReads : public RunListener {
public:
    // `plan`: the reads of a plan, whose programs are only recorded and change nothing.
    explicit RunRegistryReads(bool plan = false)
        : plan_(plan)
    {
    }

    // Whether the reads of root\path in that view are held: one of the four locations, or (for
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
    // The children of a kept location whose value (of their key `below` them, unless empty) is
    // the REG_SZ `wanted`, in the order listed: what names() and value() answer child by child,
    // with the same reads and notes, without copying what is held.
    std::vector<std::u16string> childrenWith(const std::u16string& path, REGSAM view, const std::u16string& below,
                                             const std::u16string& valueName, const std::u16string& wanted,
                                             const std::function<std::vector<std::u16string>()>& read);

    // The children of a kept location whose own key holds the REG_SZ `valueName`, in the order
    // listed: what value() answers child by child. From the second name asked on, read only for
    // the children whose values (each child's listed once) include the name, or could not be listed.
    std::vector<std::u16string> childrenHolding(const std::u16string& path, REGSAM view, const std::u16string& valueName,
                                                const std::function<std::vector<std::u16string>()>& read);

    void deleted(const DeletedObject& object, const RegistryDeletion* registry) override;
    bool keepsRegistryReads() const override { return true; }
    bool programsChangeNothing() const override { return plan_; }

private:
    const bool plan_;
    // Drops what went: root\path (`value` null), or its value.
    void forget(HKEY root, const std::u16string& path, const std::u16string* value);
    void dropIfChanged();
    void dropAll();
    // A key (`value` null) or value at `rest` below the location went: the probes forget it.
    void forgetInProbes(std::size_t place, const std::u16string& rest, const std::u16string* value);

    unsigned changes_ = 0;
    unsigned generation_ = 0;
    // By location; the values by location and the rest of the key's path in upper case, as the
    // registry compares names.
    using Values = std::map<std::u16string, std::optional<RegistryText>>;
    std::map<std::size_t, std::vector<std::u16string>> names_;
    std::map<std::size_t, std::map<std::u16string, Values>> values_;
    // A listing that met an error, answered once and not kept.
    std::vector<std::u16string> unkept_;
    // What childrenWith() found of one value (of the key `below` each child) of a location's
    // children, by text, so that a lookup costs its matches and not the location's size; and
    // what childrenHolding() found of the names of each child's values, by name in upper case. A
    // child whose key or value is deleted leaves it; it goes with its location.
    struct Probe {
        std::vector<std::u16string> names;                               // the listing it was made of
        std::unordered_map<std::u16string, std::vector<std::size_t>> byText; // text or name: places in names
        std::vector<std::size_t> unsure;                                 // reads not kept: read each time
        // By the child's name in upper case: its place in names and what it is filed under.
        std::unordered_map<std::u16string, std::pair<std::size_t, std::vector<std::u16string>>> filed;
    };
    std::map<std::tuple<std::size_t, std::u16string, std::u16string>, Probe> probes_;
    std::map<std::size_t, Probe> valueNames_;
    std::map<std::size_t, std::u16string> firstAsked_; // the first value name childrenHolding() was asked, folded
    // Takes the child filed in `held` out of its lists: all of them, or the one of `under` alone.
    static void unfile(Probe& held, const std::u16string& child, const std::u16string* under);

    const std::vector<std::u16string>& listing(const std::u16string& path, REGSAM view,
                                               const std::function<std::vector<std::u16string>()>& read);
};

// The registry reads of the pass running on this thread, or null when none runs.
RunRegistryReads* ActiveRunRegistryReads();

// Whoever runs a detection or removal pass holds one on the thread that runs it, for the
// pass's duration; without one, the lookups read the registry every time. Scopes nest: the
// inner one has its own reads. Its run record hears the pass's deletions.
class RunRegistryReadsScope {
public:
    explicit RunRegistryReadsScope(bool plan = false)
        : reads_(plan), record_(&reads_)
    {
    }

private:
    RunRegistryReads reads_;
    RunRecordScope record_;
};
