#include "toolkit/installer_traces.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/sim/sim_registry.h"
#include "support/recipe_test.h"
#include "toolkit/run_registry_reads.h"
#include "toolkit/uninstall_lookups.h"

namespace {

const std::u16string kProducts = u"SOFTWARE\\Classes\\Installer\\Products";
const std::u16string kFeatures = u"SOFTWARE\\Classes\\Installer\\Features";
const std::u16string kUpgradeCodes = u"SOFTWARE\\Classes\\Installer\\UpgradeCodes";
const std::u16string kUserData = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products";

class InstallerTracesTest : public RecipeTest {
protected:

    // A product registered everywhere under the product code "P1".
    void registerAgent()
    {
        registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{AGENT}", u"DisplayName", u"Zantrel Agent");
        registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P1", u"ProductName", u"Zantrel Agent");
        registry().createKey(HKEY_LOCAL_MACHINE, kFeatures + u"\\P1");
        registry().setString(HKEY_LOCAL_MACHINE, kUpgradeCodes + u"\\G1", u"P1", u"");
        registry().setString(HKEY_LOCAL_MACHINE, kUpgradeCodes + u"\\G1", u"P9", u"");
        registry().setString(HKEY_LOCAL_MACHINE, kUpgradeCodes + u"\\G2", u"P2", u"");
        registry().setString(HKEY_LOCAL_MACHINE, kUserData + u"\\P1\\InstallProperties", u"DisplayName", u"Zantrel Agent");
    }
};

TEST_F(InstallerTracesTest, EveryTraceOfTheProductGoes)
{
    registerAgent();

    EXPECT_TRUE(RemoveAllInstallerTraces(u"Zantrel Agent", {u"Zantrel Agent"}, &log));

    EXPECT_FALSE(keyExists(kUninstallList + u"\\{AGENT}"));
    EXPECT_FALSE(keyExists(kProducts + u"\\P1"));
    EXPECT_FALSE(keyExists(kFeatures + u"\\P1"));
    EXPECT_FALSE(keyExists(kUpgradeCodes + u"\\G1")) << "deleted whole, with the other product's value";
    EXPECT_TRUE(keyExists(kUpgradeCodes + u"\\G2"));
    EXPECT_FALSE(keyExists(kUserData + u"\\P1"));
    // What is found through a key goes before it: the Uninstall entry last.
    EXPECT_EQ(text(), u"Found product \"Zantrel Agent\".  Attempting to remove all traces of it from registry...\r\n"
                      u"Checking for registry key \"HKLM\\" + kFeatures + u"\\P1\"...found\r\n"
                      u"Deleting registry key \"HKLM\\" + kFeatures + u"\\P1\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kUpgradeCodes + u"\\G1\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kUserData + u"\\P1\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kProducts + u"\\P1\"...done\r\n"
                      u"Deleting registry key \"HKLM\\" + kUninstallList + u"\\{AGENT}\"...done\r\n");
}

// A run cut short after the product key went: its features and upgrade code are still found
// through the UserData key that names the product.
TEST_F(InstallerTracesTest, FeaturesOutliveTheirProductKeyAndAreStillFound)
{
    registry().createKey(HKEY_LOCAL_MACHINE, kFeatures + u"\\P1");
    registry().setString(HKEY_LOCAL_MACHINE, kUpgradeCodes + u"\\G1", u"P1", u"");
    registry().setString(HKEY_LOCAL_MACHINE, kUserData + u"\\P1\\InstallProperties", u"DisplayName", u"Zantrel Agent");

    EXPECT_TRUE(RemoveInstallerTraces(u"Zantrel Agent", &log));

    EXPECT_FALSE(keyExists(kFeatures + u"\\P1"));
    EXPECT_FALSE(keyExists(kUpgradeCodes + u"\\G1"));
}

// A value read as missing once, whichever it was (gone for a moment): the lookups keep what they
// read, and only a look that reads the registry afresh finds what the first one missed. Every
// trace goes, or the removal says it failed.
TEST_F(InstallerTracesTest, AValueMissedOnceIsFoundByALookAfresh)
{
    FailEachCallInTurn(machine, SimCall::RegQueryValueEx, ERROR_FILE_NOT_FOUND, [this](unsigned nth) {
        registerAgent();
        const RunRegistryReadsScope index;
        const bool removed = RemoveAllInstallerTraces(u"Zantrel Agent", {u"Zantrel Agent"}, &log);
        EXPECT_TRUE(removed || nth != 0);
        for (const std::u16string& key : {kUninstallList + u"\\{AGENT}", kProducts + u"\\P1", kFeatures + u"\\P1",
                                          kUpgradeCodes + u"\\G1", kUserData + u"\\P1"}) {
            EXPECT_FALSE(removed && keyExists(key)) << "read " << nth << " missed: " << ToUtf8(key);
            registry().removeTree(HKEY_LOCAL_MACHINE, key);
        }
    });
}

TEST_F(InstallerTracesTest, NameRegisteredNowhereTakesOnePass)
{
    EXPECT_TRUE(RemoveAllInstallerTraces(u"Zantrel Agent", {u"Zantrel Agent"}, &log));
    EXPECT_EQ(text(), u"Found product \"Zantrel Agent\".  Attempting to remove all traces of it from registry...\r\n");
    EXPECT_TRUE(RemoveAllInstallerTraces(std::nullopt, {u"Zantrel Agent"}, &log));
    EXPECT_FALSE(TakeLogText(queue));
}

TEST_F(InstallerTracesTest, ProductMatchingByBothNamesIsDeletedOnce)
{
    registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P1", u"ProductName", u"Zantrel Agent");
    registry().setString(HKEY_LOCAL_MACHINE, kProducts + u"\\P1", u"RemovedProductName", u"Zantrel Agent");

    EXPECT_TRUE(RemoveInstallerTraces(u"Zantrel Agent", &log));

    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\" + kFeatures + u"\\P1\"...not found\r\n"
                      u"Deleting registry key \"HKLM\\" + kProducts + u"\\P1\"...done\r\n");
}

// An Uninstall entry nobody can delete: ownership cannot be taken, the owner change is refused
// every time.
void StickAnEntry(SimMachine& machine, SimRegistry& registry)
{
    registry.setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{STUCK}", u"DisplayName", u"Zantrel Agent");
    registry.denyCurrentUser(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{STUCK}", true, DELETE);
    for (unsigned pass = 1; pass <= 100; ++pass)
        machine.failCall(SimCall::AdjustTokenPrivileges, ERROR_ACCESS_DENIED, pass);
}

TEST_F(InstallerTracesTest, NameThatKeepsComingBackGivesUpAfterAHundredPasses)
{
    StickAnEntry(machine, registry());

    EXPECT_FALSE(RemoveAllInstallerTraces(u"Zantrel Agent", {u"Zantrel Agent"}, &log));

    const std::u16string written = text();
    std::size_t found = 0;
    for (std::size_t at = written.find(u"Found product"); at != std::u16string::npos; at = written.find(u"Found product", at + 1))
        ++found;
    EXPECT_EQ(found, 100u);
    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text,
              u"The QTVRemove utility iterated through the registry too many times. Check the log to see which "
              u"product it got stuck on while attempting to remove it from the registy.");
    EXPECT_EQ(machine.messageBoxes()[0].caption, u"Errors Encountered");
    EXPECT_EQ(machine.messageBoxes()[0].type, MB_TOPMOST | MB_ICONERROR);
}

// A service or a deployment engine's session: a box there would wait for ever.
TEST_F(InstallerTracesTest, WithoutAVisibleDesktopTheLogSaysWhatTheBoxWould)
{
    StickAnEntry(machine, registry());
    machine.setWindowStationVisible(false);

    EXPECT_FALSE(RemoveAllInstallerTraces(u"Zantrel Agent", {u"Zantrel Agent"}, &log));

    const std::u16string written = text();
    const std::u16string said = u"The QTVRemove utility iterated through the registry too many times. Check the log to "
                                u"see which product it got stuck on while attempting to remove it from the registy.\r\n";
    ASSERT_GE(written.size(), said.size());
    EXPECT_EQ(written.substr(written.size() - said.size()), said);
    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_TRUE(machine.unseenMessageBoxes().empty());
}

// Simulated only: Wine does not enforce access lists.
TEST_F(InstallerTracesTest, UserDataNeedingOwnershipIsTakenOverInThe64BitViewThenDeleted)
{
    registry().setString(HKEY_LOCAL_MACHINE, kUserData + u"\\P1\\InstallProperties", u"DisplayName", u"Zantrel Agent");
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, kUserData + u"\\P1", true, DELETE, SimRegistry::View::Native64);

    EXPECT_TRUE(RemoveInstallerTraces(u"Zantrel Agent", &log));

    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\" + kFeatures + u"\\P1\"...not found\r\n"
                      u"Deleting registry key \"HKLM\\" + kUserData + u"\\P1\"...done\r\n");
    EXPECT_FALSE(registry().keyExists(HKEY_LOCAL_MACHINE, kUserData + u"\\P1", SimRegistry::View::Native64));
}

TEST_F(InstallerTracesTest, FailedUserDataDeletionIsNamed)
{
    registry().setString(HKEY_LOCAL_MACHINE, kUserData + u"\\P1\\InstallProperties", u"DisplayName", u"Zantrel Agent");
    // UserData, of the 64-bit view, goes as every key does: through its own handle.
    machine.failCall(SimCall::NtDeleteKey, static_cast<DWORD>(kStatusAccessDenied));

    EXPECT_FALSE(RemoveInstallerTraces(u"Zantrel Agent", &log));

    EXPECT_EQ(text(), u"Checking for registry key \"HKLM\\" + kFeatures + u"\\P1\"...not found\r\n"
                      u"Deleting registry key \"HKLM\\" + kUserData + u"\\P1\"...Windows Error 0x5: Access denied.\r\n"
                      u"...error occurred while trying to delete key \"HKLM\\" + kUserData + u"\\P1\\InstallProperties\"\r\n"
                      u"Failed to delete " + kUserData + u"\\P1\r\n");
}

} // namespace
