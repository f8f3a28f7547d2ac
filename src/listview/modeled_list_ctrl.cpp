#include "listview/modeled_list_ctrl.h"

#include <uxtheme.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/text.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;
// Sent to itself after the list view has finished a resize or a column drag.
constexpr UINT kStoreWidths = WM_APP + 0x100;
constexpr UINT kStoreOrder = WM_APP + 0x101;
constexpr int kNormalWeight = 400;
constexpr int kTooltipWidth = 600;
constexpr int kTextMargin = 16;

const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

} // namespace

void CSortHeaderCtrl::setSortArrow(std::optional<int> column, bool ascending)
{
    if (!window)
        return;
    const int count = static_cast<int>(SendMessageW(window, HDM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        HDITEMW format{};
        format.mask = HDI_FORMAT;
        SendMessageW(window, HDM_GETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&format));
        format.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column && *column == item)
            format.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(window, HDM_SETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&format));
    }
}

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
    if (sortTouched)
        rebuildRowOrder();
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
        settings.cx = userColumns.width(column);
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

void CModeledListCtrl::storeColumnWidths()
{
    const std::vector<int> shown = columnOrder;
    for (std::size_t place = 0; place < shown.size(); ++place) {
        const int width = static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH, place, 0));
        userColumns.setWidth(shown[place], width);
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

std::u16string CModeledListCtrl::selectedRowsText() const
{
    std::u16string text;
    for (const int row : rowOrder) {
        if (!userSelection.isSelected(row))
            continue;
        for (const int column : columnOrder) {
            std::u16string cell = cellTextOf(row, column);
            for (std::size_t tab = cell.find(u'\t'); tab != std::u16string::npos; tab = cell.find(u'\t', tab))
                cell.replace(tab, 1, u"    ");
            text += cell;
            text += u'\t';
        }
        text += u"\r\n";
    }
    return text;
}

