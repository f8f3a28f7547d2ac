#include "toolkit/registry_cleanup.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/probe_errors.h"
#include "platform/sim/sim_registry.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kRoot = u"SOFTWARE\\Zantrel";

using RegistryCleanupTest = RecipeTest;

TEST_F(RegistryCleanupTest, MissingKeyIsDeletedSilently)
{
    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));
    EXPECT_FALSE(TakeLogText(queue));
}

TEST_F(RegistryCleanupTest, TreeGoesDeepestFirstWithOneLine)
{
    registry().setString(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent\\Settings", u"Path", u"C:\\x");
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent\\Plugins\\Deep\\Deeper");
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Relay");

    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kRoot));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE"));
    EXPECT_EQ(registry().openKeys(), 0u);
}

TEST_F(RegistryCleanupTest, UndeletableGrandchildStopsItsAncestors)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent\\Locked");
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Zeta");
    // The first deletion is the deepest key's.
    machine.failCall(SimCall::NtDeleteKey, static_cast<DWORD>(kStatusAccessDenied));

    EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...Windows Error 0x5: Access denied.\r\n"
                      u"...error occurred while trying to delete key \"HKLM\\SOFTWARE\\Zantrel\\Agent\\Locked\"\r\n");
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent\\Locked"));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, kRoot + u"\\Zeta")) << "later children are left alone";
}

TEST_F(RegistryCleanupTest, EnumerationFailureIsReportedForItsKey)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent");
    machine.failCall(SimCall::RegEnumKeyEx, ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...Windows Error 0x8: Not enough memory.\r\n"
                      u"...error occurred while enumerating subkeys of \"HKLM\\SOFTWARE\\Zantrel\"\r\n");
}

TEST_F(RegistryCleanupTest, KeyRefusingDeletionIsDeletedAfterAccessIsGranted)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent");
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, kRoot + u"\\Agent", false, DELETE);

    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kRoot));
}

TEST_F(RegistryCleanupTest, KeyNeedingOwnershipIsTakenOverThenDeleted)
{
    registry().loadUserHive(u"S-1-5-21-7-7-7-1002");
    const std::u16string path = u"S-1-5-21-7-7-7-1002\\Software\\Zantrel";
    registry().createKey(HKEY_USERS, path);
    registry().denyCurrentUser(HKEY_USERS, path, true, DELETE);

    EXPECT_TRUE(DeleteRegistryKey(HKEY_USERS, path, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKU\\S-1-5-21-7-7-7-1002\\Software\\Zantrel\"...done\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_USERS, path));
}

// A key that refuses to be read is there all the same: its access is recovered and it goes. A
// detection that meets it sees nothing and says it could not look.
TEST_F(RegistryCleanupTest, KeyRefusingReadIsDeletedAfterItsAccessIsRecovered)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kRoot);
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, kRoot, false, KEY_READ);

    {
        const RunRecordScope errors;
        EXPECT_FALSE(CheckRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));
        EXPECT_TRUE(errors.firstProbeError());
    }
    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kRoot));
    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\"...not found\r\n"
                      u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\"...done\r\n");
}

