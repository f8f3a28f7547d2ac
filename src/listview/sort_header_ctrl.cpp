#include "listview/sort_header_ctrl.h"

#include <commctrl.h>
#include <uxtheme.h>

namespace {

constexpr int kTriangleWidth = 8;
constexpr int kTriangleHeight = 5;

void Line(HDC dc, POINT from, POINT to)
{
    MoveToEx(dc, from.x, from.y, nullptr);
    LineTo(dc, to.x, to.y);
}

} // namespace

void CSortHeaderCtrl::setSortArrow(std::optional<int> column, bool ascending)
{
    if (!window)
        return;
    sortItem = column;
    sortAscending = ascending;
    // Visual styles reach the header only when they are on and it is of common controls 6.
    const bool themed = GetWindowTheme(window) != nullptr;
    const int count = static_cast<int>(SendMessageW(window, HDM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
        HDITEMW format{};
        format.mask = HDI_FORMAT;
        SendMessageW(window, HDM_GETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&format));
        format.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN | HDF_OWNERDRAW);
        if (!themed)
            format.fmt |= HDF_OWNERDRAW;
        else if (column && *column == item)
            format.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageW(window, HDM_SETITEMW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&format));
    }
    InvalidateRect(window, nullptr, TRUE);
}

bool CSortHeaderCtrl::drawItem(const DRAWITEMSTRUCT& item) const
{
    if (item.CtlType != ODT_HEADER || item.hwndItem != window)
        return false;
    const int index = static_cast<int>(item.itemID);
    wchar_t text[260] = {};
    HDITEMW request{};
    request.mask = HDI_TEXT;
    request.pszText = text;
    request.cchTextMax = 260;
    SendMessageW(window, HDM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&request));

    HDC dc = item.hDC;
    const int saved = SaveDC(dc);
    SIZE blanks{};
    GetTextExtentPoint32W(dc, L"  ", 2, &blanks);
    const int margin = blanks.cx;
    RECT place = item.rcItem;
    const bool sorted = sortItem && *sortItem == index;
    RECT textPlace = place;
    textPlace.left += margin;
    textPlace.right -= margin + (sorted ? kTriangleWidth + margin : 0);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    if (textPlace.right > textPlace.left)
        DrawTextW(dc, text, -1, &textPlace, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    if (sorted && place.right - place.left > kTriangleWidth + 2 * margin)
        drawTriangle(dc, place, margin);
    RestoreDC(dc, saved);
    return true;
}

void CSortHeaderCtrl::drawTriangle(HDC dc, const RECT& place, int margin) const
{
    const int left = place.right - margin - kTriangleWidth;
    const int right = left + kTriangleWidth;
    const int top = place.top + (place.bottom - place.top - kTriangleHeight) / 2;
    const int bottom = top + kTriangleHeight;
    const int middle = left + kTriangleWidth / 2;
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DHILIGHT));
    HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DSHADOW));
    if (!light || !shadow) {
        if (light)
            DeleteObject(light);
        if (shadow)
            DeleteObject(shadow);
        return;
    }
    // Lit from the top left: the edges facing it are shadowed, the others highlighted.
    HGDIOBJ old = SelectObject(dc, shadow);
    if (sortAscending) {
        Line(dc, POINT{middle, top}, POINT{left, bottom});
        SelectObject(dc, light);
        Line(dc, POINT{left, bottom}, POINT{right, bottom});
        Line(dc, POINT{middle, top}, POINT{right, bottom});
    } else {
        Line(dc, POINT{left, top}, POINT{right, top});
        Line(dc, POINT{left, top}, POINT{middle, bottom});
        SelectObject(dc, light);
        Line(dc, POINT{middle, bottom}, POINT{right, top});
    }
    SelectObject(dc, old);
    DeleteObject(light);
    DeleteObject(shadow);
}