void CModeledListCtrl::copyToClipboard()
{
    const std::u16string text = selectedRowsText();
    const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
    if (!OpenClipboard(window))
        return;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void CModeledListCtrl::drawEmptyText()
{
    if (!rowOrder.empty())
        return;
    std::u16string text;
    try {
        text = ToUtf16(userModel.emptyText());
    } catch (...) {
        return;
    }
    if (text.empty())
        return;
    RECT area{};
    GetClientRect(window, &area);
    if (HWND headerWindow = header.hwnd()) {
        RECT headerPlace{};
        GetWindowRect(headerWindow, &headerPlace);
        area.top += headerPlace.bottom - headerPlace.top;
    }
    area.left += 15;
    area.top += 5;
    area.right -= 5;
    area.bottom -= 5;
    HDC dc = GetDC(window);
    if (!dc)
        return;
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT measured = area;
    DrawTextW(dc, Wide(text), -1, &measured, DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
    RECT place = area;
    const int height = measured.bottom - measured.top;
    if (height < area.bottom - area.top) {
        place.top = area.top + (area.bottom - area.top - height) / 2;
        place.bottom = place.top + height;
    }
    SetTextColor(dc, static_cast<COLORREF>(SendMessageW(window, LVM_GETTEXTCOLOR, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, Wide(text), -1, &place, DT_WORDBREAK | DT_NOPREFIX);
    if (GetFocus() == window) {
        InflateRect(&place, 1, 1);
        DrawFocusRect(dc, &place);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(window, dc);
}

void CModeledListCtrl::setupTooltips()
{
    tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (tooltip)
        SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, kTooltipWidth);
}

void CModeledListCtrl::updateTooltip(POINT client)
{
    if (!tooltip)
        return;
    LVHITTESTINFO hit{};
    hit.pt = client;
    SendMessageW(window, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    std::optional<UINT_PTR> cell;
    std::u16string text;
    RECT place{};
    const std::optional<int> row = (hit.flags & LVHT_ONITEM) ? modelRow(hit.iItem) : std::nullopt;
    const std::optional<int> column = row ? modelColumn(hit.iSubItem) : std::nullopt;
    if (row && column) {
        bool wanted = false;
        try {
            wanted = userModel.hasTooltip(*row, *column);
            text = wanted ? ToUtf16(userModel.tooltipText(*row, *column)) : cellTextOf(*row, *column);
            if (!wanted) {
                int needed = static_cast<int>(SendMessageW(window, LVM_GETSTRINGWIDTHW, 0,
                                                           reinterpret_cast<LPARAM>(Wide(text)))) + kTextMargin;
                if (hit.iSubItem == 0)
                    needed += userModel.firstColumnExtraWidth(*row);
                wanted = needed > static_cast<int>(SendMessageW(window, LVM_GETCOLUMNWIDTH,
                                                                static_cast<WPARAM>(hit.iSubItem), 0));
            }
        } catch (...) {
            wanted = false;
        }
        if (wanted) {
            cell = static_cast<UINT_PTR>(*row) * static_cast<UINT_PTR>(userModel.columnCount()) +
                   static_cast<UINT_PTR>(*column) + 1;
            place.top = hit.iSubItem;
            place.left = hit.iSubItem == 0 ? LVIR_LABEL : LVIR_BOUNDS;
            SendMessageW(window, LVM_GETSUBITEMRECT, static_cast<WPARAM>(hit.iItem), reinterpret_cast<LPARAM>(&place));
        }
    }
    if (cell == tooltipCell)
        return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window;
    if (tooltipCell) {
        tool.uId = *tooltipCell;
        SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    tooltipCell = cell;
    if (!cell)
        return;
    tooltipTextNow = text;
    tool.uId = *cell;
    tool.rect = place;
    tool.lpszText = const_cast<wchar_t*>(Wide(tooltipTextNow));
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

template <class Hook>
void CModeledListCtrl::runHook(Hook hook)
{
    // An embedding window's hook never breaks the list: its failure is kept, not passed on.
    try {
        hook();
    } catch (...) {
        hookFailure = std::current_exception();
    }
}

bool CModeledListCtrl::onNotify(const NMHDR& notification, LRESULT& result)
{
    switch (notification.code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(notification)).item;
        const std::optional<int> row = modelRow(item.iItem);
        if (!row)
            return true;
        if (item.mask & LVIF_TEXT) {
            const std::optional<int> column = modelColumn(item.iSubItem);
            if (column && item.pszText && item.cchTextMax > 0) {
                const std::u16string text = cellTextOf(*row, *column);
                const std::size_t length = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
                std::memcpy(item.pszText, text.data(), length * sizeof(char16_t));
                item.pszText[length] = L'\0';
            }
        }
        if (item.mask & LVIF_IMAGE)
            item.iImage = userModel.imageIndex(*row);
        if (item.mask & LVIF_STATE) {
            if (userSelection.isSelected(*row))
                item.state |= LVIS_SELECTED;
            if (userSelection.isFocused(*row))
                item.state |= LVIS_FOCUSED;
        }
        result = 0;
        return true;
    }
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW& change = reinterpret_cast<const NMLISTVIEW&>(notification);
        result = 0;
        if (settingStates || !(change.uChanged & LVIF_STATE))
            return true;
        const UINT turned = change.uNewState ^ change.uOldState;
        if (change.iItem == -1) {
            if (turned & LVIS_SELECTED)
                userSelection.selectAll((change.uNewState & LVIS_SELECTED) != 0);
            return true;
        }
        const std::optional<int> row = modelRow(change.iItem);
        if (!row)
            return true;
        if (turned & LVIS_SELECTED)
            userSelection.setRowSelected(*row, (change.uNewState & LVIS_SELECTED) != 0);
        if ((turned & LVIS_FOCUSED) && (change.uNewState & LVIS_FOCUSED))
            userSelection.setFocus(*row);
        return true;
    }
    case LVN_ODSTATECHANGED: {
        const NMLVODSTATECHANGE& change = reinterpret_cast<const NMLVODSTATECHANGE&>(notification);
        result = 0;
        if (settingStates)
            return true;
        const UINT turned = change.uNewState ^ change.uOldState;
        if (turned & LVIS_SELECTED) {
            std::set<int> rows;
            for (int place = change.iFrom; place <= change.iTo; ++place)
                if (const std::optional<int> row = modelRow(place))
                    rows.insert(*row);
            userSelection.setSelected(rows, (change.uNewState & LVIS_SELECTED) != 0);
        }
        if ((turned & LVIS_FOCUSED) && (change.uNewState & LVIS_FOCUSED)) {
            for (int place = change.iFrom; place <= change.iTo; ++place)
                if (const std::optional<int> row = modelRow(place))
                    userSelection.setFocus(*row);
        }
        return true;
    }
    case LVN_COLUMNCLICK: {
        const NMLISTVIEW& click = reinterpret_cast<const NMLISTVIEW&>(notification);
        result = 0;
        if (sortOnHeaderClick)
            if (const std::optional<int> column = modelColumn(click.iSubItem))
                userColumns.sortBy(*column);
        return true;
    }
    case LVN_ODFINDITEMW: {
        const NMLVFINDITEMW& find = reinterpret_cast<const NMLVFINDITEMW&>(notification);
        result = -1;
        if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz)
            return true;
        const std::u16string typed(reinterpret_cast<const char16_t*>(find.lvfi.psz));
        const std::optional<int> sorted = userColumns.sortColumn();
        const int column = sorted && displayColumn(*sorted) ? *sorted : (columnOrder.empty() ? 0 : columnOrder[0]);
        const int count = static_cast<int>(rowOrder.size());
        const int start = find.iStart >= 0 && find.iStart < count ? find.iStart : 0;
        for (int step = 0; step < count; ++step) {
            const int place = (start + step) % count;
            const std::u16string cell = cellTextOf(rowOrder[static_cast<std::size_t>(place)], column);
            if (cell.size() >= typed.size() && !typed.empty() &&
                CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, Wide(cell), static_cast<int>(typed.size()),
                               Wide(typed), static_cast<int>(typed.size())) == CSTR_EQUAL) {
                result = place;
                break;
            }
        }
        return true;
    }
    case NM_CUSTOMDRAW: {
        NMLVCUSTOMDRAW& draw = reinterpret_cast<NMLVCUSTOMDRAW&>(const_cast<NMHDR&>(notification));
        switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            result = CDRF_NOTIFYITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT:
            result = CDRF_NOTIFYSUBITEMDRAW;
            return true;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            result = CDRF_DODEFAULT;
            const std::optional<int> row = modelRow(static_cast<int>(draw.nmcd.dwItemSpec));
            const std::optional<int> column = modelColumn(draw.iSubItem);
            if (!row || !column)
                return true;
            try {
                const int weight = userModel.fontWeight(*row, *column);
                if (weight != kNormalWeight) {
                    HFONT& font = weightFonts[weight];
                    if (!font) {
                        LOGFONTW description{};
                        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)),
                                   sizeof(description), &description);
                        description.lfWeight = weight;
                        font = CreateFontIndirectW(&description);
                    }
                    if (font) {
                        SelectObject(draw.nmcd.hdc, font);
                        result = CDRF_NEWFONT;
                    }
                } else if (!weightFonts.empty()) {
                    SelectObject(draw.nmcd.hdc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
                    result = CDRF_NEWFONT;
                }
                if (IsWindowEnabled(window)) {
                    draw.clrText = userModel.textColor(*row, *column);
                    draw.clrTextBk = userModel.backgroundColor(*row, *column);
                } else {
                    draw.clrText = GetSysColor(COLOR_GRAYTEXT);
                }
            } catch (...) {
            }
            return true;
        }
        default:
            result = CDRF_DODEFAULT;
            return true;
        }
    }
    case NM_RCLICK: {
        POINT point{};
        GetCursorPos(&point);
        runHook([&] { contextMenuRequested(point); });
        result = 0;
        return true;
    }
    case NM_DBLCLK:
        runHook([&] { doubleClicked(); });
        result = 0;
        return true;
    case NM_SETFOCUS:
        runHook([&] { focusGained(); });
        result = 0;
        return true;
    case NM_KILLFOCUS:
        runHook([&] { focusLost(); });
        result = 0;
        return true;
    default:
        return false;
    }
}

