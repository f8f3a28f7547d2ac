// Removal scenarios of the built program on a complete suite installation under Wine:
//   suite_scenarios_test QTVRemove.exe planted.exe version_proxy.dll careless.exe
//                        uninstaller_standin.exe fixture_service.exe versioned.exe PACKAGE.msi...
// Every scenario lays the installation afresh (suite_layout.cpp), runs the program as an
// administrator would, and checks what is left of the suite and that every sentinel survived.

#include <windows.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

// First: the shell's headers name an interface as the items' kinds name folders.
#include "support/suite_layout.h"

#include "platform/deletion_record.h"
#include "platform/os_api.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/file_tree.h"
#include "support/prefix_fingerprint.h"
#include "support/reg_file.h"
#include "support/wine_main.h"

namespace {

const std::wstring kSuiteFolder = L"C:\\Program Files (x86)\\Zantrel Enterprise";

std::vector<std::u16string> Components(const std::vector<SuiteItem>& items)
{
    std::vector<std::u16string> components;
    for (const SuiteItem& item : items)
        if (std::find(components.begin(), components.end(), item.component) == components.end())
            components.push_back(item.component);
    return components;
}

std::string Runs()
{
    return ReadFileBytes(L"C:\\qtv-e2e\\runs.txt");
}

std::string Lower(const std::wstring& text)
{
    std::string narrow = Narrow(text);
    std::transform(narrow.begin(), narrow.end(), narrow.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
    return narrow;
}

// What planted programs and libraries recorded when they ran (UTF-16, as they write it), in lower
// case: Wine names a DLL as the program that loaded it wrote the name.
std::string Planted()
{
    const std::string bytes = ReadFileBytes(L"C:\\qtv-e2e\\planted.txt");
    return Lower(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t)));
}

// Wine's own switch for a program: load these DLLs from the program's folder before the system's,
// as Windows does (absent, Wine prefers its built-in ones); none for no switch.
void PreferDllsBesideProgram(const wchar_t* exe, const std::vector<std::wstring>& libraries)
{
    const std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + exe;
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    HKEY overrides = nullptr;
    if (libraries.empty() ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &overrides, nullptr) != ERROR_SUCCESS)
        return;
    const wchar_t order[] = L"native,builtin";
    for (const std::wstring& library : libraries)
        RegSetValueExW(overrides, library.substr(0, library.find(L'.')).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(order), sizeof(order));
    RegCloseKey(overrides);
}

// The registry of the suite's places in both views, as `reg export` writes it.
RegistryContents Exported()
{
    static const std::vector<std::wstring> k32 = {L"HKLM\\SOFTWARE", L"HKLM\\SYSTEM\\ControlSet002", L"HKCU\\Software",
                                                 L"HKU\\.DEFAULT\\Software"};
    static const std::vector<std::wstring> k64 = {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData",
                                                 L"HKLM\\SOFTWARE\\ODBC"};
    RegistryContents keys;
    MakeFolders(L"C:\\qtv-e2e");
    for (const bool view64 : {false, true}) {
        for (const std::wstring& key : view64 ? k64 : k32) {
            const std::wstring file = L"C:\\qtv-e2e\\export.reg";
            DeleteFileW(file.c_str());
            EXPECT_EQ(RunAndWait(L"reg.exe export " + key + L" " + file + L" /y" + (view64 ? L" /reg:64" : L"")), 0u) << Narrow(key);
            for (RegSection& section : ParseRegFile(ReadFileBytes(file))) {
                // "HKEY_LOCAL_MACHINE\..." as the record names it: "HKLM\...".
                const std::size_t cut = section.key.find(u'\\');
                const std::u16string root = section.key.substr(0, cut);
                const std::u16string shown = root == u"HKEY_LOCAL_MACHINE" ? u"HKLM" : root == u"HKEY_CURRENT_USER" ? u"HKCU" : u"HKU";
                keys[RegistryKeyName(shown + section.key.substr(cut) + (view64 ? u" (64-bit view)" : u""))] = std::move(section.values);
            }
        }
    }
    return keys;
}

