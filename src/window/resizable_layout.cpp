#include "window/resizable_layout.h"

namespace {

SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right - client.left, client.bottom - client.top};
}

} // namespace

void ResizableLayout::attach(HWND dialog)
{
    window = dialog;
    originalClient = ClientSize(dialog);
    RECT frame{};
    GetWindowRect(dialog, &frame);
    minimumWindow = SIZE{frame.right - frame.left, frame.bottom - frame.top};

    const int gripWidth = GetSystemMetrics(SM_CXVSCROLL);
    const int gripHeight = GetSystemMetrics(SM_CYHSCROLL);
    HWND grip = CreateWindowExW(0, L"SCROLLBAR", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN,
                                originalClient.cx - gripWidth, originalClient.cy - gripHeight, gripWidth,
                                gripHeight, dialog, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (grip)
        add(grip, Anchor{1, 1, 1, 1});
}

void ResizableLayout::add(HWND control, Anchor anchor)
{
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
    controls.push_back(Placed{control, anchor, place});
}

void ResizableLayout::onSize()
{
    if (!window || IsIconic(window))
        return;
    const SIZE now = ClientSize(window);
    const int dx = now.cx - originalClient.cx;
    const int dy = now.cy - originalClient.cy;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(controls.size()));
    for (const Placed& placed : controls) {
        const int left = placed.original.left + dx * placed.anchor.left;
        const int top = placed.original.top + dy * placed.anchor.top;
        const int right = placed.original.right + dx * placed.anchor.right;
        const int bottom = placed.original.bottom + dy * placed.anchor.bottom;
        if (moves)
            moves = DeferWindowPos(moves, placed.control, nullptr, left, top, right - left, bottom - top,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves)
        EndDeferWindowPos(moves);
    // The edit and the list paint their borders from their own size; the labels in between
    // would keep stale pixels without a full repaint.
    InvalidateRect(window, nullptr, TRUE);
}

void ResizableLayout::onGetMinMaxInfo(MINMAXINFO& info) const
{
    if (!window)
        return;
    info.ptMinTrackSize.x = minimumWindow.cx;
    info.ptMinTrackSize.y = minimumWindow.cy;
}
