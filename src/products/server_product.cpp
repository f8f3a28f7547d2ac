#include "products/server_product.h"

#include "core/log.h"
#include "products/installer_recipe.h"
#include "toolkit/file_removal.h"
#include "toolkit/installer_traces.h"
#include "toolkit/registry_cleanup.h"
#include "toolkit/service_cleanup.h"
#include "toolkit/well_known_folders.h"
#include "toolkit/uninstall_lookups.h"

namespace {

// The key the server shares with the relay and Web Reports.
const std::u16string kServerKey = u"SOFTWARE\\Zantrel\\Enterprise Server";
const std::u16string kInstallFolderValue = u"EnterpriseServerFolder";
const std::u16string kServerWebRootValue = u"wwwRootFolder";
const std::u16string kReportsKey = u"SOFTWARE\\Zantrel\\Enterprise Server\\QTVReports";
const std::u16string kReportsScriptsValue = u"Path";
// Present when the shared key belongs to a relay rather than to a server.
const std::u16string kRelayMarkerValue = u"RelayVersion";
// The Web Reports script folder inside its web root, as the "Path" value ends.
const std::u16string kReportsScriptsEnding = u"cgi-bin\\qtvreports";

const std::u16string kUninstallSwitches = u" /s /z\"uninstall\"";
constexpr unsigned kServiceTimeout = 10;

// Detection and removal both take them in this order.
const std::u16string kServices[] = {
    u"QTVWebReportsServer", u"GatherDB", u"FillDB", u"QTVRootServer", u"QTVGather",
};

const std::u16string kKeysToCheck[] = {
    u"SOFTWARE\\Zantrel\\Zantrel Server",
    u"SOFTWARE\\Zantrel\\Enterprise Server",
    u"SOFTWARE\\Zantrel\\QTVRelay",
    u"SOFTWARE\\Zantrel\\KMEAdmin",
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\QTV Web Reports Printer",
    u"SYSTEM\\ControlSet002\\services\\QTVRootServer",
    u"SYSTEM\\ControlSet002\\services\\QTVGather",
    u"SYSTEM\\ControlSet002\\services\\GatherDB",
    u"SYSTEM\\ControlSet002\\services\\FillDB",
    u"SYSTEM\\ControlSet002\\services\\QTVWebReportsServer",
};

const std::u16string kKeysToDelete[] = {
    u"SOFTWARE\\Zantrel\\Enterprise Server",
    u"SOFTWARE\\Zantrel\\Zantrel Server",
    u"SOFTWARE\\Zantrel\\QTVRelay",
    u"SOFTWARE\\Zantrel\\KMEAdmin",
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\QTV Web Reports Printer",
    u"SYSTEM\\ControlSet002\\services\\QTVRootServer",
    u"SYSTEM\\ControlSet002\\services\\QTVGather",
    u"SYSTEM\\ControlSet002\\services\\GatherDB",
    u"SYSTEM\\ControlSet002\\services\\FillDB",
    u"SYSTEM\\ControlSet002\\services\\QTVWebReportsServer",
};

const DefaultFolder kDefaultInstallFolder = {
    u"\\Zantrel Enterprise\\QTV Server", u"Setting default path to \""};
const DefaultFolder kDefaultServerWebRoot = {
    u"\\Zantrel Enterprise\\QTV Server\\wwwrootqtv", u"Setting default www path to \""};
const DefaultFolder kDefaultReportsWebRoot = {
    u"\\Zantrel Enterprise\\QTV Server\\QTVReportsServer\\wwwroot", u"Setting default WR www path to \""};

// The web root holding the Web Reports scripts folder, keeping the backslash before "cgi-bin".
// Nothing when the value names some other folder, or nothing but the scripts folder: an empty
// path would be probed and deleted as a folder.
OptionalText WebRootOfScripts(const std::u16string& scripts)
{
    if (scripts.size() <= kReportsScriptsEnding.size())
        return std::nullopt;
    const std::size_t cut = scripts.size() - kReportsScriptsEnding.size();
    if (scripts.compare(cut, std::u16string::npos, kReportsScriptsEnding) != 0)
        return std::nullopt;
    return scripts.substr(0, cut);
}

} // namespace