// What a report lists as deleted: one list a component, in the report's order, then the roots.
std::vector<std::vector<DeletedObject>> ReportedLists(const std::wstring& report)
{
    const nlohmann::json written = nlohmann::json::parse(ReadFileBytes(report));
    std::vector<nlohmann::json> lists;
    for (const nlohmann::json& component : written["components"])
        lists.push_back(component["deleted"]);
    lists.push_back(written["rootsDeleted"]);
    std::vector<std::vector<DeletedObject>> deleted;
    for (const nlohmann::json& list : lists) {
        deleted.emplace_back();
        for (const nlohmann::json& object : list)
            for (int kind = 0; kind <= static_cast<int>(DeletedKind::Uninstaller); ++kind)
                if (ToUtf8(DeletedKindName(static_cast<DeletedKind>(kind))) == object["kind"])
                    deleted.back().push_back({static_cast<DeletedKind>(kind), ToUtf16(object["name"].get<std::string>())});
    }
    return deleted;
}

std::vector<DeletedObject> ReportedDeleted(const std::wstring& report)
{
    std::vector<DeletedObject> deleted;
    for (const std::vector<DeletedObject>& list : ReportedLists(report))
        deleted.insert(deleted.end(), list.begin(), list.end());
    return deleted;
}

const std::wstring kSystemProfile = L"C:\\windows\\system32\\config\\systemprofile";

// The machine as SYSTEM sees it, while the object lives: ProfileList names SYSTEM's profile, inside
// the Windows folder, as the running account's, and the shell puts documents, desktop and both
// application data folders there. Every value changed is put back and every folder made goes.
class SystemProfile {
public:
    SystemProfile()
    {
        const std::u16string sid = CurrentUserSidText(Os());
        change(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + W(sid),
               L"ProfileImagePath", kSystemProfile);
        const std::wstring explorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
        for (const auto& [name, below] : {std::pair{L"Personal", L"\\Documents"}, std::pair{L"Desktop", L"\\Desktop"},
                                          std::pair{L"Local AppData", L"\\AppData\\Local"},
                                          std::pair{L"AppData", L"\\AppData\\Roaming"}}) {
            make(kSystemProfile + below);
            change(HKEY_CURRENT_USER, explorer + L"User Shell Folders", name, kSystemProfile + below);
            // Wine rewrites it from the value above whenever the folder is asked for.
            keep(HKEY_CURRENT_USER, explorer + L"Shell Folders", name);
        }
    }

    ~SystemProfile()
    {
        for (auto value = saved_.rbegin(); value != saved_.rend(); ++value)
            EXPECT_EQ(value->present ? RegSetKeyValueW(value->root, value->key.c_str(), value->name.c_str(), value->type,
                                                       value->data.data(), static_cast<DWORD>(value->data.size()))
                                     : RegDeleteKeyValueW(value->root, value->key.c_str(), value->name.c_str()),
                      ERROR_SUCCESS) << Narrow(value->key + L"\\" + value->name);
        for (auto folder = made_.rbegin(); folder != made_.rend(); ++folder)
            DeleteFolderTree(*folder);
    }

private:
    struct Saved {
        HKEY root = nullptr;
        std::wstring key;
        std::wstring name;
        DWORD type = REG_SZ;
        std::vector<BYTE> data;
        bool present = false;
    };

    void keep(HKEY root, const std::wstring& key, const wchar_t* name)
    {
        Saved value;
        value.root = root;
        value.key = key;
        value.name = name;
        DWORD size = 0;
        value.present = RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, nullptr, &size) ==
                        ERROR_SUCCESS;
        value.data.resize(size);
        if (value.present)
            RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, nullptr, value.data.data(), &size);
        saved_.push_back(std::move(value));
    }

    // Sets the value, of the type it had.
    void change(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& data)
    {
        keep(root, key, name);
        EXPECT_TRUE(saved_.back().present) << Narrow(key) << " has no " << Narrow(name);
        EXPECT_EQ(RegSetKeyValueW(root, key.c_str(), name, saved_.back().type, data.c_str(),
                                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS) << Narrow(key);
    }

    // Makes the folder, noting each folder made on the way.
    void make(const std::wstring& path)
    {
        for (std::size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
            if (CreateDirectoryW(path.substr(0, at).c_str(), nullptr))
                made_.push_back(path.substr(0, at));
            if (at == std::wstring::npos)
                break;
        }
    }

    std::vector<Saved> saved_;
    std::vector<std::wstring> made_;
};

