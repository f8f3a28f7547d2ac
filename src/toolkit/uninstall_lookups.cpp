#include "toolkit/uninstall_lookups.h"

#include <vector>

#include "core/log.h"
#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "toolkit/file_removal.h"
#include "toolkit/run_registry_reads.h"

namespace {

bool Matches(HKEY root, const std::u16string& path, const std::u16string& valueName,
             const std::u16string& wanted, REGSAM view = 0)
{
    return TryReadRegistrySz(root, path, valueName, view) == wanted;
}

// The run's registry reads, when a pass holds them and they hold that location's.
RunRegistryReads* ReadsFor(HKEY root, const std::u16string& path, REGSAM view)
{
    RunRegistryReads* reads = ActiveRunRegistryReads();
    return reads && RunRegistryReads::keepsValues(root, path, view) ? reads : nullptr;
}

std::vector<std::u16string> ReadSubkeyNames(HKEY root, const std::u16string& path, REGSAM view)
{
    std::vector<std::u16string> names;
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ | view);
        RegistryKeyEntry entry;
        for (DWORD index = 0; RegEnumKeyChecked(key.get(), index, entry); ++index)
            names.push_back(entry.name);
    } catch (...) {
        // The names gathered before the error stand.
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return names;
}

// The first matching Uninstall entry that has the value, read as ReadRegistryString reads it.
OptionalText FromFirstEntry(const std::u16string& displayName, const std::u16string& valueName)
{
    const std::u16string uninstall = kUninstallKey;
    for (const std::u16string& key : FindSubkeysByValue(HKEY_LOCAL_MACHINE, uninstall, u"DisplayName", displayName))
        if (OptionalText value = ReadRegistryString(HKEY_LOCAL_MACHINE, uninstall + u"\\" + key, valueName))
            return value;
    return std::nullopt;
}

void WriteFoundKeys(Remove::Log* log, const std::vector<std::u16string>& keys)
{
    for (const std::u16string& key : keys) {
        log->write(EOL);
        log->write(u"...found key \"");
        log->write(EscapeControlCharacters(key));
        log->write(u"\"");
    }
    if (keys.empty())
        log->write(u"not found");
    log->write(EOL);
}

void LookingFor(Remove::Log* log, std::u16string_view opening, const std::u16string& name,
                std::u16string_view middle, const std::u16string& where)
{
    log->write(opening);
    log->write(name);
    log->write(middle);
    log->write(where);
    log->write(u"\"...");
}

// "found path \"...\"" or "not found", then the line end.
void PathOutcome(Remove::Log* log, const OptionalText& folder)
{
    if (folder) {
        log->write(u"found path \"");
        log->write(*folder);
        log->write(u"\"");
    } else {
        log->write(u"not found");
    }
    log->write(EOL);
}

void CommandOutcome(Remove::Log* log, const OptionalText& command)
{
    if (command) {
        log->write(EOL);
        log->write(u"...found command ");
        log->write(*command);
    } else {
        log->write(u"not found");
    }
    log->write(EOL);
}

std::u16string KeyWithValue(HKEY root, const std::u16string& path, const std::u16string& valueName)
{
    return DisplayPath(root, path) + u":[" + EscapeControlCharacters(valueName) + u"]";
}

} // namespace

std::vector<std::u16string> EnumerateSubkeyNames(HKEY root, const std::u16string& path, REGSAM view)
{
    RunRegistryReads* reads = ActiveRunRegistryReads();
    if (reads && RunRegistryReads::keepsNames(root, path, view))
        return reads->names(path, view, [&] { return ReadSubkeyNames(root, path, view); });
    return ReadSubkeyNames(root, path, view);
}

