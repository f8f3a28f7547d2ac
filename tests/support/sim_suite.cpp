#include "support/sim_suite.h"

#include <memory>
#include <optional>
#include <stdexcept>

#include "app/silent_session.h"
#include "core/run_options.h"
#include "database/odbc.h"
#include "platform/only_copy.h"
#include "platform/os_api.h"
#include "platform/text.h"

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_shell.h"
#include "support/machine_snapshot.h"
#include "support/reg_file.h"
#include "support/sql_server_state.h"
#include "support/suite_root_key.h"
#include "toolkit/uninstall_lookups.h"

namespace {

using Kind = SuiteItem::Kind;
using Content = SuiteItem::Content;
using View = SimRegistry::View;

const std::u16string kMsiExec = u"C:\\Windows\\System32\\MsiExec.exe";
const std::u16string kServices = u"SYSTEM\\CurrentControlSet\\Services\\";
const std::u16string kDataSources = u"SOFTWARE\\ODBC\\ODBC.INI\\";
const std::u16string kUninstall = kUninstallKey + std::u16string(u"\\");

View ViewOf(const SuiteItem& item)
{
    return item.view64 ? View::Native64 : View::Wow32;
}

// The Uninstall entry a command names: "entry={X}" for the setup stand-in, "/I{X}" for msiexec.
std::u16string EntryOf(const std::u16string& commandLine)
{
    const std::size_t open = commandLine.find(u'{');
    const std::size_t close = commandLine.find(u'}', open);
    if (open == std::u16string::npos || close == std::u16string::npos)
        return {};
    return commandLine.substr(open, close - open + 1);
}

// An item's key as RegistryContents names it.
std::string KeyName(const SuiteItem& item)
{
    const char16_t* root = item.root == SuiteItem::Root::CurrentUser ? u"HKCU\\"
                           : item.root == SuiteItem::Root::Users     ? u"HKU\\"
                                                                     : u"HKLM\\";
    return RegistryKeyName(root + item.path + (item.view64 ? u" (64-bit view)" : u""));
}

// Takes a package's registry item away as Windows Installer does: the value, then its key once
// nothing is left in it.
void TakeAway(SimRegistry& registry, const SuiteItem& item, SimUninstallerTakes* taken)
{
    const HKEY root = RootKeyOf(item);
    if (item.kind == Kind::Value) {
        HKEY key = nullptr;
        const REGSAM access = KEY_SET_VALUE | KEY_QUERY_VALUE | (item.view64 ? KEY_WOW64_64KEY : 0);
        if (registry.open(root, item.path.c_str(), false, access, &key) != ERROR_SUCCESS)
            return;
        if (registry.deleteValue(key, item.name.c_str()) == ERROR_SUCCESS && taken != nullptr)
            taken->insert(KeyName(item) + ":[" + ToUtf8(item.name) + "]");
        DWORD subkeys = 0;
        DWORD values = 0;
        registry.queryInfo(key, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr);
        registry.close(key);
        if (subkeys != 0 || values != 0)
            return;
    }
    if (registry.keyExists(root, item.path, ViewOf(item)) && taken != nullptr)
        taken->insert(KeyName(item));
    registry.removeTree(root, item.path, ViewOf(item));
}

// SQLRemoveDSNFromIniW as Windows' installer library does it for a 32-bit program: the data
// source's key and its line in the list go from the 32-bit view, and one that is not there counts
// as removed. The library writes the registry itself, not through the program's calls: nothing
// here is counted or failed. Once the machine has ended the program's process, neither the library
// nor a statement to the server does anything.
class SimInstallerLibrary : public DatabaseChanges {
public:
    explicit SimInstallerLibrary(SimMachine& machine) : machine_(machine), registry_(machine.registry()) {}

    bool execute(ODBCHandleValue connection, const std::string& sql) override
    {
        return !machine_.stopped() && DatabaseChanges::execute(connection, sql);
    }

