#include "support/sim_suite.h"

#include "core/log.h"
#include "core/silent_driver.h"
#include "products/products.h"
#include "toolkit/root_cleanup.h"
#include "toolkit/uninstaller.h"

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_services.h"
#include "platform/text.h"

namespace {

using Kind = SimSuiteItem::Kind;
using View = SimRegistry::View;

const std::u16string kSuite = u"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::u16string kClient = kSuite + u"\\QTV Client";
const std::u16string kServer = kSuite + u"\\QTV Server";
const std::u16string kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::u16string kAppPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const std::u16string kSettings = u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\";
const std::u16string kInstaller = u"SOFTWARE\\Classes\\Installer\\";
const std::u16string kUserData =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\";
const std::u16string kSetupProgram = u"C:\\qtv-suite\\bin\\setup.exe";
const std::u16string kSetup = u"\"" + kSetupProgram + u"\"";
const std::u16string kHelper = kClient + u"\\QTVClientHelper.exe";
const std::u16string kHelperService = u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper";
const std::u16string kMsiExec = u"C:\\Windows\\System32\\MsiExec.exe";
const std::u16string kDocuments = u"C:\\Users\\user\\Documents";
const std::u16string kLocalAppData = u"C:\\Users\\user\\AppData\\Local";

class Table {
public:
    explicit Table(std::vector<SimSuiteItem>& items) : items_(items) {}

    Table& of(const char16_t* component)
    {
        component_ = component;
        return *this;
    }
    void key(const std::u16string& path, HKEY root = HKEY_LOCAL_MACHINE)
    {
        items_.push_back({component_, Kind::Key, root, path, {}, {}, View::Wow32, {}});
    }
    void value(const std::u16string& path, const std::u16string& name, const std::u16string& data,
               HKEY root = HKEY_LOCAL_MACHINE, View view = View::Wow32)
    {
        items_.push_back({component_, Kind::Value, root, path, name, data, view, {}});
    }
    // Windows Installer's registration of a product that is no longer installed.
    void registration(const std::u16string& packedCode, const std::u16string& packedUpgradeCode,
                      const std::u16string& name)
    {
        value(kInstaller + u"Products\\" + packedCode, u"ProductName", name);
        value(kInstaller + u"Features\\" + packedCode, u"Agent", u"");
        value(kInstaller + u"UpgradeCodes\\" + packedUpgradeCode, packedCode, u"");
        value(kUserData + packedCode + u"\\InstallProperties", u"DisplayName", name, HKEY_LOCAL_MACHINE,
              View::Native64);
    }
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
    // A Windows Installer package: its entry with the maintenance command most packages register.
    void package(const std::u16string& code, const std::u16string& name, const std::u16string& version)
    {
        entry(code, name, {}, u"MsiExec.exe /I" + code, version);
    }
    void folder(const std::u16string& path) { items_.push_back({component_, Kind::Folder, nullptr, path, {}, {}, View::Wow32, {}}); }
    void file(const std::u16string& path) { items_.push_back({component_, Kind::File, nullptr, path, {}, {}, View::Wow32, {}}); }
    void service(const std::u16string& name) { items_.push_back({component_, Kind::Service, nullptr, name, {}, {}, View::Wow32, {}}); }
    // A key the package's own uninstaller takes away with its entry.
    void packageValue(const std::u16string& code, const std::u16string& path, const std::u16string& name,
                      const std::u16string& data)
    {
        items_.push_back({component_, Kind::Value, HKEY_LOCAL_MACHINE, path, name, data, View::Wow32, code});
    }
    void junction(const std::u16string& path, const std::u16string& target)
    {
        items_.push_back({component_, Kind::Junction, nullptr, path, {}, target});
    }

private:
    std::vector<SimSuiteItem>& items_;
    std::u16string component_;
};

// The Uninstall entry a command names: "entry={X}" for the setup stand-in, "{X}" for msiexec.
std::u16string EntryOf(const std::u16string& commandLine)
{
    const std::size_t open = commandLine.find(u'{');
    const std::size_t close = commandLine.find(u'}', open);
    if (open == std::u16string::npos || close == std::u16string::npos)
        return {};
    return commandLine.substr(open, close - open + 1);
}

// The areas' inspection calls do not go through the seam: looking counts nothing.
bool Present(SimMachine& machine, const SimSuiteItem& item)
{
    switch (item.kind) {
    case Kind::Key:
        return machine.registry().keyExists(item.root, item.path, item.view);
    case Kind::Value:
        return machine.registry().valueExists(item.root, item.path, item.name, item.view);
    case Kind::Folder:
    case Kind::File:
    case Kind::Junction:
        return machine.files().exists(item.path);
    case Kind::Service:
        return machine.services().exists(item.path);
    }
    return false;
}

} // namespace

