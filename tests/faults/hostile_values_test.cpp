// Hostile machines: registry values and situations a corrupt or tampered installation leaves, each
// a row laid over a complete installation of the suite. Whatever they say, nothing outside the
// suite goes, every refusal or error is in the log, and the run completes.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_files.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_registry.h"
#include "platform/text.h"
#include "support/recipe_test.h"
#include "support/reg_file.h"
#include "support/sim_suite.h"

namespace {

const std::u16string kSuite = u"C:\\Program Files (x86)\\Zantrel Enterprise";
const std::u16string kClient = kSuite + u"\\QTV Client";
const std::u16string kRelayEntry = kUninstallList + u"\\{QTV-RELAY}";
const std::u16string kDocuments = u"C:\\Users\\user\\Documents";
const std::u16string kBackup = u"C:\\qtv-backup";
// The user's own keys below the suite's, as HKEY_USERS shows them to the root clean-up.
const std::u16string kUserSuiteKey = u"S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\Zantrel";

// What no removal may touch, whatever a value points at.
const std::u16string kOutside[] = {
    u"C:\\keep-root.txt",
    u"C:\\Users\\alice\\ntuser.dat",
    u"C:\\Users\\Public\\Documents\\shared.txt",
    u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Other.lnk",
    u"C:\\Data\\alice\\Documents\\letter.txt",
    u"D:\\Data\\Tools\\tool.exe",
    u"N:\\QTV\\shared.txt",
    u"C:\\Windows\\system32\\drivers\\etc\\hosts",
    u"C:\\Program Files (x86)\\Other Vendor\\app.exe",
    u"C:\\Program Files (x86)\\Common Files\\Other Vendor\\shared.dll",
    u"C:\\Users\\user\\AppData\\Roaming\\Other\\settings.ini",
    u"C:\\cgi-bin\\qtvreports\\other.pl",
};

struct HostileCase {
    const char* what;
    std::function<void(SimMachine&)> lay;
    std::vector<std::u16string> lines; // whole lines the log must hold
    bool suiteGone;                     // nothing refused: the whole suite goes all the same
    std::vector<std::u16string> kept;   // keys under HKLM the row adds that are not the suite's
    bool backup = false;                // run with "/backup"
    std::vector<std::u16string> listed = {}; // whole lines the list of what was deleted must hold
};

std::u16string Fill(char16_t c, std::size_t count)
{
    return std::u16string(count, c);
}

// The neighbours every machine has beside the suite: another user's profile, loaded, whose
// documents live elsewhere; the Public folder; the machine's start menu; another product on
// another drive; a network drive.
void LayNeighbours(SimMachine& machine)
{
    using View = SimRegistry::View;
    const std::u16string profiles = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const std::u16string alice = u"S-1-5-21-1004336348-1177238915-682003330-1002";
    SimRegistry& registry = machine.registry();
    registry.setString(HKEY_LOCAL_MACHINE, profiles, u"Public", u"%SystemDrive%\\Users\\Public", REG_EXPAND_SZ,
                       View::Native64);
    registry.setString(HKEY_LOCAL_MACHINE, profiles + u"\\" + alice, u"ProfileImagePath", u"C:\\Users\\alice",
                       REG_EXPAND_SZ, View::Native64);
    registry.loadUserHive(alice);
    registry.setString(HKEY_USERS, alice + u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                       u"Personal", u"C:\\Data\\alice\\Documents", REG_EXPAND_SZ);
    registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       u"Common Start Menu", u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu");
    registry.setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{OTHER-TOOLS}", u"DisplayName", u"Other Tools", REG_SZ,
                       View::Native64);
    registry.setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{OTHER-TOOLS}", u"InstallLocation", u"D:\\Data\\Tools\\",
                       REG_SZ, View::Native64);
    machine.files().addDrive(u'D');
    machine.files().addNetworkDrive(u'N');
}

