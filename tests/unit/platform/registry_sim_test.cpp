// Registry behaviour Wine does not enforce (access lists), and fault injection: the simulated
// machine only.

#include "platform/registry.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/sim/sim_registry.h"
#include "support/machine_test.h"

namespace {

class RegistrySimTest : public MachineTest {
protected:
    SimRegistry& registry() { return machine.registry(); }
};

TEST_F(RegistrySimTest, DeniedKeyOpensOnlyAfterFullAccessIsGranted)
{
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Locked", false);

    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Locked", DELETE));
    EXPECT_EQ(registry().applySecurity(u"MACHINE\\SOFTWARE\\Zantrel\\Locked",
                                       DACL_SECURITY_INFORMATION, true, false),
              ERROR_SUCCESS);
    EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Locked", DELETE));
}

TEST_F(RegistrySimTest, KeyNeedingOwnershipRefusesANewAccessListUntilOwned)
{
    registry().denyCurrentUser(HKEY_USERS, u"S-1-5-18\\Software\\Zantrel", true);
    const std::u16string name = RegistrySecurityObjectName(HKEY_USERS, u"S-1-5-18\\Software\\Zantrel");
    registry().loadUserHive(u"S-1-5-18");

    EXPECT_EQ(registry().applySecurity(name, DACL_SECURITY_INFORMATION, true, false), ERROR_ACCESS_DENIED);
    EXPECT_EQ(registry().applySecurity(name, OWNER_SECURITY_INFORMATION, false, true), ERROR_SUCCESS);
    EXPECT_EQ(registry().applySecurity(name, DACL_SECURITY_INFORMATION, true, false), ERROR_SUCCESS);
    EXPECT_TRUE(RegistryKeyExists(HKEY_USERS, u"S-1-5-18\\Software\\Zantrel", KEY_READ));
}

TEST_F(RegistrySimTest, CurrentUserIsItsHiveUnderUsers)
{
    registry().setString(HKEY_CURRENT_USER, u"Software\\Zantrel", u"v", u"x");
    EXPECT_TRUE(registry().keyExists(HKEY_USERS, registry().currentUserHive() + u"\\Software\\Zantrel"));
    EXPECT_EQ(ReadRegistrySz(HKEY_USERS, registry().currentUserHive() + u"\\Software\\Zantrel", u"v"), u"x");
}

TEST_F(RegistrySimTest, FailuresSurfaceWithTheirCodesAndKeysAreClosed)
{
    registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\A");
    machine.failCall(SimCall::RegEnumKeyEx, ERROR_NOT_ENOUGH_MEMORY);
    {
        const UniqueKey key = RegOpenKeyChecked(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel", KEY_READ);
        RegistryKeyEntry entry;
        try {
            RegEnumKeyChecked(key.get(), 0, entry);
            FAIL() << "no exception";
        } catch (const Windows::Error& e) {
            EXPECT_EQ(e.code(), ERROR_NOT_ENOUGH_MEMORY);
        }
        EXPECT_TRUE(RegEnumKeyChecked(key.get(), 0, entry));
        EXPECT_EQ(entry.name, u"A");
    }
    EXPECT_EQ(registry().openKeys(), 0u);

    machine.failCall(SimCall::RegOpenKeyEx, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel", KEY_READ));
}

TEST_F(RegistrySimTest, ExpansionThatFailsThrows)
{
    machine.failCall(SimCall::ExpandEnvironmentStrings, ERROR_NOT_ENOUGH_MEMORY);
    try {
        ExpandEnvironmentText(u"%SystemRoot%");
        FAIL() << "no exception";
    } catch (const Windows::Error& e) {
        EXPECT_EQ(e.code(), ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace
