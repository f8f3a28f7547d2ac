#include "products/relay_product.h"

#include <gtest/gtest.h>

#include "core/log.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "support/recipe_test.h"

namespace {

const std::u16string kServerKey = u"SOFTWARE\\Zantrel\\Enterprise Server";
const std::u16string kGuillemets = u"\u00BBVelmora Zantrel Relay\u00AB";
const std::u16string kFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay";

class RelayProductTest : public RecipeTest {
protected:

    // The relay's part of the server key and the keys that are the relay's alone.
    void relayKeys()
    {
        for (const char16_t* sub : {u"ClientRegister", u"FillDB", u"GatherService", u"GlobalOptions", u"Reports"})
            registry().createKey(HKEY_LOCAL_MACHINE, kServerKey + u"\\" + sub);
        registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"RelayVersion", u"9.5");
        for (const char16_t* key : {u"SOFTWARE\\Zantrel\\Zantrel Server", u"SOFTWARE\\Zantrel\\QTVRelay",
                                    u"SOFTWARE\\Zantrel\\KMEAdmin"})
            registry().createKey(HKEY_LOCAL_MACHINE, key);
    }

    RelayProduct relay{&log};
};

TEST_F(RelayProductTest, NameWithGuillemetsIsFoundByItsExactText)
{
    registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{RELAY}", u"DisplayName", kGuillemets);
    registry().setString(HKEY_LOCAL_MACHINE, kUninstallList + u"\\{RELAY}", u"DisplayVersion", u"9.5.10.79");

    relay.detect();

    EXPECT_TRUE(relay.isInstalled());
    EXPECT_EQ(relay.name(), kGuillemets);
    EXPECT_EQ(relay.version(), u"9.5.10.79");
    EXPECT_NE(text().find(u"Setting product name to \"" + kGuillemets + u"\"\r\n"), std::u16string::npos);
}

TEST_F(RelayProductTest, OnlyTheRelayVersionValueIsEnough)
{
    registry().setString(HKEY_LOCAL_MACHINE, kServerKey, u"RelayVersion", u"9.5");

    relay.detect();

    EXPECT_TRUE(relay.isInstalled());
    const std::u16string written = text();
    const std::u16string last =
        u"Checking for registry key value \"HKLM\\SOFTWARE\\Zantrel\\Enterprise Server:[RelayVersion]\"...found\r\n"
        u"Checking for \"QTVRelay\" service...not found\r\n";
    ASSERT_GE(written.size(), last.size());
    EXPECT_EQ(written.substr(written.size() - last.size()), last);
}

TEST_F(RelayProductTest, WithoutWebReportsTheWholeServerKeyGoes)
{
    relayKeys();
    machine.files().addFile(kFolder + u"\\QTVRelay.exe");
    machine.services().addService(u"QTVRelay", SERVICE_RUNNING);
    relay.detect();
    text();

    EXPECT_TRUE(relay.remove());

    EXPECT_FALSE(keyExists(kServerKey));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Zantrel\\QTVRelay"));
    EXPECT_FALSE(machine.files().exists(kFolder));
    EXPECT_FALSE(machine.services().exists(u"QTVRelay"));
    EXPECT_EQ(text(),
              u"\r\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\nx Removing Velmora Zantrel Relay\r\n"
              u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\r\n"
              u"Looking for an uninstall string for \"Velmora Zantrel Relay\"...not found\r\n"
              u"Stopping service \"QTVRelay\"...stopped\r\n"
              u"Deleting service \"QTVRelay\"...deleted\r\n"
              u"Deleting directory \"" + kFolder + u"\"...done\r\n"
              u"Checking for registry key value \"HKLM\\SOFTWARE\\Zantrel\\Enterprise Server:[QTVWebReportsInstalled]\"...not found\r\n"
              u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\Enterprise Server\"...done\r\n"
              u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\Zantrel Server\"...done\r\n"
              u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\QTVRelay\"...done\r\n"
              u"Deleting registry key \"HKLM\\SOFTWARE\\Zantrel\\KMEAdmin\"...done\r\n"
              u"Found product \"Velmora Zantrel Relay\".  Attempting to remove all traces of it from registry...\r\n");
}

TEST_F(RelayProductTest, WithWebReportsOnlyTheRelaysPartOfTheServerKeyGoes)
{
    relayKeys();
    registry().setDword(HKEY_LOCAL_MACHINE, kServerKey, u"QTVWebReportsInstalled", 1);
    relay.detect();

    EXPECT_TRUE(relay.remove());

    EXPECT_TRUE(keyExists(kServerKey + u"\\Reports"));
    for (const char16_t* sub : {u"ClientRegister", u"FillDB", u"GatherService", u"GlobalOptions"})
        EXPECT_FALSE(keyExists(kServerKey + u"\\" + sub));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Zantrel\\KMEAdmin"));
}

TEST_F(RelayProductTest, UndeletableFillDbKeepsTheRestButNotTheRelayKeys)
{
    relayKeys();
    registry().setDword(HKEY_LOCAL_MACHINE, kServerKey, u"QTVWebReportsInstalled", 1);
    registry().denyCurrentUser(HKEY_LOCAL_MACHINE, kServerKey + u"\\FillDB", true, DELETE);
    machine.failCall(SimCall::AdjustTokenPrivileges, ERROR_ACCESS_DENIED);
    relay.detect();

    EXPECT_FALSE(relay.remove());

    EXPECT_FALSE(keyExists(kServerKey + u"\\ClientRegister"));
    EXPECT_TRUE(keyExists(kServerKey + u"\\FillDB"));
    EXPECT_TRUE(keyExists(kServerKey + u"\\GatherService"));
    EXPECT_TRUE(keyExists(kServerKey + u"\\GlobalOptions"));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Zantrel\\Zantrel Server"));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Zantrel\\QTVRelay"));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Zantrel\\KMEAdmin"));
}

} // namespace