std::vector<std::u16string> FindSubkeysByValue(HKEY root, const std::u16string& path,
                                               const std::u16string& valueName,
                                               const std::u16string& wanted)
{
    std::vector<std::u16string> found;
    if (RunRegistryReads* reads = ActiveRunRegistryReads(); reads && RunRegistryReads::keepsNames(root, path, 0))
        return reads->childrenWith(path, 0, u"", valueName, wanted, [&] { return ReadSubkeyNames(root, path, 0); });
    try {
        const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
        RegistryKeyEntry entry;
        for (DWORD index = 0; RegEnumKeyChecked(key.get(), index, entry); ++index)
            if (Matches(root, path + u"\\" + entry.name, valueName, wanted))
                found.push_back(entry.name);
    } catch (...) {
        // The matches found before the error stand.
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return found;
}

std::vector<std::u16string> FindSubkeysByNestedValue(HKEY root, const std::u16string& path,
                                                     const std::u16string& childName,
                                                     const std::u16string& valueName,
                                                     const std::u16string& wanted, REGSAM view)
{
    RunRegistryReads* reads = ActiveRunRegistryReads();
    if (reads && RunRegistryReads::keepsNames(root, path, view))
        return reads->childrenWith(path, view, childName, valueName, wanted, [&] { return ReadSubkeyNames(root, path, view); });
    std::vector<std::u16string> found;
    for (const std::u16string& name : EnumerateSubkeyNames(root, path, view))
        if (Matches(root, path + u"\\" + name + u"\\" + childName, valueName, wanted, view))
            found.push_back(name);
    return found;
}

std::vector<std::u16string> FindSubkeysHoldingSz(HKEY root, const std::u16string& path, const std::u16string& valueName)
{
    RunRegistryReads* reads = ActiveRunRegistryReads();
    if (reads && RunRegistryReads::keepsNames(root, path, 0))
        return reads->childrenHolding(path, 0, valueName, [&] { return ReadSubkeyNames(root, path, 0); });
    std::vector<std::u16string> found;
    for (const std::u16string& name : EnumerateSubkeyNames(root, path))
        if (TryReadRegistrySz(root, path + u"\\" + name, valueName))
            found.push_back(name);
    return found;
}

OptionalText TryReadRegistrySz(HKEY root, const std::u16string& path, const std::u16string& valueName, REGSAM view)
{
    if (RunRegistryReads* reads = ReadsFor(root, path, view)) {
        const std::optional<RegistryText> read = reads->value(path, valueName, view);
        if (read && read->type == REG_SZ)
            return read->text;
        return std::nullopt;
    }
    try {
        if (view != 0) {
            // Another view is opened by name with its flag; the value is read through the key.
            const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ | view);
            return ReadRegistrySz(key.get(), u"", valueName);
        }
        return ReadRegistrySz(root, path, valueName);
    } catch (...) {
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
        return std::nullopt;
    }
}

OptionalText ReadRegistryString(HKEY root, const std::u16string& path, const std::u16string& valueName)
{
    try {
        std::u16string text;
        if (RunRegistryReads* reads = ReadsFor(root, path, 0)) {
            const std::optional<RegistryText> read = reads->value(path, valueName, 0);
            if (read && read->type == REG_SZ)
                text = read->text;
            else if (read && read->type == REG_EXPAND_SZ)
                text = ExpandEnvironmentText(read->text);
        } else {
            DWORD type = REG_NONE;
            {
                const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
                type = RegQueryValueChecked(key.get(), valueName, nullptr, 0).type;
            }
            if (type == REG_SZ)
                text = ReadRegistrySz(root, path, valueName);
            else if (type == REG_EXPAND_SZ)
                text = ExpandEnvironmentText(ReadRegistryExpandSz(root, path, valueName));
        }
        // Windows Installer writes a lone terminator for a location it was not given: no text.
        if (!text.empty())
            return text;
    } catch (...) {
        NoteCurrentProbeError(u"\"" + DisplayPath(root, path) + u"\"");
    }
    return std::nullopt;
}