TEST_F(RegistryCleanupTest, AccessCannotBeGrantedOnARootWithoutObjectName)
{
    registry().createKey(HKEY_CURRENT_CONFIG, u"Zantrel");
    registry().denyCurrentUser(HKEY_CURRENT_CONFIG, u"Zantrel", false, DELETE);

    EXPECT_FALSE(DeleteRegistryKey(HKEY_CURRENT_CONFIG, u"Zantrel", &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKCC\\Zantrel\"...Unknown HKEY rootKey type"
                      u"...error occurred while granting access to key \"HKCC\\Zantrel\"\r\n");
}

// A symbolic-link key a standard user made in their hive, among what is deleted or as the key
// named, leading to a service's key outside the suite: the link goes alone, through its own
// handle, with its own access recovered where it refuses; the service's key keeps its values,
// its subkeys and its access list.
struct LinkCase {
    const char* name;
    std::u16string deleted; // below HKCU
    std::u16string link;    // below HKCU
    std::u16string target;  // as the link names it
    bool linkRefuses;       // until it is taken over
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.name;
}

class RegistryLinkTest : public RegistryCleanupTest, public ::testing::WithParamInterface<LinkCase> {
};

const std::u16string kService = u"SYSTEM\\CurrentControlSet\\Services\\QtvTarget";
const std::u16string kServiceLink = u"\\Registry\\Machine\\" + kService;

const LinkCase kLinkCases[] = {
    {"BelowASuiteKey", u"Software\\Zantrel", u"Software\\Zantrel\\Console\\Link", kServiceLink, false},
    {"AsTheKeyNamed", u"Software\\Zantrel\\Enterprise Console", u"Software\\Zantrel\\Enterprise Console", kServiceLink, false},
    {"RefusingItsDeletion", u"Software\\Zantrel", u"Software\\Zantrel\\Link", kServiceLink, true},
    {"LeadingNowhere", u"Software\\Zantrel\\Enterprise Console", u"Software\\Zantrel\\Enterprise Console",
     u"\\Registry\\Machine\\SYSTEM\\Nowhere", false},
};

TEST_P(RegistryLinkTest, GoesAloneAndWhatItLeadsToStays)
{
    const LinkCase& c = GetParam();
    registry().setString(HKEY_LOCAL_MACHINE, kService, u"ImagePath", u"C:\\Windows\\system32\\svc.exe");
    registry().setDword(HKEY_LOCAL_MACHINE, kService + u"\\Parameters", u"Level", 3);
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, kService, false, DELETE);
    registry().createKey(HKEY_CURRENT_USER, u"Software\\Zantrel\\Console");
    registry().createLink(HKEY_CURRENT_USER, c.link, c.target);
    if (c.linkRefuses)
        registry().denyCurrentUser(HKEY_CURRENT_USER, c.link, true);

    EXPECT_TRUE(DeleteRegistryKey(HKEY_CURRENT_USER, c.deleted, &log));

    EXPECT_EQ(text(), u"Deleting registry key \"HKCU\\" + c.deleted + u"\"...done\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_CURRENT_USER, c.link));
    EXPECT_FALSE(registry().keyExists(HKEY_CURRENT_USER, c.deleted));
    EXPECT_TRUE(registry().keyExists(HKEY_CURRENT_USER, u"Software"));
    EXPECT_TRUE(registry().valueExists(HKEY_LOCAL_MACHINE, kService, u"ImagePath"));
    EXPECT_EQ(registry().valueData(HKEY_LOCAL_MACHINE, kService + u"\\Parameters", u"Level"),
              (std::vector<BYTE>{3, 0, 0, 0}));
    UniqueKey service;
    EXPECT_EQ(machine.regOpenKeyEx(HKEY_LOCAL_MACHINE, kService.c_str(), 0, DELETE, service.put()), ERROR_ACCESS_DENIED)
        << "its access list is as it was";
    EXPECT_EQ(machine.callCount(SimCall::RegSetKeySecurity), c.linkRefuses ? 2u : 0u) << "the owner, then the list";
    EXPECT_EQ(machine.callCount(SimCall::SetNamedSecurityInfo), 0u);
    EXPECT_EQ(registry().openKeys(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryLinkTest, ::testing::ValuesIn(kLinkCases),
                         [](const ::testing::TestParamInfo<LinkCase>& entry) { return entry.param.name; });

// A link above the key named leads the deletion where it points: the system's own (as
// CurrentControlSet) is followed; behind one a standard user made in their hive nothing is the
// suite's: not found, not deleted (a value's deletion refused), and the link stays.
TEST_F(RegistryCleanupTest, LinkAboveTheKeyNamedIsFollowedOnlyWhenNoStandardUserCanChangeIt)
{
    registry().createKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet001\\Services\\QtvAgent");
    registry().createLink(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet", u"\\Registry\\Machine\\SYSTEM\\ControlSet001");
    registry().setString(HKEY_LOCAL_MACHINE, u"SYSTEM\\Victim\\Enterprise Console", u"Path", u"C:\\x");
    registry().createLink(HKEY_CURRENT_USER, u"Software\\Zantrel", u"\\Registry\\Machine\\SYSTEM\\Victim");
    registry().makeOwnedByStandardUser(HKEY_CURRENT_USER, u"Software\\Zantrel");

    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\QtvAgent", &log));
    EXPECT_FALSE(CheckRegistryKey(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console", &log));
    EXPECT_TRUE(DeleteRegistryKey(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console", &log));
    EXPECT_THROW(DeleteRegistryValue(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console", u"Path"), std::exception);

    EXPECT_EQ(text(), u"Deleting registry key \"HKLM\\SYSTEM\\CurrentControlSet\\Services\\QtvAgent\"...done\r\n"
                      u"Checking for registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...not the suite's: a "
                      u"standard user can change where the symbolic link \"HKCU\\Software\\Zantrel\" leads\r\n"
                      u"Deleting registry key \"HKCU\\Software\\Zantrel\\Enterprise Console\"...not the suite's: a "
                      u"standard user can change where the symbolic link \"HKCU\\Software\\Zantrel\" leads\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet001\\Services\\QtvAgent"));
    EXPECT_TRUE(registry().keyExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\ControlSet001\\Services"));
    EXPECT_TRUE(registry().valueExists(HKEY_LOCAL_MACHINE, u"SYSTEM\\Victim\\Enterprise Console", u"Path"));
    EXPECT_TRUE(registry().keyExists(HKEY_CURRENT_USER, u"Software\\Zantrel"));
    EXPECT_EQ(registry().openKeys(), 0u);
}

TEST_F(RegistryCleanupTest, ChecksWriteFoundOrNotFound)
{
    registry().setValue(HKEY_LOCAL_MACHINE, kRoot, u"Empty", REG_BINARY, {});
    registry().setValue(HKEY_LOCAL_MACHINE, kRoot + u"\\a\nb", u"Last\tServer\\x", REG_BINARY, {});

    EXPECT_TRUE(CheckRegistryKey(HKEY_LOCAL_MACHINE, kRoot, &log));
    EXPECT_TRUE(CheckRegistryValue(HKEY_LOCAL_MACHINE, kRoot, u"Empty", &log));
    EXPECT_FALSE(CheckRegistryValue(HKEY_LOCAL_MACHINE, kRoot, u"Missing", &log));
    // A control character in a name shows escaped; a value name's backslash stays as it is.
    EXPECT_TRUE(CheckRegistryValue(HKEY_LOCAL_MACHINE, kRoot + u"\\a\nb", u"Last\tServer\\x", &log));
    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\"...found\r\n"
                      u"Checking for registry key value \"HKLM\\SOFTWARE\\Zantrel:[Empty]\"...found\r\n"
                      u"Checking for registry key value \"HKLM\\SOFTWARE\\Zantrel:[Missing]\"...not found\r\n"
                      u"Checking for registry key value \"HKLM\\SOFTWARE\\Zantrel\\a\\nb:[Last\\tServer\\x]\"...found\r\n");
}

TEST_F(RegistryCleanupTest, PrefixSearchIsCaseSensitiveAndAnchored)
{
    const std::u16string sites = u"SOFTWARE\\Zantrel\\WebUI\\Sites";
    registry().createKey(HKEY_LOCAL_MACHINE, sites + u"\\_webuiappenv_lower");
    registry().createKey(HKEY_LOCAL_MACHINE, sites + u"\\x_WebUIAppEnv_inside");

    EXPECT_FALSE(CheckChildKeysWithPrefix(HKEY_LOCAL_MACHINE, sites, u"_WebUIAppEnv_", &log));
    registry().createKey(HKEY_LOCAL_MACHINE, sites + u"\\_WebUIAppEnv_Default");
    EXPECT_TRUE(CheckChildKeysWithPrefix(HKEY_LOCAL_MACHINE, sites, u"_WebUIAppEnv_", &log));

    const std::u16string opening = u"Checking for registry keys that are child of key \"HKLM\\SOFTWARE\\Zantrel\\WebUI\\Sites\" "
                                   u"and have a name starting with \"_WebUIAppEnv_\"...";
    EXPECT_EQ(text(), opening + u"not found\r\n" + opening + u"found\r\n");
    EXPECT_EQ(FindChildKeysWithPrefix(HKEY_LOCAL_MACHINE, sites, u"_WebUIAppEnv_"),
              std::vector<std::u16string>{sites + u"\\_WebUIAppEnv_Default"});
    EXPECT_TRUE(FindChildKeysWithPrefix(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nowhere", u"").empty());
}

} // namespace
