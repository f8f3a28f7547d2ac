// The header's own keyboard: the column the keys move to, drawn with a focus rectangle, sorted by
// Space or Enter, and the way back into the list.

#include "listview/modeled_list_ctrl.h"

#include <algorithm>
#include <optional>

LRESULT CALLBACK CModeledListCtrl::HeaderSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                      UINT_PTR, DWORD_PTR self)
{
    (void)window;
    return reinterpret_cast<CModeledListCtrl*>(self)->handleHeader(message, wParam, lParam);
}

void CModeledListCtrl::focusHeader()
{
    const std::optional<int> sorted = userColumns.sortColumn();
    const std::optional<int> place = sorted ? displayColumn(*sorted) : std::nullopt;
    headerFocus = place.value_or(0);
    SetFocus(header.hwnd());
    InvalidateRect(header.hwnd(), nullptr, TRUE);
}

void CModeledListCtrl::drawHeaderFocus()
{
    RECT item{};
    if (GetFocus() != header.hwnd() ||
        !SendMessageW(header.hwnd(), HDM_GETITEMRECT, static_cast<WPARAM>(headerFocus), reinterpret_cast<LPARAM>(&item)))
        return;
    HDC dc = GetDC(header.hwnd());
    if (!dc)
        return;
    InflateRect(&item, -2, -2);
    DrawFocusRect(dc, &item);
    ReleaseDC(header.hwnd(), dc);
}

bool CModeledListCtrl::onHeaderKey(WPARAM key)
{
    const int shown = static_cast<int>(columnOrder.size());
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    switch (key) {
    case VK_LEFT:
    case VK_RIGHT:
        headerFocus = std::clamp(headerFocus + (key == VK_LEFT ? -1 : 1), 0, std::max(0, shown - 1));
        InvalidateRect(header.hwnd(), nullptr, TRUE);
        return true;
    case VK_SPACE:
    case VK_RETURN:
        // As a click on the item does.
        if (sortOnHeaderClick)
            if (const std::optional<int> column = modelColumn(headerFocus))
                userColumns.sortBy(*column);
        return true;
    case VK_APPS:
    case VK_F10:
        if (key == VK_F10 && !shift)
            return false;
        if (userColumns.columnMenuEnabled()) {
            RECT item{};
            SendMessageW(header.hwnd(), HDM_GETITEMRECT, static_cast<WPARAM>(headerFocus), reinterpret_cast<LPARAM>(&item));
            POINT corner{item.left, item.bottom};
            ClientToScreen(header.hwnd(), &corner);
            showColumnMenu(corner);
        }
        return true;
    case VK_TAB:
        if (shift) {
            SetFocus(window);
        } else {
            HWND dialog = GetParent(window);
            if (HWND next = dialog ? GetNextDlgTabItem(dialog, window, FALSE) : nullptr)
                SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
        }
        return true;
    default:
        return false;
    }
}

LRESULT CModeledListCtrl::handleHeader(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE:
        // Every key while the header has the focus: the dialog must not take Tab, Enter or the arrows.
        if (GetFocus() == header.hwnd())
            return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB;
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        if (GetFocus() == header.hwnd() && onHeaderKey(wParam))
            return 0;
        break;
    case WM_CONTEXTMENU:
        // The keyboard's own request (the menu key, Shift+F10) was answered on its key press.
        if (lParam == -1)
            return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(header.hwnd(), nullptr, TRUE);
        break;
    case WM_PAINT: {
        const LRESULT answer = DefSubclassProc(header.hwnd(), message, wParam, lParam);
        drawHeaderFocus();
        return answer;
    }
    default:
        break;
    }
    return DefSubclassProc(header.hwnd(), message, wParam, lParam);
}
