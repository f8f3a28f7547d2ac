// Silent runs over the real recipes on a simulated machine with an agent and a relay installed.

#include <gtest/gtest.h>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "products/products.h"
#include "support/machine_test.h"
#include "toolkit/root_cleanup.h"

namespace {

const std::u16string kU = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::u16string kClientFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";
const std::u16string kRelayFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay";

class SilentRunTest : public MachineTest {
protected:
    void SetUp() override
    {
        SimRegistry& registry = machine.registry();
        registry.setString(HKEY_LOCAL_MACHINE, kU + u"\\{CLIENT}", u"DisplayName", u"Velmora Zantrel Client");
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient");
        machine.files().addFile(kClientFolder + u"\\QTVClient.exe");
        machine.services().addService(u"QTVClient", SERVICE_RUNNING);
        registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Enterprise Server", u"RelayVersion", u"9.5");
        machine.files().addFile(kRelayFolder + u"\\QTVRelay.exe");
        machine.services().addService(u"QTVRelay", SERVICE_RUNNING);
    }

    void run(const std::u16string& commandLine)
    {
        Remove::Log discard;
        const Products products = MakeProducts(&discard);
        RunSilent(commandLine, products.set, SilentRunContext{&discard, u"QTVRemove", RemoveRootTraces});
    }

    bool clientThere() { return machine.files().exists(kClientFolder) || machine.services().exists(u"QTVClient"); }
    bool relayThere() { return machine.files().exists(kRelayFolder) || machine.services().exists(u"QTVRelay"); }
};

TEST_F(SilentRunTest, ClientAloneIsRefusedWhileTheRelayStays)
{
    run(u"/silent /client");

    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text,
              u"The client should not be removed without also removing the components that depend on it. To also "
              u"remove the dependent components, use the option '/client' with the options:  '/relay'. To "
              u"forcefully remove only the client, add the option '/force'.");
    EXPECT_EQ(machine.messageBoxes()[0].type, MB_ICONERROR | MB_OK);
    EXPECT_TRUE(clientThere());
    EXPECT_TRUE(relayThere());
}

TEST_F(SilentRunTest, ClientWithRelayRemovesBothAndTheRoots)
{
    run(u"/silent /client /relay");

    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_FALSE(clientThere());
    EXPECT_FALSE(relayThere());
    EXPECT_FALSE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel"));
    EXPECT_FALSE(machine.files().exists(u"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

TEST_F(SilentRunTest, ForceRemovesOnlyTheClient)
{
    run(u"/silent /client /force");

    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_FALSE(clientThere());
    EXPECT_TRUE(relayThere());
    EXPECT_TRUE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Enterprise Server"))
        << "the roots stay while the relay does";
}

} // namespace
