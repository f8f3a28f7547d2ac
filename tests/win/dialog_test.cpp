// The dialog in this process, on a host whose worker threads never start: the window must come
// back to idle with the reason in its log pane, not stay busy for ever.

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "support/win_machine.h"
#include "window/qtvremove_dlg.h"

namespace {

class RefusingHost : public WindowRemoverHost {
public:
    std::unique_ptr<WorkerThread> startThread(Callable&) override { throw WindowsPlatform::ThreadError(EAGAIN); }
};

template <class Condition>
bool WaitUntil(Condition condition)
{
    for (int tries = 0; tries < 1000 && !condition(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

TEST(DialogTest, AWorkerThatCannotStartLeavesTheWindowIdleWithTheReasonInItsLog)
{
    std::thread windowThread([] {
        CQTVRemoveDlg dialog(std::make_unique<RefusingHost>());
        dialog.DoModal();
    });
    HWND dialog = nullptr;
    // Whatever fails below, the dialog is closed and its thread joined.
    struct Closer {
        std::thread& thread;
        HWND& window;
        ~Closer()
        {
            if (window)
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            thread.join();
        }
    } closer{windowThread, dialog};
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowW(L"#32770", L"Velmora Zantrel Removal Utility")) != nullptr; }));
    // The window exists a moment before its controls do.
    HWND logPane = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (logPane = GetDlgItem(dialog, 1031)) != nullptr && !ControlText(logPane).empty(); }));

    EXPECT_EQ(ControlText(logPane), L"Unable to start the worker thread: class WindowsPlatform::ThreadError\r\n");
    EXPECT_EQ(ControlText(GetDlgItem(dialog, 1025)), L"No installed products found.");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1026)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1007))) << "nothing was detected, so nothing is offered";
    EXPECT_EQ(GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);

    // Not busy: Escape closes the dialog.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
}

} // namespace
