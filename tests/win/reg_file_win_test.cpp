// The tests' own reading of a .reg file held against the system's regedit: a backup cut where a
// process that ended mid-write leaves it, imported by the 32-bit regedit as administrators are
// told to, puts back exactly what ParseRegFile reads in it (AsStored).

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/text.h"
#include "support/reg_file.h"
#include "support/win_machine.h"

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\QtvRegCut";
constexpr char16_t kSection[] = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\QtvRegCut";
constexpr wchar_t kFile[] = L"C:\\qtv-regcut.reg";

// Each key of a tree, and below it its values in name order: "name type:bytes".
using Tree = std::map<std::string, std::map<std::string, std::string>>;

std::string Shown(const RegistryValue& value)
{
    std::string text = " " + ToUtf8(value.name) + " " + std::to_string(value.type) + ":";
    for (const BYTE b : value.data)
        text += "0123456789abcdef"[b >> 4] + std::string(1, "0123456789abcdef"[b & 0xF]);
    return text;
}

void ReadTree(HKEY parent, const std::wstring& path, const std::u16string& name, Tree& tree)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    auto& values = tree[ToUtf8(name)];
    wchar_t child[256];
    std::vector<BYTE> data(4096);
    for (DWORD i = 0, length = 256, type = 0, size = 4096;
         RegEnumValueW(key, i, child, &length, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
         ++i, length = 256, size = 4096) {
        const std::u16string valueName(child, child + length);
        values[ToUtf8(valueName)] = Shown({valueName, type, std::vector<BYTE>(data.begin(), data.begin() + size)});
    }
    for (DWORD i = 0, length = 256; RegEnumKeyExW(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        ReadTree(key, child, name + u"\\" + std::u16string(child, child + length), tree);
    RegCloseKey(key);
}

// Each file is the header and a whole section, then a second section cut after the text given.
TEST(RegFileWinTest, ACutFileImportsAsTheTestsReadIt)
{
    const std::u16string whole = u"Windows Registry Editor Version 5.00\r\n\r\n[" + std::u16string(kSection) +
                                 u"\\A]\r\n\"Path\"=\"C:\\\\a\"\r\n\"D\"=dword:00000001\r\n\r\n";
    const std::u16string b = u"[" + std::u16string(kSection) + u"\\B]\r\n";
    const std::vector<std::pair<const char*, std::u16string>> cases = {
        {"in the header", u"Windows Registry Ed"},
        {"in a key's line", whole + u"[" + kSection + u"\\B\\Dee"},
        {"after a key's closing bracket", whole + u"[" + kSection + u"\\B]"},
        {"between \\r and \\n", whole + u"[" + kSection + u"\\B]\r"},
        {"in a value's name", whole + b + u"\"Pa"},
        {"after the equals sign", whole + b + u"\"Path\"="},
        {"in a quoted text", whole + b + u"\"Path\"=\"C:\\\\b"},
        {"after a quoted text's closing quote", whole + b + u"\"Path\"=\"C:\\\\b\""},
        {"after dword:", whole + b + u"\"D\"=dword:"},
        {"in a dword", whole + b + u"\"D\"=dword:1234"},
        {"in a hex byte", whole + b + u"\"Bin\"=hex:ab,cd,e"},
        {"after a hex byte's comma", whole + b + u"\"Bin\"=hex:ab,cd,"},
        {"after a line's continuation", whole + b + u"\"Bin\"=hex:ab,cd,\\\r\n"},
        {"in a continued line", whole + b + u"\"Bin\"=hex:ab,cd,\\\r\n  ef,0"},
        {"in a value's type", whole + b + u"\"E\"=hex(2"},
        {"in a text's bytes", whole + b + u"\"E\"=hex(2):25,00,54,00"},
        {"in a default value", whole + b + u"@=\"x"},
        {"in a character", whole + b + u"x"}, // its first byte alone
    };
    for (const auto& [what, text] : cases) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
        std::string bytes = "\xFF\xFE" + Utf16LeBytes(text);
        if (std::string(what) == "in a character")
            bytes.pop_back();
        HANDLE file = CreateFileW(kFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);

        EXPECT_EQ(RunAndWait(L"C:\\windows\\syswow64\\regedit.exe /s " + std::wstring(kFile)), 0u) << what;
        Tree imported;
        ReadTree(HKEY_LOCAL_MACHINE, kKey, kSection, imported);
        Tree read; // nothing, where ParseRegFile refuses the file whole
        try {
            for (const RegSection& section : ParseRegFile(bytes)) {
                // A key is made with the keys above it.
                for (std::size_t end = section.key.find(u'\\', std::size(kSection) - 1); end != std::u16string::npos;
                     end = section.key.find(u'\\', end + 1))
                    read[ToUtf8(section.key.substr(0, end))];
                auto& values = read[ToUtf8(section.key)];
                for (const RegistryValue& value : section.values)
                    values[ToUtf8(value.name)] = Shown(AsStored(value));
            }
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(read, imported) << what;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kKey);
    DeleteFileW(kFile);
}

} // namespace
