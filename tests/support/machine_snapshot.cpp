#include "support/machine_snapshot.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/text.h"

namespace {

using View = SimRegistry::View;

std::string Hex(const std::vector<BYTE>& bytes)
{
    std::string text;
    char digits[3];
    for (const BYTE byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

void Walk(const SimRegistry& registry, HKEY root, const std::u16string& shown, const std::u16string& path, View view,
          const std::function<void(const std::u16string&, const std::u16string&)>& visit)
{
    // The 32-bit view of HKLM\SOFTWARE is its own walk.
    if (path == u"SOFTWARE\\WOW6432Node")
        return;
    if (!path.empty())
        visit(shown + path + (view == View::Native64 ? u" (64-bit view)" : u""), path);
    for (const std::u16string& child : registry.subkeys(root, path, view))
        Walk(registry, root, shown, path.empty() ? child : path + u"\\" + child, view, visit);
}

void Keys(const SimRegistry& registry, HKEY root, const std::string& shown, View view, std::vector<std::string>& lines)
{
    VisitKeys(registry, root, ToUtf16(shown), view, [&](const std::u16string& name, const std::u16string& path) {
        const std::string key = ToUtf8(name);
        lines.push_back(key);
        for (const RegistryValue& value : registry.values(root, path, view))
            lines.push_back(key + " [" + ToUtf8(value.name) + "] " + std::to_string(value.type) + ":" + Hex(value.data));
    });
}

void Files(const SimFileSystem& files, const std::u16string& folder, const std::vector<std::u16string>& skipped,
           std::vector<std::string>& lines)
{
    for (const std::u16string& name : files.entries(folder)) {
        const std::u16string path = folder + (folder.back() == u'\\' ? u"" : u"\\") + name;
        if (std::find(skipped.begin(), skipped.end(), path) != skipped.end())
            continue;
        const DWORD attributes = files.attributes(path);
        std::string line = ToUtf8(path) + " attributes " + std::to_string(attributes);
        if (const auto bytes = files.content(path); bytes && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            line += " bytes " + std::to_string(bytes->size()) + ":" + std::to_string(std::hash<std::string>()(*bytes));
        lines.push_back(line);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            Files(files, path, skipped, lines);
    }
}

} // namespace

void VisitKeys(const SimRegistry& registry, HKEY root, const std::u16string& shown, SimRegistry::View view,
               const std::function<void(const std::u16string& name, const std::u16string& path)>& visit)
{
    Walk(registry, root, shown, u"", view, visit);
}

std::vector<std::string> MachineSnapshot(SimMachine& machine, const std::vector<std::u16string>& skipped)
{
    std::vector<std::string> lines;
    for (const View view : {View::Wow32, View::Native64})
        Keys(machine.registry(), HKEY_LOCAL_MACHINE, "HKLM\\", view, lines);
    Keys(machine.registry(), HKEY_USERS, "HKU\\", View::Wow32, lines);
    for (const std::u16string& drive : machine.files().drives())
        Files(machine.files(), drive, skipped, lines);
    for (const std::u16string& service : machine.services().names())
        lines.push_back("service " + ToUtf8(service) + " state " + std::to_string(machine.services().state(service)) +
                        (machine.services().markedForDeletion(service) ? " marked for deletion" : ""));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string SnapshotChanges(const std::vector<std::string>& before, const std::vector<std::string>& after)
{
    std::vector<std::string> added;
    std::vector<std::string> lost;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
    std::string text;
    for (const std::string& line : added)
        text += "+ " + line + "\n";
    for (const std::string& line : lost)
        text += "- " + line + "\n";
    return text;
}
