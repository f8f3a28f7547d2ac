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
        // Bytes a quoted string would not give back: a line break, nothing.
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
        {u"line break", REG_SZ, Text(std::u16string(u"a\r\nb\0", 5))},
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

// A standard user's own keys below the suite's, named so that the last one's line in the .reg file
// makes a section of its own (which an administrator's import would create in HKEY_LOCAL_MACHINE):
// the first holds a line break, and the backslashes of "SOFTWARE\QtvForged" are the path's own.
// Or a key holding a value whose name a .reg line cannot hold, or a text regedit would give back
// with a terminator it did not have. With a backup the tree is not
// saved, so it is not deleted, and the log names the key on one line; without one it goes, and
// the log shows its name escaped.
TEST_F(RegistryBackupTest, ATreeWithANameARegFileCannotHoldIsKeptWithItsReason)
{
    const std::u16string suite = u"Software\\Zantrel";
    const std::u16string forged = suite + u"\\Forged\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvForged]\n;";
    const std::u16string first = suite + u"\\Forged\n[HKEY_LOCAL_MACHINE";
    const std::u16string firstShown = u"HKCU\\Software\\Zantrel\\Forged\\n[HKEY_LOCAL_MACHINE";
    struct Case {
        const char* what;
        std::u16string key;   // laid, with a value
        std::u16string value; // its name
        std::u16string lines; // with a backup
        std::vector<BYTE> data = Text(std::u16string(u"C:\\x\0", 5));
    };
    const std::vector<Case> cases = {
        {"a key name that begins a section", forged, u"ImagePath",
         u"Deleting registry key \"HKCU\\Software\\Zantrel\"...The key's name holds a control character, which a "
         u".reg file cannot hold\r\n"
         u"...error occurred while saving the backup of key \"" + firstShown + u"\"\r\n"},
        {"a value name with a tab", suite + u"\\Console", u"Last\tServer",
         u"Deleting registry key \"HKCU\\Software\\Zantrel\"...The name of value \"Last\\tServer\" holds a control "
         u"character, which a .reg file cannot hold\r\n"
         u"...error occurred while saving the backup of key \"HKCU\\Software\\Zantrel\\Console\"\r\n"},
        {"a value name with a line break", suite + u"\\Console", u"Last\r\nServer",
         u"Deleting registry key \"HKCU\\Software\\Zantrel\"...The name of value \"Last\\r\\nServer\" holds a control "
         u"character, which a .reg file cannot hold\r\n"
         u"...error occurred while saving the backup of key \"HKCU\\Software\\Zantrel\\Console\"\r\n"},
        {"a text without its terminator", suite + u"\\Console", u"Last",
         u"Deleting registry key \"HKCU\\Software\\Zantrel\"...The text of value \"Last\" does not end in its "
         u"terminator, which a .reg file cannot give back\r\n"
         u"...error occurred while saving the backup of key \"HKCU\\Software\\Zantrel\\Console\"\r\n",
         Text(u"C:")},
    };
    const std::string emptyRegFile = "\xFF\xFE" + Utf16LeBytes(u"Windows Registry Editor Version 5.00\r\n\r\n");
    for (const Case& c : cases) {
        registry().removeTree(HKEY_CURRENT_USER, suite);
        registry().setString(HKEY_CURRENT_USER, suite + u"\\Agent", u"Path", u"C:\\x");
        registry().setValue(HKEY_CURRENT_USER, c.key, c.value, REG_SZ, c.data);
        const std::u16string folder = kFolder + u"-" + ToUtf16(c.what);
        {
            Backup backup(folder);
            const ScopedBackup saving(backup);
            EXPECT_FALSE(DeleteRegistryKey(HKEY_CURRENT_USER, suite, &log)) << c.what;
        }
        EXPECT_EQ(ToUtf8(text()), ToUtf8(c.lines)) << c.what;
        EXPECT_TRUE(registry().valueExists(HKEY_CURRENT_USER, c.key, c.value)) << c.what;
        EXPECT_TRUE(registry().keyExists(HKEY_CURRENT_USER, suite + u"\\Agent")) << c.what << ": the whole tree stays";
        EXPECT_EQ(machine.files().content(folder + u"\\registry.reg"), emptyRegFile) << c.what;
        EXPECT_EQ(machine.files().content(folder + u"\\deleted.txt"), "") << c.what;
    }

    // Without a backup the keys go as any other, and no name can end the line it is on.
    registry().setString(HKEY_CURRENT_USER, forged, u"ImagePath", u"C:\\x");
    const RunRecordScope record;
    EXPECT_TRUE(DeleteRegistryKey(HKEY_CURRENT_USER, first, &log));
    EXPECT_EQ(ToUtf8(text()), ToUtf8(u"Deleting registry key \"" + firstShown + u"\"...done\r\n"));
    EXPECT_FALSE(registry().keyExists(HKEY_CURRENT_USER, first));
    std::u16string recorded;
    for (const DeletedObject& object : record.deleted())
        recorded += object.name + u"\r\n";
    EXPECT_EQ(ToUtf8(recorded), ToUtf8(firstShown + u"\\SOFTWARE\\QtvForged]\\n;\r\n" + firstShown + u"\\SOFTWARE\r\n" +
                                       firstShown + u"\r\n"));
}

