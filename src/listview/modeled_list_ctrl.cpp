#include "listview/modeled_list_ctrl.h"

#include <uxtheme.h>

#include <algorithm>
#include <utility>

#include "listview/win_text.h"
#include "platform/text.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kHeaderSubclassId = 2;

} // namespace

CModeledListCtrl::CModeledListCtrl(ListCtrlModel& model, ListCtrlSelectionModel& selection,
                                   ListCtrlColumnSettingsModel& columns)
    : userModel(model), userSelection(selection), userColumns(columns)
{
    // Connected after the selection model's own follower of `changed`, so the selection is
    // already pruned to the present rows when the control re-reads it.
    connections.emplace_back(userModel.changed.connect([this] { onModelChanged(); }));
    connections.emplace_back(userModel.columnsChanged.connect([this](const std::vector<int>& changedColumns) {
        onColumnsChanged(changedColumns);
    }));
    connections.emplace_back(userSelection.selectionChanged.connect([this](const std::set<int>& rows) {
        onSelectionChanged(rows);
    }));
    connections.emplace_back(userSelection.focusChanged.connect([this](std::optional<int> row) {
        onFocusChanged(row);
    }));
    connections.emplace_back(userColumns.changed.connect([this] { onColumnSettingsChanged(); }));
    rebuildColumnOrder();
    rebuildRowOrder();
}

CModeledListCtrl::~CModeledListCtrl()
{
    connections.clear();
    if (window)
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    if (header.hwnd())
        RemoveWindowSubclass(header.hwnd(), HeaderSubclassProc, kHeaderSubclassId);
    if (tooltip)
        DestroyWindow(tooltip);
    for (const auto& font : weightFonts)
        DeleteObject(font.second);
}

void CModeledListCtrl::attach(HWND list)
{
    window = list;
    SetWindowLongPtrW(window, GWL_STYLE,
                      GetWindowLongPtrW(window, GWL_STYLE) | LVS_REPORT | LVS_SHOWSELALWAYS | WS_CLIPCHILDREN);
    SendMessageW(window, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    SetWindowTheme(window, L"Explorer", nullptr);
    header.attach(reinterpret_cast<HWND>(SendMessageW(window, LVM_GETHEADER, 0, 0)));
    // The selected and focused states are kept by the list view too, copied from the selection
    // model: Wine's list view neither notifies nor tracks a click on a state in its callback mask.
    SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    if (header.hwnd())
        SetWindowSubclass(header.hwnd(), HeaderSubclassProc, kHeaderSubclassId, reinterpret_cast<DWORD_PTR>(this));
    setupTooltips();
    rebuildColumns();
}

std::optional<int> CModeledListCtrl::modelRow(int row) const
{
    if (row < 0 || row >= static_cast<int>(rowOrder.size()))
        return std::nullopt;
    return rowOrder[static_cast<std::size_t>(row)];
}

std::optional<int> CModeledListCtrl::modelColumn(int column) const
{
    if (column < 0 || column >= static_cast<int>(columnOrder.size()))
        return std::nullopt;
    return columnOrder[static_cast<std::size_t>(column)];
}

std::optional<int> CModeledListCtrl::displayRow(int row) const
{
    if (row < 0 || row >= static_cast<int>(rowPlace.size()))
        return std::nullopt;
    return rowPlace[static_cast<std::size_t>(row)];
}

std::optional<int> CModeledListCtrl::displayColumn(int column) const
{
    const auto found = std::find(columnOrder.begin(), columnOrder.end(), column);
    if (found == columnOrder.end())
        return std::nullopt;
    return static_cast<int>(found - columnOrder.begin());
}

std::u16string CModeledListCtrl::cellTextOf(int row, int column) const
{
    try {
        return ToUtf16(userModel.cellText(row, column));
    } catch (...) {
        return u"<Invalid String>";
    }
}

void CModeledListCtrl::sortRows(std::vector<int>& order, int column, bool ascending) const
{
    // A comparison the system refuses must not escape into the window message being handled;
    // the rows are then ordered by their texts' code units.
    const auto less = [this, column](int a, int b) {
        try {
            return userModel.lessThan(column, a, b);
        } catch (...) {
            try {
                return userModel.cellText(a, column) < userModel.cellText(b, column);
            } catch (...) {
                return a < b;
            }
        }
    };
    if (ascending)
        std::stable_sort(order.begin(), order.end(), less);
    else
        std::stable_sort(order.rbegin(), order.rend(), less);
}

void CModeledListCtrl::rebuildRowOrder()
{
    const int count = std::max(0, userModel.rowCount());
    std::vector<int> order;
    std::vector<bool> present(static_cast<std::size_t>(count), false);
    for (const int row : rowOrder) {
        if (row < count && !present[static_cast<std::size_t>(row)]) {
            order.push_back(row);
            present[static_cast<std::size_t>(row)] = true;
        }
    }
    for (int row = 0; row < count; ++row)
        if (!present[static_cast<std::size_t>(row)])
            order.push_back(row);

    if (const std::optional<int> primary = userColumns.sortColumn()) {
        if (const std::optional<int> secondary = userColumns.secondarySortColumn())
            sortRows(order, *secondary, userColumns.secondarySortAscending());
        sortRows(order, *primary, userColumns.sortAscending());
    }
    rowOrder = std::move(order);
    rowPlace.assign(rowOrder.size(), 0);
    for (std::size_t place = 0; place < rowOrder.size(); ++place)
        rowPlace[static_cast<std::size_t>(rowOrder[place])] = static_cast<int>(place);
}

void CModeledListCtrl::rebuildColumnOrder()
{
    std::vector<int> order;
    for (int column = 0; column < userModel.columnCount(); ++column)
        if (userColumns.isVisible(column))
            order.push_back(column);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return userColumns.isBefore(a, b); });
    columnOrder = std::move(order);
}

