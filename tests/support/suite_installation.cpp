#include "support/suite_installation.h"

#include <algorithm>

#include "platform/registry.h"
#include "platform/text.h"
#include "toolkit/uninstall_lookups.h"

namespace {

using Kind = SuiteItem::Kind;
using Root = SuiteItem::Root;
using Content = SuiteItem::Content;
using Type = SuiteItem::Type;

const std::u16string kBin = u"C:\\qtv-suite\\bin";
const std::u16string kProgramFiles = u"C:\\Program Files (x86)";
const std::u16string kSuite = kProgramFiles + u"\\Zantrel Enterprise";
const std::u16string kClient = kSuite + u"\\QTV Client";
const std::u16string kServer = kSuite + u"\\QTV Server";
const std::u16string kUninstall = kUninstallKey + std::u16string(u"\\");
const std::u16string kAppPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::u16string kSettings = u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\";
const std::u16string kDataSources = u"SOFTWARE\\ODBC\\ODBC.INI\\";
const std::u16string kSetup = u"\"" + kBin + u"\\setup.exe\"";

// The items in the order they are laid; one builder per kind keeps the table readable.
class Table {
public:
    explicit Table(std::vector<SuiteItem>& items) : items_(items) {}

    void of(const char16_t* component)
    {
        component_ = component;
        package_.clear();
    }
    // What follows, up to the next component, the package installs.
    void package(const std::u16string& file, const std::u16string& code, const std::u16string& name,
                 const std::u16string& version)
    {
        add(Kind::Package, file).data = code;
        package_ = code;
        // What Windows Installer registers, with the maintenance command most packages name.
        value(kUninstall + code, u"DisplayName", name);
        value(kUninstall + code, u"DisplayVersion", version);
        value(kUninstall + code, u"UninstallString", u"MsiExec.exe /I" + code);
    }
    // What follows is laid on its own.
    void ownItems() { package_.clear(); }

    void key(const std::u16string& path, Root root = Root::LocalMachine) { add(Kind::Key, path).root = root; }
    void value(const std::u16string& path, const std::u16string& name, const std::u16string& data,
               Root root = Root::LocalMachine, bool view64 = false)
    {
        SuiteItem& item = add(Kind::Value, path);
        item.name = name;
        item.data = data;
        item.root = root;
        item.view64 = view64;
    }
    // A value of another type than REG_SZ, its data spelled as ValueBytes reads it.
    void value(const std::u16string& path, const std::u16string& name, Type type, const std::u16string& data,
               bool view64 = false)
    {
        value(path, name, data, Root::LocalMachine, view64);
        items_.back().type = type;
    }
    // An Uninstall entry a setup program wrote: display name, version, folder, command.
    void entry(const std::u16string& key, const std::u16string& name, const std::u16string& folder,
               const std::u16string& command, const std::u16string& version = u"9.5.10.79")
    {
        value(kUninstall + key, u"DisplayName", name);
        value(kUninstall + key, u"DisplayVersion", version);
        if (!folder.empty())
            value(kUninstall + key, u"InstallLocation", folder);
        if (!command.empty())
            value(kUninstall + key, u"UninstallString", command);
    }
    // Windows Installer's registration of a product that is no longer installed, as it stays
    // behind a failed uninstall: its product, feature, upgrade-code and per-machine keys.
    void registration(const std::u16string& packedCode, const std::u16string& packedUpgradeCode,
                      const std::u16string& name)
    {
        const std::u16string product = kInstallerProductsKey + (u"\\" + packedCode);
        const std::u16string properties = kInstallerUserDataKey + (u"\\" + packedCode) + u"\\InstallProperties";
        value(product, u"ProductName", name);
        value(product, u"Clients", Type::MultiString, u":");
        value(kInstallerFeaturesKey + (u"\\" + packedCode), u"Agent", u"");
        value(kInstallerUpgradeCodesKey + (u"\\" + packedUpgradeCode), packedCode, u"");
        value(properties, u"DisplayName", name, Root::LocalMachine, true);
        value(properties, u"LocalPackage", Type::ExpandString,
              u"%SystemRoot%\\Installer\\" + packedCode.substr(0, 8) + u".msi", true);
    }
    // An ODBC data source, in the view its tools wrote it to.
    void dataSource(const std::u16string& name, bool view64 = false)
    {
        value(kDataSources + name, u"Driver", u"SQL Server", Root::LocalMachine, view64);
        value(kDataSources + u"ODBC Data Sources", name, u"SQL Server", Root::LocalMachine, view64);
    }
    void folder(const std::u16string& path) { add(Kind::Folder, path); }
    void file(const std::u16string& path, Content content = Content::Text, bool readOnly = false)
    {
        SuiteItem& item = add(Kind::File, path);
        item.content = content;
        item.readOnly = readOnly;
    }
    void junction(const std::u16string& path, const std::u16string& target) { add(Kind::Junction, path).data = target; }
    void service(const std::u16string& name, unsigned stopDelayMs = 0, const std::u16string& program = {})
    {
        SuiteItem& item = add(Kind::Service, name);
        item.stopDelayMs = stopDelayMs;
        item.data = program;
    }
    // A line of the SQL Server stand-in's state: a database, its version, a job, the server.
    void line(const std::u16string& text) { add(Kind::Line, text); }

private:
    SuiteItem& add(Kind kind, const std::u16string& path)
    {
        SuiteItem item{};
        item.component = component_;
        item.kind = kind;
        item.path = path;
        item.package = package_;
        items_.push_back(std::move(item));
        return items_.back();
    }

