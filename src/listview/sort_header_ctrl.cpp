#include "listview/sort_header_ctrl.h"

#include <commctrl.h>

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