std::u16string GetFileVersionString(const std::u16string& path)
{
    DWORD handle = 0;
    const DWORD size = Os().getFileVersionInfoSize(path.c_str(), &handle);
    if (size == 0)
        ThrowLastError();
    std::vector<BYTE> block(size);
    ThrowLastErrorIfFalse(Os().getFileVersionInfo(path.c_str(), 0, size, block.data()));
    void* info = nullptr;
    UINT length = 0;
    ThrowLastErrorIfFalse(Os().verQueryValue(block.data(), u"\\", &info, &length));
    if (info == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        ThrowWindowsError(ERROR_RESOURCE_DATA_NOT_FOUND);
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(info);
    const auto number = [](DWORD part) {
        const std::string digits = std::to_string(part);
        return std::u16string(digits.begin(), digits.end());
    };
    return number(fixed->dwFileVersionMS >> 16) + u"." + number(fixed->dwFileVersionMS & 0xFFFF) + u"." +
           number(fixed->dwFileVersionLS >> 16) + u"." + number(fixed->dwFileVersionLS & 0xFFFF);
}

bool IsInUninstallList(const std::u16string& displayName, Remove::Log* log)
{
    LookingFor(log, u"Looking for product \"", displayName, u"\" in \"", kUninstallKey);
    const std::vector<std::u16string> keys =
        FindSubkeysByValue(HKEY_LOCAL_MACHINE, kUninstallKey, u"DisplayName", displayName);
    WriteFoundKeys(log, keys);
    return !keys.empty();
}

bool IsInInstallerRegistry(const std::u16string& productName, Remove::Log* log)
{
    LookingFor(log, u"Looking for product \"", productName, u"\" in \"", kInstallerProductsKey);
    LookingFor(log, u"Looking for removed product \"", productName, u"\" in \"", kInstallerProductsKey);
    LookingFor(log, u"Looking for \"", productName, u"\" installer properties in \"", kInstallerUserDataKey);
    std::vector<std::u16string> keys =
        FindSubkeysByValue(HKEY_LOCAL_MACHINE, kInstallerProductsKey, u"ProductName", productName);
    for (std::u16string& key :
         FindSubkeysByValue(HKEY_LOCAL_MACHINE, kInstallerProductsKey, u"RemovedProductName", productName))
        keys.push_back(std::move(key));
    // Windows Installer keeps UserData in the 64-bit view only; on a 32-bit system the flag is
    // ignored.
    for (std::u16string& key : FindSubkeysByNestedValue(HKEY_LOCAL_MACHINE, kInstallerUserDataKey, u"InstallProperties",
                                                        u"DisplayName", productName, KEY_WOW64_64KEY))
        keys.push_back(std::move(key));
    WriteFoundKeys(log, keys);
    return !keys.empty();
}

OptionalText FindInstallLocation(const std::u16string& displayName, Remove::Log* log)
{
    LookingFor(log, u"Looking for the install location of \"", displayName, u"\" in \"HKLM\\", kUninstallKey);
    OptionalText folder = FromFirstEntry(displayName, u"InstallLocation");
    PathOutcome(log, folder);
    return folder;
}

OptionalText FindInstallLocationInKey(HKEY root, const std::u16string& path,
                                      const std::u16string& valueName, Remove::Log* log)
{
    log->write(u"Looking for the install location in \"");
    log->write(KeyWithValue(root, path, valueName));
    log->write(u"\"...");
    OptionalText folder = ReadRegistryString(root, path, valueName);
    PathOutcome(log, folder);
    return folder;
}

OptionalText FindUninstallString(const std::u16string& displayName, Remove::Log* log)
{
    log->write(u"Looking for an uninstall string for \"");
    log->write(displayName);
    log->write(u"\"...");
    OptionalText command = FromFirstEntry(displayName, u"UninstallString");
    CommandOutcome(log, command);
    return command;
}

OptionalText FindUninstallStringInKey(HKEY root, const std::u16string& path,
                                      const std::u16string& valueName,
                                      const std::u16string& displayName, Remove::Log* log)
{
    LookingFor(log, u"Looking for an uninstall string for \"", displayName, u"\" in key \"",
               KeyWithValue(root, path, valueName));
    OptionalText command = ReadRegistryString(root, path, valueName);
    CommandOutcome(log, command);
    return command;
}

OptionalText FindDisplayVersion(const std::u16string& displayName, Remove::Log* log)
{
    LookingFor(log, u"Looking for the display version of \"", displayName, u"\" in \"HKLM\\", kUninstallKey);
    OptionalText version = FromFirstEntry(displayName, u"DisplayVersion");
    if (version) {
        log->write(u"found version ");
        log->write(*version);
    } else {
        log->write(u"not found");
    }
    log->write(EOL);
    return version;
}

OptionalText ReadFileVersion(const std::u16string& path, Remove::Log* log)
{
    log->write(u"Trying to read the version of file \"");
    log->write(path);
    log->write(u"\"...");
    Remove::Log silent;
    OptionalText version;
    if (NotLookedAtAsRemote(path)) {
        log->write(u"refused: remote location");
    } else if (!CheckFile(path, &silent)) {
        log->write(u"file not found");
    } else {
        try {
            version = GetFileVersionString(path);
            log->write(u"file has version ");
            log->write(*version);
        } catch (...) {
            log->write(u"file exists, but failed to read version: ");
            log->write(DescribeCurrentExceptionW());
        }
    }
    log->write(EOL);
    return version;
}

OptionalText FindFirstInstalledName(const std::vector<std::u16string>& names)
{
    Remove::Log silent;
    for (const std::u16string& name : names)
        if (IsInUninstallList(name, &silent) || IsInInstallerRegistry(name, &silent) ||
            FindInstallLocation(name, &silent) || FindDisplayVersion(name, &silent))
            return name;
    return std::nullopt;
}
