#include "platform/registry.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/machine_test.h"

#ifdef _WIN32
#include "support/win_machine.h"
#else
#include "platform/sim/sim_registry.h"
#endif

namespace {

const std::u16string kBase = u"SOFTWARE\\QTVRemoveTests";

std::vector<BYTE> Utf16Bytes(const std::u16string& text)
{
    std::vector<BYTE> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    return bytes;
}

// Each test works below its own key, laid with the platform's own means, and removes it.
class RegistryTest : public MachineTest {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info->name();
        path_ = kBase + u"\\" + std::u16string(name.begin(), name.end());
        createKey(path_);
    }

    void TearDown() override
    {
#ifdef _WIN32
        // A link goes through its own handle: by name, the tree's deletion would follow it.
        for (const std::u16string& link : links_) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(link).c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) == 0) {
                Os().ntDeleteKey(key);
                RegCloseKey(key);
            }
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(path_).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(path_ + u"64").c_str());
        HKEY wide = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &wide) == 0) {
            RegDeleteTreeW(wide, W(path_.substr(9) + u"64").c_str());
            RegCloseKey(wide);
        }
#endif
    }

    const std::u16string& path() const { return path_; }

    void createKey(const std::u16string& path, bool view64 = false)
    {
#ifdef _WIN32
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | (view64 ? KEY_WOW64_64KEY : 0), nullptr, &key,
                                  nullptr),
                  0);
        RegCloseKey(key);
#else
        machine.registry().createKey(HKEY_LOCAL_MACHINE, path,
                                     view64 ? SimRegistry::View::Native64 : SimRegistry::View::Wow32);
#endif
    }

    // The test's key `name`, a symbolic link to its key `target` (in the program's view, which the
    // kernel names below WOW6432Node).
    void createLink(const std::u16string& name, const std::u16string& target)
    {
        const std::u16string link = path_ + u"\\" + name;
        const std::u16string kernelName = u"\\Registry\\Machine\\SOFTWARE\\WOW6432Node" + path_.substr(8) + u"\\" + target;
#ifdef _WIN32
        links_.push_back(link);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(link).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                  KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr),
                  0);
        ASSERT_EQ(RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(kernelName.data()),
                                 static_cast<DWORD>(kernelName.size() * sizeof(char16_t))),
                  0);
        RegCloseKey(key);
#else
        machine.registry().createLink(HKEY_LOCAL_MACHINE, link, kernelName);
#endif
    }

    // Opens the test's key `name` as RegOpenKeyExW does; its result.
    LONG open(const std::u16string& name, DWORD options, REGSAM access, UniqueKey& key)
    {
        return Os().regOpenKeyEx(HKEY_LOCAL_MACHINE, (path_ + u"\\" + name).c_str(), options, access, key.put());
    }

    void setValue(const std::u16string& name, DWORD type, const std::vector<BYTE>& data,
                  const std::u16string& subkey = u"")
    {
        const std::u16string keyPath = subkey.empty() ? path_ : path_ + u"\\" + subkey;
#ifdef _WIN32
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(keyPath).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  0);
        ASSERT_EQ(RegSetValueExW(key, W(name).c_str(), 0, type, data.empty() ? nullptr : data.data(),
                                 static_cast<DWORD>(data.size())),
                  0);
        RegCloseKey(key);
#else
        machine.registry().setValue(HKEY_LOCAL_MACHINE, keyPath, name, type, data);
#endif
    }

    void setText(const std::u16string& name, const std::u16string& bytesAsText, DWORD type = REG_SZ)
    {
        setValue(name, type, Utf16Bytes(bytesAsText));
    }

    std::u16string readSz(const std::u16string& name)
    {
        return ReadRegistrySz(HKEY_LOCAL_MACHINE, path_, name);
    }

private:
#ifdef _WIN32
    std::vector<std::u16string> links_;
#endif
    std::u16string path_;
};

template <class E>
::testing::AssertionResult Throws(const std::function<void()>& call)
{
    try {
        call();
    } catch (const E&) {
        return ::testing::AssertionSuccess();
    } catch (...) {
        return ::testing::AssertionFailure() << "threw " << DescribeCurrentException();
    }
    return ::testing::AssertionFailure() << "threw nothing";
}

::testing::AssertionResult ThrowsCode(DWORD code, const std::function<void()>& call)
{
    try {
        call();
    } catch (const Windows::Error& e) {
        if (e.code() == code)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "code " << e.code();
    } catch (...) {
        return ::testing::AssertionFailure() << "threw " << DescribeCurrentException();
    }
    return ::testing::AssertionFailure() << "threw nothing";
}

