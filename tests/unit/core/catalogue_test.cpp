#include "core/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

using P = ProductId;

std::size_t Position(const ProductOrder& order, ProductId id)
{
    return static_cast<std::size_t>(std::find(order.begin(), order.end(), id) - order.begin());
}

TEST(CatalogueTest, EveryOrderNamesEachComponentOnce)
{
    for (const ProductOrder* order : {&kRemovalOrder, &kSilentDetectionOrder, &kWindowOrder}) {
        const std::set<ProductId> distinct(order->begin(), order->end());
        EXPECT_EQ(distinct.size(), kProductCount);
    }
}

TEST(CatalogueTest, RanksFollowTheRemovalOrder)
{
    for (std::size_t i = 0; i < kProductCount; ++i) {
        EXPECT_EQ(Catalogue(kRemovalOrder[i]).rank, static_cast<int>(i + 1));
        EXPECT_EQ(Catalogue(kRemovalOrder[i]).id, kRemovalOrder[i]);
    }
}

TEST(CatalogueTest, DependentsAndCompanionsAreRemovedBeforeTheClient)
{
    const std::size_t client = Position(kRemovalOrder, P::Client);
    for (const ProductId dependent : kClientDependents) {
        EXPECT_TRUE(Catalogue(dependent).dependsOnClient);
        EXPECT_LT(Position(kRemovalOrder, dependent), client);
    }
    for (const Companion& pair : kCompanions)
        EXPECT_LT(Position(kRemovalOrder, pair.companion), Position(kRemovalOrder, pair.chosen));
    const auto dependents = std::count_if(kRemovalOrder.begin(), kRemovalOrder.end(),
                                          [](ProductId id) { return Catalogue(id).dependsOnClient; });
    EXPECT_EQ(dependents, 5);
}

TEST(CatalogueTest, SilentDetectionIsTheRemovalOrderWithServerBeforeRelay)
{
    ProductOrder expected = kRemovalOrder;
    std::iter_swap(expected.begin() + Position(expected, P::Relay),
                   expected.begin() + Position(expected, P::Server));
    EXPECT_EQ(kSilentDetectionOrder, expected);
    EXPECT_LT(Position(kSilentDetectionOrder, P::Server), Position(kSilentDetectionOrder, P::Relay));
}

TEST(CatalogueTest, DefaultNameAndHelpLabelDifferForThreeComponents)
{
    std::set<ProductId> differing;
    for (const ProductId id : kRemovalOrder)
        if (Catalogue(id).defaultName != Catalogue(id).helpLabel)
            differing.insert(id);
    EXPECT_EQ(differing, (std::set<ProductId>{P::A2A, P::InstallationGenerator, P::MSDE}));
}

TEST(CatalogueTest, SwitchesAreDistinctAndNoneContainsAnother)
{
    // Switches match as substrings, so one switch inside another would select both.
    for (const ProductId a : kRemovalOrder) {
        for (const ProductId b : kRemovalOrder) {
            if (a != b) {
                EXPECT_EQ(Catalogue(a).silentSwitch.find(Catalogue(b).silentSwitch),
                          std::u16string_view::npos);
            }
        }
    }
}

// The component list as the suite documents it, written out: a wrong entry in the tables fails.
TEST(CatalogueTest, EntriesAndOrdersAreTheDocumentedOnes)
{
    struct Row {
        ProductId id;
        const char* className;
        std::u16string_view defaultName;
        bool nameFound;
        std::u16string_view silentSwitch;
        std::u16string_view helpLabel;
        bool dependsOnClient;
    };
    const Row rows[] = {
        {P::WebUI, "WebUIProduct", u"WebUI Service", true, u"/webui", u"WebUI Service", true},
        {P::A2A, "A2AProduct", u"A2A", false, u"/a2a", u"Agent-to-agent API", true},
        {P::PlatformAPI, "PlatformAPIProduct", u"Platform API", true, u"/api", u"Platform API", false},
        {P::Console, "ConsoleProduct", u"Console", true, u"/console", u"Console", false},
        {P::SoftwareAssetManagement, "DEVIRAProduct", u"Software Asset Management", false, u"/sam",
         u"Software Asset Management", false},
        {P::ClientDeployTool, "CDTProduct", u"Client Deploy Tool", true, u"/cdt", u"Client Deploy Tool", true},
        {P::Relay, "RelayProduct", u"Relay", true, u"/relay", u"Relay", true},
        {P::Server, "ServerProduct", u"Server", true, u"/server", u"Server", true},
        {P::DLP, "DLPProduct", u"DLP", false, u"/dlp", u"DLP", false},
        {P::ClientLoggingService, "LoggingServiceProduct", u"Client Logging Service", false, u"/loggingservice",
         u"Client Logging Service", false},
        {P::Client, "ClientProduct", u"Agent", true, u"/client", u"Agent", false},
        {P::SupportingDatabases, "DatabaseProduct", u"Supporting Databases", false, u"/database",
         u"Supporting Databases", false},
        {P::InstallationGenerator, "InstallersProduct", u"Deployment Installer", true, u"/generator",
         u"Installation Generator", false},
        {P::MSDE, "MSDEProduct", u"Microsoft SQL Server Desktop Engine", false, u"/msde",
         u"Microsoft SQL Desktop Engine", false},
    };
    ProductOrder removal{};
    for (std::size_t i = 0; i < kProductCount; ++i) {
        const Row& row = rows[i];
        const CatalogueEntry& entry = Catalogue(row.id);
        EXPECT_EQ(entry.rank, static_cast<int>(i + 1)) << row.className;
        EXPECT_EQ(entry.className, row.className);
        EXPECT_EQ(entry.defaultName, row.defaultName) << row.className;
        EXPECT_EQ(entry.nameFoundAtDetection, row.nameFound) << row.className;
        EXPECT_EQ(entry.silentSwitch, row.silentSwitch) << row.className;
        EXPECT_EQ(entry.helpLabel, row.helpLabel) << row.className;
        EXPECT_EQ(entry.dependsOnClient, row.dependsOnClient) << row.className;
        removal[i] = row.id;
    }
    EXPECT_EQ(kRemovalOrder, removal);
    EXPECT_EQ(kSilentDetectionOrder,
              (ProductOrder{P::WebUI, P::A2A, P::PlatformAPI, P::Console, P::SoftwareAssetManagement,
                            P::ClientDeployTool, P::Server, P::Relay, P::DLP, P::ClientLoggingService, P::Client,
                            P::SupportingDatabases, P::InstallationGenerator, P::MSDE}));
    EXPECT_EQ(kWindowOrder,
              (ProductOrder{P::MSDE, P::Client, P::ClientLoggingService, P::DLP, P::Console, P::ClientDeployTool,
                            P::SupportingDatabases, P::InstallationGenerator, P::PlatformAPI, P::Relay, P::Server,
                            P::WebUI, P::SoftwareAssetManagement, P::A2A}));
    EXPECT_EQ(kClientDependents,
              (std::array<ProductId, 5>{P::A2A, P::ClientDeployTool, P::Relay, P::Server, P::WebUI}));
    ASSERT_EQ(kCompanions.size(), 2u);
    EXPECT_EQ(kCompanions[0].chosen, P::Client);
    EXPECT_EQ(kCompanions[0].companion, P::ClientLoggingService);
    EXPECT_EQ(kCompanions[1].chosen, P::ClientLoggingService);
    EXPECT_EQ(kCompanions[1].companion, P::DLP);
}

} // namespace
