#include "e2e/suite_layout.h"

#include <shlobj.h>

#include <algorithm>

#include "support/fixture_service.h"
#include "support/win_machine.h"

namespace {

using Kind = SuiteItem::Kind;

const std::wstring kBin = L"C:\\qtv-suite\\bin";
const std::wstring kSuite = L"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kSettings = L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\";
const std::wstring kSetup = L"\"C:\\qtv-suite\\bin\\setup.exe\"";
const std::wstring kInstaller = L"SOFTWARE\\Classes\\Installer\\";
const std::wstring kUserData = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
const std::wstring kDataSources = L"SOFTWARE\\ODBC\\ODBC.INI\\";

std::wstring ShellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

// The items, in the order they are laid; one builder per kind keeps the table readable.
class Table {
public:
    explicit Table(std::vector<SuiteItem>& items) : items_(items) {}

    Table& of(const wchar_t* component)
    {
        component_ = component;
        return *this;
    }
    void key(const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE)
    {
        items_.push_back({component_, Kind::Key, root, path, {}, {}});
    }
    void value(const std::wstring& path, const std::wstring& name, const std::wstring& data,
               HKEY root = HKEY_LOCAL_MACHINE, REGSAM view = 0)
    {
        items_.push_back({component_, Kind::Value, root, path, name, data, false, view});
    }
    // Windows Installer's registration of a product that is no longer installed, as it stays
    // behind a failed uninstall: its product, feature, upgrade-code and per-machine keys.
    void registration(const std::wstring& packedCode, const std::wstring& packedUpgradeCode, const std::wstring& name)
    {
        value(kInstaller + L"Products\\" + packedCode, L"ProductName", name);
        value(kInstaller + L"Features\\" + packedCode, L"Agent", L"");
        value(kInstaller + L"UpgradeCodes\\" + packedUpgradeCode, packedCode, L"");
        value(kUserData + packedCode + L"\\InstallProperties", L"DisplayName", name, HKEY_LOCAL_MACHINE,
              KEY_WOW64_64KEY);
    }
    // An ODBC data source of the suite, in the view its tools wrote it to.
    void dataSource(const std::wstring& name, REGSAM view = 0)
    {
        value(kDataSources + name, L"Driver", L"SQL Server", HKEY_LOCAL_MACHINE, view);
        value(kDataSources + L"ODBC Data Sources", name, L"SQL Server", HKEY_LOCAL_MACHINE, view);
    }
    // A line of the SQL Server stand-in's state: a database, its version, a job.
    void line(const std::wstring& text) { items_.push_back({component_, Kind::Line, nullptr, text, {}, {}}); }
    // An Uninstall entry: its display name, version, folder and uninstall command.
    void entry(const std::wstring& key, const std::wstring& name, const std::wstring& folder,
               const std::wstring& command, const std::wstring& version = L"9.5.10.79")
    {
        value(kUninstall + key, L"DisplayName", name);
        value(kUninstall + key, L"DisplayVersion", version);
        if (!folder.empty())
            value(kUninstall + key, L"InstallLocation", folder);
        if (!command.empty())
            value(kUninstall + key, L"UninstallString", command);
    }
    void folder(const std::wstring& path) { items_.push_back({component_, Kind::Folder, nullptr, path, {}, {}}); }
    void file(const std::wstring& path, const std::wstring& program = {}, bool readOnly = false)
    {
        items_.push_back({component_, Kind::File, nullptr, path, {}, program, readOnly});
    }
    void service(const std::wstring& name, const std::wstring& stopDelayMs)
    {
        items_.push_back({component_, Kind::Service, nullptr, name, {}, stopDelayMs});
    }
    // A package installed by Windows Installer itself, found by its Uninstall entry.
    void package(const std::wstring& file, const std::wstring& productCode)
    {
        items_.push_back({component_, Kind::Package, nullptr, file, {}, productCode});
    }
    // A service that something else (a package) installs; laid items only look for it.
    void installedService(const std::wstring& name)
    {
        items_.push_back({component_, Kind::Service, nullptr, name, {}, {}});
    }

private:
    std::vector<SuiteItem>& items_;
    std::wstring component_;
};

HKEY Open(const SuiteItem& item, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(item.root, item.path.c_str(), 0, access | item.view, &key) != ERROR_SUCCESS)
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
        const bool found = item.kind == Kind::Key ||
                           RegQueryValueExW(key, item.name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return found;
    }
    case Kind::Folder:
    case Kind::File:
        return PathPresent(L"\\\\?\\" + item.path);
    case Kind::Package:
        return RegistryKeyPresent(kUninstall + item.data);
    case Kind::Line:
        return ("\n" + ReadState()).find("\n" + StateLine(item)) != std::string::npos;
    case Kind::Service: {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceW(manager, item.path.c_str(), SERVICE_QUERY_STATUS);
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return service != nullptr;
    }
    }
    return false;
}

