#include "e2e/suite_layout.h"

#include <shlobj.h>

#include <algorithm>

#include "support/fixture_service.h"
#include "support/suite_root_key.h"
#include "support/win_machine.h"

namespace {

using Kind = SuiteItem::Kind;
using Content = SuiteItem::Content;

const std::wstring kSuite = L"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::wstring kDataSources = L"SOFTWARE\\ODBC\\ODBC.INI\\";

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring W(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

REGSAM ViewOf(const SuiteItem& item)
{
    return item.view64 ? KEY_WOW64_64KEY : 0;
}

HKEY Open(const SuiteItem& item, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKeyOf(item), W(item.path).c_str(), 0, access | ViewOf(item), &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

std::string ReadState()
{
    const HANDLE file = CreateFileW(kSqlServerState, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text(65536, '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

std::string StateLine(const SuiteItem& item)
{
    return std::string(item.path.begin(), item.path.end()) + "\n";
}

bool Present(const SuiteItem& item)
{
    switch (item.kind) {
    case Kind::Key:
    case Kind::Value: {
        HKEY key = Open(item, KEY_READ);
        if (key == nullptr)
            return false;
        const bool found = item.kind == Kind::Key || RegQueryValueExW(key, W(item.name).c_str(), nullptr, nullptr,
                                                                      nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }
    case Kind::Folder:
    case Kind::File:
    case Kind::Junction:
        return PathPresent(L"\\\\?\\" + W(item.path));
    case Kind::Package:
        return RegistryKeyPresent(W(kUninstallEntries + item.data));
    case Kind::Line:
        return ("\n" + ReadState()).find("\n" + StateLine(item)) != std::string::npos;
    case Kind::Service: {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceW(manager, W(item.path).c_str(), SERVICE_QUERY_STATUS);
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return service != nullptr;
    }
    }
    return false;
}

// The fixture program a file is a copy of, or "" for a text file.
std::wstring ProgramFor(const SuiteItem& item, const SuitePrograms& programs)
{
    switch (item.content) {
    case Content::Uninstaller:
        return programs.uninstaller;
    case Content::ServiceProgram:
        return programs.service;
    case Content::Versioned:
        return programs.versioned;
    case Content::Text:
        break;
    }
    return {};
}

bool Lay(const SuiteItem& item, const SuitePrograms& programs)
{
    // What a package installs, the package's own msiexec run lays.
    if (!item.package.empty() && item.kind != Kind::Package)
        return true;
    switch (item.kind) {
    case Kind::Key:
    case Kind::Value: {
        HKEY key = nullptr;
        if (RegCreateKeyExW(RootKeyOf(item), W(item.path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | ViewOf(item), nullptr,
                            &key, nullptr) != 0)
            return false;
        LSTATUS result = ERROR_SUCCESS;
        if (item.kind == Kind::Value) {
            const std::vector<unsigned char> bytes = ValueBytes(item);
            result = RegSetValueExW(key, W(item.name).c_str(), 0, static_cast<DWORD>(item.type), bytes.data(),
                                    static_cast<DWORD>(bytes.size()));
        }
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    case Kind::Folder:
        MakeFolders(L"\\\\?\\" + W(item.path));
        return PathPresent(W(item.path));
    case Kind::File: {
        const std::wstring path = L"\\\\?\\" + W(item.path);
        MakeFolders(path.substr(0, path.find_last_of(L'\\')));
        const std::wstring program = ProgramFor(item, programs);
        if (!program.empty()) {
            if (!CopyFileW(program.c_str(), path.c_str(), FALSE))
                return false;
        } else {
            const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return false;
            DWORD written = 0;
            WriteFile(file, "kept\r\n", 6, &written, nullptr);
            CloseHandle(file);
        }
        return !item.readOnly || SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    case Kind::Junction:
        // Laid on the simulated machine only: this layer makes no junctions. What the junction
        // leads to is laid all the same, as sentinels.
        return true;
    case Kind::Package:
        return RunAndWait(L"msiexec.exe /i \"" + programs.package(W(item.path)) + L"\" /qn") == 0;
    case Kind::Service:
        // Automatic, as the suite installs them: Wine stops services whenever the prefix goes
        // idle and starts the automatic ones again with the next program.
        return StartFixtureService(W(item.path), item.stopDelayMs, SERVICE_AUTO_START);
    case Kind::Line: {
        MakeFolders(std::wstring(kSqlServerState).substr(0, std::wstring(kSqlServerState).find_last_of(L'\\')));
        const HANDLE file = CreateFileW(kSqlServerState, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0,
                                        nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const std::string text = StateLine(item);
        DWORD written = 0;
        const bool wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
        CloseHandle(file);
        return wrote;
    }
    }
    return false;
}

} // namespace

const wchar_t kSqlServerState[] = L"C:\\qtv-suite\\sql\\standin.state";

bool SuitePrograms::FromArguments(const std::vector<std::wstring>& arguments, std::size_t first,
                                  SuitePrograms& programs)
{
    if (arguments.size() < first + 3)
        return false;
    programs.uninstaller = arguments[first];
    programs.service = arguments[first + 1];
    programs.versioned = arguments[first + 2];
    programs.packages.assign(arguments.begin() + static_cast<std::ptrdiff_t>(first + 3), arguments.end());
    return true;
}

std::wstring SuitePrograms::package(const std::wstring& file) const
{
    for (const std::wstring& path : packages)
        if (path.size() > file.size() && path.compare(path.size() - file.size(), file.size(), file) == 0 &&
            (path[path.size() - file.size() - 1] == L'\\' || path[path.size() - file.size() - 1] == L'/'))
            return path;
    return file;
}

std::vector<SuiteItem> PrefixSuiteItems()
{
    const auto folder = [](int csidl) {
        const std::wstring path = ShellFolder(csidl);
        return std::u16string(path.begin(), path.end());
    };
    return SuiteItems({folder(CSIDL_PERSONAL), folder(CSIDL_LOCAL_APPDATA)});
}

bool LaySuite(const SuitePrograms& programs, std::wstring& why)
{
    for (const SuiteItem& item : PrefixSuiteItems()) {
        if (!Lay(item, programs)) {
            const std::string what = Describe(item);
            why = L"could not lay " + std::wstring(what.begin(), what.end());
            return false;
        }
    }
    return true;
}

std::vector<SuiteItem> SuiteLeft(const SuitePrograms&, const std::vector<std::u16string>& components)
{
    std::vector<SuiteItem> left;
    for (const SuiteItem& item : PrefixSuiteItems()) {
        const bool wanted = components.empty()
                                ? OfTheSuite(item)
                                : std::find(components.begin(), components.end(), item.component) != components.end();
        if (wanted && Present(item))
            left.push_back(item);
    }
    return left;
}

std::vector<SuiteItem> SentinelsLost(const SuitePrograms&)
{
    std::vector<SuiteItem> lost;
    for (const SuiteItem& item : PrefixSuiteItems())
        if (item.component == u"sentinel" && !Present(item))
            lost.push_back(item);
    return lost;
}

void ClearSuite(const SuitePrograms&)
{
    for (const SuiteItem& item : PrefixSuiteItems()) {
        switch (item.kind) {
        case Kind::Key:
        case Kind::Value: {
            HKEY parent = nullptr;
            const std::wstring path = W(item.path);
            const std::size_t cut = path.find_last_of(L'\\');
            if (RegOpenKeyExW(RootKeyOf(item), path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | ViewOf(item), &parent) ==
                ERROR_SUCCESS) {
                // The list of data sources is shared with other programs: only the suite's value goes.
                if (path == kDataSources + L"ODBC Data Sources")
                    RegDeleteValueW(parent, W(item.name).c_str());
                else
                    RegDeleteTreeW(parent, path.substr(cut + 1).c_str());
                RegCloseKey(parent);
            }
            break;
        }
        case Kind::Service:
            RemoveFixtureService(W(item.path));
            break;
        case Kind::Package:
            if (Present(item))
                RunAndWait(L"msiexec.exe /x " + W(item.data) + L" /qn");
            break;
        case Kind::Folder:
        case Kind::File:
        case Kind::Junction:
        case Kind::Line:
            break;
        }
    }
    for (const wchar_t* root : {L"SOFTWARE\\Zantrel", L"SOFTWARE\\Zantrel, Inc."})
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zantrel");
    RegDeleteTreeW(HKEY_USERS, L".DEFAULT\\Software\\Zantrel");
    // What a scenario left for a restart that never came would hide the next one's folders.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                       L"PendingFileRenameOperations");
    const std::wstring documents = ShellFolder(CSIDL_PERSONAL);
    const std::wstring localAppData = ShellFolder(CSIDL_LOCAL_APPDATA);
    for (const std::wstring& folder :
         {kSuite, std::wstring(L"C:\\Program Files (x86)\\Zantrel Enterprise Tools"), localAppData + L"\\Zantrel",
          localAppData + L"\\Zantrel Tools", documents + L"\\QTVCredentials", documents + L"\\QTVCredentials Old",
          std::wstring(L"C:\\Shared Data"), std::wstring(L"C:\\qtv-suite"), std::wstring(L"C:\\qtv-e2e")})
        DeleteFolderTree(L"\\\\?\\" + folder);
    DeleteFileW((documents + L"\\keep.txt").c_str());
}