    bool removeDSNFromIni(const std::u16string& name) override
    {
        if (machine_.stopped())
            return false;
        registry_.removeTree(HKEY_LOCAL_MACHINE, kDataSources + name);
        HKEY list = nullptr;
        const std::u16string listPath = kDataSources + u"ODBC Data Sources";
        if (registry_.open(HKEY_LOCAL_MACHINE, listPath.c_str(), false, KEY_SET_VALUE, &list) == ERROR_SUCCESS) {
            registry_.deleteValue(list, name.c_str());
            registry_.close(list);
        }
        return true;
    }

private:
    SimMachine& machine_;
    SimRegistry& registry_;
};

// A line of the SQL Server's state, as the stand-in reads it.
std::string StateLine(const SuiteItem& item)
{
    return ToUtf8(item.path) + "\n";
}

// The areas' inspection calls do not go through the seam: looking counts nothing.
bool Present(SimMachine& machine, const SqlServerState* server, const SuiteItem& item)
{
    switch (item.kind) {
    case Kind::Key:
        return machine.registry().keyExists(RootKeyOf(item), item.path, ViewOf(item));
    case Kind::Value:
        return machine.registry().valueExists(RootKeyOf(item), item.path, item.name, ViewOf(item));
    case Kind::Folder:
    case Kind::File:
    case Kind::Junction:
        return machine.files().exists(item.path);
    case Kind::Service:
        // A service that names its program keeps its registration until it is gone.
        return machine.services().exists(item.path) ||
               (!item.data.empty() && machine.registry().keyExists(HKEY_LOCAL_MACHINE, kServices + item.path));
    case Kind::Package:
        return machine.registry().keyExists(HKEY_LOCAL_MACHINE, kUninstall + item.data);
    case Kind::Line:
        return server && ("\n" + server->state()).find("\n" + StateLine(item)) != std::string::npos;
    }
    return false;
}

void Lay(SimMachine& machine, bool databases, const SuiteItem& item)
{
    SimFileSystem& files = machine.files();
    switch (item.kind) {
    case Kind::Key:
        machine.registry().createKey(RootKeyOf(item), item.path, ViewOf(item));
        break;
    case Kind::Value:
        machine.registry().setValue(RootKeyOf(item), item.path, item.name, static_cast<DWORD>(item.type), ValueBytes(item),
                                    ViewOf(item));
        break;
    case Kind::Folder:
        files.addFolder(item.path);
        break;
    case Kind::File:
        files.addFile(item.path, item.content == Content::Text ? "kept\r\n" : "MZ",
                      item.readOnly ? FILE_ATTRIBUTE_READONLY : 0);
        if (item.content == Content::Versioned)
            files.setFileVersion(item.path, 9, 5, 10, 79);
        break;
    case Kind::Junction:
        files.addJunction(item.path, item.data);
        break;
    case Kind::Service:
        // Without the stand-in nothing answers for SQL Server: a running instance would be one
        // nobody can look into, and the databases' detection incomplete. It stands stopped then.
        machine.services().addService(item.path,
                                      item.path == u"MSSQLSERVER" && !databases ? SERVICE_STOPPED : SERVICE_RUNNING,
                                      ULONGLONG{item.stopDelayMs});
        if (!item.data.empty())
            machine.registry().setString(HKEY_LOCAL_MACHINE, kServices + item.path, u"ImagePath", item.data);
        break;
    case Kind::Package: // its items are laid one by one
    case Kind::Line:
        break;
    }
}

} // namespace

SuiteFolders SimSuiteFolders()
{
    return {u"C:\\Users\\user\\Documents", u"C:\\Users\\user\\AppData\\Local"};
}

SuiteFolders SimSuiteFolders(SimMachine& machine)
{
    SuiteFolders folders;
    machine.shell().folder(CSIDL_PERSONAL, folders.documents);
    machine.shell().folder(CSIDL_LOCAL_APPDATA, folders.localAppData);
    return folders;
}

