#include "support/suite_installation.h"

#include <algorithm>

#include "platform/registry.h"
#include "platform/text.h"
#include "toolkit/uninstall_lookups.h"

namespace {

using Kind = SuiteItem::Kind;
using Root = SuiteItem::Root;

const std::u16string kViewMark = u" (64-bit view)";
const std::u16string kDataSources = u"SOFTWARE\\ODBC\\ODBC.INI\\";

std::string Folded(std::u16string_view text)
{
    std::string folded = ToUtf8(text);
    for (char& c : folded)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return folded;
}

// A name the record gives, as the checks compare it: the family of its kind first ("KEY",
// "KEY64" for the 64-bit view, "PATH" for files, folders and what waits for the restart, or the
// kind), then the name in upper case, a value by its key, a user's hive below HKU as the HKCU it
// is for that user.
std::string Canonical(std::u16string_view kind, std::u16string name)
{
    std::string family = Folded(kind);
    if (family == "REGISTRYKEY" || family == "REGISTRYVALUE") {
        const std::size_t open = name.find(u":[");
        if (open != std::u16string::npos)
            name.erase(open, name.find(u']', open) + 1 - open);
        const bool view64 = name.size() > kViewMark.size() && name.compare(name.size() - kViewMark.size(), kViewMark.size(), kViewMark) == 0;
        if (view64)
            name.resize(name.size() - kViewMark.size());
        const std::size_t hive = name.find(u'\\', 4);
        if (name.rfind(u"HKU\\S-1-5-21-", 0) == 0 && hive != std::u16string::npos)
            name = u"HKCU" + name.substr(hive);
        family = view64 ? "KEY64" : "KEY";
    } else if (family == "FILE" || family == "FOLDER" || family == "PENDINGRESTART") {
        family = "PATH";
    }
    return family + " " + Folded(name);
}

// The names the record may give the item: a key's (a value's key's, or its data source's), a
// path, a service's, database's or job's name.
std::vector<std::string> RecordNames(const SuiteItem& item)
{
    const char16_t* root = item.root == Root::CurrentUser ? u"HKCU\\" : item.root == Root::Users ? u"HKU\\" : u"HKLM\\";
    switch (item.kind) {
    case Kind::Key:
    case Kind::Value: {
        std::vector<std::string> names = {Canonical(u"registryKey", root + item.path + (item.view64 ? kViewMark : u""))};
        const std::u16string list = kDataSources + u"ODBC Data Sources";
        if (item.kind == Kind::Value && item.path.rfind(kDataSources, 0) == 0)
            names.push_back(Canonical(u"dataSource", item.path == list ? item.name : item.path.substr(kDataSources.size())));
        return names;
    }
    case Kind::Folder:
    case Kind::Junction:
    case Kind::File:
        return {Canonical(u"file", item.path)};
    case Kind::Service:
        return {Canonical(u"service", item.path)};
    case Kind::Line: {
        const std::size_t tab = item.path.find(u'\t');
        const std::u16string what = item.path.substr(0, tab);
        if (what == u"database" || what == u"job")
            return {Canonical(what == u"job" ? u"agentJob" : what, item.path.substr(tab + 1))};
        return {};
    }
    case Kind::Package:
        break;
    }
    return {};
}

// Whether the values hold this one, with its type and data.
bool Holds(const std::vector<RegistryValue>& values, const RegistryValue& value)
{
    return std::any_of(values.begin(), values.end(), [&value](const RegistryValue& v) {
        return v.name == value.name && v.type == value.type && v.data == value.data;
    });
}

// Whether one name is the other, below it or above it.
bool Related(const std::string& a, const std::string& b)
{
    const auto below = [](const std::string& low, const std::string& high) {
        return low.size() > high.size() && low.compare(0, high.size(), high) == 0 && low[high.size()] == '\\';
    };
    return a == b || below(a, b) || below(b, a);
}

} // namespace

