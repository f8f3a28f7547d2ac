#pragma once

#include <windows.h>

#include <optional>

// The header of a modeled list: marks the sort column with its direction. With visual styles
// the mark is the system's; without them the header's items are drawn here, the text with a
// margin of two blanks on each side and a small embossed triangle at the right end of the sort
// column, pointing up for ascending.
class CSortHeaderCtrl {
public:
    void attach(HWND header) { window = header; }
    HWND hwnd() const { return window; }
    // Puts the mark on the display column (none: no mark) and takes it from every other item.
    void setSortArrow(std::optional<int> column, bool ascending);
    // The owner's WM_DRAWITEM for a header item; true when it was this header's.
    bool drawItem(const DRAWITEMSTRUCT& item) const;

private:
    void drawTriangle(HDC dc, const RECT& place, int margin) const;

    HWND window = nullptr;
    std::optional<int> sortItem;
    bool sortAscending = true;
};