TEST_F(RegistryTest, TypedReadsCutAtTheFirstNulAndCheckEmptinessBeforeType)
{
    setText(u"Plain", std::u16string(u"C:\\Program Files\\Zantrel\0", 25));
    setText(u"Embedded", std::u16string(u"ab\0cd\0", 6));
    setText(u"Unterminated", u"abc");
    setText(u"OnlyTerminator", std::u16string(u"\0", 1));
    setValue(u"Empty", REG_SZ, {});
    setValue(u"EmptyDword", REG_DWORD, {});
    setValue(u"Dword", REG_DWORD, {1, 0, 0, 0});
    setValue(u"OddBytes", REG_SZ, {'a', 0, 'b'});
    setValue(u"OneByte", REG_SZ, {'z'});
    setText(u"Expand", std::u16string(u"%SystemRoot%\\x\0", 15), REG_EXPAND_SZ);

    EXPECT_EQ(readSz(u"Plain"), u"C:\\Program Files\\Zantrel");
    EXPECT_EQ(readSz(u"plain"), u"C:\\Program Files\\Zantrel") << "value names ignore case";
    EXPECT_EQ(readSz(u"Embedded"), u"ab");
    EXPECT_EQ(readSz(u"Unterminated"), u"abc");
    EXPECT_EQ(readSz(u"OnlyTerminator"), u"");
    EXPECT_EQ(readSz(u"OddBytes"), u"ab");
    EXPECT_EQ(readSz(u"OneByte"), u"z");
    EXPECT_TRUE(Throws<Windows::RegistryValueIsEmpty>([&] { readSz(u"Empty"); }));
    EXPECT_TRUE(Throws<Windows::RegistryValueIsEmpty>([&] { readSz(u"EmptyDword"); }));
    EXPECT_TRUE(Throws<Windows::WrongRegistryType>([&] { readSz(u"Dword"); }));
    EXPECT_TRUE(Throws<Windows::WrongRegistryType>([&] { readSz(u"Expand"); }));
    EXPECT_EQ(ReadRegistryExpandSz(HKEY_LOCAL_MACHINE, path(), u"Expand"), u"%SystemRoot%\\x");
    EXPECT_TRUE(ThrowsCode(ERROR_FILE_NOT_FOUND, [&] { readSz(u"Missing"); }));
    EXPECT_TRUE(ThrowsCode(ERROR_FILE_NOT_FOUND, [&] {
        ReadRegistrySz(HKEY_LOCAL_MACHINE, path() + u"\\NoSuchKey", u"Plain");
    }));
}

TEST_F(RegistryTest, LargeValuesAndNamesOutsideTheBasicPlaneReadWhole)
{
    std::u16string big(512 * 1024, u'x');
    big.back() = u'\0';
    setText(u"Big", big);
    const std::u16string smile = u"\U0001F600-name";
    setText(smile, std::u16string(u"\U0001F600\0", 3));

    EXPECT_EQ(readSz(u"Big").size(), big.size() - 1);
    EXPECT_EQ(readSz(smile), u"\U0001F600");
}

TEST_F(RegistryTest, ExpandsEnvironmentReferences)
{
    EXPECT_EQ(ExpandEnvironmentText(u"%SystemRoot%\\Temp"), u"C:\\windows\\Temp");
    EXPECT_EQ(ExpandEnvironmentText(u"%QTV_NO_SUCH_VARIABLE%\\x"), u"%QTV_NO_SUCH_VARIABLE%\\x");
    EXPECT_EQ(ExpandEnvironmentText(u""), u"");
}

TEST_F(RegistryTest, ProbesAnswerWithoutThrowing)
{
    setText(u"Present", std::u16string(u"x\0", 2));
    setValue(u"EmptyButThere", REG_BINARY, {});

    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path(), KEY_READ));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"\\Nope", KEY_READ));
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, path(), u"Present", KEY_READ));
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, path(), u"EmptyButThere", KEY_READ));
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, path(), u"Absent", KEY_READ));
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, path() + u"\\Nope", u"Present", KEY_READ));

    const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path(), KEY_READ);
    EXPECT_TRUE(HasRegistryValue(key.get(), u"Present"));
    EXPECT_FALSE(HasRegistryValue(key.get(), u"Absent"));
    const RegistryValueInfo info = RegQueryValueChecked(key.get(), u"Present", nullptr, 0);
    EXPECT_EQ(info.type, REG_SZ);
    EXPECT_EQ(info.size, 4u);
    BYTE tooSmall[2] = {};
    EXPECT_TRUE(ThrowsCode(ERROR_MORE_DATA, [&] { RegQueryValueChecked(key.get(), u"Present", tooSmall, 2); }));
}