bool Lay(const SuiteItem& item)
{
    switch (item.kind) {
    case Kind::Key: {
        HKEY key = nullptr;
        if (RegCreateKeyExW(item.root, item.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | item.view, nullptr, &key,
                            nullptr) != 0)
            return false;
        RegCloseKey(key);
        return true;
    }
    case Kind::Value: {
        HKEY key = nullptr;
        if (RegCreateKeyExW(item.root, item.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | item.view, nullptr, &key,
                            nullptr) != 0)
            return false;
        const LSTATUS result = RegSetValueExW(key, item.name.c_str(), 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(item.data.c_str()),
                                              static_cast<DWORD>((item.data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }
    case Kind::Folder:
        MakeFolders(L"\\\\?\\" + item.path);
        return PathPresent(item.path);
    case Kind::File: {
        const std::wstring path = L"\\\\?\\" + item.path;
        MakeFolders(path.substr(0, path.find_last_of(L'\\')));
        if (!item.data.empty()) {
            if (!CopyFileW(item.data.c_str(), path.c_str(), FALSE))
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
    case Kind::Package:
        return RunAndWait(L"msiexec.exe /i \"" + item.path + L"\" /qn") == 0;
    case Kind::Service:
        if (item.data.empty())
            return Present(item);
        // Automatic, as the suite installs them: Wine stops services whenever the prefix goes
        // idle and starts the automatic ones again with the next program.
        return StartFixtureService(item.path, static_cast<unsigned>(std::stoul(item.data)), SERVICE_AUTO_START);
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

bool SuitePrograms::FromArguments(int argc, char** argv, int first, SuitePrograms& programs)
{
    if (argc < first + 3)
        return false;
    const auto wide = [](const char* text) {
        const std::string narrow = text;
        return std::wstring(narrow.begin(), narrow.end());
    };
    programs.uninstaller = wide(argv[first]);
    programs.service = wide(argv[first + 1]);
    programs.versioned = wide(argv[first + 2]);
    programs.packages.clear();
    for (int i = first + 3; i < argc; ++i)
        programs.packages.push_back(wide(argv[i]));
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

std::vector<SuiteItem> SuiteItems(const SuitePrograms& programs)
{
    std::vector<SuiteItem> items;
    Table t(items);
    const std::wstring client = kSuite + L"\\QTV Client";
    const std::wstring server = kSuite + L"\\QTV Server";
    const std::wstring localAppData = ShellFolder(CSIDL_LOCAL_APPDATA);
    const std::wstring documents = ShellFolder(CSIDL_PERSONAL);

    // The fixture programs the installation runs; they are no part of the suite.
    t.of(L"bin");
    t.file(kBin + L"\\setup.exe", programs.uninstaller);
    t.file(kBin + L"\\fixture_service.exe", programs.service);

    t.of(L"webui");
    t.entry(L"{QTV-WEBUI}", L"Velmora Zantrel WebUI Service", kSuite + L"\\QTV WebUI", kSetup + L" entry={QTV-WEBUI}");
    t.file(kSuite + L"\\QTV WebUI\\WebUIService.exe", programs.uninstaller);
    t.file(kSuite + L"\\QTV WebUI\\WebUI\\sites\\default\\index.html");
    t.folder(kSuite + L"\\QTV WebUI\\WebUI\\ETL");
    t.value(kSettings + L"_WebUI_HTTPS_Port", L"value", L"443");
    t.value(kSettings + L"_WebUI_Beta_Feature", L"value", L"1");
    t.value(kSettings + L"_WebUIAppEnv_WORK_DIR", L"value", kSuite + L"\\QTV WebUI\\WebUI\\sites");
    t.key(L"SYSTEM\\ControlSet002\\services\\QTVWebUI");
    t.service(L"QTVWebUI", L"500");

    t.of(L"a2a");
    t.key(L"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A");
    t.file(kSuite + L"\\QTV A2A\\QTVA2ADLL.dll", programs.versioned);

    t.of(L"api");
    t.entry(L"{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}", L"Zantrel Enterprise Server API", {},
            kSetup + L" entry={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}");

    // A console older than the one that embeds the deploy tool, so the tool stands alone. Its
    // package registers the maintenance command "MsiExec.exe /I{...}", as most packages do.
    t.of(L"console");
    t.package(programs.package(L"console.msi"), L"{6A1F3B27-8C4D-4E5A-9B6C-7D8E9F0A1B21}");
    t.value(L"Software\\Zantrel\\Enterprise Console", L"LastServer", L"localhost", HKEY_CURRENT_USER);
    t.file(localAppData + L"\\Zantrel\\Enterprise Console\\console.ini");

    t.of(L"sam");
    t.package(programs.package(L"sam.msi"), L"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}");
    t.key(L"Software\\Zantrel\\Zantrel Inventory\\Scanner");

    // Packages that name no install location: Windows Installer registers an empty one.
    t.of(L"cdt");
    t.package(programs.package(L"cdt.msi"), L"{4F7A2C18-9B3E-4D61-8E5A-0C2B1D3E4F71}");
    t.file(kSuite + L"\\QTV Client Deploy\\deploy.log");

    // The relay's uninstaller leaves a process behind for two seconds.
    t.of(L"relay");
    t.entry(L"{QTV-RELAY}", L"\u00BBVelmora Zantrel Relay\u00AB", kSuite + L"\\QTV Relay",
            kSetup + L" entry={QTV-RELAY} child");
    t.registration(L"7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F", L"8D2E3F4A5B6C7D8E9F0A1B2C3D4E5F60", L"YLM Relay");
    t.file(kSuite + L"\\QTV Relay\\QTVRelay.exe", programs.uninstaller);
    t.value(L"SOFTWARE\\Zantrel\\Enterprise Server", L"RelayVersion", L"9.5.10.79");
    t.key(L"SOFTWARE\\Zantrel\\QTVRelay");
    t.service(L"QTVRelay", L"0");

    t.of(L"server");
    t.entry(L"{QTV-SERVER}", L"Zantrel Enterprise Server", server, kSetup + L" entry={QTV-SERVER}");
    t.file(server + L"\\QTVRootServer.exe", programs.uninstaller);
    t.file(server + L"\\wwwrootqtv\\index.htm");
    t.file(server + L"\\QTVReportsServer\\wwwroot\\cgi-bin\\qtvreports\\qtvreports.exe", programs.uninstaller);
    t.key(L"SOFTWARE\\Zantrel\\Zantrel Server");
    t.key(L"SOFTWARE\\Zantrel\\KMEAdmin");
    for (const wchar_t* name : {L"QTVWebReportsServer", L"GatherDB", L"FillDB", L"QTVRootServer", L"QTVGather"})
        t.service(name, L"0");

    t.of(L"dlp");
    t.file(client + L"\\DLP\\QTVDravelockCtrl.exe", programs.uninstaller);
    t.file(client + L"\\DLP\\policies\\rules.xml", {}, true);
    t.key(L"SOFTWARE\\Zantrel\\DLP");

    t.of(L"loggingservice");
    t.package(programs.package(L"logsvc.msi"), L"{7B3D9E42-1C5A-4F86-9D27-3E4F5A6B7C81}");
    t.file(client + L"\\QTVClientLoggingService\\logs\\service.log");
    t.key(L"SOFTWARE\\Zantrel\\LoggingService\\Settings");

    // The agent's package installs its service and the helper's, and names its folder, with a
    // trailing backslash, only in App Paths. An older agent left an entry and its registration.
    t.of(L"client");
    t.package(programs.package(L"client.msi"), L"{5D2E0AB1-C3F4-4E9A-8B71-2C3D4E5F6A71}");
    t.installedService(L"QTVClient");
    t.installedService(L"QTVClientHelper");
    t.value(kUninstall + L"{QTV-YLM-AGENT}", L"DisplayName", L"YLM Agent");
    t.registration(L"3F2E1D0C9B8A7F6E5D4C3B2A1F0E9D8C", L"4A3B2C1D0E9F8A7B6C5D4E3F2A1B0C9D", L"Velmora Corbelis Agent");
    t.file(client + L"\\QTVClient.ini", {}, true);
    std::wstring deep = client + L"\\data";
    while (deep.size() < 280)
        deep += L"\\a-folder-name-long-enough-to-pass-the-limit";
    t.file(deep + L"\\deep.log");
    t.key(L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");
    t.key(L"SOFTWARE\\Zantrel\\ClientComplianceAPI");
    t.key(L"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client");
    t.key(L"SYSTEM\\ControlSet002\\services\\QTVClient");
    t.key(L"SOFTWARE\\Zantrel\\QTVClientHelper");

    // Databases on the local SQL Server (the stand-in), and the suite's data sources: one in the
    // 64-bit view, where the suite's 64-bit tools write them.
    t.of(L"database");
    t.line(L"database\tKMEnterprise");
    t.line(L"database\tQTVReporting");
    t.line(L"version\t9.5.10.79");
    t.line(L"job\tKMEnterprise Full Database Index Reorganization");
    for (const wchar_t* name : {L"qtv_kmenterprise", L"qtv_EnterpriseServer", L"enterprise_setup", L"enterprise_setup32"})
        t.dataSource(name);
    t.dataSource(L"localqtvreportingserver", KEY_WOW64_64KEY);

    t.of(L"generator");
    t.entry(L"{QTV-GEN}", L"YLM Installation Generator", {}, kSetup + L" entry={QTV-GEN}");
    t.registration(L"9E8D7C6B5A4F3E2D1C0B9A8F7E6D5C4B", L"0F1E2D3C4B5A69788796A5B4C3D2E1F0",
                   L"Ostrel Calvorn Installation Generator");
    t.value(L"SOFTWARE\\Zantrel\\QTV Installation Generator", L"InstallFolder", kSuite + L"\\Installation Generator");
    t.file(kSuite + L"\\Installation Generator\\generator.exe", programs.uninstaller);
    t.file(documents + L"\\QTVCredentials\\server.cred");

    t.of(L"msde");
    t.package(programs.package(L"msde.msi"), L"{2E9B4F61-7A3C-4D58-B0E2-9C1D8F7A6B51}");

    // What only the clean-up of the shared roots removes, once nothing of the suite is left.
    t.of(L"roots");
    t.value(L".DEFAULT\\Software\\Zantrel\\EnterpriseClient", L"User", L"default", HKEY_USERS);
    t.key(L"SOFTWARE\\Zantrel\\Shared");

    // Beside the suite, named like it: nothing of these may go.
    t.of(L"sentinel");
    t.file(L"C:\\Program Files (x86)\\Zantrel Enterprise Tools\\keep.txt");
    t.value(L"SOFTWARE\\ZantrelSentinel", L"keep", L"1");
    t.value(L"SOFTWARE\\Zantrel Tools\\Keep", L"keep", L"1");
    t.value(kUninstall + L"{QTV-SENTINEL}", L"DisplayName", L"Velmora Zantrel Client Tools");
    t.value(L"Software\\ZantrelSentinel", L"keep", L"1", HKEY_CURRENT_USER);
    t.file(documents + L"\\keep.txt");
    t.file(documents + L"\\QTVCredentials Old\\keep.txt");
    t.file(localAppData + L"\\Zantrel Tools\\keep.txt");
    // The SQL Server instance and another program's data source.
    t.service(L"MSSQLSERVER", L"0");
    t.line(L"server\t.");
    t.dataSource(L"Inventory Reports");
    return items;
}

bool LaySuite(const SuitePrograms& programs, std::wstring& why)
{
    for (const SuiteItem& item : SuiteItems(programs)) {
        if (!Lay(item)) {
            why = L"could not lay " + Describe(item);
            return false;
        }
    }
    return true;
}

std::vector<SuiteItem> SuiteLeft(const SuitePrograms& programs, const std::vector<std::wstring>& components)
{
    std::vector<SuiteItem> left;
    for (const SuiteItem& item : SuiteItems(programs)) {
        const bool wanted = components.empty()
                                ? item.component != L"sentinel" && item.component != L"bin"
                                : std::find(components.begin(), components.end(), item.component) != components.end();
        if (wanted && Present(item))
            left.push_back(item);
    }
    return left;
}

std::vector<SuiteItem> SentinelsLost(const SuitePrograms& programs)
{
    std::vector<SuiteItem> lost;
    for (const SuiteItem& item : SuiteItems(programs))
        if (item.component == L"sentinel" && !Present(item))
            lost.push_back(item);
    return lost;
}

void ClearSuite(const SuitePrograms& programs)
{
    for (const SuiteItem& item : SuiteItems(programs)) {
        switch (item.kind) {
        case Kind::Key:
        case Kind::Value: {
            HKEY parent = nullptr;
            const std::size_t cut = item.path.find_last_of(L'\\');
            if (RegOpenKeyExW(item.root, item.path.substr(0, cut).c_str(), 0, KEY_ALL_ACCESS | item.view, &parent) ==
                ERROR_SUCCESS) {
                // The list of data sources is shared with other programs: only the suite's value goes.
                if (item.path == kDataSources + L"ODBC Data Sources")
                    RegDeleteValueW(parent, item.name.c_str());
                else
                    RegDeleteTreeW(parent, item.path.substr(cut + 1).c_str());
                RegCloseKey(parent);
            }
            break;
        }
        case Kind::Service:
            RemoveFixtureService(item.path);
            break;
        case Kind::Package:
            if (Present(item))
                RunAndWait(L"msiexec.exe /x " + item.data + L" /qn");
            break;
        case Kind::Folder:
        case Kind::File:
        case Kind::Line:
            break;
        }
    }
    for (const wchar_t* root : {L"SOFTWARE\\Zantrel", L"SOFTWARE\\Zantrel, Inc."})
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, root);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Zantrel");
    RegDeleteTreeW(HKEY_USERS, L".DEFAULT\\Software\\Zantrel");
    const std::wstring documents = ShellFolder(CSIDL_PERSONAL);
    const std::wstring localAppData = ShellFolder(CSIDL_LOCAL_APPDATA);
    for (const std::wstring& folder :
         {kSuite, std::wstring(L"C:\\Program Files (x86)\\Zantrel Enterprise Tools"), localAppData + L"\\Zantrel",
          localAppData + L"\\Zantrel Tools", documents + L"\\QTVCredentials", documents + L"\\QTVCredentials Old",
          std::wstring(L"C:\\qtv-suite"), std::wstring(L"C:\\qtv-e2e")})
        DeleteFolderTree(L"\\\\?\\" + folder);
    DeleteFileW((documents + L"\\keep.txt").c_str());
}

std::wstring Describe(const SuiteItem& item)
{
    const auto root = [&item] {
        return item.root == HKEY_CURRENT_USER ? L"HKCU\\" : item.root == HKEY_USERS ? L"HKU\\" : L"HKLM\\";
    };
    const auto view = [&item] { return std::wstring(item.view == KEY_WOW64_64KEY ? L" (64-bit view)" : L""); };
    switch (item.kind) {
    case Kind::Key:
        return item.component + L": key " + root() + item.path + view();
    case Kind::Value:
        return item.component + L": value " + root() + item.path + L":[" + item.name + L"]" + view();
    case Kind::Folder:
        return item.component + L": folder " + item.path;
    case Kind::File:
        return item.component + L": file " + item.path;
    case Kind::Service:
        return item.component + L": service " + item.path;
    case Kind::Package:
        return item.component + L": package " + item.data;
    case Kind::Line:
        return item.component + L": SQL Server state line " + item.path;
    }
    return item.component;
}
