// The built program on a laid-out agent installation under Wine:
//   silent_removal_test PATH\QTVRemove.exe PATH\spawn_child.exe
// The agent's uninstaller is the spawn_child fixture, which leaves everything behind, so what
// disappears was removed by the program's own clean-up.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/suite_layout.h"
#include "support/wine_main.h"

namespace {

const std::wstring kUninstallEntry = UninstallEntryKey(L"{QTV-E2E-CLIENT}");
constexpr wchar_t kClientKey[] = L"SOFTWARE\\Zantrel\\EnterpriseClient";
constexpr wchar_t kFolder[] = L"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";
// A standard user's own keys below the suite's, named so that the last one's line in a .reg file
// would be two, the second a section of HKEY_LOCAL_MACHINE: the first name holds the line break,
// the backslashes are the path's own, and the ";" puts what closes the key's line in a comment.
constexpr wchar_t kForgedKey[] = L"Software\\Zantrel\\Forged\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]\n;";
constexpr wchar_t kForgedShown[] = L"\\Software\\Zantrel\\Forged\\n[HKEY_LOCAL_MACHINE";
constexpr wchar_t kForgedWork[] = L"C:\\qtv-e2e-forged";
// A symbolic-link key a user may make in the suite's key of their hive, and a key outside the
// suite it leads to.
constexpr wchar_t kUserLink[] = L"Software\\Zantrel\\Link";
constexpr wchar_t kLinkTarget[] = L"SYSTEM\\QTVLinkTarget";

// What a failed run may have left, so that every run starts from a clean prefix and leaves one.
void RemoveLeftovers()
{
    // A link goes through its own handle (an empty name deletes the handle's key): by name, the
    // system would delete what it leads to.
    for (const wchar_t* path : {kUserLink, L"Software\\Zantrel"}) {
        HKEY link = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path, REG_OPTION_OPEN_LINK, DELETE, &link) == ERROR_SUCCESS) {
            RegDeleteKeyW(link, L"");
            RegCloseKey(link);
        }
    }
    ClearSuite();
    DeleteRegistryTree(kLinkTarget);
    DeleteRegistryTree(kUninstallEntry);
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY})
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\QtvForged", view, 0);
    DeleteFolderTree(kForgedWork);
}

// The string form of the SID of the user the test runs as, the name of the hive HKEY_CURRENT_USER
// stands for under HKEY_USERS.
std::wstring OwnSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return L"";
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    std::wstring text;
    LPWSTR sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

// Whether some line of the text, ended by a line feed or a carriage return, begins with `start`.
bool SomeLineBegins(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0 || text.find("\n" + start) != std::string::npos ||
           text.find("\r" + start) != std::string::npos;
}

// Makes `path` of the user's hive a symbolic link to kLinkTarget, owned by `owner` when given.
::testing::AssertionResult MakeUserLink(const wchar_t* path, const wchar_t* owner = nullptr)
{
    HKEY link = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                        nullptr, &link, nullptr) != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "the link cannot be made";
    const std::wstring target = L"\\Registry\\Machine\\" + std::wstring(kLinkTarget);
    LONG made = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                               static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    PSID sid = nullptr;
    if (made == ERROR_SUCCESS && owner && ConvertStringSidToSidW(owner, &sid)) {
        made = static_cast<LONG>(SetSecurityInfo(link, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION, sid, nullptr,
                                                 nullptr, nullptr));
        LocalFree(sid);
    }
    RegCloseKey(link);
    return made == ERROR_SUCCESS ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << made;
}

class SilentRemovalTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveLeftovers(); }
    void TearDown() override { RemoveLeftovers(); }
};

