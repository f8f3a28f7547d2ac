#include "listview/list_ctrl_column_settings_model.h"

DefaultListCtrlColumnSettingsModel::ColumnSetting& DefaultListCtrlColumnSettingsModel::column(int index) const
{
    auto found = columns_.find(index);
    if (found == columns_.end())
        found = columns_.emplace(index, ColumnSetting{defaultVisible(index), defaultWidth(index), defaultPosition(index)})
                    .first;
    return found->second;
}

DefaultListCtrlColumnSettingsModel::SortSetting& DefaultListCtrlColumnSettingsModel::sort() const
{
    if (!sort_)
        sort_ = SortSetting{defaultSortColumn(), defaultSecondarySortColumn(), defaultAscending(),
                            defaultSecondaryAscending()};
    return *sort_;
}

bool DefaultListCtrlColumnSettingsModel::isVisible(int index) const
{
    return column(index).visible;
}

// A hidden column cannot order the rows: the secondary takes the primary's place.
void DefaultListCtrlColumnSettingsModel::setVisible(int index, bool visible)
{
    ColumnSetting& setting = column(index);
    if (setting.visible == visible)
        return;
    setting.visible = visible;
    if (!visible) {
        SortSetting& order = sort();
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
    ColumnSetting& setting = column(index);
    if (setting.width == pixels)
        return;
    setting.width = pixels;
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
        ColumnSetting& setting = column(columns[position]);
        if (setting.position != static_cast<int>(position)) {
            setting.position = static_cast<int>(position);
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
    SortSetting& order = sort();
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
    SortSetting& order = sort();
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
