#include "core/silent_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/fake_product.h"
#include "support/machine_test.h"

namespace {

using P = ProductId;

const std::u16string kRefusalOpening =
    u"The client should not be removed without also removing the components that depend on "
    u"it. To also remove the dependent components, use the option '/client' with the options: ";
const std::u16string kRefusalClosing =
    u". To forcefully remove only the client, add the option '/force'.";

// The components by the names they start with, in the order the silent run removes them and, with
// Server before Relay, detects them first, as the component list gives them.
const std::vector<std::string> kRemovalNames = {
    "WebUI Service", "A2A", "Platform API", "Console", "Software Asset Management", "Client Deploy Tool",
    "Relay", "Server", "DLP", "Client Logging Service", "Agent", "Supporting Databases",
    "Deployment Installer", "Microsoft SQL Server Desktop Engine",
};
const std::vector<std::string> kFirstDetectionNames = {
    "WebUI Service", "A2A", "Platform API", "Console", "Software Asset Management", "Client Deploy Tool",
    "Server", "Relay", "DLP", "Client Logging Service", "Agent", "Supporting Databases",
    "Deployment Installer", "Microsoft SQL Server Desktop Engine",
};

class SilentDriverTest : public MachineTest {
protected:
    void install(std::initializer_list<ProductId> ids)
    {
        for (const ProductId id : ids)
            suite[id].onMachine = true;
    }

    void installAll()
    {
        for (const ProductId id : kRemovalOrder)
            suite[id].onMachine = true;
    }

    SilentRunResult run(const std::u16string& commandLine, std::function<bool()> takeRestartRequest = {})
    {
        return RunSilent(commandLine, suite.set,
                         SilentRunContext{&discard, u"QTVRemove",
                                          [this](Remove::Log* sink) {
                                              EXPECT_EQ(sink, &discard);
                                              ++rootCleanups;
                                              return true;
                                          },
                                          std::move(takeRestartRequest)});
    }

    // The journal's removals, in order.
    std::vector<std::string> removals() const
    {
        std::vector<std::string> out;
        for (const std::string& call : suite.journal)
            if (call.rfind("remove ", 0) == 0)
                out.push_back(call.substr(7));
        return out;
    }

    std::size_t detections(const std::string& name) const
    {
        return static_cast<std::size_t>(
            std::count(suite.journal.begin(), suite.journal.end(), "detect " + name));
    }

    Remove::Log discard;
    FakeSuite suite{&discard};
    int rootCleanups = 0;
};

TEST_F(SilentDriverTest, SilentAloneDetectsTwiceRemovesNothingCleansRootsAndShowsHelp)
{
    run(u"/silent");

    EXPECT_TRUE(removals().empty());
    for (const std::string& name : kRemovalNames)
        EXPECT_EQ(detections(name), 2u) << name;
    EXPECT_EQ(rootCleanups, 1);
    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text,
              u"To silently remove all components, use /silent /all.\n"
              u"To silently remove a set of components, use /silent and a combination of the "
              u"following options:\n"
              u"    /a2a - Agent-to-agent API\n"
              u"    /api - Platform API\n"
              u"    /cdt - Client Deploy Tool\n"
              u"    /client - Agent\n"
              u"    /console - Console\n"
              u"    /database - Supporting Databases\n"
              u"    /dlp - DLP\n"
              u"    /generator - Installation Generator\n"
              u"    /loggingservice - Client Logging Service\n"
              u"    /msde - Microsoft SQL Desktop Engine\n"
              u"    /relay - Relay\n"
              u"    /sam - Software Asset Management\n"
              u"    /server - Server\n"
              u"    /webui - WebUI Service");
    EXPECT_EQ(machine.messageBoxes()[0].caption, u"QTVRemove");
    EXPECT_EQ(machine.messageBoxes()[0].type, MB_OK);
}

TEST_F(SilentDriverTest, FirstDetectionFollowsTheSilentDetectionOrder)
{
    run(u"/silent");

    std::vector<std::string> expected;
    for (const std::string& name : kFirstDetectionNames)
        expected.push_back("detect " + name);
    ASSERT_GE(suite.journal.size(), expected.size());
    const std::vector<std::string> first(suite.journal.begin(),
                                         suite.journal.begin() + static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(first, expected);
}

TEST_F(SilentDriverTest, RefusalNamesEveryInstalledDependentSelectedOrNot)
{
    install({P::Client, P::Relay, P::Server, P::A2A});

    run(u"/silent /client /server");

    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text,
              kRefusalOpening + u" '/a2a' '/relay' '/server'" + kRefusalClosing);
    EXPECT_EQ(machine.messageBoxes()[0].type, MB_ICONERROR | MB_OK);
    EXPECT_TRUE(removals().empty());
    EXPECT_EQ(rootCleanups, 0);
}

TEST_F(SilentDriverTest, RefusalListsDependentsInTheMessageOrder)
{
    install({P::Client, P::WebUI, P::Server, P::Relay, P::ClientDeployTool, P::A2A});

    run(u"/silent /client");

    ASSERT_EQ(machine.messageBoxes().size(), 1u);
    EXPECT_EQ(machine.messageBoxes()[0].text,
              kRefusalOpening + u" '/a2a' '/cdt' '/relay' '/server' '/webui'" + kRefusalClosing);
}