std::vector<SimSuiteItem> SimSuiteItems()
{
    std::vector<SimSuiteItem> items;
    Table t(items);

    t.of(u"webui");
    t.entry(u"{QTV-WEBUI}", u"Velmora Zantrel WebUI Service", kSuite + u"\\QTV WebUI", kSetup + u" entry={QTV-WEBUI}");
    t.file(kSuite + u"\\QTV WebUI\\WebUIService.exe");
    t.file(kSuite + u"\\QTV WebUI\\WebUI\\sites\\default\\index.html");
    t.folder(kSuite + u"\\QTV WebUI\\WebUI\\ETL");
    t.value(kSettings + u"_WebUI_HTTPS_Port", u"value", u"443");
    t.value(kSettings + u"_WebUIAppEnv_WORK_DIR", u"value", kSuite + u"\\QTV WebUI\\WebUI\\sites");
    t.key(u"SYSTEM\\ControlSet002\\services\\QTVWebUI");
    t.service(u"QTVWebUI");

    t.of(u"a2a");
    t.value(u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A", u"DLLPath", kSuite + u"\\QTV A2A");
    t.file(kSuite + u"\\QTV A2A\\QTVA2ADLL.dll");

    t.of(u"api");
    t.entry(u"{5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}", u"Zantrel Enterprise Server API", {},
            kSetup + u" entry={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718}");

    t.of(u"console");
    t.package(u"{6A1F3B27-8C4D-4E5A-9B6C-7D8E9F0A1B21}", u"Velmora Zantrel Console", u"9.5.4.38");
    t.packageValue(u"{6A1F3B27-8C4D-4E5A-9B6C-7D8E9F0A1B21}", kAppPaths + u"QTVConsole.exe", u"Path",
                   kSuite + u"\\QTV Console\\");
    t.file(kSuite + u"\\QTV Console\\QTVConsole.exe");
    t.value(u"Software\\Zantrel\\Enterprise Console", u"LastServer", u"localhost", HKEY_CURRENT_USER);
    t.file(kLocalAppData + u"\\Zantrel\\Enterprise Console\\console.ini");

    t.of(u"sam");
    t.package(u"{8C41D7A2-5E36-4B0F-A1D9-2F7E6C5B4A31}", u"Software Asset Management", u"3.1.0.12");
    t.key(u"Software\\Zantrel\\Zantrel Inventory\\Scanner");

    t.of(u"cdt");
    t.package(u"{4F7A2C18-9B3E-4D61-8E5A-0C2B1D3E4F71}", u"Velmora Zantrel Client Deploy Tool", u"9.5.4.38");
    t.file(kSuite + u"\\QTV Client Deploy\\deploy.log");

    t.of(u"relay");
    t.entry(u"{QTV-RELAY}", u"\u00BBVelmora Zantrel Relay\u00AB", kSuite + u"\\QTV Relay", kSetup + u" entry={QTV-RELAY}");
    t.registration(u"7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F", u"8D2E3F4A5B6C7D8E9F0A1B2C3D4E5F60", u"YLM Relay");
    t.file(kSuite + u"\\QTV Relay\\QTVRelay.exe");
    t.value(u"SOFTWARE\\Zantrel\\Enterprise Server", u"RelayVersion", u"9.5.10.79");
    t.key(u"SOFTWARE\\Zantrel\\QTVRelay");
    t.service(u"QTVRelay");

    t.of(u"server");
    t.entry(u"{QTV-SERVER}", u"Zantrel Enterprise Server", kServer, kSetup + u" entry={QTV-SERVER}");
    t.file(kServer + u"\\QTVRootServer.exe");
    t.file(kServer + u"\\wwwrootqtv\\index.htm");
    t.file(kServer + u"\\QTVReportsServer\\wwwroot\\cgi-bin\\qtvreports\\qtvreports.exe");
    t.key(u"SOFTWARE\\Zantrel\\Zantrel Server");
    t.key(u"SOFTWARE\\Zantrel\\KMEAdmin");
    for (const char16_t* name : {u"QTVWebReportsServer", u"GatherDB", u"FillDB", u"QTVRootServer", u"QTVGather"})
        t.service(name);

    t.of(u"dlp");
    t.file(kClient + u"\\DLP\\QTVDravelockCtrl.exe");
    t.file(kClient + u"\\DLP\\policies\\rules.xml");
    t.key(u"SOFTWARE\\Zantrel\\DLP");

    t.of(u"loggingservice");
    t.package(u"{7B3D9E42-1C5A-4F86-9D27-3E4F5A6B7C81}", u"QTV Logging Service", u"1.4.0.2");
    t.file(kClient + u"\\QTVClientLoggingService\\logs\\service.log");
    t.key(u"SOFTWARE\\Zantrel\\LoggingService\\Settings");

    // The agent names its folder, with a trailing backslash, only in App Paths.
    t.of(u"client");
    t.package(u"{5D2E0AB1-C3F4-4E9A-8B71-2C3D4E5F6A71}", u"Velmora Zantrel Client", u"9.5.10.79");
    t.packageValue(u"{5D2E0AB1-C3F4-4E9A-8B71-2C3D4E5F6A71}", kAppPaths + u"QTVClient.exe", u"Path", kClient + u"\\");
    t.service(u"QTVClient");
    // The helper removes itself ("-remove"), its service registration with it.
    t.service(u"QTVClientHelper");
    t.value(kHelperService, u"ImagePath", u"\"" + kHelper + u"\"");
    t.key(u"SOFTWARE\\Zantrel\\QTVClientHelper");
    t.value(kUninstall + u"{QTV-YLM-AGENT}", u"DisplayName", u"YLM Agent");
    t.registration(u"3F2E1D0C9B8A7F6E5D4C3B2A1F0E9D8C", u"4A3B2C1D0E9F8A7B6C5D4E3F2A1B0C9D", u"Velmora Corbelis Agent");
    t.file(kClient + u"\\QTVClient.exe");
    t.file(kClient + u"\\QTVClient.ini");
    t.key(u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");
    t.key(u"SOFTWARE\\Zantrel\\ClientComplianceAPI");
    t.key(u"SOFTWARE\\Zantrel, Inc.\\Zantrel Enterprise Client");
    t.key(u"SYSTEM\\ControlSet002\\services\\QTVClient");
    t.key(u"SOFTWARE\\Zantrel\\QTVClientHelper");
    // A link an administrator made inside the agent's folder to a folder of their own.
    t.junction(kClient + u"\\Shared", u"C:\\Shared Data");

    t.of(u"generator");
    t.entry(u"{QTV-GEN}", u"YLM Installation Generator", {}, kSetup + u" entry={QTV-GEN}");
    t.registration(u"9E8D7C6B5A4F3E2D1C0B9A8F7E6D5C4B", u"0F1E2D3C4B5A69788796A5B4C3D2E1F0",
                   u"Ostrel Calvorn Installation Generator");
    t.value(u"SOFTWARE\\Zantrel\\QTV Installation Generator", u"InstallFolder", kSuite + u"\\Installation Generator");
    t.file(kSuite + u"\\Installation Generator\\generator.exe");
    t.file(kDocuments + u"\\QTVCredentials\\server.cred");

    t.of(u"msde");
    t.package(u"{2E9B4F61-7A3C-4D58-B0E2-9C1D8F7A6B51}", u"Microsoft SQL Server Desktop Engine", u"8.0.761");

    t.of(u"roots");
    t.value(u".DEFAULT\\Software\\Zantrel\\EnterpriseClient", u"User", u"default", HKEY_USERS);
    t.key(u"SOFTWARE\\Zantrel\\Shared");

    // Beside the suite, named like it, and what the junction leads to: nothing of these may go.
    t.of(u"sentinel");
    t.file(u"C:\\Program Files (x86)\\Zantrel Enterprise Tools\\keep.txt");
    t.file(u"C:\\Shared Data\\keep.txt");
    t.file(u"C:\\Shared Data\\reports\\2026.csv");
    t.value(u"SOFTWARE\\ZantrelSentinel", u"keep", u"1");
    t.value(u"SOFTWARE\\Zantrel Tools\\Keep", u"keep", u"1");
    t.value(kUninstall + u"{QTV-SENTINEL}", u"DisplayName", u"Velmora Zantrel Client Tools");
    t.value(u"Software\\ZantrelSentinel", u"keep", u"1", HKEY_CURRENT_USER);
    t.file(kDocuments + u"\\keep.txt");
    t.file(kDocuments + u"\\QTVCredentials Old\\keep.txt");
    t.file(kLocalAppData + u"\\Zantrel Tools\\keep.txt");
    return items;
}

void LaySimSuite(SimMachine& machine)
{
    for (const SimSuiteItem& item : SimSuiteItems()) {
        switch (item.kind) {
        case Kind::Key:
            machine.registry().createKey(item.root, item.path, item.view);
            break;
        case Kind::Value:
            machine.registry().setString(item.root, item.path, item.name, item.data, REG_SZ, item.view);
            break;
        case Kind::Folder:
            machine.files().addFolder(item.path);
            break;
        case Kind::File:
            machine.files().addFile(item.path, "kept\r\n");
            break;
        case Kind::Junction:
            machine.files().addJunction(item.path, item.data);
            break;
        case Kind::Service:
            machine.services().addService(item.path, SERVICE_RUNNING);
            break;
        }
    }
    // The stand-ins take their entry away outside the seam: the program's own calls are the ones
    // counted and failed.
    const auto uninstall = [](SimProgramContext& context) {
        const std::u16string entry = EntryOf(context.commandLine());
        if (entry.empty())
            return;
        SimRegistry& registry = context.machine().registry();
        registry.deleteKey(HKEY_LOCAL_MACHINE, (kUninstall + entry).c_str());
        for (const SimSuiteItem& item : SimSuiteItems())
            if (item.takenBy == entry)
                registry.deleteKey(item.root, item.path.c_str());
    };
    machine.processes().addProgram(kSetupProgram, uninstall);
    machine.processes().addProgram(kMsiExec, uninstall);
    machine.processes().addProgram(kHelper, [](SimProgramContext& context) {
        context.machine().services().removeByItsOwnProgram(u"QTVClientHelper");
    });
    // The agent and DLP run their own programs from their folders for the uninstall.
    for (const std::u16string& program :
         {kClient + u"\\QTVClient.exe", kClient + u"\\DLP\\QTVDravelockCtrl.exe", kSuite + u"\\QTV WebUI\\WebUIService.exe"})
        machine.processes().addProgram(program, [](SimProgramContext&) {});
}

std::string DescribeSimItems(const std::vector<SimSuiteItem>& items)
{
    static const char* const kKinds[] = {"key", "value", "folder", "file", "service", "junction"};
    std::string text;
    for (const SimSuiteItem& item : items) {
        text += ToUtf8(item.component) + ": " + kKinds[static_cast<int>(item.kind)] + " " + ToUtf8(item.path);
        if (item.kind == Kind::Value)
            text += ":[" + ToUtf8(item.name) + "]";
        text += "\n";
    }
    return text;
}

std::vector<SimSuiteItem> SimSuiteLeft(SimMachine& machine)
{
    std::vector<SimSuiteItem> left;
    for (const SimSuiteItem& item : SimSuiteItems())
        if (item.component != u"sentinel" && Present(machine, item))
            left.push_back(item);
    return left;
}

std::vector<SimSuiteItem> SimSentinelsLost(SimMachine& machine)
{
    std::vector<SimSuiteItem> lost;
    for (const SimSuiteItem& item : SimSuiteItems())
        if (item.component == u"sentinel" && !Present(machine, item))
            lost.push_back(item);
    return lost;
}

SimSuiteRun RunSilentAll()
{
    SimSuiteRun run;
    LogQueue queue;
    Remove::MessageLog log(&queue);
    const Products products = MakeProducts(&log);
    try {
        const SilentRunResult result = RunSilent(
            u"/silent /all", products.set, SilentRunContext{&log, u"QTVRemove", RemoveRootTraces, TakeRestartRequest});
        for (const ComponentOutcome& component : result.components)
            if (component.removeCalled && !component.removeResult)
                ++run.componentsThrew;
    } catch (...) {
        run.escaped = true;
    }
    run.log = TakeLogText(queue).value_or(u"");
    return run;
}