    std::vector<SuiteItem>& items_;
    std::u16string component_;
    std::u16string package_;
};

} // namespace

std::vector<SuiteItem> SuiteItems(const SuiteFolders& folders)
{
    std::vector<SuiteItem> items;
    Table t(items);
    const std::u16string& documents = folders.documents;
    const std::u16string& localAppData = folders.localAppData;

    // The fixture programs the installation runs: the setup programs' stand-in and the service.
    t.of(u"bin");
    t.file(kBin + u"\\setup.exe", Content::Uninstaller);
    t.file(kBin + u"\\fixture_service.exe", Content::ServiceProgram);

    t.of(u"webui");
    t.entry(u"{QTV-WEBUI}", u"Velmora Zantrel WebUI Service", kSuite + u"\\QTV WebUI", kSetup + u" entry={QTV-WEBUI}");
    t.value(kUninstall + u"{QTV-WEBUI}", u"EstimatedSize", Type::Dword, u"20480");
    t.value(kUninstall + u"{QTV-WEBUI}", u"NoModify", Type::Dword, u"1");
    t.file(kSuite + u"\\QTV WebUI\\WebUIService.exe", Content::Uninstaller);
    t.file(kSuite + u"\\QTV WebUI\\WebUI\\sites\\default\\index.html");
    t.folder(kSuite + u"\\QTV WebUI\\WebUI\\ETL");
    t.value(kSettings + u"_WebUI_HTTPS_Port", u"value", u"443");
    t.value(kSettings + u"_WebUI_Beta_Feature", u"value", u"1");
    t.value(kSettings + u"_WebUIAppEnv_WORK_DIR", u"value", kSuite + u"\\QTV WebUI\\WebUI\\sites");
    t.key(u"SYSTEM\\ControlSet002\\services\\QTVWebUI");
    // Restart after a minute, twice; then nothing.
    t.value(u"SYSTEM\\ControlSet002\\services\\QTVWebUI", u"FailureActions", Type::Binary,
            u"80510100000000000000000003000000140000000100000060ea000001000000"
            u"60ea00000000000000000000");
    t.service(u"QTVWebUI", 500);

    t.of(u"a2a");
    t.value(u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A", u"DLLPath", kSuite + u"\\QTV A2A");
    t.file(kSuite + u"\\QTV A2A\\QTVA2ADLL.dll", Content::Versioned);

    t.of(u"api");
    t.entry(u"{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}", u"Zantrel Enterprise Server API", {},
            kSetup + u" entry={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}");

    // A console older than the one that embeds the deploy tool, so the tool stands alone.
    t.of(u"console");
    t.package(u"console.msi", u"{6A1F3B27-8C4D-4E5A-9B6C-7D8E9F0A1B21}", u"Velmora Zantrel Console", u"9.5.4.38");
    // Its program carries no version resource: one of the embedding release (the fixture's
    // 9.5.10.79) would make the tool below part of it once the entry above is gone.
    t.file(kSuite + u"\\QTV Console\\QTVConsole.exe");
    t.value(kAppPaths + u"QTVConsole.exe", u"Path", kSuite + u"\\QTV Console\\");
    t.ownItems();
    t.value(u"Software\\Zantrel\\Enterprise Console", u"LastServer", u"localhost", Root::CurrentUser);
    t.file(localAppData + u"\\Zantrel\\Enterprise Console\\console.ini");

    t.of(u"sam");
    t.package(u"sam.msi", u"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}", u"Software Asset Management", u"3.1.0.12");
    t.value(u"Software\\Zantrel\\Zantrel Inventory", u"Version", u"3.1.0.12");
    t.ownItems();
    t.key(u"Software\\Zantrel\\Zantrel Inventory\\Scanner");

    // A package that names no install location.
    t.of(u"cdt");
    t.package(u"cdt.msi", u"{4F7A2C18-9B3E-4D61-8E5A-0C2B1D3E4F71}", u"Velmora Zantrel Client Deploy Tool",
              u"9.5.4.38");
    t.file(kSuite + u"\\QTV Client Deploy\\QTVClientDeploy.exe", Content::Versioned);
    t.ownItems();
    t.file(kSuite + u"\\QTV Client Deploy\\deploy.log");

    // The relay's uninstaller leaves a process behind for two seconds.
    t.of(u"relay");
    t.entry(u"{QTV-RELAY}", u"\u00BBVelmora Zantrel Relay\u00AB", kSuite + u"\\QTV Relay",
            kSetup + u" entry={QTV-RELAY} child");
    t.registration(u"7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F", u"8D2E3F4A5B6C7D8E9F0A1B2C3D4E5F60", u"YLM Relay");
    t.file(kSuite + u"\\QTV Relay\\QTVRelay.exe", Content::Uninstaller);
    t.value(u"SOFTWARE\\Zantrel\\Enterprise Server", u"RelayVersion", u"9.5.10.79");
    t.key(u"SOFTWARE\\Zantrel\\QTVRelay");
    t.service(u"QTVRelay");

    t.of(u"server");
    t.entry(u"{QTV-SERVER}", u"Zantrel Enterprise Server", kServer, kSetup + u" entry={QTV-SERVER}");
    t.file(kServer + u"\\QTVRootServer.exe", Content::Uninstaller);
    t.file(kServer + u"\\wwwrootqtv\\index.htm");
    t.file(kServer + u"\\QTVReportsServer\\wwwroot\\cgi-bin\\qtvreports\\qtvreports.exe", Content::Uninstaller);
    t.key(u"SOFTWARE\\Zantrel\\Zantrel Server");
    t.key(u"SOFTWARE\\Zantrel\\KMEAdmin");
    for (const char16_t* name : {u"QTVWebReportsServer", u"GatherDB", u"FillDB", u"QTVRootServer", u"QTVGather"})
        t.service(name);

    t.of(u"dlp");
    t.file(kClient + u"\\DLP\\QTVDravelockCtrl.exe", Content::Uninstaller);
    t.file(kClient + u"\\DLP\\policies\\rules.xml", Content::Text, true);
    t.key(u"SOFTWARE\\Zantrel\\DLP");
    t.value(u"SOFTWARE\\Zantrel\\DLP", u"PolicyTime", Type::Qword, u"134093952000000000");

    t.of(u"loggingservice");
    t.package(u"logsvc.msi", u"{7B3D9E42-1C5A-4F86-9D27-3E4F5A6B7C81}", u"QTV Logging Service", u"1.4.0.2");
    t.file(kClient + u"\\QTVClientLoggingService\\QTVLogSvc.exe", Content::Versioned);
    t.value(u"SOFTWARE\\Zantrel\\LoggingService", u"Version", u"1.4.0.2");
    t.ownItems();
    t.file(kClient + u"\\QTVClientLoggingService\\logs\\service.log");
    t.key(u"SOFTWARE\\Zantrel\\LoggingService\\Settings");

    // The agent's package installs its service and the helper's, and names its folder, with a
    // trailing backslash, only in App Paths. The helper removes itself (" -remove"), its service
    // with it. An older agent left an entry and its registration.
    t.of(u"client");
    t.package(u"client.msi", u"{5D2E0AB1-C3F4-4E9A-8B71-2C3D4E5F6A71}", u"Velmora Zantrel Client", u"9.5.10.79");
    t.file(kClient + u"\\QTVClient.exe", Content::ServiceProgram);
    t.service(u"QTVClient", 500);
    t.value(kAppPaths + u"QTVClient.exe", u"Path", kClient + u"\\");
    t.file(kClient + u"\\QTVClientHelper.exe", Content::ServiceProgram);
    t.service(u"QTVClientHelper", 0, u"\"" + kClient + u"\\QTVClientHelper.exe\"");
    t.value(u"SOFTWARE\\Zantrel\\QTVClientHelper", u"Version", u"9.5.10.79");
    t.ownItems();
    t.value(kUninstall + u"{QTV-YLM-AGENT}", u"DisplayName", u"YLM Agent");
    t.registration(u"3F2E1D0C9B8A7F6E5D4C3B2A1F0E9D8C", u"4A3B2C1D0E9F8A7B6C5D4E3F2A1B0C9D", u"Velmora Corbelis Agent");
    t.file(kClient + u"\\QTVClient.ini", Content::Text, true);
    std::u16string deep = kClient + u"\\data";
    while (deep.size() < 280)
        deep += u"\\a-folder-name-long-enough-to-pass-the-limit";
    t.file(deep + u"\\deep.log");
    t.key(u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");
    t.key(u"SOFTWARE\\Zantrel\\ClientComplianceAPI");
    t.key(u"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client");
    t.key(u"SYSTEM\\ControlSet002\\services\\QTVClient");
    t.key(u"SOFTWARE\\Zantrel\\QTVClientHelper");
    // A link an administrator made inside the agent's folder to a folder of their own.
    t.junction(kClient + u"\\Shared", u"C:\\Shared Data");

    // Databases on the local SQL Server (the stand-in), and the suite's data sources: one in the
    // 64-bit view, where the suite's 64-bit tools write them.
    t.of(u"database");
    t.line(u"database\tKMEnterprise");
    t.line(u"database\tQTVReporting");
    t.line(u"version\t9.5.10.79");
    t.line(u"job\tKMEnterprise Full Database Index Reorganization");
    for (const char16_t* name : {u"qtv_kmenterprise", u"qtv_EnterpriseServer", u"enterprise_setup", u"enterprise_setup32"})
        t.dataSource(name);
    t.dataSource(u"localqtvreportingserver", true);

    t.of(u"generator");
    t.entry(u"{QTV-GEN}", u"YLM Installation Generator", {}, kSetup + u" entry={QTV-GEN}");
    t.registration(u"9E8D7C6B5A4F3E2D1C0B9A8F7E6D5C4B", u"0F1E2D3C4B5A69788796A5B4C3D2E1F0",
                   u"Ostrel Calvorn Installation Generator");
    t.value(u"SOFTWARE\\Zantrel\\QTV Installation Generator", u"InstallFolder", kSuite + u"\\Installation Generator");
    t.file(kSuite + u"\\Installation Generator\\generator.exe", Content::Uninstaller);
    t.file(documents + u"\\QTVCredentials\\server.cred");

    t.of(u"msde");
    t.package(u"msde.msi", u"{2E9B4F61-7A3C-4D58-B0E2-9C1D8F7A6B51}", u"Microsoft SQL Server Desktop Engine",
              u"8.0.761");
    t.value(u"SOFTWARE\\Microsoft\\MSSQLServer\\Setup", u"Edition", u"Desktop Engine");

    // What only the clean-up of the shared roots removes, once nothing of the suite is left.
    t.of(u"roots");
    t.value(u".DEFAULT\\Software\\Zantrel\\EnterpriseClient", u"User", u"default", Root::Users);
    t.key(u"SOFTWARE\\Zantrel\\Shared");

    // Beside the suite, named like it, and what the junction leads to: nothing of these may go.
    t.of(u"sentinel");
    t.file(kProgramFiles + u"\\Zantrel Enterprise Tools\\keep.txt");
    t.file(u"C:\\Shared Data\\keep.txt");
    t.file(u"C:\\Shared Data\\reports\\2026.csv");
    t.value(u"SOFTWARE\\ZantrelSentinel", u"keep", u"1");
    t.value(u"SOFTWARE\\Zantrel Tools\\Keep", u"keep", u"1");
    t.value(kUninstall + u"{QTV-SENTINEL}", u"DisplayName", u"Velmora Zantrel Client Tools");
    t.value(u"Software\\ZantrelSentinel", u"keep", u"1", Root::CurrentUser);
    t.file(documents + u"\\keep.txt");
    t.file(documents + u"\\QTVCredentials Old\\keep.txt");
    t.file(localAppData + u"\\Zantrel Tools\\keep.txt");
    // The SQL Server instance and another program's data source.
    t.service(u"MSSQLSERVER");
    t.line(u"server\t.");
    t.dataSource(u"Inventory Reports");
    return items;
}

std::vector<SuiteItem> SuiteRoots(const SuiteFolders& folders)
{
    std::vector<SuiteItem> roots;
    Table t(roots);
    t.of(u"roots");
    t.folder(folders.localAppData + u"\\Zantrel");
    t.folder(kSuite);
    t.key(u"SOFTWARE\\Zantrel");
    t.key(u"SOFTWARE\\Zantrel, Inc.");
    t.key(u"Software\\Zantrel", Root::CurrentUser);
    t.key(u".DEFAULT\\Software\\Zantrel", Root::Users);
    return roots;
}

std::vector<std::u16string> ClearedPaths(const SuiteFolders& folders)
{
    std::vector<std::u16string> paths;
    for (const SuiteItem& item : SuiteItems(folders)) {
        if (item.kind != Kind::File && item.kind != Kind::Folder && item.kind != Kind::Junction)
            continue;
        std::size_t below = 2; // the drive, "C:"
        for (const std::u16string& folder : {folders.documents, folders.localAppData, kProgramFiles})
            if (item.path.rfind(folder + u"\\", 0) == 0)
                below = std::max(below, folder.size());
        const std::u16string top = item.path.substr(0, item.path.find(u'\\', below + 1));
        if (std::find(paths.begin(), paths.end(), top) == paths.end())
            paths.push_back(top);
    }
    return paths;
}

std::vector<unsigned char> ValueBytes(const SuiteItem& item)
{
    std::vector<unsigned char> bytes;
    const auto text = [&bytes](const std::u16string& characters) {
        for (const char16_t c : characters) {
            bytes.push_back(static_cast<unsigned char>(c & 0xFF));
            bytes.push_back(static_cast<unsigned char>(c >> 8));
        }
        bytes.insert(bytes.end(), 2, 0);
    };
    const auto number = [&](std::size_t size) {
        unsigned long long value = std::stoull(ToUtf8(item.data));
        for (std::size_t i = 0; i < size; ++i, value >>= 8)
            bytes.push_back(static_cast<unsigned char>(value & 0xFF));
    };
    switch (item.type) {
    case Type::String:
    case Type::ExpandString:
        text(item.data);
        break;
    case Type::MultiString:
        for (std::size_t start = 0; start < item.data.size();) {
            const std::size_t end = std::min(item.data.find(u'\n', start), item.data.size());
            text(item.data.substr(start, end - start));
            start = end + 1;
        }
        bytes.insert(bytes.end(), 2, 0);
        break;
    case Type::Dword:
        number(4);
        break;
    case Type::Qword:
        number(8);
        break;
    case Type::Binary:
        for (std::size_t i = 0; i + 1 < item.data.size(); i += 2)
            bytes.push_back(static_cast<unsigned char>(std::stoul(ToUtf8(item.data.substr(i, 2)), nullptr, 16)));
        break;
    }
    return bytes;
}

bool OfTheSuite(const SuiteItem& item)
{
    return item.component != u"bin" && item.component != u"sentinel";
}

std::string Describe(const SuiteItem& item)
{
    const std::string root = item.root == Root::CurrentUser ? "HKCU\\" : item.root == Root::Users ? "HKU\\" : "HKLM\\";
    const std::string view = item.view64 ? " (64-bit view)" : "";
    const std::string head = ToUtf8(item.component) + ": ";
    switch (item.kind) {
    case Kind::Key:
        return head + "key " + root + ToUtf8(item.path) + view;
    case Kind::Value:
        return head + "value " + root + ToUtf8(item.path) + ":[" + ToUtf8(item.name) + "]" + view;
    case Kind::Folder:
        return head + "folder " + ToUtf8(item.path);
    case Kind::File:
        return head + "file " + ToUtf8(item.path);
    case Kind::Junction:
        return head + "junction " + ToUtf8(item.path);
    case Kind::Service:
        return head + "service " + ToUtf8(item.path);
    case Kind::Package:
        return head + "package " + ToUtf8(item.data);
    case Kind::Line:
        return head + "SQL Server state line " + ToUtf8(item.path);
    }
    return head;
}

std::string Describe(const std::vector<SuiteItem>& items)
{
    std::string text;
    for (const SuiteItem& item : items)
        text += Describe(item) + "\n";
    return text;
}
