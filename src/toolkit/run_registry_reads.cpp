#include "toolkit/run_registry_reads.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "toolkit/uninstall_lookups.h"

namespace {

// Where the lookups look under HKEY_LOCAL_MACHINE, and what they read of every child there
// (of the child's own key below it, for UserData): read together when a child is first read.
struct Location {
    const char16_t* path;
    REGSAM view;
    const char16_t* below;
    std::vector<std::u16string> together;
};

const std::vector<Location>& Locations()
{
    static const std::vector<Location> locations = {
        {kUninstallKey, 0, u"", {u"DisplayName"}},
        {kInstallerProductsKey, 0, u"", {u"ProductName", u"RemovedProductName"}},
        {kInstallerUpgradeCodesKey, 0, u"", {}},
        // Windows Installer keeps UserData in the 64-bit view only.
        {kInstallerUserDataKey, KEY_WOW64_64KEY, u"InstallProperties", {u"DisplayName"}},
    };
    return locations;
}

const Location* LocationOf(HKEY root, const std::u16string& path, REGSAM view, bool below)
{
    if (root != HKEY_LOCAL_MACHINE)
        return nullptr;
    for (const Location& location : Locations()) {
        const std::u16string_view base = location.path;
        if (location.view != view || path.compare(0, base.size(), base) != 0)
            continue;
        if (!below && path.size() == base.size())
            return &location;
        if (below && path.size() > base.size() + 1 && path[base.size()] == u'\\')
            return &location;
    }
    return nullptr;
}

// The values the lookups read of a location's child, when `path` is that child's key.
const std::vector<std::u16string>* TogetherFor(const std::u16string& path, REGSAM view)
{
    const Location* location = LocationOf(HKEY_LOCAL_MACHINE, path, view, true);
    if (location == nullptr)
        return nullptr;
    std::u16string_view rest = std::u16string_view(path).substr(std::u16string_view(location->path).size() + 1);
    const std::size_t separator = rest.find(u'\\');
    const std::u16string_view tail = separator == std::u16string_view::npos ? std::u16string_view() : rest.substr(separator + 1);
    return tail == location->below ? &location->together : nullptr;
}

// Registry names compare without case; ASCII is what the suite's keys and every code use.
std::u16string Folded(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

// Beyond ASCII the registry's rules of case are not Folded()'s.
bool Ascii(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
}

// Whether `path` is `key` or lies below it; both folded.
bool AtOrBelow(std::u16string_view path, std::u16string_view key)
{
    return path.compare(0, key.size(), key) == 0 && (path.size() == key.size() || path[key.size()] == u'\\');
}

// A key below a location, as it is held: the location's place in Locations() and the
// rest of the path, folded. Keeping the long common start out of the key makes each lookup short.
std::optional<std::pair<std::size_t, std::u16string>> PlaceOf(const std::u16string& path, REGSAM view)
{
    const Location* location = LocationOf(HKEY_LOCAL_MACHINE, path, view, true);
    if (location == nullptr)
        return std::nullopt;
    return std::make_pair(static_cast<std::size_t>(location - Locations().data()),
                          Folded(path.substr(std::u16string_view(location->path).size() + 1)));
}

} // namespace

bool RunRegistryReads::keepsNames(HKEY root, const std::u16string& path, REGSAM view)
{
    return LocationOf(root, path, view, false) != nullptr;
}

bool RunRegistryReads::keepsValues(HKEY root, const std::u16string& path, REGSAM view)
{
    return LocationOf(root, path, view, true) != nullptr;
}

void RunRegistryReads::dropIfChanged()
{
    if (changes_ == RegistryChangeCount() && generation_ == OsGeneration())
        return;
    dropAll();
}

void RunRegistryReads::dropAll()
{
    names_.clear();
    values_.clear();
    probes_.clear();
    valueNames_.clear();
    firstAsked_.clear();
    changes_ = RegistryChangeCount();
    generation_ = OsGeneration();
}

void RunRegistryReads::deleted(const DeletedObject&, const RegistryDeletion* registry)
{
    if (registry != nullptr)
        forget(registry->root, registry->path, registry->value);
}

void RunRegistryReads::forget(HKEY root, const std::u16string& path, const std::u16string* value)
{
    if (root == HKEY_CURRENT_USER || root == HKEY_USERS)
        return;
    // The classes root shows the machine's keys under other names, and an open key is no place
    // these reads can name: anything held may be gone.
    if (root != HKEY_LOCAL_MACHINE) {
        dropAll();
        return;
    }
    // Either view: the keys below Classes are the same in both.
    const std::u16string gone = Folded(path);
    for (std::size_t place = 0; place < Locations().size(); ++place) {
        const std::u16string base = Folded(Locations()[place].path);
        if (AtOrBelow(base, gone)) {
            if (value == nullptr) {
                probes_.erase(probes_.lower_bound({place, u"", u""}), probes_.lower_bound({place + 1, u"", u""}));
                names_.erase(place);
                values_.erase(place);
                valueNames_.erase(place);
                firstAsked_.erase(place);
            }
            continue;
        }
        if (gone.size() <= base.size() || !AtOrBelow(gone, base))
            continue;
        const std::u16string rest = gone.substr(base.size() + 1);
        forgetInProbes(place, rest, value);
        const auto kept = values_.find(place);
        if (value != nullptr) {
            if (kept == values_.end())
                continue;
            const auto key = kept->second.find(rest);
            if (key == kept->second.end())
                continue;
            for (auto read = key->second.begin(); read != key->second.end();)
                read = Folded(read->first) == Folded(*value) ? key->second.erase(read) : std::next(read);
            continue;
        }
        const auto listed = names_.find(place);
        if (listed != names_.end() && rest.find(u'\\') == std::u16string::npos) {
            std::vector<std::u16string>& names = listed->second;
            names.erase(std::remove_if(names.begin(), names.end(),
                                       [&rest](const std::u16string& name) { return Folded(name) == rest; }),
                        names.end());
        }
        if (kept == values_.end())
            continue;
        auto key = kept->second.lower_bound(rest);
        while (key != kept->second.end() && AtOrBelow(key->first, rest))
            key = kept->second.erase(key);
    }
}

void RunRegistryReads::forgetInProbes(std::size_t place, const std::u16string& rest, const std::u16string* value)
{
    const std::u16string child = rest.substr(0, rest.find(u'\\'));
    for (auto probe = probes_.lower_bound({place, u"", u""}); probe != probes_.end() && std::get<0>(probe->first) == place;
         ++probe) {
        // The key the probe reads of the child, and whether what went is what it read.
        const std::u16string read = child + std::get<1>(probe->first);
        const bool gone = value == nullptr ? AtOrBelow(read, rest)
                                           : read == rest && Folded(std::get<2>(probe->first)) == Folded(*value);
        if (gone)
            unfile(probe->second, child, nullptr);
    }
    // A value goes from the names of its own key's values; a key, with every child at or below it.
    if (const auto names = valueNames_.find(place); names != valueNames_.end()) {
        if (value == nullptr && AtOrBelow(child, rest))
            unfile(names->second, child, nullptr);
        else if (value != nullptr && rest == child) {
            const std::u16string name = Folded(*value);
            unfile(names->second, child, &name);
        }
    }
}

void RunRegistryReads::unfile(Probe& held, const std::u16string& child, const std::u16string* under)
{
    const auto filed = held.filed.find(child);
    if (filed == held.filed.end())
        return;
    auto& [at, keys] = filed->second;
    const auto drop = [at = at](std::vector<std::size_t>& list) { list.erase(std::remove(list.begin(), list.end(), at), list.end()); };
    for (auto key = keys.begin(); key != keys.end();) {
        if (under != nullptr && *key != *under) {
            ++key;
            continue;
        }
        drop(held.byText[*key]);
        key = keys.erase(key);
    }
    if (under == nullptr) {
        drop(held.unsure);
        held.filed.erase(filed);
    }
}

const std::vector<std::u16string>& RunRegistryReads::listing(const std::u16string& path, REGSAM view,
                                                            const std::function<std::vector<std::u16string>()>& read)
{
    dropIfChanged();
    const Location* location = LocationOf(HKEY_LOCAL_MACHINE, path, view, false);
    const std::size_t key = static_cast<std::size_t>(location - Locations().data());
    const auto found = names_.find(key);
    if (found != names_.end())
        return found->second;
    // A listing cut short by an error is answered but not kept: the next lookup tries again, and
    // notes the error again for whichever detection it serves.
    const RunRecordScope record;
    std::vector<std::u16string> names = read();
    if (record.firstProbeError()) {
        unkept_ = std::move(names);
        return unkept_;
    }
    return names_.emplace(key, std::move(names)).first->second;
}

std::vector<std::u16string> RunRegistryReads::names(const std::u16string& path, REGSAM view,
                                                    const std::function<std::vector<std::u16string>()>& read)
{
    return listing(path, view, read);
}

std::vector<std::u16string> RunRegistryReads::childrenWith(const std::u16string& path, REGSAM view,
                                                           const std::u16string& below, const std::u16string& valueName,
                                                           const std::u16string& wanted,
                                                           const std::function<std::vector<std::u16string>()>& read)
{
    const std::vector<std::u16string>& listed = listing(path, view, read);
    const std::size_t place = static_cast<std::size_t>(LocationOf(HKEY_LOCAL_MACHINE, path, view, false) - Locations().data());
    const std::u16string tail = below.empty() ? std::u16string() : u"\\" + Folded(below);
    const auto childPath = [&](const std::u16string& name) {
        return path + u"\\" + name + (below.empty() ? std::u16string() : u"\\" + below);
    };
    // The value as held; null when it is not (not read yet, or its read failed).
    const auto held = [&](const std::u16string& name) -> const std::optional<RegistryText>* {
        if (const auto location = values_.find(place); location != values_.end())
            if (const auto child = location->second.find(Folded(name) + tail); child != location->second.end())
                if (const auto known = child->second.find(valueName); known != child->second.end())
                    return &known->second;
        return nullptr;
    };
    const auto matches = [&wanted](const std::optional<RegistryText>& answer) {
        return answer && answer->type == REG_SZ && answer->text == wanted;
    };
    std::vector<std::u16string> found;
    if (&listed == &unkept_) {
        // A listing not kept makes no probe either: child by child, as if nothing were held.
        const std::vector<std::u16string> names = unkept_;
        for (const std::u16string& name : names) {
            const std::optional<RegistryText>* known = held(name);
            if (known ? matches(*known) : matches(value(childPath(name), valueName, view)))
                found.push_back(name);
        }
        return found;
    }
    const auto key = std::make_tuple(place, tail, valueName);
    auto probe = probes_.find(key);
    if (probe == probes_.end()) {
        // Made as a pass that holds nothing reads: each child not held is read now, in order.
        Probe made;
        made.names = listed;
        std::vector<std::size_t> places;
        for (std::size_t at = 0; at < made.names.size(); ++at) {
            const std::u16string& name = made.names[at];
            const std::optional<RegistryText>* known = held(name);
            std::optional<RegistryText> answer;
            if (!known) {
                answer = value(childPath(name), valueName, view);
                known = held(name);
            }
            std::vector<std::u16string> text;
            if (known) {
                if (*known && (*known)->type == REG_SZ) {
                    text.push_back((*known)->text);
                    made.byText[text.back()].push_back(at);
                }
                if (matches(*known))
                    places.push_back(at);
            } else {
                made.unsure.push_back(at);
                if (matches(answer))
                    places.push_back(at);
            }
            made.filed[Folded(name)] = {at, std::move(text)};
        }
        for (const std::size_t at : places)
            found.push_back(made.names[at]);
        probes_.emplace(key, std::move(made));
        return found;
    }
    // Held values answer from the probe; what could not be read is read (and noted) again.
    std::vector<std::size_t> places;
    if (const auto hits = probe->second.byText.find(wanted); hits != probe->second.byText.end())
        places = hits->second;
    for (const std::size_t at : probe->second.unsure) {
        const std::u16string& name = probe->second.names[at];
        const std::optional<RegistryText>* known = held(name);
        if (known ? matches(*known) : matches(value(childPath(name), valueName, view)))
            places.push_back(at);
    }
    std::sort(places.begin(), places.end());
    for (const std::size_t at : places)
        found.push_back(probe->second.names[at]);
    return found;
}

std::vector<std::u16string> RunRegistryReads::childrenHolding(const std::u16string& path, REGSAM view,
                                                              const std::u16string& valueName,
                                                              const std::function<std::vector<std::u16string>()>& read)
{
    const std::vector<std::u16string>& listed = listing(path, view, read);
    const auto holds = [&](const std::u16string& name) {
        const std::optional<RegistryText> answer = value(path + u"\\" + name, valueName, view);
        return answer && answer->type == REG_SZ;
    };
    std::vector<std::u16string> found;
    const std::size_t place = static_cast<std::size_t>(LocationOf(HKEY_LOCAL_MACHINE, path, view, false) - Locations().data());
    auto probe = valueNames_.find(place);
    // Child by child: for a listing not kept, a name that cannot be folded as the registry does,
    // or the first name asked of these children (asked again, it is read from memory); the
    // children's values are listed once a second name is asked.
    const bool firstName = firstAsked_.emplace(place, Folded(valueName)).first->second == Folded(valueName);
    if (&listed == &unkept_ || !Ascii(valueName) || (probe == valueNames_.end() && firstName)) {
        const std::vector<std::u16string> names = listed;
        for (const std::u16string& name : names)
            if (holds(name))
                found.push_back(name);
        return found;
    }
    if (probe == valueNames_.end()) {
        Probe made;
        made.names = listed;
        for (std::size_t at = 0; at < made.names.size(); ++at) {
            std::vector<std::u16string> names;
            bool sure = true;
            try {
                const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path + u"\\" + made.names[at], KEY_READ | view);
                for (const std::u16string& held : RegValueNamesChecked(key.get())) {
                    sure = sure && Ascii(held);
                    names.push_back(Folded(held));
                }
            } catch (...) {
                // Read as if nothing were held, each time; its errors are noted there.
                sure = false;
            }
            if (!sure) {
                names.clear();
                made.unsure.push_back(at);
            }
            for (const std::u16string& name : names)
                made.byText[name].push_back(at);
            made.filed[Folded(made.names[at])] = {at, std::move(names)};
        }
        probe = valueNames_.emplace(place, std::move(made)).first;
    }
    std::vector<std::size_t> places = probe->second.unsure;
    if (const auto hits = probe->second.byText.find(Folded(valueName)); hits != probe->second.byText.end())
        places.insert(places.end(), hits->second.begin(), hits->second.end());
    std::sort(places.begin(), places.end());
    for (const std::size_t at : places)
        if (holds(probe->second.names[at]))
            found.push_back(probe->second.names[at]);
    return found;
}