TEST_F(RegistryTest, EnumeratesChildrenInSortedOrderAndStopsAtTheEnd)
{
    const UniqueKey empty = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path(), KEY_READ);
    RegistryKeyEntry entry{u"untouched", u"", {}};
    EXPECT_FALSE(RegEnumKeyChecked(empty.get(), 0, entry));
    EXPECT_EQ(entry.name, u"untouched");

    for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"\U0001F600"})
        createKey(path() + u"\\" + name);
    const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path(), KEY_READ);
    std::vector<std::u16string> names;
    for (DWORD i = 0; RegEnumKeyChecked(key.get(), i, entry); ++i)
        names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma", u"\U0001F600"}));
}

TEST_F(RegistryTest, DeletesValuesAndLeafKeysButNotKeysWithChildren)
{
    setText(u"Doomed", std::u16string(u"x\0", 2));
    createKey(path() + u"\\Parent\\Child");
    const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path(), KEY_READ | KEY_SET_VALUE | DELETE);

    EXPECT_NO_THROW(RegDeleteValueChecked(key.get(), u"Doomed", HKEY_LOCAL_MACHINE, path()));
    EXPECT_FALSE(HasRegistryValue(key.get(), u"Doomed"));
    EXPECT_NO_THROW(RegDeleteValueChecked(key.get(), u"NeverThere", HKEY_LOCAL_MACHINE, path()));

    EXPECT_TRUE(ThrowsCode(ERROR_ACCESS_DENIED, [&] { RegDeleteKeyChecked(key.get(), u"Parent"); }));
    EXPECT_NO_THROW(RegDeleteKeyChecked(key.get(), u"Parent\\Child"));
    EXPECT_NO_THROW(RegDeleteKeyChecked(HKEY_LOCAL_MACHINE, path() + u"\\Parent"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"\\Parent", KEY_READ));
    EXPECT_TRUE(ThrowsCode(ERROR_FILE_NOT_FOUND, [&] { RegDeleteKeyChecked(key.get(), u"Parent"); }));
}

TEST_F(RegistryTest, AReadingHandleRefusesValueDeletionsButNotTheKeysOwn)
{
    setText(u"Kept", std::u16string(u"x\0", 2));
    createKey(path() + u"\\Child");
    const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, path(), KEY_READ);

    EXPECT_TRUE(ThrowsCode(ERROR_ACCESS_DENIED, [&] { RegDeleteValueChecked(key.get(), u"Kept", HKEY_LOCAL_MACHINE, path()); }));
    EXPECT_TRUE(HasRegistryValue(key.get(), u"Kept"));

    // RegDeleteKeyW opens the key anew for deletion: the handle's rights do not matter, and an
    // empty name stands for the handle's own key (measured under Wine, as documented).
    EXPECT_TRUE(ThrowsCode(ERROR_ACCESS_DENIED, [&] { RegDeleteKeyChecked(key.get(), u""); })) << "it has a child";
    EXPECT_NO_THROW(RegDeleteKeyChecked(key.get(), u"Child"));
    EXPECT_NO_THROW(RegDeleteKeyChecked(key.get(), u""));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path(), KEY_READ));
    EXPECT_TRUE(ThrowsCode(ERROR_KEY_DELETED, [&] { RegQueryValueChecked(key.get(), u"Kept", nullptr, 0); }));
}

TEST_F(RegistryTest, The64BitViewIsSeparateFromTheProgramsView)
{
    createKey(path() + u"64", true);

    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"64", KEY_READ | KEY_WOW64_64KEY));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"64", KEY_READ));
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\WOW6432Node\\QTVRemoveTests",
                                  KEY_READ | KEY_WOW64_64KEY))
        << "the program's own view lies below WOW6432Node";
}

