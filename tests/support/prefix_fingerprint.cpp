#include "support/prefix_fingerprint.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "support/win_machine.h"

namespace {

// FNV-1a over 8-byte words: what changed a byte changes the hash; nothing here resists an adversary.
std::uint64_t HashOfFile(const std::wstring& path, std::vector<char>& buffer)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    std::uint64_t hash = 14695981039346656037ull;
    DWORD read = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
        std::size_t at = 0;
        for (; at + 8 <= read; at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, buffer.data() + at, 8);
            hash = (hash ^ word) * 1099511628211ull;
        }
        for (; at < read; ++at)
            hash = (hash ^ static_cast<unsigned char>(buffer[at])) * 1099511628211ull;
    }
    CloseHandle(file);
    return hash;
}

void AddFiles(const std::wstring& folder, const std::vector<std::wstring>& skipped, std::vector<char>& buffer, Fingerprint& print)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        if (std::any_of(skipped.begin(), skipped.end(), [&path](const std::wstring& skip) {
                return CompareStringOrdinal(path.c_str(), -1, skip.c_str(), -1, TRUE) == CSTR_EQUAL;
            }))
            continue;
        std::ostringstream shown;
        shown << std::hex << found.dwFileAttributes << ' ' << found.ftLastWriteTime.dwHighDateTime << ':'
              << found.ftLastWriteTime.dwLowDateTime;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A folder's own time changes with what it lists: its files say more.
            print[path + L"\\"] = std::to_string(found.dwFileAttributes);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                AddFiles(path, skipped, buffer, print);
            continue;
        }
        shown << ' ' << std::dec << (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow) << ' '
              << std::hex << HashOfFile(path, buffer);
        print[path] = shown.str();
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The sections of a saved registry ("[key] seconds", "#time=...", then its values) by key.
void AddSavedKeys(HKEY root, const std::wstring& rootName, const std::wstring& scratch, Fingerprint& print)
{
    DeleteFileW(scratch.c_str());
    const LSTATUS saved = RegSaveKeyW(root, scratch.c_str(), nullptr);
    if (saved != ERROR_SUCCESS) {
        print[rootName] = "cannot be saved: " + std::to_string(saved);
        return;
    }
    std::istringstream lines(ReadFileBytes(scratch));
    DeleteFileW(scratch.c_str());
    std::wstring key;
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 1 && line[0] == '[') {
            key = rootName + L"\\" + std::wstring(line.begin() + 1, line.begin() + static_cast<std::ptrdiff_t>(line.rfind(']')));
            print[key] = line.substr(line.rfind(']') + 1) + "\n";
        } else if (!key.empty() && !line.empty()) {
            print[key] += line + "\n";
        }
    }
}

} // namespace

Fingerprint PrefixFingerprint(const std::vector<std::wstring>& skipped, const std::wstring& scratch)
{
    Fingerprint print;
    // The registry's save reads every key, access aside, as a backup program does.
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        TOKEN_PRIVILEGES backup{};
        backup.PrivilegeCount = 1;
        backup.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &backup, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    // HKEY_LOCAL_MACHINE holds both views: the 32-bit one is its Wow6432Node keys.
    AddSavedKeys(HKEY_LOCAL_MACHINE, L"HKLM", scratch, print);
    AddSavedKeys(HKEY_USERS, L"HKU", scratch, print);
    // The 64-bit system folder too, which this 32-bit program otherwise sees as its own.
    PVOID redirection = nullptr;
    Wow64DisableWow64FsRedirection(&redirection);
    std::vector<char> buffer(1 << 20);
    AddFiles(L"C:", skipped, buffer, print);
    Wow64RevertWow64FsRedirection(redirection);
    return print;
}

std::string FingerprintChanges(const Fingerprint& before, const Fingerprint& after)
{
    std::string changes;
    for (const auto& [name, what] : before) {
        const auto now = after.find(name);
        if (now == after.end())
            changes += "gone: " + Narrow(name) + "\n";
        else if (now->second != what)
            changes += "changed: " + Narrow(name) + "\n  from " + what + "\n  to " + now->second + "\n";
    }
    for (const auto& [name, what] : after)
        if (before.count(name) == 0)
            changes += "new: " + Narrow(name) + "\n";
    return changes;
}
