#include "platform/registry.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/errors.h"
#include "platform/os_api.h"
#include "platform/probe_errors.h"
#include "platform/run_record.h"
#include "platform/text.h"

namespace {

struct RootName {
    HKEY root;
    const char16_t* display;
    const char16_t* securityObject; // null: no object name for the security functions
};

const RootName* FindRoot(HKEY root)
{
    static const RootName kRoots[] = {
        {HKEY_CLASSES_ROOT, u"HKCR", u"CLASSES_ROOT"},
        {HKEY_CURRENT_USER, u"HKCU", u"CURRENT_USER"},
        {HKEY_LOCAL_MACHINE, u"HKLM", u"MACHINE"},
        {HKEY_USERS, u"HKU", u"USERS"},
        {HKEY_CURRENT_CONFIG, u"HKCC", nullptr},
    };
    const auto* it = std::find_if(std::begin(kRoots), std::end(kRoots),
                                  [root](const RootName& entry) { return entry.root == root; });
    return it == std::end(kRoots) ? nullptr : it;
}

std::atomic<unsigned> registryChanges{0};

std::u16string ReadTypedString(HKEY root, const std::u16string& path, const std::u16string& name,
                               DWORD expectedType)
{
    const UniqueKey key = RegOpenKeyChecked(root, path, KEY_READ);
    RegistryText read = RegQueryTextChecked(key.get(), name);
    if (read.type != expectedType)
        throw Windows::WrongRegistryType();
    return std::move(read.text);
}

} // namespace

void RegistryKeyTraits::close(Handle handle) noexcept
{
    Os().regCloseKey(handle);
}

std::u16string DisplayPath(HKEY root, const std::u16string& path)
{
    const RootName* known = FindRoot(root);
    return std::u16string(known ? known->display : u"(...)") + u"\\" + EscapeControlCharacters(path);
}

std::u16string RegistrySecurityObjectName(HKEY root, const std::u16string& path)
{
    const RootName* known = FindRoot(root);
    if (!known || !known->securityObject)
        throw ExceptionPL("Unknown HKEY rootKey type");
    return std::u16string(known->securityObject) + u"\\" + path;
}

UniqueKey RegOpenKeyChecked(HKEY root, const std::u16string& path, REGSAM access)
{
    UniqueKey key;
    ThrowWindowsError(static_cast<DWORD>(Os().regOpenKeyEx(root, path.c_str(), 0, access, key.put())));
    return key;
}

bool RegistryKeyExists(HKEY root, const std::u16string& path, REGSAM access)
{
    UniqueKey key;
    const auto result = static_cast<DWORD>(Os().regOpenKeyEx(root, path.c_str(), 0, access, key.put()));
    NoteProbeError(result, u"\"" + DisplayPath(root, path) + u"\"");
    return result == ERROR_SUCCESS;
}

bool RegistryValueExists(HKEY root, const std::u16string& path, const std::u16string& name,
                         REGSAM access)
{
    UniqueKey key;
    const auto result = static_cast<DWORD>(Os().regOpenKeyEx(root, path.c_str(), 0, access, key.put()));
    NoteProbeError(result, u"\"" + DisplayPath(root, path) + u"\"");
    return result == ERROR_SUCCESS && HasRegistryValue(key.get(), name);
}

bool HasRegistryValue(HKEY key, const std::u16string& name)
{
    const auto result = static_cast<DWORD>(Os().regQueryValueEx(key, name.c_str(), nullptr, nullptr, nullptr, nullptr));
    if (result == ERROR_MORE_DATA)
        return true;
    NoteProbeError(result, u"\"" + DisplayPath(key, name) + u"\"");
    return result == ERROR_SUCCESS;
}

RegistryValueInfo RegQueryValueChecked(HKEY key, const std::u16string& name, BYTE* buffer,
                                       DWORD bufferSize)
{
    RegistryValueInfo info{REG_NONE, bufferSize};
    ThrowWindowsError(static_cast<DWORD>(
        Os().regQueryValueEx(key, name.c_str(), nullptr, &info.type, buffer, &info.size)));
    return info;
}

bool RegEnumKeyChecked(HKEY key, DWORD index, RegistryKeyEntry& entry)
{
    DWORD longestName = 0;
    DWORD longestClass = 0;
    ThrowWindowsError(static_cast<DWORD>(Os().regQueryInfoKey(key, nullptr, nullptr, nullptr, nullptr,
                                                              &longestName, &longestClass, nullptr,
                                                              nullptr, nullptr, nullptr, nullptr)));
    std::vector<char16_t> name(static_cast<std::size_t>(longestName) + 1, u'\0');
    std::vector<char16_t> className(static_cast<std::size_t>(longestClass) + 1, u'\0');
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD classLength = static_cast<DWORD>(className.size());
    FILETIME lastWriteTime{};
    const auto result = static_cast<DWORD>(Os().regEnumKeyEx(key, index, name.data(), &nameLength,
                                                             nullptr, className.data(),
                                                             &classLength, &lastWriteTime));
    if (result == ERROR_NO_MORE_ITEMS)
        return false;
    ThrowWindowsError(result);
    entry.name.assign(name.data(), std::min<std::size_t>(nameLength, name.size()));
    entry.className.assign(className.data(), std::min<std::size_t>(classLength, className.size()));
    entry.lastWriteTime = lastWriteTime;
    return true;
}

std::vector<std::u16string> RegValueNamesChecked(HKEY key)
{
    std::vector<std::u16string> names;
    // Room for the longest name a value can have and its terminator.
    std::vector<char16_t> name(16384);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const auto result =
            static_cast<DWORD>(Os().regEnumValue(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr));
        if (result == ERROR_NO_MORE_ITEMS)
            return names;
        ThrowWindowsError(result);
        names.emplace_back(name.data(), std::min<std::size_t>(length, name.size() - 1));
    }
}