std::vector<SuiteItem> SimSuiteItems(const SuiteFolders& folders, bool databases)
{
    std::vector<SuiteItem> items;
    for (SuiteItem& item : SuiteItems(folders))
        if (databases || (item.component != u"database" && item.kind != Kind::Line))
            items.push_back(std::move(item));
    return items;
}

void LaySimSuite(SimMachine& machine, bool inertUninstallers, SqlServerState* server, SimUninstallerTakes* taken)
{
    const std::vector<SuiteItem> items = SimSuiteItems(SimSuiteFolders(machine), server != nullptr);
    std::string state;
    for (const SuiteItem& item : items) {
        Lay(machine, server != nullptr, item);
        if (item.kind == Kind::Line)
            state += StateLine(item);
    }
    if (server)
        server->setState(state);
    // Every Windows has it; a deletion listed for the restart writes its list there.
    machine.registry().createKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager");
    // The stand-ins work outside the seam: the program's own calls are the ones counted and
    // failed. An uninstaller takes its entry away, and what its package installed in the registry.
    const auto uninstall = [items, inertUninstallers, taken](SimProgramContext& context) {
        const std::u16string entry = EntryOf(context.commandLine());
        if (entry.empty() || inertUninstallers)
            return;
        SimRegistry& registry = context.machine().registry();
        const std::u16string key = kUninstall + entry;
        if (registry.keyExists(HKEY_LOCAL_MACHINE, key) && taken != nullptr)
            taken->insert(RegistryKeyName(u"HKLM\\" + key));
        registry.removeTree(HKEY_LOCAL_MACHINE, key);
        for (const SuiteItem& item : items)
            if (item.package == entry && (item.kind == Kind::Key || item.kind == Kind::Value))
                TakeAway(registry, item, taken);
    };
    machine.processes().addProgram(kMsiExec, uninstall);
    for (const SuiteItem& item : items) {
        if (item.kind != Kind::File || item.content == Content::Text || item.content == Content::Versioned)
            continue;
        if (item.content == Content::Uninstaller) {
            machine.processes().addProgram(item.path, uninstall);
            continue;
        }
        // The service program told " -remove" removes the services that run it.
        const std::u16string program = item.path;
        machine.processes().addProgram(program, [items, program, inertUninstallers](SimProgramContext& context) {
            if (inertUninstallers || context.commandLine().find(u" -remove") == std::u16string::npos)
                return;
            for (const SuiteItem& service : items)
                if (service.kind == Kind::Service && service.data == u"\"" + program + u"\"")
                    context.machine().services().removeByItsOwnProgram(service.path);
        });
    }
}

void MakeSimUninstallerWait(SimMachine& machine, const std::u16string& entry, const std::u16string& title,
                            DWORD milliseconds)
{
    for (const SuiteItem& item : SimSuiteItems()) {
        if (item.component != u"bin" || item.content != SuiteItem::Content::Uninstaller)
            continue;
        const SimBehaviour work = machine.processes().behaviourOf(item.path);
        machine.processes().addProgram(item.path, [work, entry, title, milliseconds](SimProgramContext& context) {
            work(context);
            if (context.commandLine().find(u"entry=" + entry) == std::u16string::npos)
                return;
            if (!title.empty())
                context.showWindow(title);
            context.liveFor(milliseconds);
        });
    }
}

std::vector<SuiteItem> SimSuiteLeft(SimMachine& machine, const SqlServerState* server)
{
    std::vector<SuiteItem> left;
    for (const SuiteItem& item : SimSuiteItems(SimSuiteFolders(machine), server != nullptr))
        if (OfTheSuite(item) && Present(machine, server, item))
            left.push_back(item);
    return left;
}

std::vector<SuiteItem> SimSentinelsLost(SimMachine& machine, const SqlServerState* server)
{
    std::vector<SuiteItem> lost;
    for (const SuiteItem& item : SimSuiteItems(SimSuiteFolders(machine), server != nullptr))
        if (item.component == u"sentinel" && !Present(machine, server, item))
            lost.push_back(item);
    return lost;
}

