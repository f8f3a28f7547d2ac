#include "window/log_edit.h"

#include <commctrl.h>

#include <optional>

#include "core/log.h"

namespace {

constexpr UINT_PTR kSubclassId = 1;

} // namespace

CMyEdit::~CMyEdit()
{
    if (window)
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
}

void CMyEdit::attach(HWND edit)
{
    window = edit;
    SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CMyEdit::append(const std::u16string& text)
{
    SendMessageW(window, EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
    SendMessageW(window, EM_SCROLLCARET, 0, 0);
    SendMessageW(window, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool CMyEdit::atLineStart() const
{
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return true;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text.empty() || text.back() == L'\n';
}

void CMyEdit::drain(LogQueue& queue)
{
    if (const std::optional<std::u16string> text = TakeLogText(queue))
        append(*text);
}

void CMyEdit::selectAll()
{
    SendMessageW(window, EM_SETSEL, 0, -1);
    SendMessageW(window, EM_SCROLLCARET, 0, 0);
}

LRESULT CALLBACK CMyEdit::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR self)
{
    CMyEdit& edit = *reinterpret_cast<CMyEdit*>(self);
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == 'A' && GetKeyState(VK_CONTROL) < 0) {
            edit.selectAll();
            return 0;
        }
        break;
    case WM_CHAR:
        // Ctrl+A also arrives as character 1, which a read-only edit would answer with a beep.
        if (wParam == 1)
            return 0;
        break;
    case WM_LBUTTONDBLCLK:
        edit.doubleClicked = true;
        edit.doubleClickTime = GetMessageTime();
        edit.doubleClickPoint = POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        break;
    case WM_LBUTTONDOWN: {
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const bool third = edit.doubleClicked &&
                           GetMessageTime() - edit.doubleClickTime <= static_cast<LONG>(GetDoubleClickTime() / 2) &&
                           point.x == edit.doubleClickPoint.x && point.y == edit.doubleClickPoint.y;
        edit.doubleClicked = false;
        if (third) {
            SetFocus(window);
            edit.selectAll();
            return 0;
        }
        break;
    }
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