const std::vector<std::u16string>& ServerProduct::Candidates()
{
    static const std::vector<std::u16string> names = {
        u"Velmora Zantrel Server",
        u"Velmora Corbelis Server",
        u"Drubeck Corbelis Server",
        u"Zantrel Enterprise Server",
        u"Zantrel for Velmora Lunsk QRD Server",
        u"YLM Server",
        u"Ostrel Calvorn Server",
    };
    return names;
}

ServerProduct::ServerProduct(Remove::Log* sink)
    : RegisteredProduct(sink, ProductId::Server, Candidates().front())
{
}

// The three defaults are set together, so one missing Program Files folder gives one line.
void ServerProduct::resolveDefaultFolders()
{
    const std::vector<std::u16string> folders =
        ResolveDefaultFolders({kDefaultInstallFolder, kDefaultServerWebRoot, kDefaultReportsWebRoot}, log);
    if (folders.empty())
        return;
    defaultInstallFolder = folders[0];
    defaultServerWebRoot = folders[1];
    defaultReportsWebRoot = folders[2];
}

void ServerProduct::findServerWebRoot()
{
    serverWebRoot = FolderOrDefault(
        FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kServerKey, kServerWebRootValue, log), defaultServerWebRoot,
        u"Actual Server's wwwroot directory could not be determined, using default directory \"",
        u"Failed to determine Server's wwwroot directory.", log);
    if (serverWebRoot)
        CheckFile(*serverWebRoot, log);
}

void ServerProduct::findReportsWebRoot()
{
    OptionalText scripts = FindInstallLocationInKey(HKEY_LOCAL_MACHINE, kReportsKey, kReportsScriptsValue, log);
    reportsWebRoot = FolderOrDefault(scripts ? WebRootOfScripts(*scripts) : std::nullopt, defaultReportsWebRoot,
                                     u"Actual WR's wwwroot could not be determined, using default directory \"",
                                     u"Failed to determine WR's wwwroot directory.", log);
    if (reportsWebRoot)
        CheckFile(*reportsWebRoot, log);
}

// A relay keeps its settings in the same key, so on a relay's machine the keys prove nothing.
bool ServerProduct::checkServerKeys()
{
    if (CheckRegistryValue(HKEY_LOCAL_MACHINE, kServerKey, kRelayMarkerValue, log))
        return false;
    bool found = false;
    for (const std::u16string& key : kKeysToCheck)
        found |= CheckRegistryKey(HKEY_LOCAL_MACHINE, key, log);
    return found;
}

void ServerProduct::detect()
{
    detectBanner(log, name());
    ResolveDisplayName(displayName, Candidates(), log);
    if (!defaultInstallFolder || !defaultServerWebRoot || !defaultReportsWebRoot)
        resolveDefaultFolders();
    displayVersion = FindDisplayVersion(*displayName, log);

    installFolder = FindInstallFolder(*displayName, kServerKey, kInstallFolderValue, defaultInstallFolder, log);
    if (installFolder)
        CheckFile(*installFolder, log);
    findServerWebRoot();
    findReportsWebRoot();

    installed = IsRegistered(*displayName, log);
    installed |= checkServerKeys();
    for (const std::u16string& service : kServices)
        installed |= CheckServiceExists(service, log);
}

bool ServerProduct::remove()
{
    removeBanner(log, name());
    const std::u16string registered = registeredName();
    // The server's setup takes these switches whatever kind of command it registered.
    RunRegisteredUninstaller(registered, kUninstallSwitches, name(), log);

    bool failed = false;
    for (const std::u16string& service : kServices)
        if (!StopAndDeleteService(service, log, kServiceTimeout))
            failed = true;
    // Both web roots normally lie inside the install folder: innermost first.
    for (const OptionalText* folder : {&reportsWebRoot, &serverWebRoot, &installFolder})
        if (!FolderNamed(*folder, log))
            return false;
    for (const auto& [folder, defaultFolder] : {std::pair{&reportsWebRoot, &defaultReportsWebRoot},
                                                 std::pair{&serverWebRoot, &defaultServerWebRoot},
                                                 std::pair{&installFolder, &defaultInstallFolder}})
        if (!DeleteComponentFolder(**folder, *defaultFolder, log))
            failed = true;
    for (const std::u16string& key : kKeysToDelete)
        if (!DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, log))
            failed = true;
    if (!RemoveAllInstallerTraces(registered, Candidates(), log))
        failed = true;
    return !failed;
}
