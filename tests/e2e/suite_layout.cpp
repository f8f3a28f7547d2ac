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
const std::wstring kAppPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::wstring kProducts = L"SOFTWARE\\Classes\\Installer\\Products\\";
const std::wstring kSettings = L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\";
const std::wstring kSetup = L"\"C:\\qtv-suite\\bin\\setup.exe\"";
const std::wstring kMsiExec = L"\"C:\\qtv-suite\\bin\\MsiExec.exe\"";

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
               HKEY root = HKEY_LOCAL_MACHINE)
    {
        items_.push_back({component_, Kind::Value, root, path, name, data});
    }
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

private:
    std::vector<SuiteItem>& items_;
    std::wstring component_;
};

HKEY Open(const SuiteItem& item, REGSAM access)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(item.root, item.path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
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
        if (RegCreateKeyExW(item.root, item.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
            return false;
        RegCloseKey(key);
        return true;
    }
    case Kind::Value: {
        HKEY key = nullptr;
        if (RegCreateKeyExW(item.root, item.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0)
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
        // Automatic, as the suite installs them: Wine stops services whenever the prefix goes
        // idle and starts the automatic ones again with the next program.
        return StartFixtureService(item.path, static_cast<unsigned>(std::stoul(item.data)), SERVICE_AUTO_START);
    }
    return false;
}

} // namespace

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
    t.file(kBin + L"\\MsiExec.exe", programs.uninstaller);
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

    // A console older than the one that embeds the deploy tool, so the tool stands alone.
    t.of(L"console");
    t.entry(L"{QTV-CONSOLE}", L"Velmora Zantrel Console", kSuite + L"\\QTV Console", kSetup + L" entry={QTV-CONSOLE}",
            L"9.5.4.38");
    t.file(kSuite + L"\\QTV Console\\QTVConsole.exe", programs.uninstaller);
    t.value(L"Software\\Zantrel\\Enterprise Console", L"LastServer", L"localhost", HKEY_CURRENT_USER);
    t.file(localAppData + L"\\Zantrel\\Enterprise Console\\console.ini");

    t.of(L"sam");
    t.package(programs.samPackage, L"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}");
    t.key(L"Software\\Zantrel\\Zantrel Inventory\\Scanner");

    // Packages that name no install location: Windows Installer registers an empty one.
    t.of(L"cdt");
    t.package(programs.cdtPackage, L"{4F7A2C18-9B3E-4D61-8E5A-0C2B1D3E4F71}");
    t.file(kSuite + L"\\QTV Client Deploy\\deploy.log");

    t.of(L"relay");
    t.entry(L"{QTV-RELAY}", L"\u00BBVelmora Zantrel Relay\u00AB", kSuite + L"\\QTV Relay", kSetup + L" entry={QTV-RELAY}");
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
    t.package(programs.loggingPackage, L"{7B3D9E42-1C5A-4F86-9D27-3E4F5A6B7C81}");
    t.file(client + L"\\QTVClientLoggingService\\logs\\service.log");
    t.key(L"SOFTWARE\\Zantrel\\LoggingService\\Settings");

    // Windows Installer writes the folder with a trailing backslash; the client's uninstaller
    // leaves a process behind for two seconds.
    t.of(L"client");
    t.entry(L"{QTV-CLIENT}", L"Velmora Zantrel Client", client + L"\\",
            kMsiExec + L" /X{QTV-CLIENT} entry={QTV-CLIENT} apppath=QTVClient.exe child");
    t.value(kUninstall + L"{QTV-YLM-AGENT}", L"DisplayName", L"YLM Agent");
    t.value(kProducts + L"5D2E0AB1C3F44E9A", L"ProductName", L"Velmora Zantrel Client");
    t.value(kAppPaths + L"QTVClient.exe", L"Path", client + L"\\");
    t.file(client + L"\\QTVClient.exe", programs.uninstaller, true);
    std::wstring deep = client + L"\\data";
    while (deep.size() < 280)
        deep += L"\\a-folder-name-long-enough-to-pass-the-limit";
    t.file(deep + L"\\deep.log");
    t.key(L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");
    t.key(L"SOFTWARE\\Zantrel\\ClientComplianceAPI");
    t.key(L"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client");
    t.key(L"SYSTEM\\ControlSet002\\services\\QTVClient");
    t.key(L"SOFTWARE\\Zantrel\\QTVClientHelper");
    t.service(L"QTVClient", L"500");
    t.service(L"QTVClientHelper", L"0");

    t.of(L"generator");
    t.entry(L"{QTV-GEN}", L"YLM Installation Generator", {}, kSetup + L" entry={QTV-GEN}");
    t.value(L"SOFTWARE\\Zantrel\\QTV Installation Generator", L"InstallFolder", kSuite + L"\\Installation Generator");
    t.file(kSuite + L"\\Installation Generator\\generator.exe", programs.uninstaller);
    t.file(documents + L"\\QTVCredentials\\server.cred");

    t.of(L"msde");
    t.package(programs.msdePackage, L"{2E9B4F61-7A3C-4D58-B0E2-9C1D8F7A6B51}");

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
        case Kind::Value:
            RegDeleteTreeW(item.root, item.path.c_str());
            break;
        case Kind::Service:
            RemoveFixtureService(item.path);
            break;
        case Kind::Package:
            if (Present(item))
                RunAndWait(L"msiexec.exe /x " + item.data + L" /qn");
            break;
        case Kind::Folder:
        case Kind::File:
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
    switch (item.kind) {
    case Kind::Key:
        return item.component + L": key " + root() + item.path;
    case Kind::Value:
        return item.component + L": value " + root() + item.path + L":[" + item.name + L"]";
    case Kind::Folder:
        return item.component + L": folder " + item.path;
    case Kind::File:
        return item.component + L": file " + item.path;
    case Kind::Service:
        return item.component + L": service " + item.path;
    case Kind::Package:
        return item.component + L": package " + item.data;
    }
    return item.component;
}
