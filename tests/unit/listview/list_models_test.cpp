// The default list models: selection kept as items, sorting and column settings, default cells.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "listview/list_ctrl_column_settings_model.h"
#include "listview/list_ctrl_model.h"
#include "listview/list_ctrl_selection_model.h"
#include "support/machine_test.h"

namespace {

// A one-column list of names, each name its own item.
class NamesModel : public DefaultListCtrlModel, public ListCtrlMap<std::string> {
public:
    void setNames(std::vector<std::string> names)
    {
        names_ = std::move(names);
        changed();
    }
    int rowCount() const override { return static_cast<int>(names_.size()); }
    int columnCount() const override { return 1; }
    std::string cellText(int row, int) const override { return names_.at(static_cast<std::size_t>(row)); }
    std::string itemAt(int row) const override { return names_.at(static_cast<std::size_t>(row)); }

private:
    std::vector<std::string> names_;
};

class ListModelsTest : public MachineTest {
protected:
    std::set<std::string> selectedNames() const
    {
        std::set<std::string> names;
        for (int row = 0; row < model.rowCount(); ++row)
            if (selection.isSelected(row))
                names.insert(model.itemAt(row));
        return names;
    }

    NamesModel model;
    DefaultListCtrlSelectionModel<std::string> selection{&model, &model};
};

TEST_F(ListModelsTest, SelectionAndFocusFollowTheirItemsThroughResortingAndRefilling)
{
    model.setNames({"Agent", "Relay", "Server", "Console"});
    std::vector<std::set<int>> changes;
    std::vector<std::optional<int>> focusMoves;
    selection.selectionChanged.connect([&](const std::set<int>& rows) { changes.push_back(rows); });
    selection.focusChanged.connect([&](std::optional<int> row) { focusMoves.push_back(row); });

    selection.setSelected({1, 2}, true);
    selection.setRowSelected(2, true); // already selected: nothing happens
    selection.setFocus(2);
    selection.setFocus(2);
    EXPECT_EQ(changes, (std::vector<std::set<int>>{{1, 2}}));
    EXPECT_EQ(focusMoves, (std::vector<std::optional<int>>{2}));

    model.setNames({"Server", "Console", "Relay", "Agent"});
    EXPECT_EQ(selectedNames(), (std::set<std::string>{"Relay", "Server"}));
    EXPECT_EQ(selection.focusedRow(), 0) << "the focus is on the server's new row";
    EXPECT_TRUE(selection.isFocused(0));

    model.setNames({"Console", "Relay", "Agent"});
    EXPECT_EQ(selectedNames(), (std::set<std::string>{"Relay"}));
    EXPECT_EQ(selection.selectedCount(), 1u) << "the server left the list and the selection";
    EXPECT_EQ(selection.focusedRow(), std::nullopt);

    selection.selectAll(true);
    EXPECT_EQ(selection.selectedCount(), 3u);
    EXPECT_EQ(changes.back(), (std::set<int>{0, 1, 2}));
    selection.selectAll(false);
    EXPECT_EQ(selection.selectedCount(), 0u);
    const std::size_t fired = changes.size();
    selection.selectAll(false);
    EXPECT_EQ(changes.size(), fired) << "clearing an empty selection fires nothing";
}

TEST_F(ListModelsTest, SortingTakesThePreviousPrimaryAsSecondaryAndHidingPromotesIt)
{
    DefaultListCtrlColumnSettingsModel columns;
    int fired = 0;
    columns.changed.connect([&] { ++fired; });
    EXPECT_EQ(columns.sortColumn(), std::nullopt);

    columns.sortBy(1);
    EXPECT_EQ(columns.sortColumn(), 1);
    EXPECT_FALSE(columns.sortAscending()) << "the first column keeps the default direction";
    columns.sortBy(1);
    EXPECT_TRUE(columns.sortAscending());
    columns.sortBy(0);
    EXPECT_EQ(columns.sortColumn(), 0);
    EXPECT_TRUE(columns.sortAscending());
    EXPECT_EQ(columns.secondarySortColumn(), 1);
    EXPECT_TRUE(columns.secondarySortAscending());
    EXPECT_EQ(fired, 3);

    columns.setVisible(0, false);
    EXPECT_EQ(columns.sortColumn(), 1) << "hiding the primary makes the secondary the primary";
    EXPECT_EQ(columns.secondarySortColumn(), std::nullopt);
    columns.setVisible(0, false);
    columns.setWidth(1, 100);
    EXPECT_EQ(fired, 4) << "setting what is already set fires nothing";

    EXPECT_FALSE(columns.isBefore(0, 1) || columns.isBefore(1, 0)) << "columns in the same place";
    columns.setOrder({1, 0});
    EXPECT_TRUE(columns.isBefore(1, 0));
    EXPECT_FALSE(columns.isBefore(0, 1));
    columns.setOrder({1, 0});
    EXPECT_EQ(fired, 5) << "the order it has already fires nothing";
    // Not a permutation: column 2 listed twice takes its last place, column 1 keeps its own.
    columns.setOrder({2, 2, 0});
    EXPECT_TRUE(columns.isBefore(1, 2));
    EXPECT_TRUE(columns.isBefore(2, 0));
    EXPECT_EQ(columns.width(0), 100);
    EXPECT_TRUE(columns.isVisible(2));
}

TEST_F(ListModelsTest, AColumnReadsItsDefaultsUntilASettingIsSet)
{
    class Scaled : public DefaultListCtrlColumnSettingsModel {
    public:
        int scale = 1;

    protected:
        int defaultWidth(int) const override { return 300 * scale; }
    } columns;
    EXPECT_EQ(columns.width(0), 300);
    columns.scale = 2;
    EXPECT_EQ(columns.width(0), 600) << "reading a setting keeps nothing";
    columns.setWidth(0, 250);
    columns.scale = 3;
    EXPECT_EQ(columns.width(0), 250);
    EXPECT_EQ(columns.width(1), 900);
}

TEST_F(ListModelsTest, DefaultCellsAreEmptyInWindowColoursWithoutTooltips)
{
    class Bare : public DefaultListCtrlModel {
        int rowCount() const override { return 1; }
        int columnCount() const override { return 1; }
    } bare;
    EXPECT_EQ(bare.cellText(0, 0), "");
    EXPECT_EQ(bare.headerText(0), "");
    EXPECT_EQ(bare.emptyText(), "");
    EXPECT_EQ(bare.fontWeight(0, 0), 400);
    EXPECT_EQ(bare.textColor(0, 0), 0x000000u);
    EXPECT_EQ(bare.backgroundColor(0, 0), 0xFFFFFFu);
    EXPECT_FALSE(bare.hasTooltip(0, 0));
    EXPECT_TRUE(bare.containsText(0, 0, ""));

    model.setNames({"Velmora Zantrel Relay", "velmora zantrel relay"});
    EXPECT_TRUE(model.containsText(0, 0, "ZANTREL"));
    EXPECT_FALSE(model.containsText(0, 0, "Server"));
    EXPECT_TRUE(model.lessThan(0, 1, 0)) << "equal but for case: lower case first";
    EXPECT_EQ(model.tooltipText(1, 0), "velmora zantrel relay");
}

} // namespace