// deleted.txt holds one line per object, whatever its name holds, written as the object is noted;
// a line that cannot be written then goes with the next one, or at the end.
TEST_F(RegistryBackupTest, TheListOfWhatWasDeletedShowsControlCharactersEscaped)
{
    const auto list = [this] { return machine.files().content(kFolder + u"\\deleted.txt").value_or(""); };
    const std::string escaped = "registryValue\tHKLM\\SOFTWARE\\Zantrel:[Last\\tServer]\r\n"
                                "uninstaller\t\"C:\\x\\setup.exe\" /remove\\r\\nregistryKey\\tHKLM\\SOFTWARE\\Other\r\n"
                                "registryKey\tHKCU\\Software\\Zantrel\\a\\x00\\x1b\r\n";
    {
        Backup backup(kFolder);
        backup.deleted({DeletedKind::RegistryValue, u"HKLM\\SOFTWARE\\Zantrel:[Last\tServer]"});
        backup.deleted({DeletedKind::Uninstaller, u"\"C:\\x\\setup.exe\" /remove\r\nregistryKey\tHKLM\\SOFTWARE\\Other"});
        backup.deleted({DeletedKind::RegistryKey, std::u16string(u"HKCU\\Software\\Zantrel\\a\0\x1b", 25)});
        EXPECT_EQ(list(), escaped);
        machine.failCall(SimCall::WriteFile, ERROR_DISK_FULL);
        backup.deleted({DeletedKind::File, u"C:\\x\\a.txt"});
        EXPECT_EQ(list(), escaped);
        backup.deleted({DeletedKind::File, u"C:\\x\\b.txt"});
        EXPECT_EQ(list(), escaped + "file\tC:\\x\\a.txt\r\nfile\tC:\\x\\b.txt\r\n");
        machine.failCall(SimCall::WriteFile, ERROR_DISK_FULL);
        backup.deleted({DeletedKind::Directory, u"C:\\x"});
        machine.failCall(SimCall::WriteFile, ERROR_DISK_FULL);
        EXPECT_THROW(backup.flush(), Windows::Error);
    }
    EXPECT_EQ(list(), escaped + "file\tC:\\x\\a.txt\r\nfile\tC:\\x\\b.txt\r\nfolder\tC:\\x\r\n");
}