// The agent as its installer leaves it, with an uninstaller that leaves everything behind.
void LayAgent()
{
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"DisplayName", L"Velmora Zantrel Client"));
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"InstallLocation", kFolder));
    ASSERT_TRUE(SetRegistryText(kUninstallEntry, L"UninstallString", L"\"" + TestFile(L"spawn_child.exe") + L"\" exit 0"));
    ASSERT_TRUE(SetRegistryText(kClientKey, L"InstallDir", kFolder));
    MakeFolders(kFolder);
    ASSERT_TRUE(CopyFileW(TestFile(L"spawn_child.exe").c_str(), (std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW((std::wstring(kFolder) + L"\\QTVClient.exe").c_str(), FILE_ATTRIBUTE_READONLY));
}

TEST_F(SilentRemovalTest, ClientSwitchRemovesAnInstalledAgent)
{
    ASSERT_NO_FATAL_FAILURE(LayAgent());

    EXPECT_EQ(RunProgram(L"/silent /client"), 0u);

    EXPECT_FALSE(RegistryKeyPresent(kUninstallEntry));
    EXPECT_FALSE(RegistryKeyPresent(kClientKey));
    EXPECT_FALSE(PathPresent(kFolder));
    EXPECT_EQ(Describe(SuiteLeft({u"roots"})), "") << "nothing is left, so the roots went too";
}

// The key's tree cannot be saved as itself, so "/backup" keeps it, with its reason in the log; the
// backup, imported with the system's regedit as the README tells administrators, makes no key
// outside HKEY_CURRENT_USER, and no line of the log begins with what the name holds.
TEST_F(SilentRemovalTest, ABackupImportedMakesNoKeyAUsersKeyNameForges)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kForgedKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    const wchar_t data[] = L"C:\\Users\\Public\\evil.exe";
    RegSetValueExW(key, L"ImagePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    RegCloseKey(key);
    const std::wstring sid = OwnSid();
    ASSERT_FALSE(sid.empty());
    const std::wstring backup = std::wstring(kForgedWork) + L"\\backup";
    const std::wstring log = std::wstring(kForgedWork) + L"\\run.log";

    EXPECT_EQ(RunProgram(L"/silent /all /backup " + backup + L" /log " + log), 1603u);

    HKEY kept = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kForgedKey, 0, KEY_READ, &kept), ERROR_SUCCESS) << "the key stays";
    if (kept)
        RegCloseKey(kept);
    const std::string text = ReadFileBytes(log);
    const std::string lines = Narrow(L"Deleting registry key \"HKU\\" + sid + L"\\Software\\Zantrel\"...The key's name "
                                     L"holds a control character, which a .reg file cannot hold\r\n"
                                     L"...error occurred while saving the backup of key \"HKU\\" + sid + kForgedShown + L"\"\r\n");
    EXPECT_NE(text.find(lines), std::string::npos) << text;
    EXPECT_FALSE(SomeLineBegins(text, "[HKEY"));

    EXPECT_EQ(RunAndWait(L"C:\\windows\\syswow64\\regedit.exe /s \"" + backup + L"\\registry.reg\""), 0u);
    EXPECT_FALSE(RegistryKeyPresent(L"SOFTWARE\\QtvForged", KEY_WOW64_32KEY));
    EXPECT_FALSE(RegistryKeyPresent(L"SOFTWARE\\QtvForged", KEY_WOW64_64KEY));
    EXPECT_FALSE(SomeLineBegins(ReadFileBytes(backup + L"\\deleted.txt"), "[HKEY"));
}

// A symbolic-link key in the suite's key of the user's hive, leading to a key of the machine's
// outside the suite: the root clean-up deletes the link alone, and the key it leads to stays with
// its value and its subkey.
TEST_F(SilentRemovalTest, ALinkInTheUsersSuiteKeyGoesAndWhatItLeadsToStays)
{
    ASSERT_NO_FATAL_FAILURE(LayAgent());
    ASSERT_TRUE(SetRegistryText(std::wstring(kLinkTarget) + L"\\Parameters", L"Kept", L"1"));
    ASSERT_TRUE(MakeUserLink(kUserLink));
    HKEY link = nullptr;
    ASSERT_TRUE(RegistryKeyPresent(kLinkTarget));

    EXPECT_EQ(RunProgram(L"/silent /all"), 0u);

    EXPECT_FALSE(RegistryKeyPresent(kClientKey));
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kUserLink, REG_OPTION_OPEN_LINK, KEY_READ, &link), ERROR_SUCCESS)
        << "the link is gone";
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Zantrel", 0, KEY_READ, &link), ERROR_SUCCESS);
    EXPECT_EQ(RegistryData(std::wstring(kLinkTarget) + L"\\Parameters", L"Kept"), std::wstring(L"1", 2));
}

// The suite's key of the user's hive made a link by a standard user, leading to a key of the
// machine's that holds one of the console's name: what lies behind it is not the suite's, so the
// console is not found there and that key stays; the link itself goes with the suite's roots.
TEST_F(SilentRemovalTest, ALinkAStandardUserMadeAboveASuiteKeyIsNotFollowed)
{
    ASSERT_TRUE(SetRegistryText(std::wstring(kLinkTarget) + L"\\Enterprise Console", L"Kept", L"1"));
    ASSERT_TRUE(MakeUserLink(L"Software\\Zantrel", L"S-1-5-21-1004336348-1177238915-682003330-1002"));
    const std::wstring log = std::wstring(kForgedWork) + L"\\run.log";

    EXPECT_EQ(RunProgram(L"/silent /all /log " + log), 0u);

    EXPECT_EQ(RegistryData(std::wstring(kLinkTarget) + L"\\Enterprise Console", L"Kept"), std::wstring(L"1", 2));
    const std::string text = ReadFileBytes(log);
    EXPECT_NE(text.find("Checking for registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...not the "
                        "suite's: a standard user can change where the symbolic link \"HKCU\\Software\\Zantrel\" leads\r\n"),
              std::string::npos)
        << text;
    HKEY link = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Zantrel", REG_OPTION_OPEN_LINK, KEY_READ, &link),
              ERROR_SUCCESS)
        << "the link is gone";
}

} // namespace