void CModeledListCtrl::onModelChanged()
{
    rebuildRowOrder();
    if (window)
        refreshRows();
}

void CModeledListCtrl::onColumnsChanged(const std::vector<int>& changedColumns)
{
    const std::optional<int> primary = userColumns.sortColumn();
    const std::optional<int> secondary = userColumns.secondarySortColumn();
    const bool sortTouched = std::any_of(changedColumns.begin(), changedColumns.end(), [&](int column) {
        return (primary && *primary == column) || (secondary && *secondary == column);
    });
    if (sortTouched) {
        rebuildRowOrder();
        // The rows moved: their selected and focused states follow their items.
        if (window)
            refreshRows();
    }
    if (window)
        InvalidateRect(window, nullptr, FALSE);
}

void CModeledListCtrl::onSelectionChanged(const std::set<int>& rows)
{
    if (!window)
        return;
    for (const int row : rows) {
        if (const std::optional<int> place = displayRow(row))
            setItemState(*place, userSelection.isSelected(row) ? LVIS_SELECTED : 0, LVIS_SELECTED);
    }
}

void CModeledListCtrl::onFocusChanged(std::optional<int> row)
{
    if (!window)
        return;
    SendMessageW(window, LVM_SETITEMCOUNT, rowOrder.size(), LVSICF_NOSCROLL);
    const std::optional<int> place = row ? displayRow(*row) : std::nullopt;
    if (place)
        setItemState(*place, LVIS_FOCUSED, LVIS_FOCUSED);
    else
        setItemState(-1, 0, LVIS_FOCUSED);
}

void CModeledListCtrl::onColumnSettingsChanged()
{
    rebuildColumnOrder();
    rebuildRowOrder();
    if (window)
        rebuildColumns();
}

void CModeledListCtrl::setItemState(int item, UINT state, UINT mask)
{
    LVITEMW change{};
    change.state = state;
    change.stateMask = mask;
    // The list view answers with item-changed notifications that must not echo into the model.
    const bool wasSetting = std::exchange(settingStates, true);
    SendMessageW(window, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&change));
    settingStates = wasSetting;
}

