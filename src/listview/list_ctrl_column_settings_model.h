#pragma once

#include <map>
#include <optional>
#include <vector>

#include <boost/signals2/signal.hpp>

// How a modeled list's columns are shown: visibility, widths, order and sorting. Window thread
// only. A column is its model column's index; every index has settings (its defaults until one is
// set), so no index is unknown. A setter fires `changed` once when it changed a setting, and not
// at all when the setting already was so; sorting fires it every time.
class ListCtrlColumnSettingsModel {
public:
    virtual ~ListCtrlColumnSettingsModel() = default;

    // Any setting changed.
    boost::signals2::signal<void()> changed;

    virtual bool isVisible(int column) const = 0;
    // Hiding the column that orders the rows hands the order to the secondary sort column.
    virtual void setVisible(int column, bool visible) = 0;
    // In pixels at 96 DPI; the list scales them to the system's DPI.
    virtual int width(int column) const = 0;
    virtual void setWidth(int column, int pixels) = 0;
    // Column A is shown left of column B; false both ways for two columns in the same place,
    // which the list shows in index order.
    virtual bool isBefore(int columnA, int columnB) const = 0;
    // The columns in display order: each listed column takes its place in the list (a column
    // listed twice, the last); a column not listed keeps its place, so a list that is not a
    // permutation of the columns can leave two in the same place.
    virtual void setOrder(const std::vector<int>& columns) = 0;
    virtual std::optional<int> sortColumn() const = 0;
    virtual std::optional<int> secondarySortColumn() const = 0;
    virtual bool sortAscending() const = 0;
    virtual bool secondarySortAscending() const = 0;
    // The user clicked the column's header.
    virtual void sortBy(int column) = 0;
    // Right-clicking the header offers the column chooser.
    virtual bool columnMenuEnabled() const { return true; }
    virtual bool columnInMenu(int) const { return true; }
};

// Settings kept in memory: a column reads as its defaults until one of its settings is set, and
// then keeps them; derived models change the defaults by overriding the suppliers.
class DefaultListCtrlColumnSettingsModel : public ListCtrlColumnSettingsModel {
public:
    bool isVisible(int column) const override;
    void setVisible(int column, bool visible) override;
    int width(int column) const override;
    void setWidth(int column, int pixels) override;
    bool isBefore(int columnA, int columnB) const override;
    void setOrder(const std::vector<int>& columns) override;
    std::optional<int> sortColumn() const override;
    std::optional<int> secondarySortColumn() const override;
    bool sortAscending() const override;
    bool secondarySortAscending() const override;
    // No primary yet: the column becomes it. The primary again: its direction turns. Another
    // column: the old primary with its direction becomes the secondary, and the column the
    // primary, ascending.
    void sortBy(int column) override;

    // Makes the column the primary sort column with the given direction, and fires `changed`.
    void setSort(int column, bool ascending);

protected:
    virtual bool defaultVisible(int column) const;
    virtual int defaultWidth(int column) const;
    virtual int defaultPosition(int column) const;
    virtual std::optional<int> defaultSortColumn() const;
    virtual std::optional<int> defaultSecondarySortColumn() const;
    virtual bool defaultAscending() const;
    virtual bool defaultSecondaryAscending() const;

private:
    struct ColumnSetting {
        bool visible;
        int width;
        int position;
    };
    struct SortSetting {
        std::optional<int> primary;
        std::optional<int> secondary;
        bool ascending;
        bool secondaryAscending;
    };

    // What the column or the sort is now; the same, kept, for a setter to change.
    ColumnSetting column(int index) const;
    ColumnSetting& columnToChange(int index);
    SortSetting sort() const;
    SortSetting& sortToChange();

    std::map<int, ColumnSetting> columns_;
    std::optional<SortSetting> sort_;
};