class SuiteScenariosTest : public SuiteTest {
protected:
    void SetUp() override
    {
        SuiteTest::SetUp();
        ASSERT_EQ(Components(SuiteLeft({})).size(), 15u) << "every component, and the shared roots";
    }

    static bool RootsGone() { return SuiteLeft({u"roots"}).empty(); }
};

// The suite laid and removed on the machine as SYSTEM sees it (SystemProfile).
class SuiteAsSystemTest : public SuiteScenariosTest {
protected:
    SystemProfile system; // in place before SetUp lays the suite; put back after TearDown clears it
};

// Run as SYSTEM runs it, with the suite's own folders in SYSTEM's profile, inside the Windows
// folder: they go, and the profile's own folders stay. With "/backup", every key and value the run
// deletes is saved before it goes, and the system's own regedit, 32-bit for registry.reg and 64-bit
// for registry-64.reg, puts each back as it was and changes nothing else; the report names every
// object of the suite it deleted, nothing beyond.
TEST_F(SuiteAsSystemTest, AllRemovesEveryTraceThenTheRootsAndTheBackupPutsTheRegistryBack)
{
    ASSERT_TRUE(PathPresent(kSystemProfile + L"\\Documents\\QTVCredentials\\server.cred")) << "laid in SYSTEM's profile";
    const std::wstring folder = L"C:\\qtv-e2e\\backup\\not yet made";
    const std::wstring report = L"C:\\qtv-e2e\\backup\\report.json";
    DeleteFolderTree(L"C:\\qtv-e2e\\backup");
    DeleteFolderTree(L"C:\\qtv-e2e\\new");
    const RegistryContents before = Exported();

    EXPECT_EQ(RunProgram(L"/silent /all /backup \"" + folder + L"\" /report " + report + L" /log C:\\qtv-e2e\\new\\run.log"), 0u);

    // Nothing of the recipes deletes the helper's service: its own " -remove" did. The roots went,
    // the default user's among them.
    EXPECT_EQ(Describe(SuiteLeft({})), "");
    EXPECT_TRUE(RootsGone());
    // Each uninstaller got its silent switches and, where it takes one, the right response file.
    const std::string runs = Runs();
    EXPECT_EQ(runs.find("response file differs"), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-WEBUI} -s --uninstallsilent -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={5B0E3C2A-7D41-4E6F-9A12-C3D4E5F60718} -s -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-RELAY} child -s --uninstallsilent -f1\""), std::string::npos) << runs;
    EXPECT_NE(runs.find("entry={QTV-SERVER} /s /z\"uninstall\"\r\n"), std::string::npos) << runs;
    EXPECT_NE(runs.find("linger"), std::string::npos) << "the relay's uninstaller left a process behind";

    const std::string log = ReadFileBytes(L"C:\\qtv-e2e\\new\\run.log");
    EXPECT_NE(log.find("Backing up what is deleted to \"" + Narrow(folder) + "\"\r\n"), std::string::npos)
        << "a missing log folder is made";
    EXPECT_NE(log.find("Deleting directory \"C:\\windows\\system32\\config\\systemprofile\\AppData\\Local\\Zantrel\"...done\r\n"),
              std::string::npos) << log;
    for (const wchar_t* own : {L"", L"\\AppData\\Local", L"\\Documents"})
        EXPECT_TRUE(PathPresent(kSystemProfile + own)) << "SYSTEM's own folder went: " << Narrow(kSystemProfile + own);
    // The same folder again: refused before anything is looked at.
    EXPECT_EQ(RunProgram(L"/silent /all /backup \"" + folder + L"\""), 80u);

    const std::vector<DeletedObject> deleted = ReportedDeleted(report);
    // Junctions are laid on the simulated machine only.
    EXPECT_EQ(AuditGaps(PrefixSuiteItems(), deleted, [](const SuiteItem& item) { return item.kind == SuiteItem::Kind::Junction; }), "");

    EXPECT_EQ(RunAndWait(L"C:\\windows\\syswow64\\regedit.exe /s \"" + folder + L"\\registry.reg\""), 0u);
    // The 64-bit regedit, as a 64-bit program starts it: the 32-bit test's own start would be redirected.
    EXPECT_EQ(RunAndWait(L"C:\\windows\\sysnative\\cmd.exe /c C:\\windows\\regedit.exe /s \"" + folder + L"\\registry-64.reg\""), 0u);
    EXPECT_EQ(RestoreGaps(PrefixSuiteItems(), before, Exported(), deleted), "");
    DeleteFolderTree(L"C:\\qtv-e2e\\backup");
    DeleteFolderTree(L"C:\\qtv-e2e\\new");
}

