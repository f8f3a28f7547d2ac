#include "support/large_machine.h"

#include <vector>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "support/foreign_registrations.h"

namespace {

const std::u16string kUninstall = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::u16string kSuite = u"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::u16string kSetup = u"C:\\qtv-suite\\bin\\setup.exe";
const std::u16string kMsiExec = u"C:\\Windows\\System32\\MsiExec.exe";

void Lay(SimRegistry& registry, const std::vector<RegistrationValue>& values)
{
    for (const RegistrationValue& value : values)
        registry.setString(HKEY_LOCAL_MACHINE, value.path, value.name, value.data, REG_SZ,
                           value.native64 ? SimRegistry::View::Native64 : SimRegistry::View::Wow32);
}

void Entry(SimRegistry& registry, const std::u16string& key, const std::u16string& name,
           const std::u16string& folder, const std::u16string& command,
           const std::u16string& version = u"9.5.10.79")
{
    Lay(registry, UninstallEntry(key, name, folder, command, version));
}

void Registration(SimRegistry& registry, const std::u16string& packed, const std::u16string& upgrade,
                  const std::u16string& name)
{
    Lay(registry, InstallerRegistration(packed, upgrade, name));
}

// An uninstaller that takes away the Uninstall entry its command line names after `marker`, up to
// the next blank: "setup.exe entry={KEY}", "MsiExec.exe /X{KEY} /qn".
SimBehaviour RemovesEntryAfter(std::u16string marker)
{
    return [marker](SimProgramContext& context) {
        const std::u16string& line = context.commandLine();
        const std::size_t at = line.find(marker);
        if (at == std::u16string::npos)
            return;
        const std::size_t start = at + marker.size();
        const std::u16string key = line.substr(start, line.find(u' ', start) - start);
        context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstall + key).c_str());
    };
}

void LaySuite(SimMachine& machine)
{
    SimRegistry& registry = machine.registry();
    SimFileSystem& files = machine.files();
    const std::u16string setup = u"\"" + kSetup + u"\" entry=";
    machine.processes().addProgram(kSetup, RemovesEntryAfter(u"entry="));
    machine.processes().addProgram(kMsiExec, RemovesEntryAfter(u"/X"));

    Entry(registry, u"{QTV-WEBUI}", u"Velmora Zantrel WebUI Service", kSuite + u"\\QTV WebUI", setup + u"{QTV-WEBUI}");
    files.addFile(kSuite + u"\\QTV WebUI\\WebUIService.exe");
    machine.services().addService(u"QTVWebUI", SERVICE_RUNNING);

    registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A", u"DLLPath", kSuite + u"\\QTV A2A");
    files.addFile(kSuite + u"\\QTV A2A\\QTVA2ADLL.dll");

    Entry(registry, u"{QTV-API}", u"Velmora Zantrel Server API", {}, setup + u"{QTV-API}");

    // A console older than the one that embeds the deploy tool, so the tool stands alone.
    Entry(registry, u"{QTV-CONSOLE}", u"Velmora Zantrel Console", kSuite + u"\\QTV Console",
          u"MsiExec.exe /X{QTV-CONSOLE}", u"9.5.4.0");
    files.addFile(kSuite + u"\\QTV Console\\QTVConsole.exe");
    registry.setString(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console", u"LastServer", u"localhost");

    Entry(registry, u"{QTV-SAM}", u"Software Asset Management", {}, u"MsiExec.exe /X{QTV-SAM}");
    registry.createKey(HKEY_LOCAL_MACHINE, u"Software\\Zantrel\\Zantrel Inventory\\Scanner");

    Entry(registry, u"{QTV-CDT}", u"Velmora Zantrel Client Deploy Tool", {}, u"MsiExec.exe /X{QTV-CDT}");

    Entry(registry, u"{QTV-RELAY}", u"Velmora Zantrel Relay", kSuite + u"\\QTV Relay", setup + u"{QTV-RELAY}");
    Registration(registry, u"7C1D2E3F4A5B6C7D8E9F0A1B2C3D4E5F", u"8D2E3F4A5B6C7D8E9F0A1B2C3D4E5F60", u"YLM Relay");
    files.addFile(kSuite + u"\\QTV Relay\\QTVRelay.exe");
    registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Enterprise Server", u"RelayVersion", u"9.5.10.79");
    machine.services().addService(u"QTVRelay", SERVICE_RUNNING);

    Entry(registry, u"{QTV-SERVER}", u"Velmora Zantrel Server", kSuite + u"\\QTV Server", setup + u"{QTV-SERVER}");
    files.addFile(kSuite + u"\\QTV Server\\QTVRootServer.exe");
    for (const char16_t* name : {u"QTVWebReportsServer", u"GatherDB", u"FillDB", u"QTVRootServer", u"QTVGather"})
        machine.services().addService(name, SERVICE_RUNNING);

    files.addFile(kSuite + u"\\QTV Client\\DLP\\QTVDravelockCtrl.exe");
    registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\DLP");

    Entry(registry, u"{QTV-LOGSVC}", u"QTV Logging Service", {}, u"MsiExec.exe /X{QTV-LOGSVC}");
    registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\LoggingService\\Settings");

    Entry(registry, u"{QTV-CLIENT}", u"Velmora Zantrel Client", kSuite + u"\\QTV Client", u"MsiExec.exe /X{QTV-CLIENT}");
    registry.setString(HKEY_LOCAL_MACHINE, kUninstall + u"{QTV-YLM-AGENT}", u"DisplayName", u"YLM Agent");
    Registration(registry, u"3F2E1D0C9B8A7F6E5D4C3B2A1F0E9D8C", u"4A3B2C1D0E9F8A7B6C5D4E3F2A1B0C9D",
                 u"Velmora Corbelis Agent");
    files.addFile(kSuite + u"\\QTV Client\\QTVClient.exe");
    machine.services().addService(u"QTVClient", SERVICE_RUNNING);
    registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings");

    Entry(registry, u"{QTV-GEN}", u"YLM Installation Generator", {}, setup + u"{QTV-GEN}");
    registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\QTV Installation Generator", u"InstallFolder",
                       kSuite + u"\\Installation Generator");
    files.addFile(kSuite + u"\\Installation Generator\\generator.exe");

    Entry(registry, u"{QTV-MSDE}", u"Microsoft SQL Server Desktop Engine", {}, u"MsiExec.exe /X{QTV-MSDE}");
}

} // namespace

void LayLargeMachine(SimMachine& machine, const LargeMachineSize& size)
{
    Lay(machine.registry(), ForeignRegistrations(size));
    LaySuite(machine);
}
