#pragma once

#include <map>
#include <optional>
#include <vector>

#include <boost/signals2/signal.hpp>

// How a modeled list's columns are shown: visibility, widths, order and sorting. Window thread
// only.
class ListCtrlColumnSettingsModel {
public:
    virtual ~ListCtrlColumnSettingsModel() = default;

    // Any setting changed.
    boost::signals2::signal<void()> changed;

    virtual bool isVisible(int column) const = 0;
    virtual void setVisible(int column, bool visible) = 0;
    virtual int width(int column) const = 0;
    virtual void setWidth(int column, int pixels) = 0;
    // Column A is shown left of column B.
    virtual bool isBefore(int columnA, int columnB) const = 0;
    // The columns in display order.
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

// Settings kept in memory, each made from the default suppliers on first use; derived models
// change the defaults by overriding those.
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

    ColumnSetting& column(int index) const;
    SortSetting& sort() const;

    mutable std::map<int, ColumnSetting> columns_;
    mutable std::optional<SortSetting> sort_;
};
