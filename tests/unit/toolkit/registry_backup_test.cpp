#include "toolkit/registry_backup.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/sim/sim_files.h"
#include "support/recipe_test.h"
#include "support/reg_file.h"
#include "toolkit/registry_cleanup.h"

namespace {

using View = SimRegistry::View;

const std::u16string kFolder = u"C:\\qtv-backup";

std::vector<BYTE> Bytes(std::initializer_list<int> bytes)
{
    std::vector<BYTE> data;
    for (const int b : bytes)
        data.push_back(static_cast<BYTE>(b));
    return data;
}

std::vector<BYTE> Text(std::u16string_view text)
{
    const std::string bytes = Utf16LeBytes(text);
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

TEST(RegFileTest, ValuesAreWrittenAsRegeditExportsThem)
{
    struct Case {
        RegistryValue value;
        std::u16string lines;
    };
    const std::vector<Case> cases = {
        {{u"", REG_SZ, Text(std::u16string(u"C:\\x", 4) + u'\0')}, u"@=\"C:\\\\x\"\r\n"},
        {{u"say \"hi\"", REG_SZ, Text(std::u16string(u"\0", 1))}, u"\"say \\\"hi\\\"\"=\"\"\r\n"},
        // Bytes a quoted string would not give back: no terminator, a line break, nothing.
        {{u"a", REG_SZ, Text(u"ab")}, u"\"a\"=hex(1):61,00,62,00\r\n"},
        {{u"a", REG_SZ, Text(std::u16string(u"a\nb\0", 4))}, u"\"a\"=hex(1):61,00,0a,00,62,00,00,00\r\n"},
        {{u"a", REG_SZ, {}}, u"\"a\"=hex(1):\r\n"},
        {{u"d", REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})}, u"\"d\"=dword:12345678\r\n"},
        {{u"d", REG_DWORD, Bytes({1, 2})}, u"\"d\"=hex(4):01,02\r\n"},
        {{u"q", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})}, u"\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"},
        {{u"e", REG_EXPAND_SZ, Text(std::u16string(u"%T%\0", 4))}, u"\"e\"=hex(2):25,00,54,00,25,00,00,00\r\n"},
        {{u"m", REG_MULTI_SZ, Text(std::u16string(u"a\0\0", 3))}, u"\"m\"=hex(7):61,00,00,00,00,00\r\n"},
        {{u"n", REG_NONE, {}}, u"\"n\"=hex(0):\r\n"},
        {{u"x", 0x20000, Bytes({0xff})}, u"\"x\"=hex(20000):ff\r\n"},
        // The first line ends after the comma that reaches column 77, the others hold 25 bytes.
        {{u"Bin", REG_BINARY, std::vector<BYTE>(50, 0xab)},
         u"\"Bin\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
         u"  ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
         u"  ab,ab\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToUtf8(RegFileValueLines(c.value)), ToUtf8(c.lines));
}

class RegistryBackupTest : public RecipeTest {
protected:
    std::vector<RegSection> read(const char16_t* file)
    {
        return ParseRegFile(machine.files().content(kFolder + file).value_or(""));
    }
};