std::vector<RegistryValue> RegReadValuesChecked(HKEY key)
{
    std::vector<RegistryValue> values;
    DWORD index = 0;
    // A value that keeps growing between the two calls is not waited for without end.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD longestName = 0;
        DWORD longestData = 0;
        ThrowWindowsError(static_cast<DWORD>(Os().regQueryInfoKey(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                  nullptr, nullptr, &longestName, &longestData,
                                                                  nullptr, nullptr)));
        std::vector<char16_t> name(static_cast<std::size_t>(longestName) + 1, u'\0');
        std::vector<BYTE> data(std::max<DWORD>(longestData, 1));
        for (;; ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD size = static_cast<DWORD>(data.size());
            DWORD type = REG_NONE;
            const auto result = static_cast<DWORD>(
                Os().regEnumValue(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size));
            if (result == ERROR_NO_MORE_ITEMS)
                return values;
            // A value written since the lengths were asked for: ask again and read it anew.
            if (result == ERROR_MORE_DATA)
                break;
            ThrowWindowsError(result);
            attempt = 0;
            values.push_back({std::u16string(name.data(), std::min<std::size_t>(nameLength, name.size() - 1)), type,
                              std::vector<BYTE>(data.begin(), data.begin() + std::min<std::size_t>(size, data.size()))});
        }
    }
    ThrowWindowsError(ERROR_MORE_DATA);
    return values;
}

RegistryText RegQueryTextChecked(HKEY key, const std::u16string& name)
{
    const DWORD size = RegQueryValueChecked(key, name, nullptr, 0).size;
    // Odd sizes round up: the last byte still lands in a whole, zeroed character.
    std::vector<char16_t> buffer((static_cast<std::size_t>(size) + 1) / 2, u'\0');
    const RegistryValueInfo read =
        RegQueryValueChecked(key, name, reinterpret_cast<BYTE*>(buffer.data()),
                             static_cast<DWORD>(buffer.size() * sizeof(char16_t)));
    if (read.size == 0)
        throw Windows::RegistryValueIsEmpty();
    const std::size_t characters = std::min(buffer.size(), (static_cast<std::size_t>(read.size) + 1) / 2);
    const auto end = std::find(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(characters), u'\0');
    return RegistryText{read.type, std::u16string(buffer.begin(), end)};
}

void RegDeleteKeyChecked(HKEY key, const std::u16string& name, REGSAM view)
{
    // RegDeleteKeyW always works in the program's own view.
    const LONG result = view == 0 ? Os().regDeleteKey(key, name.c_str())
                                  : Os().regDeleteKeyEx(key, name.c_str(), view, 0);
    ThrowWindowsError(static_cast<DWORD>(result));
    NoteRegistryDeleted(key, name, nullptr, view);
}

void RegDeleteOpenKeyChecked(HKEY key, HKEY root, const std::u16string& path, REGSAM view)
{
    const NTSTATUS status = Os().ntDeleteKey(key);
    if (status < 0)
        ThrowWindowsError(static_cast<DWORD>(Os().rtlNtStatusToDosError(status)));
    NoteRegistryDeleted(root, path, nullptr, view);
}

bool IsSymbolicLinkKey(HKEY key)
{
    // The system keeps a link's target in this value of the link key itself; opened as itself,
    // the link shows it as any key shows a value (measured under Wine). A plain key given such a
    // value reads as a link too, which is harmless: whatever is deleted goes through its own
    // handle, and only its walk and its backup take the link's way.
    DWORD type = REG_NONE;
    const auto found = static_cast<DWORD>(
        Os().regQueryValueEx(key, u"SymbolicLinkValue", nullptr, &type, nullptr, nullptr));
    if (found == ERROR_FILE_NOT_FOUND)
        return false;
    if (found != ERROR_SUCCESS && found != ERROR_MORE_DATA)
        ThrowWindowsError(found);
    return type == REG_LINK;
}

void RegDeleteValueChecked(HKEY key, const std::u16string& name, HKEY root, const std::u16string& path, REGSAM view)
{
    const auto result = static_cast<DWORD>(Os().regDeleteValue(key, name.c_str()));
    if (result != ERROR_FILE_NOT_FOUND)
        ThrowWindowsError(result);
    NoteRegistryDeleted(root, path, &name, view);
}

std::u16string ReadRegistrySz(HKEY root, const std::u16string& path, const std::u16string& name)
{
    return ReadTypedString(root, path, name, REG_SZ);
}

std::u16string ReadRegistryExpandSz(HKEY root, const std::u16string& path,
                                    const std::u16string& name)
{
    return ReadTypedString(root, path, name, REG_EXPAND_SZ);
}

unsigned RegistryChangeCount()
{
    return registryChanges.load(std::memory_order_acquire);
}

void NoteRegistryChange()
{
    registryChanges.fetch_add(1, std::memory_order_acq_rel);
}

std::u16string ExpandEnvironmentText(const std::u16string& text)
{
    DWORD needed = Os().expandEnvironmentStrings(text.c_str(), nullptr, 0);
    if (needed == 0)
        ThrowLastError();
    for (;;) {
        std::vector<char16_t> buffer(needed, u'\0');
        const DWORD written = Os().expandEnvironmentStrings(text.c_str(), buffer.data(), needed);
        if (written == 0)
            ThrowLastError();
        // A variable that grew between the two calls asks for a larger buffer: try again.
        if (written <= needed)
            return std::u16string(buffer.data(), std::find(buffer.data(), buffer.data() + written - 1, u'\0'));
        needed = written;
    }
}