// A symbolic-link key leads every open to what it names, a link in the middle of a path always;
// the last key named, opened with REG_OPTION_OPEN_LINK, is the link itself: it shows its REG_LINK
// "SymbolicLinkValue" and nothing of its target, and deleting it through its handle leaves the
// target whole. Deleting it by name deletes the target instead.
TEST_F(RegistryTest, ALinkOpenedAsItselfGoesAloneAndByNameLeadsToItsTarget)
{
    setValue(u"Kept", REG_SZ, Utf16Bytes(std::u16string(u"x\0", 2)), u"Target");
    // A value of that name but of another type makes no link.
    setValue(u"SymbolicLinkValue", REG_SZ, Utf16Bytes(u"\\Registry\\Machine\\SYSTEM"), u"Target");
    createKey(path() + u"\\Target\\Sub");
    createKey(path() + u"\\Leaf");
    createLink(u"Link", u"Target");
    createLink(u"LeafLink", u"Leaf");
    createLink(u"Dangling", u"Nowhere");
    createLink(u"Loop", u"Loop");

    EXPECT_EQ(ReadRegistrySz(HKEY_LOCAL_MACHINE, path() + u"\\Link", u"Kept"), u"x");
    UniqueKey key;
    EXPECT_EQ(open(u"Link\\Sub", REG_OPTION_OPEN_LINK, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(open(u"Dangling", 0, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open(u"Loop", 0, KEY_READ, key), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(open(u"Dangling", REG_OPTION_OPEN_LINK, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_TRUE(IsSymbolicLinkKey(key.get()));
    ASSERT_EQ(open(u"Target", 0, KEY_READ | DELETE, key), ERROR_SUCCESS);
    EXPECT_FALSE(IsSymbolicLinkKey(key.get()));
    EXPECT_TRUE(ThrowsCode(ERROR_ACCESS_DENIED, [&] { RegDeleteOpenKeyChecked(key.get(), HKEY_LOCAL_MACHINE, u"x"); }))
        << "it has a child";

    ASSERT_EQ(open(u"Link", REG_OPTION_OPEN_LINK, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_TRUE(IsSymbolicLinkKey(key.get()));
    EXPECT_FALSE(HasRegistryValue(key.get(), u"Kept"));
    RegistryKeyEntry entry;
    EXPECT_FALSE(RegEnumKeyChecked(key.get(), 0, entry));
    EXPECT_TRUE(ThrowsCode(ERROR_ACCESS_DENIED, [&] { RegDeleteOpenKeyChecked(key.get(), HKEY_LOCAL_MACHINE, u"x"); }))
        << "opened without DELETE";
    SECURITY_DESCRIPTOR everyone{};
    everyone.Revision = SECURITY_DESCRIPTOR_REVISION;
    everyone.Control = SE_DACL_PRESENT;
    EXPECT_EQ(Os().regSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &everyone), ERROR_ACCESS_DENIED)
        << "opened without WRITE_DAC";
    ASSERT_EQ(open(u"Link", REG_OPTION_OPEN_LINK, DELETE, key), ERROR_SUCCESS);
    EXPECT_NO_THROW(RegDeleteOpenKeyChecked(key.get(), HKEY_LOCAL_MACHINE, path() + u"\\Link"));
    EXPECT_EQ(open(u"Link", REG_OPTION_OPEN_LINK, KEY_READ, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ReadRegistrySz(HKEY_LOCAL_MACHINE, path() + u"\\Target", u"Kept"), u"x");
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"\\Target\\Sub", KEY_READ));

    EXPECT_NO_THROW(RegDeleteKeyChecked(HKEY_LOCAL_MACHINE, path() + u"\\LeafLink"));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, path() + u"\\Leaf", KEY_READ)) << "the link's target went";
    EXPECT_EQ(open(u"LeafLink", REG_OPTION_OPEN_LINK, KEY_READ, key), ERROR_SUCCESS) << "the link stays";
}

class RegistryNamesTest : public MachineTest {
};

TEST_F(RegistryNamesTest, DisplayPathAndSecurityObjectName)
{
    EXPECT_EQ(DisplayPath(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel"), u"HKLM\\SOFTWARE\\Zantrel");
    EXPECT_EQ(DisplayPath(HKEY_USERS, u"S-1-5-18\\Software"), u"HKU\\S-1-5-18\\Software");
    EXPECT_EQ(DisplayPath(HKEY_CLASSES_ROOT, u"x"), u"HKCR\\x");
    EXPECT_EQ(DisplayPath(HKEY_CURRENT_USER, u"x"), u"HKCU\\x");
    EXPECT_EQ(DisplayPath(HKEY_CURRENT_CONFIG, u"x"), u"HKCC\\x");
    EXPECT_EQ(DisplayPath(reinterpret_cast<HKEY>(0x1234), u"Child"), u"(...)\\Child");

    EXPECT_EQ(RegistrySecurityObjectName(HKEY_USERS, u"S-1-5-18\\Software\\Zantrel"),
              u"USERS\\S-1-5-18\\Software\\Zantrel");
    EXPECT_EQ(RegistrySecurityObjectName(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel"),
              u"MACHINE\\SOFTWARE\\Zantrel");
    EXPECT_EQ(RegistrySecurityObjectName(HKEY_CLASSES_ROOT, u"x"), u"CLASSES_ROOT\\x");
    EXPECT_EQ(RegistrySecurityObjectName(HKEY_CURRENT_USER, u"x"), u"CURRENT_USER\\x");
    try {
        RegistrySecurityObjectName(HKEY_CURRENT_CONFIG, u"x");
        FAIL() << "no exception";
    } catch (const ExceptionPL& e) {
        EXPECT_EQ(e.message(), "Unknown HKEY rootKey type");
    }
}

} // namespace