// Every key and value of a tree deleted with the backup on comes back, type and bytes, when the
// files are imported as regedit imports them: each into its own view.
TEST_F(RegistryBackupTest, ImportingTheFilesGivesBackEveryKeyAndValue)
{
    const std::u16string key = u"SOFTWARE\\Zantrel";
    const std::u16string userData =
        u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\ABC";
    const std::vector<RegistryValue> values = {
        {u"", REG_SZ, Text(std::u16string(u"default\0", 8))},
        {u"quote\" and \\ back", REG_SZ, Text(std::u16string(u"\"\\\0", 3))},
        {u"beyond \U0001F600", REG_SZ, Text(std::u16string(u"\U0001F600\0", 3))},
        {u"no terminator", REG_SZ, Text(u"ab")},
        {u"empty", REG_SZ, {}},
        {u"expand", REG_EXPAND_SZ, Text(std::u16string(u"%ProgramFiles%\0", 15))},
        {u"multi", REG_MULTI_SZ, Text(std::u16string(u"a\0b\0\0", 5))},
        {u"dword", REG_DWORD, Bytes({1, 2, 3, 4})},
        {u"qword", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
        {u"none", REG_NONE, {}},
        {u"binary", REG_BINARY, {}},
        {u"own type", 0x12345, Bytes({9})},
        {u"a MiB", REG_BINARY, std::vector<BYTE>(1 << 20, 0x5a)},
    };
    for (const RegistryValue& value : values)
        registry().setValue(HKEY_LOCAL_MACHINE, key + u"\\Agent", value.name, value.type, value.data);
    registry().createKey(HKEY_LOCAL_MACHINE, key + u"\\Agent\\Empty");
    registry().setString(HKEY_LOCAL_MACHINE, key, u"Root", u"1");
    registry().setString(HKEY_LOCAL_MACHINE, userData + u"\\InstallProperties", u"DisplayName", u"Agent", REG_SZ, View::Native64);
    registry().setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Other", u"Kept", u"1");

    {
        Backup backup(kFolder);
        const ScopedBackup saving(backup);
        EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, &log));
        EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, userData, &log, KEY_WOW64_64KEY));
    }
    ASSERT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, key));
    ASSERT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, userData, View::Native64));

    // The parent first, as regedit exports; the 64-bit view's keys in their own file.
    const std::vector<RegSection> own = read(u"\\registry.reg");
    ASSERT_EQ(own.size(), 3u);
    EXPECT_EQ(ToUtf8(own[0].key), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zantrel");
    EXPECT_EQ(ToUtf8(own[2].key), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Zantrel\\Agent\\Empty");
    const std::vector<RegSection> wide = read(u"\\registry-64.reg");
    ImportRegFile(registry(), own, false);
    ImportRegFile(registry(), wide, true);

    const std::vector<RegistryValue> back = registry().values(HKEY_LOCAL_MACHINE, key + u"\\Agent");
    ASSERT_EQ(back.size(), values.size());
    for (const RegistryValue& value : values) {
        const auto found = std::find_if(back.begin(), back.end(), [&](const RegistryValue& v) { return v.name == value.name; });
        ASSERT_NE(found, back.end()) << ToUtf8(value.name);
        EXPECT_EQ(found->type, value.type) << ToUtf8(value.name);
        EXPECT_TRUE(found->data == value.data) << ToUtf8(value.name);
    }
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, key + u"\\Agent\\Empty"));
    EXPECT_EQ(registry().valueData(HKEY_LOCAL_MACHINE, userData + u"\\InstallProperties", u"DisplayName", View::Native64),
              Text(std::u16string(u"Agent\0", 6)));
    EXPECT_EQ(machine.files().content(kFolder + u"\\deleted.txt").value_or(""),
              "registryKey\tHKLM\\SOFTWARE\\Zantrel\\Agent\\Empty\r\n"
              "registryKey\tHKLM\\SOFTWARE\\Zantrel\\Agent\r\n"
              "registryKey\tHKLM\\SOFTWARE\\Zantrel\r\n"
              "registryKey\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products"
              "\\ABC\\InstallProperties (64-bit view)\r\n"
              "registryKey\tHKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products"
              "\\ABC (64-bit view)\r\n");
    EXPECT_TRUE(machine.files().exists(kFolder + u"\\README.txt"));
}

// A tree that cannot be read completely, or whose backup cannot be written, is not deleted; nor is
// one holding a symbolic link, which a .reg file cannot make again. A folder that holds a backup
// already is refused before anything is written to it.
TEST_F(RegistryBackupTest, NothingGoesThatWasNotSaved)
{
    const std::u16string key = u"SOFTWARE\\Zantrel";
    registry().setString(HKEY_LOCAL_MACHINE, key + u"\\Agent", u"Path", u"C:\\x");
    Backup backup(kFolder);
    const ScopedBackup saving(backup);

    machine.failCall(SimCall::RegEnumValue, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, &log));
    machine.failCall(SimCall::WriteFile, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...Windows Error 0x8: Not enough memory.\r\n"
                      u"...error occurred while saving the backup of key \"HKLM\\SOFTWARE\\Zantrel\"\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...Windows Error 0x5: Access denied.\r\n"
                      u"...error occurred while saving the backup of key \"HKLM\\SOFTWARE\\Zantrel\"\r\n");
    EXPECT_TRUE(registry().valueExists(HKEY_LOCAL_MACHINE, key + u"\\Agent", u"Path"));
    registry().createLink(HKEY_LOCAL_MACHINE, key + u"\\Agent\\Link", u"\\Registry\\Machine\\SYSTEM\\Select");
    EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, &log));
    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...the key is a symbolic link, which a .reg file cannot hold\r\n"
                      u"...error occurred while saving the backup of key \"HKLM\\SOFTWARE\\Zantrel\\Agent\\Link\"\r\n");
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, key + u"\\Agent\\Link"));
    EXPECT_EQ(read(u"\\registry.reg").size(), 0u);

    try {
        Backup again(kFolder);
        ADD_FAILURE() << "a second backup in the same folder";
    } catch (const Windows::Error& error) {
        EXPECT_EQ(error.code(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    }
}

} // namespace
