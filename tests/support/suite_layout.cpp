#include "support/suite_layout.h"

#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "platform/text.h"
#include "support/fixture_service.h"
#include "support/suite_root_key.h"
#include "support/wine_main.h"
#include "toolkit/uninstall_lookups.h"

namespace {

using Kind = SuiteItem::Kind;
using Content = SuiteItem::Content;

const std::u16string kDataSourceList = u"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";

SuiteFolders PrefixFolders()
{
    const auto folder = [](int csidl) {
        wchar_t path[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
        return std::u16string(path, path + wcslen(path));
    };
    return {folder(CSIDL_PERSONAL), folder(CSIDL_LOCAL_APPDATA)};
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
        return RegistryKeyPresent(W(kUninstallKey + (u"\\" + item.data)));
    case Kind::Line:
        return ("\n" + ReadFileBytes(kSqlServerState)).find("\n" + StateLine(item)) != std::string::npos;
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
std::wstring ProgramFor(const SuiteItem& item)
{
    switch (item.content) {
    case Content::Uninstaller:
        return TestFile(L"uninstaller_standin.exe");
    case Content::ServiceProgram:
        return TestFile(L"fixture_service.exe");
    case Content::Versioned:
        return TestFile(L"versioned.exe");
    case Content::Text:
        break;
    }
    return {};
}

bool Lay(const SuiteItem& item)
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
        const std::wstring program = ProgramFor(item);
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
        return RunAndWait(L"msiexec.exe /i \"" + TestPackage(W(item.path)) + L"\" /qn") == 0;
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
const wchar_t kRunsFolder[] = L"C:\\qtv-e2e";

std::vector<SuiteItem> PrefixSuiteItems(bool roots)
{
    const SuiteFolders folders = PrefixFolders();
    std::vector<SuiteItem> items = SuiteItems(folders);
    if (roots)
        for (SuiteItem& root : SuiteRoots(folders))
            items.push_back(std::move(root));
    return items;
}

bool LaySuite(std::wstring& why)
{
    for (const SuiteItem& item : PrefixSuiteItems()) {
        if (!Lay(item)) {
            why = L"could not lay " + W(ToUtf16(Describe(item)));
            return false;
        }
    }
    return true;
}

std::vector<SuiteItem> SuiteLeft(const std::vector<std::u16string>& components)
{
    std::vector<SuiteItem> left;
    for (const SuiteItem& item : PrefixSuiteItems(true)) {
        const bool wanted = components.empty()
                                ? OfTheSuite(item)
                                : std::find(components.begin(), components.end(), item.component) != components.end();
        if (wanted && Present(item))
            left.push_back(item);
    }
    return left;
}

std::vector<SuiteItem> SentinelsLost()
{
    std::vector<SuiteItem> lost;
    for (const SuiteItem& item : PrefixSuiteItems())
        if (item.component == u"sentinel" && !Present(item))
            lost.push_back(item);
    return lost;
}

void ClearSuite()
{
    for (const SuiteItem& item : PrefixSuiteItems(true)) {
        switch (item.kind) {
        case Kind::Key:
        case Kind::Value: {
            HKEY parent = nullptr;
            const std::wstring path = W(item.path);
            const std::size_t cut = path.find_last_of(L'\\');
            if (RegOpenKeyExW(RootKeyOf(item), path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | ViewOf(item), &parent) ==
                ERROR_SUCCESS) {
                // The list of data sources is shared with other programs: only the suite's value goes.
                if (item.path == kDataSourceList)
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
    // What a scenario left for a restart that never came would hide the next one's folders.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                       L"PendingFileRenameOperations");
    for (const std::u16string& path : ClearedPaths(PrefixFolders()))
        DeleteFolderTree(L"\\\\?\\" + W(path));
    DeleteFolderTree(kRunsFolder);
}

void SuiteTest::SetUp()
{
    ClearSuite();
    std::wstring why;
    ASSERT_TRUE(LaySuite(why)) << Narrow(why);
}

void SuiteTest::TearDown()
{
    EXPECT_EQ(Describe(SentinelsLost()), "") << "sentinels lost";
    ClearSuite();
}