// The client alone is refused, and a plan of "/silent /all" then changes nothing anywhere in the
// prefix and starts no program. Once the uninstallers fail having changed nothing, the real run
// deletes exactly what was planned, object for object and in order. The WebUI's sites folder is
// set to a name that leads through a link into the Windows folder: both refuse it and leave what
// is there.
TEST_F(SuiteScenariosTest, ClientAloneIsRefusedAPlanChangesNothingAndTheRunDeletesWhatWasPlanned)
{
    const std::wstring folder = L"C:\\qtv-e2e\\plan";
    MakeFolders(folder);
    // Made before the prefix is fingerprinted; the fingerprint lists a link but does not enter it.
    const HostLink link(L"C:\\qtvdata\\Link", L"C:\\windows\\qtv-guard");
    ASSERT_TRUE(link.made());
    MakeFolders(L"C:\\windows\\qtv-guard\\sites");
    ASSERT_TRUE(MakeFile(u"C:\\windows\\qtv-guard\\sites\\keep.txt", "kept\r\n"));
    ASSERT_TRUE(SetRegistryText(L"SOFTWARE\\Zantrel\\EnterpriseClient\\Settings\\Client\\_WebUIAppEnv_WORK_DIR", L"value",
                                L"C:\\qtvdata\\Link\\sites"));
    // The SQL Server stand-in's journal of what it was sent is the server's, not the machine's.
    const std::wstring journal = kSqlServerState + std::wstring(L".journal");
    const std::vector<std::wstring> skipped = {folder, journal};
    const Fingerprint before = PrefixFingerprint(skipped, folder + L"\\registry.saved");
    PROCESS_INFORMATION started = StartProgram(ProgramCommand(L"/silent /client"));
    ASSERT_NE(started.hProcess, nullptr);

    SeenBox box;
    const bool shown = AnswerMessageBox(started.dwProcessId, 120, box);
    EXPECT_EQ(WaitForProgram(started), 1u) << "the refusal's exit status";

    ASSERT_TRUE(shown) << "no refusal box appeared";
    EXPECT_EQ(box.caption, L"QTVRemove");
    EXPECT_EQ(box.text,
              L"The client should not be removed without also removing the components that depend on it. To also "
              L"remove the dependent components, use the option '/client' with the options:  '/a2a' '/cdt' "
              L"'/relay' '/server' '/webui'. To forcefully remove only the client, add the option '/force'.");

    // Without a report, the plan's list goes to the output the program was started with.
    std::string listing;
    EXPECT_EQ(RunCapturingOutput(ProgramCommand(L"/silent /all /plan /log " + folder + L"\\plan.log"), listing), 0u);
    EXPECT_EQ(FingerprintChanges(before, PrefixFingerprint(skipped, folder + L"\\registry.saved")), "");
    EXPECT_EQ(Runs(), "") << "a program ran";
    const std::string sent = ReadFileBytes(journal);
    EXPECT_NE(sent.find("execute select Version from DBINFO\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("drop database"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("@jobName"), std::string::npos) << sent;

    // The stand-ins fail as told; the real msiexec cannot start without its library.
    struct Inert {
        Inert()
        {
            CloseHandle(CreateFileW(L"C:\\qtv-e2e\\inert", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            HKEY overrides = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\msiexec.exe\\DllOverrides", 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &overrides, nullptr) == ERROR_SUCCESS) {
                RegSetValueExW(overrides, L"msi", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
                RegCloseKey(overrides);
            }
        }
        ~Inert()
        {
            DeleteFileW(L"C:\\qtv-e2e\\inert");
            RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\msiexec.exe");
        }
    } inert;
    // The components whose registration only their uninstaller takes stay, and the run says so.
    EXPECT_EQ(RunProgram(L"/silent /all /report " + folder + L"\\run.json /log " + folder + L"\\run.log"), 1603u);

    // The list as the plan printed it, in the order of the removal; the report keeps its components
    // in its own order, so each component's list is put where its first object stands in the
    // plan's. An uninstaller's answer file is named by the system when made; a plan names its own.
    const std::regex answers(R"(-f1"[^"]*")");
    const std::string planned = std::regex_replace(listing, answers, "-f1\"\"");
    std::vector<std::pair<std::size_t, std::string>> blocks;
    for (const std::vector<DeletedObject>& list : ReportedLists(folder + L"\\run.json")) {
        std::string block;
        for (const DeletedObject& object : list)
            block += ToUtf8(DeletedKindName(object.kind)) + "\t" + ToUtf8(object.name) + "\r\n";
        block = std::regex_replace(block, answers, "-f1\"\"");
        if (!block.empty())
            blocks.emplace_back(planned.find(block.substr(0, block.find('\n') + 1)), block);
    }
    std::sort(blocks.begin(), blocks.end());
    std::string ran;
    for (const auto& block : blocks)
        ran += block.second;
    EXPECT_EQ(planned, ran);
    EXPECT_NE(listing.find("\r\nuninstaller\tMsiExec.exe /X{2E9B4F61-7A3C-4D58-B0E2-9C1D8F7A6B51} /qn\r\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\r\ndatabase\tKMEnterprise\r\n"), std::string::npos) << listing;
    for (const wchar_t* log : {L"\\plan.log", L"\\run.log"})
        EXPECT_NE(ReadFileBytes(folder + log).find("Deleting directory \"C:\\qtvdata\\Link\\sites\"...refused: protected location\r\n"),
                  std::string::npos) << Narrow(log);
    EXPECT_EQ(ReadFileBytes(L"C:\\windows\\qtv-guard\\sites\\keep.txt"), "kept\r\n");
}

TEST_F(SuiteScenariosTest, ClientWithItsDependentsTakesThemAndTheCompanions)
{
    EXPECT_EQ(RunProgram(L"/silent /client /relay /server /webui /a2a /cdt"), 0u);

    const std::vector<std::u16string> gone = {u"client", u"loggingservice", u"dlp", u"relay",
                                            u"server", u"webui",          u"a2a", u"cdt"};
    EXPECT_EQ(Describe(SuiteLeft(gone)), "");
    EXPECT_EQ(Components(SuiteLeft({})),
              (std::vector<std::u16string>{u"api", u"console", u"sam", u"database", u"generator", u"msde", u"roots"}));
    EXPECT_TRUE(PathPresent(kSuiteFolder)) << "components are left, so the roots stay";
}

TEST_F(SuiteScenariosTest, ForceRemovesTheClientAloneAndSkipsTheRoots)
{
    EXPECT_EQ(RunProgram(L"/silent /client /force"), 0u);

    EXPECT_EQ(Describe(SuiteLeft({u"client", u"loggingservice", u"dlp"})), "");
    EXPECT_EQ(Components(SuiteLeft({})),
              (std::vector<std::u16string>{u"webui", u"a2a", u"api", u"console", u"sam", u"cdt", u"relay", u"server",
                                         u"database", u"generator", u"msde", u"roots"}));
}

TEST_F(SuiteScenariosTest, LoggingServiceTakesDlpAlong)
{
    EXPECT_EQ(RunProgram(L"/silent /loggingservice"), 0u);

    EXPECT_EQ(Describe(SuiteLeft({u"loggingservice", u"dlp"})), "");
    EXPECT_EQ(Components(SuiteLeft({})).size(), 13u);
    EXPECT_TRUE(PathPresent(kSuiteFolder + L"\\QTV Client\\QTVClient.exe"));
}

TEST_F(SuiteScenariosTest, AnEntryLeftByItsUninstallerIsRemovedByHand)
{
    ASSERT_TRUE(SetRegistryText(UninstallEntryKey(L"{QTV-WEBUI}"), L"UninstallString",
                                L"\"C:\\qtv-suite\\bin\\setup.exe\" entry={QTV-WEBUI} leave"));

    EXPECT_EQ(RunProgram(L"/silent /webui"), 0u);

    EXPECT_NE(Runs().find("entry={QTV-WEBUI} leave -s --uninstallsilent -f1\""), std::string::npos) << Runs();
    EXPECT_EQ(Describe(SuiteLeft({u"webui"})), "");
}

// A file a running program holds open without delete sharing is listed for deletion when Windows
// restarts, the agent's folder after it, and the run asks for the restart; Wine's own restart then
// deletes them, and nothing else.
TEST_F(SuiteScenariosTest, AFileInUseGoesWhenWindowsRestarts)
{
    const std::wstring folder = kSuiteFolder + L"\\QTV Client";
    const std::wstring held = folder + L"\\QTVClient.ini";
    const HANDLE file = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    MakeFolders(L"C:\\qtv-e2e");

    EXPECT_EQ(RunProgram(L"/silent /client /force /report C:\\qtv-e2e\\restart.json /log C:\\qtv-e2e\\restart.log"), 3010u)
        << ReadFileBytes(L"C:\\qtv-e2e\\restart.log");

    const std::wstring listed = RegistryData(L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                             L"PendingFileRenameOperations");
    const std::size_t heldAt = listed.find(L"\\??\\" + held + L'\0' + L'\0');
    EXPECT_NE(heldAt, std::wstring::npos) << Narrow(listed);
    EXPECT_NE(listed.find(L"\\??\\" + folder + L'\0' + L'\0', heldAt), std::wstring::npos) << "the folder after its file";
    const std::string report = ReadFileBytes(L"C:\\qtv-e2e\\restart.json");
    EXPECT_NE(report.find("\"pendingRestart\": [\n        \"C:\\\\Program Files (x86)\\\\Zantrel Enterprise\\\\QTV Client\\\\QTVClient.ini\""),
              std::string::npos) << report;
    EXPECT_EQ(Describe(SuiteLeft({u"client", u"loggingservice", u"dlp"})), "client: file " + Narrow(held) + "\n")
        << "the held file alone waits";

    CloseHandle(file);
    EXPECT_EQ(RunAndWait(L"C:\\windows\\system32\\wineboot.exe --restart"), 0u);
    EXPECT_FALSE(PathPresent(folder));
    EXPECT_EQ(Describe(SuiteLeft({u"client", u"loggingservice", u"dlp"})), "");
}

// Files planted where the system looks before the real thing, by anybody who can write to the
// folder the program was downloaded to or to a carelessly opened folder under Program Files: the
// DLLs the program once imported and an MsiExec.exe beside the program, C:\Program.exe and a
// QTV.exe beside the relay's folder for the relay's unquoted uninstall command. None of them
// runs, in the dialog, "/silent /detect" or "/silent /all"; the careless control program loads
// every planted DLL from the same folder, so the test can fail.
//
// VERSION.dll is planted too, but Wine's own user32.dll imports it (Windows' does not) and
// Wine, told to prefer the DLL beside the program, loads it for user32 before the program's first
// instruction, and hands the loaded module to every later load by that name; Wine does not read
// the image's DependentLoadFlags, which on Windows 10 1607 and later keep a static import's
// dependencies in the system folder. So VERSION.dll's lines are left out here; the build test of
// the program's imports and load configuration covers it.
TEST_F(SuiteScenariosTest, PlantedProgramsAndLibrariesNeverRun)
{
    const std::wstring downloads = L"C:\\qtv-e2e\\downloads";
    const std::wstring copy = downloads + L"\\QTVRemove.exe";
    const std::vector<std::wstring> planted = {L"C:\\Program.exe", kSuiteFolder + L"\\QTV.exe",
                                               downloads + L"\\MsiExec.exe"};
    const std::vector<std::wstring> libraries = {L"VERSION.dll", L"ODBC32.dll", L"ODBCCP32.dll", L"UxTheme.dll",
                                                 L"COMCTL32.dll"};
    struct Cleanup {
        std::vector<std::wstring> files;
        ~Cleanup()
        {
            PreferDllsBesideProgram(L"QTVRemove.exe", {});
            PreferDllsBesideProgram(L"careless.exe", {});
            for (const std::wstring& file : files)
                DeleteFileW(file.c_str());
            DeleteFolderTree(L"C:\\qtv-e2e\\downloads");
            DeleteFileW(L"C:\\qtv-e2e\\planted.txt");
        }
    } cleanup{planted};
    MakeFolders(downloads);
    ASSERT_TRUE(CopyFileW(TestFile(L"QTVRemove.exe").c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TestFile(L"careless.exe").c_str(), (downloads + L"\\careless.exe").c_str(), FALSE));
    std::wstring names;
    for (const std::wstring& library : libraries) {
        ASSERT_TRUE(CopyFileW(TestFile(L"version_proxy.dll").c_str(), (downloads + L"\\" + library).c_str(), FALSE));
        names += L" " + library;
    }
    for (const std::wstring& path : planted)
        ASSERT_TRUE(CopyFileW(TestFile(L"planted.exe").c_str(), path.c_str(), FALSE)) << Narrow(path);
    PreferDllsBesideProgram(L"QTVRemove.exe", libraries);
    PreferDllsBesideProgram(L"careless.exe", libraries);
    ASSERT_TRUE(SetRegistryText(UninstallEntryKey(L"{QTV-RELAY}"), L"UninstallString",
                                kSuiteFolder + L"\\QTV Relay\\QTVRelay.exe entry={QTV-RELAY} child"));

    EXPECT_EQ(RunAndWait(L"\"" + downloads + L"\\careless.exe\"" + names), 5u);
    for (const std::wstring& library : libraries)
        EXPECT_NE(Planted().find(Lower(library + L" loaded by " + downloads + L"\\careless.exe\r\n")), std::string::npos)
            << "the control loads every planted DLL, so this test can fail:\n" << Planted();
    DeleteFileW(L"C:\\qtv-e2e\\planted.txt");

    std::string listing;
    EXPECT_EQ(RunCapturingOutput(L"\"" + copy + L"\" /silent /detect", listing), 1u);
    EXPECT_NE(listing.find("\r\n\xC2\xBBVelmora Zantrel Relay\xC2\xAB\t9.5.10.79\r\n"), std::string::npos) << listing;

    PROCESS_INFORMATION dialog = StartProgram(L"\"" + copy + L"\"");
    ASSERT_NE(dialog.hProcess, nullptr);
    HWND window = nullptr;
    for (int tries = 0; tries < 600 && !window; ++tries, Sleep(100))
        window = FindProcessWindow(dialog.dwProcessId, L"#32770", std::wstring(L"Velmora Zantrel Removal Utility"));
    ASSERT_NE(window, nullptr) << "the dialog did not appear";
    const HWND removeAll = GetDlgItem(window, 1007);
    for (int tries = 0; tries < 600 && !IsWindowEnabled(removeAll); ++tries)
        Sleep(100);
    EXPECT_TRUE(IsWindowEnabled(removeAll)) << "detection did not end";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForProgram(dialog), 0u);

    EXPECT_EQ(RunAndWait(L"\"" + copy + L"\" /silent /all"), 0u);

    // Nothing but Wine's own VERSION.dll (see above).
    std::string ran = Planted();
    const std::string early = Lower(L"version.dll loaded by " + copy + L"\r\n");
    for (std::size_t at; (at = ran.find(early)) != std::string::npos;)
        ran.erase(at, early.size());
    EXPECT_EQ(ran, "") << "a planted program or library ran";
    EXPECT_NE(Runs().find("QTVRelay.exe entry={QTV-RELAY} child -s --uninstallsilent -f1\""), std::string::npos) << Runs();
    EXPECT_NE(Runs().find("linger"), std::string::npos) << "the relay's uninstaller left a process behind";
    EXPECT_EQ(Describe(SuiteLeft({})), "");
    EXPECT_TRUE(RootsGone());
}

} // namespace