std::optional<RegistryText> RunRegistryReads::value(const std::u16string& path, const std::u16string& valueName,
                                                    REGSAM view)
{
    dropIfChanged();
    const auto place = *PlaceOf(path, view);
    auto& read = values_[place.first][place.second];
    const auto known = read.find(valueName);
    if (known != read.end())
        return known->second;

    // One open for what the lookups read of the key; a value they ask later opens it again.
    std::vector<std::u16string> wanted{valueName};
    if (read.empty())
        if (const std::vector<std::u16string>* together = TogetherFor(path, view))
            for (const std::u16string& name : *together)
                if (name != valueName)
                    wanted.push_back(name);
    const std::u16string where = u"\"" + DisplayPath(HKEY_LOCAL_MACHINE, path) + u"\"";
    const RunRecordScope record;
    try {
        const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path, KEY_READ | view);
        for (const std::u16string& name : wanted) {
            try {
                read[name] = RegQueryTextChecked(key.get(), name);
            } catch (...) {
                NoteCurrentProbeError(where);
                read[name] = std::nullopt;
            }
        }
    } catch (...) {
        NoteCurrentProbeError(where);
        for (const std::u16string& name : wanted)
            read[name] = std::nullopt;
    }
    const std::optional<RegistryText> answer = read[valueName];
    // What an error kept from being read is not kept, as with the listings.
    if (record.firstProbeError())
        for (const std::u16string& name : wanted)
            read.erase(name);
    return answer;
}

RunRegistryReads* ActiveRunRegistryReads()
{
    return ListenerInScope<RunRegistryReads>();
}
