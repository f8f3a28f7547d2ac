// What the list view asks of the control and what the user does to it: display requests,
// drawing, tooltips, clicks, keys and the clipboard.

#include "listview/modeled_list_ctrl.h"

#include <algorithm>
#include <cstring>

#include "listview/win_text.h"
#include "platform/text.h"

namespace {

// Sent to itself after the list view has finished a resize or a column drag.
constexpr UINT kStoreWidths = WM_APP + 0x100;
constexpr UINT kStoreOrder = WM_APP + 0x101;
constexpr int kNormalWeight = 400;
// At 96 DPI, as the column widths.
constexpr int kTooltipWidth = 600;
constexpr int kTextMargin = 16;

} // namespace

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
        SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, toPixels(kTooltipWidth));
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
    case WM_DRAWITEM:
        if (header.drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case kStoreWidths:
        storeColumnWidths();
        return 0;
    case kStoreOrder:
        storeColumnOrder();
        return 0;
    case WM_GETDLGCODE: {
        // Tab enters the header rather than leaving the list, when there is a header to enter.
        const MSG* pressed = reinterpret_cast<const MSG*>(lParam);
        if (pressed && pressed->message == WM_KEYDOWN && pressed->wParam == VK_TAB && GetKeyState(VK_SHIFT) >= 0 &&
            header.hwnd() && IsWindowVisible(header.hwnd()) && !columnOrder.empty())
            return DefSubclassProc(window, message, wParam, lParam) | DLGC_WANTMESSAGE;
        break;
    }
    case WM_KEYDOWN:
        if (wParam == VK_TAB && GetKeyState(VK_SHIFT) >= 0 && header.hwnd() && !columnOrder.empty()) {
            focusHeader();
            return 0;
        }
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
