#include "toolkit/registry_cleanup.h"

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/registry.h"
#include "toolkit/access.h"

namespace {

void Outcome(Remove::Log* log, bool found)
{
    writeLine(log, found ? u"found" : u"not found");
}

bool StartsWith(const std::u16string& name, const std::u16string& prefix)
{
    return name.compare(0, prefix.size(), prefix) == 0;
}

// Walks the children of an open key, calling `visit(name)` until it answers false.
template <class Visit>
void WalkChildren(HKEY key, Visit visit)
{
    RegistryKeyEntry entry;
    for (DWORD index = 0; RegEnumKeyChecked(key, index, entry); ++index)
        if (!visit(entry.name))
            return;
}

// The description of the exception being handled, its line end, then "...<what> \"<key>\"".
void FailureLines(Remove::Log* log, std::u16string_view what, HKEY root, const std::u16string& path)
{
    writeLine(log, DescribeCurrentExceptionW());
    log->write(what);
    log->write(u" \"");
    log->write(DisplayPath(root, path));
    log->write(u"\"");
    log->write(EOL);
}

} // namespace

bool CheckRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log)
{
    log->write(u"Checking for registry key \"");
    log->write(DisplayPath(root, path));
    log->write(u"\"...");
    const bool found = RegistryKeyExists(root, path, KEY_READ);
    Outcome(log, found);
    return found;
}

bool CheckRegistryValue(HKEY root, const std::u16string& path, const std::u16string& valueName,
                        Remove::Log* log)
{
    log->write(u"Checking for registry key value \"");
    log->write(DisplayPath(root, path));
    log->write(u":[");
    log->write(valueName);
    log->write(u"]\"...");
    const bool found = RegistryValueExists(root, path, valueName, KEY_READ);
    Outcome(log, found);
    return found;
}

bool CheckChildKeysWithPrefix(HKEY root, const std::u16string& path, const std::u16string& prefix,
                              Remove::Log* log)
{
    log->write(u"Checking for registry keys that are child of key \"");
    log->write(DisplayPath(root, path));
    log->write(u"\" and have a name starting with \"");
    log->write(prefix);
    log->write(u"\"...");
    bool found = false;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
        WalkChildren(key.get(), [&](const std::u16string& name) {
            found = StartsWith(name, prefix);
            return !found;
        });
    } catch (...) {
        found = false;
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    Outcome(log, found);
    return found;
}

std::vector<std::u16string> FindChildKeysWithPrefix(HKEY root, const std::u16string& path,
                                                    const std::u16string& prefix)
{
    std::vector<std::u16string> paths;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
        WalkChildren(key.get(), [&](const std::u16string& name) {
            if (StartsWith(name, prefix))
                paths.push_back(path + u"\\" + name);
            return true;
        });
    } catch (...) {
        // What was gathered before the error stands.
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return paths;
}

bool DeleteRegistryKey(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view)
{
    // Only a key that is not there is done with; one that cannot be opened is gone through, with
    // its access recovered.
    {
        UniqueKey key;
        const auto opened = static_cast<DWORD>(Os().regOpenKeyEx(root, path.c_str(), 0, KEY_READ | view, key.put()));
        if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND)
            return true;
    }
    log->write(u"Deleting registry key \"");
    log->write(DisplayPath(root, path));
    log->write(u"\"...");
    if (!DeleteRegistryKeyTree(root, path, log, view))
        return false;
    writeLine(log, u"done");
    return true;
}

bool DeleteRegistryKeyTree(HKEY root, const std::u16string& path, Remove::Log* log, REGSAM view)
{
    if (!GrantKeyAccess(root, path, log, view))
        return false;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ | view);
        RegistryKeyEntry child;
        // Each deleted child moves the next one to index 0.
        while (RegEnumKeyChecked(key.get(), 0, child))
            if (!DeleteRegistryKeyTree(root, path + u"\\" + child.name, log, view))
                return false;
    } catch (...) {
        FailureLines(log, u"...error occurred while enumerating subkeys of", root, path);
        return false;
    }
    try {
        RegDeleteKeyChecked(root, path, view);
    } catch (...) {
        FailureLines(log, u"...error occurred while trying to delete key", root, path);
        return false;
    }
    return true;
}
