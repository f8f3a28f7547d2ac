// Silent runs over the real recipes on a simulated machine with an agent and a relay installed,
// and for "/all" every other component too.

#include <gtest/gtest.h>

#include "core/log.h"
#include "core/silent_driver.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_services.h"
#include "support/recipe_test.h"
#include "products/products.h"
#include "toolkit/uninstaller.h"
#include "support/machine_test.h"
#include "toolkit/root_cleanup.h"

namespace {

const std::u16string kClientFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Client";
const std::u16string kRelayFolder = u"C:\\Program Files (x86)\\Zantrel Enterprise\\QTV Relay";

class SilentRunTest : public RecipeTest {
protected:
    void SetUp() override
    {
        SimRegistry& registry = machine.registry();
        addUninstallEntry(u"{CLIENT}", u"Velmora Zantrel Client");
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient");
        machine.files().addFile(kClientFolder + u"\\QTVClient.exe");
        machine.services().addService(u"QTVClient", SERVICE_RUNNING);
        registry.setString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\Enterprise Server", u"RelayVersion", u"9.5");
        machine.files().addFile(kRelayFolder + u"\\QTVRelay.exe");
        machine.services().addService(u"QTVRelay", SERVICE_RUNNING);
    }

    // The other eleven components, each by the least that makes it detected; the desktop
    // engine's uninstaller takes its entry away.
    void installTheRest()
    {
        SimRegistry& registry = machine.registry();
        machine.services().addService(u"QTVWebUI", SERVICE_RUNNING);
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\EnterpriseClient\\A2A");
        addUninstallEntry(u"{API}", u"Velmora Zantrel Server API");
        registry.createKey(HKEY_CURRENT_USER, u"Software\\Zantrel\\Enterprise Console");
        registry.createKey(HKEY_LOCAL_MACHINE, u"Software\\Zantrel\\Zantrel Inventory");
        addUninstallEntry(u"{CDT}", u"Velmora Zantrel Client Deploy Tool");
        machine.services().addService(u"QTVRootServer", SERVICE_RUNNING);
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\DLP");
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\LoggingService");
        registry.createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\QTV Installation Generator");
        addUninstallEntry(u"{MSDE}", u"Microsoft SQL Server Desktop Engine", {}, u"MsiExec.exe /X{MSDE}");
        machine.processes().addProgram(kMsiExec, [](SimProgramContext& context) {
            context.machine().regDeleteKey(HKEY_LOCAL_MACHINE, (kUninstallList + u"\\{MSDE}").c_str());
        });
    }

    // Runs the program's silent mode over the real recipes; answers the components' log.
    std::u16string run(const std::u16string& commandLine)
    {
        const Products products = MakeProducts(&log);
        RunSilent(commandLine, products.set, SilentRunContext{&log, u"QTVRemove", RemoveRootTraces, TakeRestartRequest});
        return text();
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

TEST_F(SilentRunTest, AllRemovesEveryComponentInTheRemovalOrderAndThenTheRoots)
{
    installTheRest();

    const std::u16string written = run(u"/silent /all");

    std::vector<std::u16string> removed;
    for (const std::u16string& line : Lines(written))
        if (line.rfind(u"x Removing ", 0) == 0)
            removed.push_back(line.substr(11));
    EXPECT_EQ(removed, (std::vector<std::u16string>{
                           u"Velmora Zantrel WebUI Service",
                           u"A2A",
                           u"Velmora Zantrel Server API",
                           u"Velmora Zantrel Console",
                           u"Software Asset Management",
                           u"Velmora Zantrel Client Deploy Tool",
                           u"Velmora Zantrel Relay",
                           u"Velmora Zantrel Server",
                           u"DLP",
                           u"Client Logging Service",
                           u"Velmora Zantrel Client",
                           u"Velmora Zantrel Installation Generator",
                           u"Microsoft SQL Server Desktop Engine",
                       }));
    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_FALSE(clientThere());
    EXPECT_FALSE(relayThere());
    EXPECT_FALSE(machine.services().exists(u"QTVWebUI"));
    EXPECT_FALSE(machine.services().exists(u"QTVRootServer"));
    EXPECT_TRUE(machine.registry().subkeys(HKEY_LOCAL_MACHINE, kUninstallList).empty());
    EXPECT_FALSE(machine.registry().keyExists(HKEY_CURRENT_USER, u"Software\\Zantrel"));
    EXPECT_FALSE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel"));
    EXPECT_FALSE(machine.files().exists(u"C:\\Program Files (x86)\\Zantrel Enterprise"));
}

TEST_F(SilentRunTest, LoggingServiceTakesDlpAlongAndLeavesTheClient)
{
    machine.registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\DLP");
    machine.registry().createKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\LoggingService");

    run(u"/silent /loggingservice");

    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_FALSE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\DLP"));
    EXPECT_FALSE(machine.registry().keyExists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Zantrel\\LoggingService"));
    EXPECT_TRUE(clientThere());
    EXPECT_TRUE(relayThere());
}

} // namespace