TEST(HostileValues, NothingOutsideTheSuiteGoesAndEveryRefusalIsLogged)
{
    const auto relayFolder = [](std::u16string folder, DWORD type = REG_SZ) {
        return [folder, type](SimMachine& machine) {
            machine.registry().setString(HKEY_LOCAL_MACHINE, kRelayEntry, u"InstallLocation", folder, type);
        };
    };
    const auto refused = [](const std::u16string& folder) {
        return std::vector<std::u16string>{u"Deleting directory \"" + folder + u"\"...refused: protected location"};
    };
    // The relay's folder registered as "..\..", the program started in `folder`.
    const auto startedIn = [&relayFolder](std::u16string folder) {
        return [folder, &relayFolder](SimMachine& machine) {
            machine.files().setCurrentFolder(folder);
            relayFolder(u"..\\..")(machine);
        };
    };
    const std::vector<std::u16string> upTwo = {u"Checking for file \"..\\..\"...found",
                                               u"Deleting directory \"..\\..\"...refused: protected location"};
    const auto a2aFolder = [](std::u16string folder) {
        return [folder](SimMachine& machine) {
            machine.registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A", u"DLLPath", folder);
        };
    };
    // Never opened: neither looked for nor deleted.
    const auto remote = [](const std::u16string& folder) {
        return std::vector<std::u16string>{
            u"Checking for file \"" + folder + u"\"...refused: remote location",
            u"Trying to read the version of file \"" + folder + u"\\QTVA2ADLL.dll\"...refused: remote location",
            u"Deleting directory \"" + folder + u"\"...refused: remote location"};
    };
    const auto value = [](const std::u16string& key, const std::u16string& name, const std::u16string& data) {
        return [key, name, data](SimMachine& machine) {
            machine.registry().setString(HKEY_LOCAL_MACHINE, key, name, data);
        };
    };
    // Keys whose names would make the last one's line in the backup two, the second a section of
    // its own: regedit, importing it as an administrator, would create the key that line names in
    // HKEY_LOCAL_MACHINE. The first name holds the line break; the backslashes are the path's.
    const auto forged = [](SimMachine& machine) {
        machine.registry().setString(HKEY_CURRENT_USER, u"Software\\Zantrel\\Forged\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]\n;",
                                     u"ImagePath", u"C:\\Users\\user\\evil.exe");
    };
    const std::u16string forgedShown = u"HKU\\" + kUserSuiteKey + u"\\Forged\\n[HKEY_LOCAL_MACHINE";
    const std::u16string appPaths = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\QTVClient.exe";
    const std::u16string notFound = u"...error creating process: Windows Error 0x2: File not found.";
    const std::vector<HostileCase> cases = {
        // An empty name is no location: the relay's folder is found as if none were registered.
        {"an empty install location", relayFolder(u""), {}, true, {}},
        // A relative one is taken from the system folder, where the program works wherever it was
        // started: two steps up is the drive's root.
        {"a relative path", startedIn(u"C:\\Users\\user\\Documents"), upTwo, false, {}},
        // Started by a deployment engine, whose current folder is the system folder already.
        {"a relative path from the system folder", startedIn(u"C:\\Windows\\system32"), upTwo, false, {}},
        {"a drive without a folder", relayFolder(u"C:"), refused(u"C:"), false, {}},
        {"a drive's root", relayFolder(u"C:\\"), refused(u"C:\\"), false, {}},
        {"a drive's root, long form", relayFolder(u"\\\\?\\C:\\"), refused(u"\\\\?\\C:\\"), false, {}},
        {"the Windows folder", relayFolder(u"C:\\Windows"), refused(u"C:\\Windows"), false, {}},
        {"the Windows folder, to expand", relayFolder(u"%SystemRoot%", REG_EXPAND_SZ), refused(u"C:\\windows"), false, {}},
        {"the Program Files folder", relayFolder(u"C:\\Program Files (x86)"), refused(u"C:\\Program Files (x86)"), false, {}},
        {"a share's root", a2aFolder(u"\\\\fileserver\\share"), remote(u"\\\\fileserver\\share"), false, {}},
        {"a folder on a share", a2aFolder(u"\\\\?\\UNC\\fileserver\\share\\QTV"),
         remote(u"\\\\?\\UNC\\fileserver\\share\\QTV"), false, {}},
        {"a folder on a network drive", a2aFolder(u"N:\\QTV"), remote(u"N:\\QTV"), false, {}},
        // Settings that name what is another user's, everybody's or another product's.
        {"another user's profile", relayFolder(u"C:\\Users\\alice"), refused(u"C:\\Users\\alice"), false, {}},
        {"the Public folder", relayFolder(u"C:\\Users\\Public"), refused(u"C:\\Users\\Public"), false, {}},
        {"above the machine's start menu", relayFolder(u"C:\\ProgramData\\Microsoft"),
         refused(u"C:\\ProgramData\\Microsoft"), false, {}},
        {"above another user's documents", relayFolder(u"C:\\Data"), refused(u"C:\\Data"), false, {}},
        {"above another product", relayFolder(u"D:\\Data"), refused(u"D:\\Data"), false, {}},
        {"another product's folder", relayFolder(u"d:\\data\\tools"), refused(u"d:\\data\\tools"), false, {}},
        {"Web Reports scripts at a drive's root",
         value(u"SOFTWARE\\Zantrel\\Enterprise Server\\QTVReports", u"Path", u"C:\\cgi-bin\\qtvreports"),
         refused(u"C:\\"), false, {}},
        {"A2A in the documents folder", value(u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A", u"DLLPath", kDocuments),
         refused(kDocuments), false, {}},
        {"App Paths with trailing backslashes", value(appPaths, u"Path", kClient + u"\\\\\\"), {}, true, {}},
        {"App Paths with a doubled backslash",
         value(appPaths, u"Path", u"C:\\Program Files (x86)\\\\Zantrel Enterprise\\QTV Client"), {}, true, {}},
        {"a junction loop", [](SimMachine& machine) { machine.files().addJunction(kClient + u"\\data\\loop", kClient); },
         {}, true, {}},
        {"a value of 1 MiB", value(kUninstallList + u"\\{HUGE}", u"DisplayName", Fill(u'n', 512 * 1024)), {}, true,
         {kUninstallList + u"\\{HUGE}"}},
        {"key names outside the Basic Multilingual Plane",
         [](SimMachine& machine) {
             machine.registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{\U0001F600}", u"DisplayName",
                                          u"Other \U0001F600");
             machine.registry().createKey(HKEY_LOCAL_MACHINE,
                                          u"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\_WebUI_\U0001F600");
         },
         {}, true, {kUninstallList + u"\\{\U0001F600}"}},
        {"an uninstall command of 40,000 characters",
         value(kRelayEntry, u"UninstallString",
               u"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-RELAY} " + Fill(u'x', 40000)),
         {u"...error creating process: Windows Error 0xce: File name is too long."}, true, {}},
        {"an uninstall command naming a missing program",
         value(kRelayEntry, u"UninstallString", u"\"C:\\qtv-suite\\bin\\missing.exe\" entry={QTV-RELAY}"), {notFound},
         false, {}},
        {"a helper ImagePath of one double quote",
         value(u"SYSTEM\\CurrentControlSet\\Services\\QTVClientHelper", u"ImagePath", u"\""),
         {notFound, u"Warning: QTV Client Helper uninstall failed!  QTV Client uninstall may fail."}, false, {}},
        // Names a .reg line cannot hold: without a backup they go as any other and show escaped;
        // with one their tree cannot be saved, so it stays.
        {"a user's key named to begin a section of the backup", forged, {}, true, {}, false,
         {u"registryKey\t" + forgedShown + u"\\SOFTWARE\\QtvForged]\\n;", u"registryKey\t" + forgedShown + u"\\SOFTWARE",
          u"registryKey\t" + forgedShown}},
        {"with a backup, a user's key named to begin a section of the backup", forged,
         {u"Deleting registry key \"HKU\\" + kUserSuiteKey + u"\"...The key's name holds a control character, which a "
          u".reg file cannot hold\r\n"
          u"...error occurred while saving the backup of key \"" + forgedShown + u"\""},
         false, {}, true},
        {"with a backup, a user's value named with a tab",
         [](SimMachine& machine) {
             machine.registry().setString(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console", u"Last\tServer", u"x");
         },
         {u"Deleting registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...The name of value \"Last\\tServer\" "
          u"holds a control character, which a .reg file cannot hold\r\n"
          u"...error occurred while saving the backup of key \"HKCU\\Software\\Zantrel\\Enterprise Console\""},
         false, {}, true},
    };

    for (const HostileCase& c : cases) {
        SimMachine machine;
        ScopedOsApi installed(machine);
        LaySimSuite(machine);
        LayNeighbours(machine);
        for (const std::u16string& path : kOutside)
            machine.files().addFile(path, "kept\r\n");
        c.lay(machine);

        const SimSuiteRun run = RunSilentAll(c.backup ? kBackup : u"");
        const std::u16string& text = run.log;

        EXPECT_EQ(machine.files().remoteReached(), std::vector<std::u16string>{}) << c.what;
        EXPECT_FALSE(run.escaped) << c.what;
        EXPECT_EQ(run.componentsThrew, 0u) << c.what;
        EXPECT_EQ(Describe(SimSentinelsLost(machine)), "") << c.what;
        for (const std::u16string& path : kOutside)
            EXPECT_TRUE(machine.files().exists(path)) << c.what << ": " << ToUtf8(path) << " is gone";
        if (c.suiteGone) {
            EXPECT_EQ(Describe(SimSuiteLeft(machine)), "") << c.what;
        }
        for (const std::u16string& key : c.kept)
            EXPECT_TRUE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, key)) << c.what;
        for (const std::u16string& line : c.lines)
            EXPECT_TRUE(HasLines(text, line + u"\r\n")) << c.what;
        for (const std::u16string& line : c.listed)
            EXPECT_TRUE(HasLines(run.listing, line + u"\r\n")) << c.what;
        // Whatever a name holds, it begins no line of its own: nothing follows a line feed or a
        // carriage return, whichever a reader takes for a line's end, but what the program wrote.
        for (const std::u16string* lines : {&text, &run.listing})
            for (const char16_t* end : {u"\n[", u"\r["})
                EXPECT_EQ(lines->find(end), std::u16string::npos) << c.what << ": " << ToUtf8(lines->substr(lines->find(end)));
        if (c.backup) {
            EXPECT_EQ(run.exitStatus, 1603u) << c.what;
            // Imported as an administrator imports it, the backup makes no key the run did not delete.
            const std::vector<RegSection> sections =
                ParseRegFile(machine.files().content(kBackup + u"\\registry.reg").value_or(""));
            for (const RegSection& section : sections)
                EXPECT_EQ(section.key.find(u"QtvForged"), std::u16string::npos) << c.what << ": " << ToUtf8(section.key);
            ImportRegFile(machine.registry(), sections, false);
            EXPECT_FALSE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\QtvForged")) << c.what;
            const std::string list = machine.files().content(kBackup + u"\\deleted.txt").value_or("");
            EXPECT_EQ(list.find("\n["), std::string::npos) << c.what;
            EXPECT_EQ(list.find("\r["), std::string::npos) << c.what;
        }
    }
}

} // namespace