void TakeGoneServices(SimMachine& machine, SimUninstallerTakes& taken)
{
    for (const SuiteItem& item : SimSuiteItems(SimSuiteFolders(), true))
        if (item.kind == Kind::Service && !machine.services().exists(item.path))
            for (const char16_t* view : {u"", u" (64-bit view)"})
                taken.insert(RegistryKeyName(u"HKLM\\" + kServices + item.path + view));
}

bool WasTaken(const SimUninstallerTakes& taken, const std::string& key, const std::u16string& value)
{
    if (!value.empty() && taken.count(key + ":[" + ToUtf8(value) + "]"))
        return true;
    for (std::string above = key;; above.resize(above.rfind('\\'))) {
        if (taken.count(above))
            return true;
        if (above.find('\\') == std::string::npos)
            return false;
    }
}

RegistryContents SimRegistryContents(const SimRegistry& registry)
{
    RegistryContents contents;
    const auto keep = [&](HKEY root, const std::u16string& shown, View view) {
        VisitKeys(registry, root, shown, view, [&](const std::u16string& name, const std::u16string& path) {
            contents[RegistryKeyName(name)] = registry.values(root, path, view);
        });
    };
    for (const View view : {View::Wow32, View::Native64})
        keep(HKEY_LOCAL_MACHINE, u"HKLM\\", view);
    keep(HKEY_USERS, u"HKU\\", View::Wow32);
    keep(HKEY_CURRENT_USER, u"HKCU\\", View::Wow32);
    return contents;
}

bool ImportSimBackup(SimMachine& machine, const std::u16string& folder)
{
    bool imported = true;
    for (const bool view64 : {false, true}) {
        try {
            if (const auto bytes = machine.files().content(folder + (view64 ? u"\\registry-64.reg" : u"\\registry.reg")))
                ImportRegFile(machine.registry(), ParseRegFile(*bytes), view64);
        } catch (const std::runtime_error&) {
            imported = false;
        }
    }
    return imported;
}

SimSuiteRun RunSilentAll(const std::u16string& backupFolder, bool plan, const std::u16string& more)
{
    // The program's own start: its options, its folder, its claim, then its silent run, the log
    // written where "/log" puts it and read back from there.
    static unsigned runs = 0;
    const std::u16string logPath = u"C:\\qtv-logs\\run-" + ToUtf16(std::to_string(++runs)) + u".log";
    RunOptions options = ParseRunOptions(u"/silent /all /log " + logPath + (plan ? u" /plan" : u"") +
                                         (backupFolder.empty() ? u"" : u" /backup \"" + backupFolder + u"\"") + more);
    SimSuiteRun run;
    SimMachine& machine = dynamic_cast<SimMachine&>(Os());
    SimInstallerLibrary installerLibrary(machine);
    const ScopedDatabaseChanges dataSources(installerLibrary);
    try {
        EnterSystemFolder(options);
        const OnlyCopyClaim claim = OnlyCopyClaim::Claim();
        const SilentSession session = RunSilentSession(options, claim.held(), u"QTVRemove", u"0.0");
        run.listing = PlanListing(session.result);
        for (const ComponentOutcome& component : session.result.components) {
            if (component.removeCalled && !component.removeResult)
                ++run.componentsThrew;
            run.deleted.insert(run.deleted.end(), component.deleted.begin(), component.deleted.end());
            run.detectionIncomplete |= component.detectionError.has_value();
            run.awaitingRestart.insert(run.awaitingRestart.end(), component.pendingRestart.begin(),
                                       component.pendingRestart.end());
        }
        run.deleted.insert(run.deleted.end(), session.result.rootsDeleted.begin(), session.result.rootsDeleted.end());
        for (const DeletedObject& object : session.result.rootsDeleted)
            if (object.kind == DeletedKind::PendingRestart)
                run.awaitingRestart.push_back(object.name);
        run.exitStatus = session.exitStatus;
    } catch (...) {
        run.escaped = true;
    }
    if (const auto bytes = machine.files().content(logPath))
        run.log = ToUtf16(*bytes);
    return run;
}
