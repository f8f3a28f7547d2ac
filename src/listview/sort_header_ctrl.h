#pragma once

#include <windows.h>

#include <optional>

// The header of a modeled list: carries the system's sort mark on the sort column.
class CSortHeaderCtrl {
public:
    void attach(HWND header) { window = header; }
    HWND hwnd() const { return window; }
    // Puts the mark on the display column (none: no mark) and takes it from every other item.
    void setSortArrow(std::optional<int> column, bool ascending);

private:
    HWND window = nullptr;
};