namespace {

// Started as SYSTEM, as deployment engines start it, on a machine where the console and the
// generator keep their folders in SYSTEM's profile inside the Windows folder: the whole suite
// goes, with the shared roots, and nothing of the profile but what is the suite's.
TEST(HostileValues, AsSystemTheWholeSuiteGoesAndNothingElseOfTheProfile)
{
    SimMachine machine;
    ScopedOsApi installed(machine);
    machine.runAsSystem();
    LaySimSuite(machine);
    const std::u16string profile = u"C:\\Windows\\system32\\config\\systemprofile";
    machine.files().addFile(profile + u"\\AppData\\Local\\Microsoft\\Credentials\\keep.dat", "kept");

    const SimSuiteRun run = RunSilentAll();

    EXPECT_EQ(run.exitStatus, 0u) << ToUtf8(run.log);
    EXPECT_EQ(Describe(SimSuiteLeft(machine)), "");
    EXPECT_EQ(Describe(SimSentinelsLost(machine)), "");
    EXPECT_TRUE(HasLines(run.log, u"Deleting directory \"" + profile + u"\\AppData\\Local\\Zantrel\"...done\r\n"));
    EXPECT_TRUE(machine.files().exists(profile + u"\\AppData\\Local\\Microsoft\\Credentials\\keep.dat"));
}

} // namespace