// A save that fails writing or flushing a section, or the header of the file it starts, keeps its
// key and leaves the file as the next save goes on with: the next key goes and comes back. A
// backup whose registry.reg cannot get its header leaves nothing behind in the folder.
TEST_F(RegistryBackupTest, AFailedSaveKeepsItsKeyAndCostsNoLaterOne)
{
    struct Case {
        const char* what;
        SimCall call;
        REGSAM view;
        std::vector<std::u16string> saved; // the keys of the view's file, after "HKEY_LOCAL_MACHINE\SOFTWARE\"
    };
    const std::vector<Case> cases = {
        {"a section written", SimCall::WriteFile, 0, {u"Two"}},
        {"a section flushed", SimCall::FlushFileBuffers, 0, {u"One", u"Two"}},
        {"registry-64.reg's header written", SimCall::WriteFile, KEY_WOW64_64KEY, {u"Two"}},
        {"registry-64.reg's header flushed", SimCall::FlushFileBuffers, KEY_WOW64_64KEY, {u"Two"}},
    };
    for (const Case& c : cases) {
        const View view = c.view ? View::Native64 : View::Wow32;
        const std::u16string folder = kFolder + u"-" + ToUtf16(c.what);
        for (const char16_t* key : {u"SOFTWARE\\One", u"SOFTWARE\\Two"})
            registry().setString(HKEY_LOCAL_MACHINE, key, u"Path", u"C:\\x", REG_SZ, view);
        {
            Backup backup(folder);
            const ScopedBackup saving(backup);
            machine.failCall(c.call, ERROR_ACCESS_DENIED);
            EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\One", &log, c.view)) << c.what;
            EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Two", &log, c.view)) << c.what;
        }
        EXPECT_EQ(ToUtf8(text()), "Deleting registry key \"HKLM\\SOFTWARE\\One\"...Windows Error 0x5: Access denied.\r\n"
                                  "...error occurred while saving the backup of key \"HKLM\\SOFTWARE\\One\"\r\n"
                                  "Deleting registry key \"HKLM\\SOFTWARE\\Two\"...done\r\n") << c.what;
        EXPECT_TRUE(registry().valueExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\One", u"Path", view)) << c.what;
        std::vector<std::u16string> saved;
        for (const RegSection& section : read((u"-" + ToUtf16(c.what) + (c.view ? u"\\registry-64.reg" : u"\\registry.reg")).c_str()))
            saved.push_back(section.key.substr(28));
        EXPECT_EQ(saved, c.saved) << c.what;
        registry().removeTree(HKEY_LOCAL_MACHINE, u"SOFTWARE\\One", view);
    }

    machine.failCall(SimCall::FlushFileBuffers, ERROR_ACCESS_DENIED);
    EXPECT_THROW(Backup{kFolder}, Windows::Error);
    EXPECT_EQ(machine.files().entries(kFolder), std::vector<std::u16string>{});
    EXPECT_NO_THROW(Backup{kFolder});
}

// Cut where a process ended in the middle of a save, after its header line, registry.reg gives
// back every section before the cut, and of the cut one the values before the line cut; that
// line's value regedit takes as far as it got.
TEST_F(RegistryBackupTest, ACutFileGivesBackEverySectionBeforeTheCut)
{
    const std::u16string key = u"SOFTWARE\\Zantrel";
    registry().setString(HKEY_LOCAL_MACHINE, key, u"Path", u"C:\\\"quoted\" and \\");
    registry().setValue(HKEY_LOCAL_MACHINE, key, u"Start", REG_DWORD, Bytes({2, 0, 0, 0}));
    registry().setValue(HKEY_LOCAL_MACHINE, key + u"\\Agent", u"", REG_EXPAND_SZ, Text(std::u16string(u"%T%\0", 4)));
    registry().setValue(HKEY_LOCAL_MACHINE, key + u"\\Agent", u"Blob", REG_BINARY, std::vector<BYTE>(40, 0xab));
    registry().setValue(HKEY_LOCAL_MACHINE, key + u"\\Agent", u"Q", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    {
        Backup backup(kFolder);
        const ScopedBackup saving(backup);
        ASSERT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, key, &log));
    }
    const std::vector<RegSection> own = read(u"\\registry.reg");
    ASSERT_EQ(own.size(), 2u);
    const std::string file = machine.files().content(kFolder + u"\\registry.reg").value_or("");
    const std::size_t second = file.find(Utf16LeBytes(u"[" + own[1].key));
    for (std::size_t cut = 2 + 2 * 36; cut <= file.size(); ++cut) {
        std::vector<RegSection> parsed;
        ASSERT_NO_THROW(parsed = ParseRegFile(file.substr(0, cut))) << cut;
        const std::size_t cutOne = cut > second ? 1 : 0;
        ASSERT_LE(parsed.size(), cutOne + 1) << cut;
        for (std::size_t s = 0; s < parsed.size(); ++s) {
            const std::vector<RegistryValue>& values = parsed[s].values;
            ASSERT_EQ(parsed[s].key, own[s].key) << cut;
            ASSERT_TRUE(values.size() == own[s].values.size() || (s == cutOne && values.size() < own[s].values.size())) << cut;
            for (std::size_t v = 0; v < values.size(); ++v)
                EXPECT_TRUE(values[v].name == own[s].values[v].name && values[v].type == own[s].values[v].type &&
                            (values[v].data == own[s].values[v].data || (s == cutOne && v + 1 == values.size())))
                    << cut << ": " << ToUtf8(values[v].name);
        }
    }
}

} // namespace
