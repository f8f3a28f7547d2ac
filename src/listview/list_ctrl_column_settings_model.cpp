#include "listview/list_ctrl_column_settings_model.h"

DefaultListCtrlColumnSettingsModel::ColumnSetting DefaultListCtrlColumnSettingsModel::column(int index) const
{
    const auto found = columns_.find(index);
    if (found != columns_.end())
        return found->second;
    return {defaultVisible(index), defaultWidth(index), defaultPosition(index)};
}

DefaultListCtrlColumnSettingsModel::ColumnSetting& DefaultListCtrlColumnSettingsModel::columnToChange(int index)
{
    return columns_.emplace(index, column(index)).first->second;
}

DefaultListCtrlColumnSettingsModel::SortSetting DefaultListCtrlColumnSettingsModel::sort() const
{
    if (sort_)
        return *sort_;
    return {defaultSortColumn(), defaultSecondarySortColumn(), defaultAscending(), defaultSecondaryAscending()};
}

DefaultListCtrlColumnSettingsModel::SortSetting& DefaultListCtrlColumnSettingsModel::sortToChange()
{
    if (!sort_)
        sort_ = sort();
    return *sort_;
}

bool DefaultListCtrlColumnSettingsModel::isVisible(int index) const
{
    return column(index).visible;
}

// A hidden column cannot order the rows: the secondary takes the primary's place.
void DefaultListCtrlColumnSettingsModel::setVisible(int index, bool visible)
{
    if (column(index).visible == visible)
        return;
    columnToChange(index).visible = visible;
    if (!visible) {
        SortSetting& order = sortToChange();
        if (order.secondary == index) {
            order.secondary.reset();
        } else if (order.primary == index) {
            order.primary = order.secondary;
            order.secondary.reset();
        }
    }
    changed();
}

int DefaultListCtrlColumnSettingsModel::width(int index) const
{
    return column(index).width;
}

void DefaultListCtrlColumnSettingsModel::setWidth(int index, int pixels)
{
    if (column(index).width == pixels)
        return;
    columnToChange(index).width = pixels;
    changed();
}

bool DefaultListCtrlColumnSettingsModel::isBefore(int columnA, int columnB) const
{
    return column(columnA).position < column(columnB).position;
}

void DefaultListCtrlColumnSettingsModel::setOrder(const std::vector<int>& columns)
{
    bool moved = false;
    for (std::size_t position = 0; position < columns.size(); ++position) {
        if (column(columns[position]).position != static_cast<int>(position)) {
            columnToChange(columns[position]).position = static_cast<int>(position);
            moved = true;
        }
    }
    if (moved)
        changed();
}

std::optional<int> DefaultListCtrlColumnSettingsModel::sortColumn() const
{
    return sort().primary;
}

std::optional<int> DefaultListCtrlColumnSettingsModel::secondarySortColumn() const
{
    return sort().secondary;
}

bool DefaultListCtrlColumnSettingsModel::sortAscending() const
{
    return sort().ascending;
}

bool DefaultListCtrlColumnSettingsModel::secondarySortAscending() const
{
    return sort().secondaryAscending;
}

void DefaultListCtrlColumnSettingsModel::sortBy(int index)
{
    SortSetting& order = sortToChange();
    if (!order.primary) {
        order.primary = index;
    } else if (*order.primary == index) {
        order.ascending = !order.ascending;
    } else {
        order.secondary = order.primary;
        order.secondaryAscending = order.ascending;
        order.primary = index;
        order.ascending = true;
    }
    changed();
}

void DefaultListCtrlColumnSettingsModel::setSort(int index, bool ascending)
{
    SortSetting& order = sortToChange();
    order.primary = index;
    order.ascending = ascending;
    changed();
}

bool DefaultListCtrlColumnSettingsModel::defaultVisible(int) const
{
    return true;
}

int DefaultListCtrlColumnSettingsModel::defaultWidth(int) const
{
    return 100;
}

int DefaultListCtrlColumnSettingsModel::defaultPosition(int) const
{
    return -1;
}

std::optional<int> DefaultListCtrlColumnSettingsModel::defaultSortColumn() const
{
    return std::nullopt;
}

std::optional<int> DefaultListCtrlColumnSettingsModel::defaultSecondarySortColumn() const
{
    return std::nullopt;
}

bool DefaultListCtrlColumnSettingsModel::defaultAscending() const
{
    return false;
}

bool DefaultListCtrlColumnSettingsModel::defaultSecondaryAscending() const
{
    return false;
}