TEST_F(SilentDriverTest, ClientWithItsOnlyDependentGoesWithCompanionsInRemovalOrder)
{
    install({P::Client, P::Relay, P::ClientLoggingService, P::DLP});

    run(u"/silent /client /relay");

    EXPECT_EQ(removals(),
              (std::vector<std::string>{"Relay", "DLP", "Client Logging Service", "Agent"}));
    EXPECT_EQ(rootCleanups, 1);
    EXPECT_TRUE(machine.messageBoxes().empty());
}

TEST_F(SilentDriverTest, ForceRemovesTheClientAndKeepsTheRootsWhileDependentsStay)
{
    install({P::Client, P::Relay, P::Server, P::ClientLoggingService, P::DLP});

    run(u"/silent /client /force");

    EXPECT_EQ(removals(), (std::vector<std::string>{"DLP", "Client Logging Service", "Agent"}));
    EXPECT_EQ(rootCleanups, 0);
    EXPECT_TRUE(machine.messageBoxes().empty());
}

TEST_F(SilentDriverTest, LoggingServiceBringsDlpButNotTheClient)
{
    install({P::Client, P::ClientLoggingService, P::DLP});

    run(u"/silent /loggingservice");

    EXPECT_EQ(removals(), (std::vector<std::string>{"DLP", "Client Logging Service"}));
    EXPECT_TRUE(suite[P::Client].isInstalled());
    EXPECT_EQ(rootCleanups, 0);
}

TEST_F(SilentDriverTest, AllRemovesEveryInstalledComponentInRemovalOrder)
{
    installAll();

    run(u"/silent /all");

    EXPECT_EQ(removals(), kRemovalNames);
    EXPECT_EQ(rootCleanups, 1);
    EXPECT_TRUE(machine.messageBoxes().empty());
}

TEST_F(SilentDriverTest, ForceAddsNothingToAll)
{
    installAll();
    run(u"/silent /all");
    const std::vector<std::string> withoutForce = suite.journal;

    FakeSuite again(&discard);
    for (const ProductId id : kRemovalOrder)
        again[id].onMachine = true;
    RunSilent(u"/silent /all /force", again.set, SilentRunContext{&discard, u"QTVRemove", nullptr, nullptr});

    EXPECT_EQ(again.journal, withoutForce);
}

TEST_F(SilentDriverTest, EachRemovalIsFollowedByASecondDetection)
{
    install({P::Console});

    run(u"/silent /console");

    const auto removal = std::find(suite.journal.begin(), suite.journal.end(), "remove Console");
    ASSERT_NE(removal, suite.journal.end());
    ASSERT_NE(removal + 1, suite.journal.end());
    EXPECT_EQ(*(removal + 1), "detect Console");
    EXPECT_FALSE(suite[P::Console].isInstalled());
}

TEST_F(SilentDriverTest, AComponentStillInstalledAfterRemovalKeepsTheRoots)
{
    install({P::Console, P::MSDE});
    suite[P::MSDE].removable = false;

    run(u"/silent /all");

    EXPECT_EQ(removals(), (std::vector<std::string>{"Console", "Microsoft SQL Server Desktop Engine"}));
    EXPECT_EQ(rootCleanups, 0);
}

TEST_F(SilentDriverTest, SelectedComponentThatIsNotInstalledIsNeitherRemovedNorReported)
{
    run(u"/silent /relay");

    EXPECT_TRUE(removals().empty());
    EXPECT_TRUE(machine.messageBoxes().empty());
    EXPECT_EQ(rootCleanups, 1);
}

TEST_F(SilentDriverTest, SwitchesAreCaseSensitiveSubstrings)
{
    EXPECT_TRUE(HasSwitch(u"/silentx /all", u"/silent"));
    EXPECT_TRUE(HasSwitch(u"x/relayed", u"/relay"));
    EXPECT_FALSE(HasSwitch(u"/SILENT /all", u"/silent"));
    EXPECT_FALSE(HasSwitch(u"-silent", u"/silent"));

    install({P::Relay});
    run(u"/silent /RELAY");
    EXPECT_TRUE(removals().empty());
    EXPECT_EQ(machine.messageBoxes().size(), 1u) << "an unrecognised switch selects nothing";
}

TEST_F(SilentDriverTest, ExceptionFromOneComponentDoesNotStopTheRun)
{
    installAll();
    suite[P::Console].throwOnRemove = true;
    suite[P::Relay].throwOnDetect = true;

    run(u"/silent /all");

    const std::vector<std::string> removed = removals();
    EXPECT_EQ(removed.size(), kProductCount - 1) << "the relay was never seen installed";
    EXPECT_NE(std::find(removed.begin(), removed.end(), "Console"), removed.end());
    EXPECT_EQ(removed.back(), "Microsoft SQL Server Desktop Engine");
    EXPECT_EQ(detections("Console"), 2u);
    EXPECT_EQ(rootCleanups, 0) << "the console is still installed";
}

} // namespace