void CModeledListCtrl::copySelectedStates()
{
    const int count = static_cast<int>(rowOrder.size());
    const bool mostSelected = userSelection.selectedCount() > static_cast<std::size_t>(count / 2);
    setItemState(-1, mostSelected ? LVIS_SELECTED : 0, LVIS_SELECTED);
    for (int place = 0; place < count; ++place) {
        const bool selected = userSelection.isSelected(rowOrder[static_cast<std::size_t>(place)]);
        if (selected != mostSelected)
            setItemState(place, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
    }
}

void CModeledListCtrl::refreshRows()
{
    SendMessageW(window, LVM_SETITEMCOUNT, rowOrder.size(), LVSICF_NOSCROLL);
    copySelectedStates();
    const std::optional<int> focused = userSelection.focusedRow();
    const std::optional<int> place = focused ? displayRow(*focused) : std::nullopt;
    if (place)
        setItemState(*place, LVIS_FOCUSED, LVIS_FOCUSED);
    else
        setItemState(-1, 0, LVIS_FOCUSED);
    // An empty list names its empty text as its window text, so that readers of the screen
    // (and tests from outside) find what is drawn.
    std::u16string empty;
    if (rowOrder.empty()) {
        try {
            empty = ToUtf16(userModel.emptyText());
        } catch (...) {
        }
    }
    SetWindowTextW(window, Wide(empty));
    InvalidateRect(window, nullptr, TRUE);
}

void CModeledListCtrl::rebuildColumns()
{
    SendMessageW(window, WM_SETREDRAW, FALSE, 0);
    HWND headerWindow = header.hwnd();
    int existing = headerWindow ? static_cast<int>(SendMessageW(headerWindow, HDM_GETITEMCOUNT, 0, 0)) : 0;
    const int shown = static_cast<int>(columnOrder.size());
    for (int place = 0; place < shown; ++place) {
        const int column = columnOrder[static_cast<std::size_t>(place)];
        std::u16string text;
        try {
            text = ToUtf16(userModel.headerText(column));
        } catch (...) {
        }
        LVCOLUMNW settings{};
        settings.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        settings.fmt = LVCFMT_LEFT;
        settings.pszText = const_cast<wchar_t*>(Wide(text));
        settings.cx = toPixels(userColumns.width(column));
        if (place < existing) {
            SendMessageW(window, LVM_SETCOLUMNW, static_cast<WPARAM>(place), reinterpret_cast<LPARAM>(&settings));
        } else {
            SendMessageW(window, LVM_INSERTCOLUMNW, static_cast<WPARAM>(place), reinterpret_cast<LPARAM>(&settings));
            ++existing;
        }
    }
    for (int place = existing - 1; place >= shown; --place)
        SendMessageW(window, LVM_DELETECOLUMN, static_cast<WPARAM>(place), 0);
    if (shown > 0) {
        // Display order is columnOrder's order; a drag the list view made is undone here.
        std::vector<int> identity(static_cast<std::size_t>(shown));
        for (int place = 0; place < shown; ++place)
            identity[static_cast<std::size_t>(place)] = place;
        SendMessageW(window, LVM_SETCOLUMNORDERARRAY, static_cast<WPARAM>(shown),
                     reinterpret_cast<LPARAM>(identity.data()));
    }
    const std::optional<int> primary = userColumns.sortColumn();
    header.setSortArrow(primary ? displayColumn(*primary) : std::nullopt, userColumns.sortAscending());
    SendMessageW(window, WM_SETREDRAW, TRUE, 0);
    updateHeaderTips();
    refreshRows();
}

void CModeledListCtrl::updateHeaderTips()
{
    HWND headerWindow = header.hwnd();
    if (!tooltip || !headerWindow)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = headerWindow;
    for (UINT_PTR id = 1; id <= headerTipCount; ++id) {
        tool.uId = id;
        SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    headerTips.clear();
    for (std::size_t place = 0; place < columnOrder.size(); ++place) {
        std::u16string text;
        try {
            text = ToUtf16(userModel.headerTooltip(columnOrder[place]));
        } catch (...) {
        }
        headerTips.push_back(text);
    }
    headerTipCount = headerTips.size();
    for (std::size_t place = 0; place < headerTips.size(); ++place) {
        if (headerTips[place].empty())
            continue;
        tool.uFlags = TTF_SUBCLASS;
        tool.uId = place + 1;
        SendMessageW(headerWindow, HDM_GETITEMRECT, place, reinterpret_cast<LPARAM>(&tool.rect));
        tool.lpszText = const_cast<wchar_t*>(Wide(headerTips[place]));
        SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

int CModeledListCtrl::dpi() const
{
    // The program is aware of the system's DPI: the list's device context has it.
    HDC dc = GetDC(window);
    const int dotsPerInch = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc)
        ReleaseDC(window, dc);
    return dotsPerInch > 0 ? dotsPerInch : kDesignDpi;
}

int CModeledListCtrl::toPixels(int designWidth) const
{
    return MulDiv(designWidth, dpi(), kDesignDpi);
}

int CModeledListCtrl::fromPixels(int pixels) const
{
    return MulDiv(pixels, kDesignDpi, dpi());
}

void CModeledListCtrl::storeColumnWidths()
{
    const std::vector<int> shown = columnOrder;
    for (std::size_t place = 0; place < shown.size(); ++place) {
        const int width = static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH, place, 0));
        userColumns.setWidth(shown[place], fromPixels(width));
    }
}

void CModeledListCtrl::storeColumnOrder()
{
    std::vector<int> order(columnOrder.size());
    if (order.empty() || !SendMessageW(window, LVM_GETCOLUMNORDERARRAY, order.size(),
                                       reinterpret_cast<LPARAM>(order.data())))
        return;
    std::vector<int> columns;
    for (const int place : order)
        if (const std::optional<int> column = modelColumn(place))
            columns.push_back(*column);
    userColumns.setOrder(columns);
}

void CModeledListCtrl::showColumnMenu(POINT screen)
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    for (int column = 0; column < userModel.columnCount(); ++column) {
        if (!userColumns.columnInMenu(column))
            continue;
        std::u16string text;
        try {
            text = ToUtf16(userModel.headerText(column));
        } catch (...) {
        }
        AppendMenuW(menu, MF_STRING | (userColumns.isVisible(column) ? MF_CHECKED : MF_UNCHECKED),
                    static_cast<UINT_PTR>(column + 1), Wide(text));
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen.x, screen.y, 0, window, nullptr));
    DestroyMenu(menu);
    if (chosen > 0)
        toggleColumn(chosen - 1);
}

void CModeledListCtrl::toggleColumn(int column)
{
    const bool visible = userColumns.isVisible(column);
    if (visible && columnOrder.size() <= 1)
        return;
    userColumns.setVisible(column, !visible);
}