std::string AuditGaps(const std::vector<SuiteItem>& items, const std::vector<DeletedObject>& deleted,
                      const std::function<bool(const SuiteItem&)>& alsoTaken)
{
    std::vector<std::string> names;
    for (const DeletedObject& object : deleted)
        names.push_back(Canonical(DeletedKindName(object.kind), object.name));
    std::string gaps;
    for (const SuiteItem& item : items) {
        const std::vector<std::string> forms = RecordNames(item);
        if (!OfTheSuite(item) || forms.empty() || !item.package.empty() ||
            ((item.kind == Kind::Key || item.kind == Kind::Value) && item.path.rfind(kUninstallKey, 0) == 0) ||
            (alsoTaken && alsoTaken(item)))
            continue;
        if (std::none_of(forms.begin(), forms.end(), [&names](const std::string& form) {
                return std::find(names.begin(), names.end(), form) != names.end();
            }))
            gaps += "not recorded: " + Describe(item) + "\n";
    }
    for (std::size_t i = 0; i < deleted.size(); ++i) {
        if (deleted[i].kind == DeletedKind::Uninstaller)
            continue;
        const bool ours = std::any_of(items.begin(), items.end(), [&](const SuiteItem& item) {
            const std::vector<std::string> forms = RecordNames(item);
            return OfTheSuite(item) && std::any_of(forms.begin(), forms.end(), [&](const std::string& form) { return Related(names[i], form); });
        });
        if (!ours)
            gaps += "beyond the suite: " + ToUtf8(DeletedKindName(deleted[i].kind)) + " " + ToUtf8(deleted[i].name) + "\n";
    }
    return gaps;
}

std::string RegistryKeyName(const std::u16string& name)
{
    return Canonical(u"registryKey", name);
}

std::string NotGivenBack(const RegistryContents& before, const RegistryContents& after,
                         const std::function<bool(const std::string& key, const RegistryValue* value)>& went)
{
    std::string gaps;
    for (const auto& [key, values] : before) {
        const auto back = after.find(key);
        if (back == after.end() && went(key, nullptr))
            gaps += "key not given back: " + key + "\n";
        for (const RegistryValue& value : values)
            if (went(key, &value) && (back == after.end() || !Holds(back->second, value)))
                gaps += "value not given back: " + key + ":[" + ToUtf8(value.name) + "]\n";
    }
    return gaps;
}

std::string RestoreGaps(const std::vector<SuiteItem>& items, const RegistryContents& before, const RegistryContents& after,
                        const std::vector<DeletedObject>& deleted)
{
    std::string gaps;
    for (const DeletedObject& object : deleted) {
        if (object.kind != DeletedKind::RegistryKey && object.kind != DeletedKind::RegistryValue)
            continue;
        const std::string key = Canonical(DeletedKindName(object.kind), object.name);
        if (!after.count(key) || !before.count(key))
            gaps += "not put back: " + key + "\n";
    }
    // Every value of a key that is there again is there as it was; but a value a package installed
    // goes with its uninstall, which may come before the run deletes its key: the backup cannot
    // hold it then.
    gaps += NotGivenBack(before, after, [&](const std::string& key, const RegistryValue* value) {
        return value != nullptr && after.count(key) && std::none_of(items.begin(), items.end(), [&](const SuiteItem& item) {
                   return item.kind == Kind::Value && !item.package.empty() && Folded(item.name) == Folded(value->name) &&
                          RecordNames(item)[0] == key;
               });
    });
    for (const auto& [key, values] : after) {
        const auto was = before.find(key);
        if (was == before.end()) {
            gaps += "new: " + key + "\n";
            continue;
        }
        // The system's list of deletions at the next start is not the suite's, and no backup holds it.
        for (const RegistryValue& value : values)
            if (value.name != u"PendingFileRenameOperations" && !Holds(was->second, value))
                gaps += "has a value it did not have: " + key + ":[" + ToUtf8(value.name) + "]\n";
    }
    return gaps;
}
