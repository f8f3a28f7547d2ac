#pragma once

#include <windows.h>

#include <vector>

// Keeps a dialog's controls anchored to its edges when it is resized, adds a size grip in the
// bottom-right corner and keeps the window at least as large as it was when first laid out.
class ResizableLayout {
public:
    // Where each edge of a control follows: 0 keeps it at its distance from the left or top
    // edge, 1 from the right or bottom edge.
    struct Anchor {
        int left, top, right, bottom;
    };
    static constexpr Anchor kTopLeft{0, 0, 0, 0};
    static constexpr Anchor kTopRight{1, 0, 1, 0};
    static constexpr Anchor kTopLeftToTopRight{0, 0, 1, 0};
    static constexpr Anchor kTopLeftToBottomRight{0, 0, 1, 1};

    // Records the dialog's current size as the smallest and adds the size grip.
    void attach(HWND dialog);
    // Records the control's place now, against the dialog's current client area.
    void add(HWND control, Anchor anchor);

    // The dialog's WM_SIZE and WM_GETMINMAXINFO.
    void onSize();
    void onGetMinMaxInfo(MINMAXINFO& info) const;

private:
    struct Placed {
        HWND control;
        Anchor anchor;
        RECT original;
    };

    HWND window = nullptr;
    SIZE originalClient{};
    SIZE minimumWindow{};
    std::vector<Placed> controls;
};
