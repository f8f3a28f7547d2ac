#include "window/remove_list_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/log.h"
#include "support/fake_product.h"
#include "support/machine_test.h"

namespace {

class RemoveListModelTest : public MachineTest {
protected:
    Remove::Log discard;
    std::vector<std::string> journal;
    FakeProduct agent{&discard, ProductId::Client, &journal};
    FakeProduct relay{&discard, ProductId::Relay, &journal};
    FakeProduct server{&discard, ProductId::Server, &journal};
    FakeProduct dlp{&discard, ProductId::DLP, &journal};
    RemoveListModel model;
};

TEST_F(RemoveListModelTest, RowsShowNameAndVersionOnTheColourOfTheirState)
{
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.emptyText(), "No installed products found.");
    agent.onMachine = true;
    agent.versionFound = u"9.5.10.79";
    relay.onMachine = true;
    server.onMachine = true;
    server.versionFound = u"";
    for (FakeProduct* product : {&agent, &relay, &server, &dlp})
        product->detect();
    int refreshed = 0;
    model.ListCtrlModel::changed.connect([&] { ++refreshed; });

    model.setProducts({&agent, &relay, &server, &dlp});

    EXPECT_EQ(refreshed, 1);
    struct Row {
        std::string name;
        std::string version;
        COLORREF background;
    };
    const Row expected[] = {
        {"Agent", "9.5.10.79", 0x66FF66},
        {"Relay", "Unknown", 0x66FFFF},
        {"Server", "", 0x66FF66},
        {"DLP", "Not Installed", 0xFFFFFF},
    };
    ASSERT_EQ(model.rowCount(), 4);
    for (int row = 0; row < 4; ++row) {
        const Row& want = expected[row];
        EXPECT_EQ(model.cellText(row, 0), want.name);
        EXPECT_EQ(model.cellText(row, 1), want.version);
        EXPECT_EQ(model.cellText(row, 2), "");
        EXPECT_EQ(model.backgroundColor(row, 0), want.background) << want.name;
        EXPECT_EQ(model.backgroundColor(row, 1), want.background) << want.name;
        EXPECT_EQ(model.textColor(row, 1), 0x000000u);
    }
    EXPECT_EQ(model.headerText(0), "Name");
    EXPECT_EQ(model.headerText(1), "Version");
    EXPECT_EQ(model.headerText(2), "");
    EXPECT_EQ(model.columnCount(), 2);
}

// Versions order by their numbers, then come the component without one and the one not installed.
TEST_F(RemoveListModelTest, TheVersionColumnOrdersByNumbers)
{
    FakeProduct webui{&discard, ProductId::WebUI, &journal};
    agent.versionFound = u"10.0";
    relay.versionFound = u"9.5.10.79";
    webui.versionFound = u"9.5.4";
    for (FakeProduct* product : {&agent, &relay, &server, &webui})
        product->onMachine = true;
    for (FakeProduct* product : {&agent, &relay, &server, &dlp, &webui})
        product->detect();
    model.setProducts({&dlp, &server, &agent, &relay, &webui});

    std::vector<int> rows = {0, 1, 2, 3, 4};
    std::stable_sort(rows.begin(), rows.end(), [this](int a, int b) { return model.lessThan(1, a, b); });
    std::vector<std::string> versions;
    for (const int row : rows)
        versions.push_back(model.cellText(row, 1));
    EXPECT_EQ(versions, (std::vector<std::string>{"9.5.4", "9.5.10.79", "10.0", "Unknown", "Not Installed"}));
    EXPECT_TRUE(model.lessThan(0, 2, 1)) << "names keep their text order: Agent before Server";
}

TEST_F(RemoveListModelTest, StartsSortedByNameWithItsColumnWidths)
{
    EXPECT_EQ(model.sortColumn(), 0);
    EXPECT_TRUE(model.sortAscending());
    EXPECT_EQ(model.secondarySortColumn(), std::nullopt);
    EXPECT_EQ(model.width(0), 300);
    EXPECT_EQ(model.width(1), 150);
}

// The selection is a set of components: it survives new rows, and a removed relay keeps its row,
// turned white.
TEST_F(RemoveListModelTest, SelectionKeepsItsComponentsWhenTheRowsAreSetAgain)
{
    agent.onMachine = relay.onMachine = true;
    agent.detect();
    relay.detect();
    model.setProducts({&agent, &relay, &server});
    model.setRowSelected(1, true);

    relay.onMachine = false;
    relay.detect();
    model.setProducts({&server, &relay, &agent});

    EXPECT_TRUE(model.isSelected(1));
    EXPECT_FALSE(model.isSelected(0));
    EXPECT_EQ(model.itemAt(1), &relay);
    EXPECT_EQ(model.cellText(1, 1), "Not Installed");
    EXPECT_EQ(model.backgroundColor(1, 0), 0xFFFFFFu);
}

} // namespace
