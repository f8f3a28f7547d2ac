// The dialog in this process, on a host whose worker threads never start: the window must come
// back to idle with the reason in its log pane, not stay busy for ever.

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "platform/errors.h"
#include "support/win_machine.h"
#include "window/qtvremove_dlg.h"

namespace {

class RefusingHost : public WindowRemoverHost {
public:
    std::unique_ptr<WorkerThread> startThread(Callable&) override { throw WindowsPlatform::ThreadError(EAGAIN); }
};

// Ten seconds for anything the window does.
constexpr int kWindowTime = 10000;

// The dialog on its own thread, closed and joined whatever happens in the test.
class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        windowThread = std::thread([] {
            CQTVRemoveDlg running(std::make_unique<RefusingHost>());
            running.DoModal();
        });
        // The window exists a moment before its controls do; the log pane comes last, and the
        // failed start writes to it.
        ASSERT_TRUE(WaitUntil([&] {
            return (dialog = FindWindowW(L"#32770", L"Velmora Zantrel Removal Utility")) != nullptr &&
                   (logPane = GetDlgItem(dialog, 1031)) != nullptr && !ControlText(logPane).empty();
        }, kWindowTime));
    }
    void TearDown() override
    {
        if (dialog)
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        windowThread.join();
    }

    // A control's place in the dialog's client area.
    RECT place(int id) const
    {
        RECT rect{};
        GetWindowRect(GetDlgItem(dialog, id), &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    std::thread windowThread;
    HWND dialog = nullptr;
    HWND logPane = nullptr;
};

TEST_F(DialogTest, AWorkerThatCannotStartLeavesTheWindowIdleWithTheReasonInItsLog)
{
    EXPECT_EQ(ControlText(logPane), L"Unable to start the worker thread: errno 11: Resource temporarily unavailable\r\n");
    EXPECT_EQ(ControlText(GetDlgItem(dialog, 1025)), L"No installed products found.");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1026)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1007))) << "nothing was detected, so nothing is offered";
    EXPECT_EQ(GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);

    // Not busy: Escape closes the dialog.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kWindowTime));
    dialog = nullptr;
}

TEST_F(DialogTest, ControlAOrAThirdClickAtTheDoubleClicksPointSelectsTheWholeLog)
{
    const auto selection = [&] {
        DWORD start = 0, end = 0;
        SendMessageW(logPane, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return std::make_pair(start, end);
    };
    const DWORD length = static_cast<DWORD>(ControlText(logPane).size());
    const LPARAM point = MAKELPARAM(30, 5);

    // A press elsewhere after the double-click is an ordinary click.
    PostMessageW(logPane, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(logPane, WM_LBUTTONUP, 0, point);
    PostMessageW(logPane, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(90, 5));
    PostMessageW(logPane, WM_LBUTTONUP, 0, MAKELPARAM(90, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_NE(selection(), std::make_pair(DWORD{0}, length));

    PostMessageW(logPane, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PostMessageW(logPane, WM_LBUTTONUP, 0, point);
    PostMessageW(logPane, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(logPane, WM_LBUTTONUP, 0, point);
    EXPECT_TRUE(WaitUntil([&] { return selection() == std::make_pair(DWORD{0}, length); }, kWindowTime))
        << selection().first << "-" << selection().second << " of " << length;

    // Control+A from the keyboard, with the pane focused and nothing selected.
    SendMessageW(logPane, EM_SETSEL, 3, 3);
    SetForegroundWindow(dialog);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(logPane), TRUE);
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, 'A', 'A', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(4, keys, sizeof(INPUT));
    EXPECT_TRUE(WaitUntil([&] { return selection() == std::make_pair(DWORD{0}, length); }, kWindowTime))
        << selection().first << "-" << selection().second << " of " << length;
}

TEST_F(DialogTest, GrowingTheWindowWidensTheListMovesTheButtonsAndGivesTheLogPaneTheRest)
{
    RECT frame{};
    GetWindowRect(dialog, &frame);
    const RECT list = place(1025), remove = place(1026), removeAll = place(1007), log = place(1031);

    ASSERT_TRUE(SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 80,
                             SWP_NOMOVE | SWP_NOZORDER));
    const auto moved = [](RECT rect, int left, int top, int right, int bottom) {
        return RECT{rect.left + left, rect.top + top, rect.right + right, rect.bottom + bottom};
    };
    const auto same = [](RECT a, RECT b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    EXPECT_TRUE(same(place(1025), moved(list, 0, 0, 100, 0)));
    EXPECT_TRUE(same(place(1026), moved(remove, 100, 0, 100, 0)));
    EXPECT_TRUE(same(place(1007), moved(removeAll, 100, 0, 100, 0)));
    EXPECT_TRUE(same(place(1031), moved(log, 0, 0, 100, 80)));

    // The template's size is the smallest the window can be dragged to.
    MINMAXINFO limits{};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);
}

} // namespace