bool CModeledListCtrl::onHeaderNotify(const NMHDR& notification, LRESULT& result)
{
    switch (notification.code) {
    case NM_RCLICK:
        if (!userColumns.columnMenuEnabled())
            return false;
        {
            POINT point{};
            GetCursorPos(&point);
            showColumnMenu(point);
        }
        result = TRUE;
        return true;
    case HDN_ENDTRACKW:
    case HDN_ENDTRACKA:
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
        PostMessageW(window, kStoreWidths, 0, 0);
        return false;
    case HDN_ENDDRAG:
        PostMessageW(window, kStoreOrder, 0, 0);
        return false;
    default:
        return false;
    }
}

LRESULT CALLBACK CModeledListCtrl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR self)
{
    (void)window;
    return reinterpret_cast<CModeledListCtrl*>(self)->handle(message, wParam, lParam);
}

LRESULT CModeledListCtrl::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY: {
        const NMHDR& notification = *reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (notification.hwndFrom == header.hwnd() && onHeaderNotify(notification, result))
            return result;
        break;
    }
    case kStoreWidths:
        storeColumnWidths();
        return 0;
    case kStoreOrder:
        storeColumnOrder();
        return 0;
    case WM_KEYDOWN:
        if (GetKeyState(VK_CONTROL) < 0 && wParam == 'A') {
            if (!rowOrder.empty())
                userSelection.selectAll(true);
            return 0;
        }
        if (GetKeyState(VK_CONTROL) < 0 && wParam == 'C') {
            if (userSelection.selectedCount() > 0)
                copyToClipboard();
            return 0;
        }
        break;
    case WM_CHAR:
        // Ctrl+A and Ctrl+C arrive as characters 1 and 3 as well; they are commands, not text to find.
        if (wParam == 1 || wParam == 3)
            return 0;
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == window) {
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            if (point.x == -1 && point.y == -1) {
                RECT place{};
                place.left = LVIR_BOUNDS;
                const std::optional<int> focused = userSelection.focusedRow();
                const std::optional<int> row = focused ? displayRow(*focused) : std::nullopt;
                if (row && SendMessageW(window, LVM_GETITEMRECT, static_cast<WPARAM>(*row), reinterpret_cast<LPARAM>(&place)))
                    point = POINT{place.left, place.bottom};
                else
                    point = POINT{0, 0};
                ClientToScreen(window, &point);
                runHook([&] { contextMenuRequested(point); });
            }
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (tooltip) {
            updateTooltip(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
            MSG relayed{window, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
            SendMessageW(tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
        }
        break;
    case WM_MOUSEWHEEL:
    case WM_HSCROLL:
        if (rowOrder.empty()) {
            const LRESULT answer = DefSubclassProc(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, TRUE);
            return answer;
        }
        break;
    case WM_PAINT: {
        const LRESULT answer = DefSubclassProc(window, message, wParam, lParam);
        drawEmptyText();
        return answer;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (rowOrder.empty())
            InvalidateRect(window, nullptr, TRUE);
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
