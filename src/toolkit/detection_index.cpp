#include "toolkit/detection_index.h"

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

thread_local DetectionIndex* active = nullptr;

// Registry names compare without case; ASCII is what the suite's keys and every code use.
std::u16string Folded(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
}

// Whether `path` is `key` or lies below it; both folded.
bool AtOrBelow(std::u16string_view path, std::u16string_view key)
{
    return path.compare(0, key.size(), key) == 0 && (path.size() == key.size() || path[key.size()] == u'\\');
}

// A key below a location, as the index keeps it: the location's place in Locations() and the
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

bool DetectionIndex::keepsNames(HKEY root, const std::u16string& path, REGSAM view)
{
    return LocationOf(root, path, view, false) != nullptr;
}

bool DetectionIndex::keepsValues(HKEY root, const std::u16string& path, REGSAM view)
{
    return LocationOf(root, path, view, true) != nullptr;
}

void DetectionIndex::dropIfChanged()
{
    if (changes_ == RegistryChangeCount() && generation_ == OsGeneration())
        return;
    dropAll();
}

void DetectionIndex::dropAll()
{
    names_.clear();
    values_.clear();
    changes_ = RegistryChangeCount();
    generation_ = OsGeneration();
}

void DetectionIndex::deleted(HKEY root, const std::u16string& path, const std::u16string* value)
{
    if (root == HKEY_CURRENT_USER || root == HKEY_USERS)
        return;
    // The classes root shows the machine's keys under other names, and an open key is no place
    // the index can name: anything it holds may be gone.
    if (root != HKEY_LOCAL_MACHINE) {
        dropAll();
        return;
    }
    // Either view: the keys below Classes are the same in both.
    const std::u16string gone = Folded(path);
    for (std::size_t place = 0; place < Locations().size(); ++place) {
        const std::u16string base = Folded(Locations()[place].path);
        const auto first = values_.lower_bound({place, u""});
        if (AtOrBelow(base, gone)) {
            if (value == nullptr) {
                names_.erase(place);
                values_.erase(first, values_.lower_bound({place + 1, u""}));
            }
            continue;
        }
        if (gone.size() <= base.size() || !AtOrBelow(gone, base))
            continue;
        const std::u16string rest = gone.substr(base.size() + 1);
        if (value != nullptr) {
            const auto kept = values_.find({place, rest});
            if (kept == values_.end())
                continue;
            for (auto read = kept->second.begin(); read != kept->second.end();)
                read = Folded(read->first) == Folded(*value) ? kept->second.erase(read) : std::next(read);
            continue;
        }
        const auto listed = names_.find(place);
        if (listed != names_.end() && rest.find(u'\\') == std::u16string::npos) {
            std::vector<std::u16string>& names = listed->second;
            names.erase(std::remove_if(names.begin(), names.end(),
                                       [&rest](const std::u16string& name) { return Folded(name) == rest; }),
                        names.end());
        }
        auto key = values_.lower_bound({place, rest});
        while (key != values_.end() && key->first.first == place && AtOrBelow(key->first.second, rest))
            key = values_.erase(key);
    }
}

std::vector<std::u16string> DetectionIndex::names(const std::u16string& path, REGSAM view,
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
    const ProbeErrorScope errors;
    std::vector<std::u16string> names = read();
    if (!errors.first())
        names_.emplace(key, names);
    return names;
}

std::optional<RegistryText> DetectionIndex::value(const std::u16string& path, const std::u16string& valueName,
                                                  REGSAM view)
{
    dropIfChanged();
    auto& read = values_[*PlaceOf(path, view)];
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
    const ProbeErrorScope errors;
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
    if (errors.first())
        for (const std::u16string& name : wanted)
            read.erase(name);
    return answer;
}

DetectionIndex* ActiveDetectionIndex()
{
    return active;
}

DetectionIndexScope::DetectionIndexScope()
    : previous_(active), keeper_(index_)
{
    active = &index_;
}

DetectionIndexScope::~DetectionIndexScope()
{
    active = previous_;
}
