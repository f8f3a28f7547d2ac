#pragma once

#include <windows.h>

#include <string>

class LogQueue;

// The log pane: a read-only multi-line edit that also selects all its text on Ctrl+A and on a
// third click (a press within half the double-click time after a double-click, at the same
// point), scrolling the caret into view each time.
class CMyEdit {
public:
    CMyEdit() = default;
    ~CMyEdit();
    CMyEdit(const CMyEdit&) = delete;
    CMyEdit& operator=(const CMyEdit&) = delete;

    // Takes over the dialog's edit control.
    void attach(HWND edit);
    HWND hwnd() const { return window; }

    // Appends at the end in one replacement, without undo, and scrolls to it.
    void append(const std::u16string& text);
    // Appends everything queued so far, joined, in one replacement; leaves the pane untouched
    // when nothing is queued. The log timer's work on every tick.
    void drain(LogQueue& queue);
    // Whether the pane is empty or its text ends with a line end.
    bool atLineStart() const;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    void selectAll();

    HWND window = nullptr;
    LONG doubleClickTime = 0;
    POINT doubleClickPoint{};
    bool doubleClicked = false;
};
