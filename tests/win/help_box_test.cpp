// The silent driver over component doubles, through the real system: the help text appears as a
// real message box on the private display, is read off the screen and closed with OK.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/silent_driver.h"
#include "platform/app_name.h"
#include "platform/text.h"
#include "support/fake_product.h"

namespace {

struct SeenBox {
    std::wstring caption;
    std::wstring text;
    bool hasOk = false;
};

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::wstring(className) == L"#32770") {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog-class window of this process, or null.
HWND FindOwnMessageBox()
{
    HWND found = nullptr;
    EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Reads the box: its caption, the static control that holds text, and presses OK.
SeenBox ReadAndPressOk(HWND box)
{
    SeenBox seen;
    seen.caption = WindowText(box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        const std::wstring text = WindowText(child);
        if (std::wstring(className) == L"Static" && !text.empty())
            seen.text = text;
        if (GetDlgCtrlID(child) == IDOK)
            seen.hasOk = true;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return seen;
}

TEST(HelpBoxTest, SilentRunWithoutComponentSwitchesShowsTheHelpText)
{
    Remove::Log discard;
    FakeSuite suite(&discard);
    const std::u16string caption = ApplicationName();
    EXPECT_EQ(caption, u"win_tests");

    SeenBox seen;
    std::atomic<bool> found{false};
    std::thread watcher([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            if (HWND box = FindOwnMessageBox()) {
                // Let the box finish laying out its controls before reading them.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                seen = ReadAndPressOk(box);
                found = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    int rootCleanups = 0;
    RunSilent(u"/silent", suite.set,
              SilentRunContext{&discard, caption, [&](Remove::Log*) { ++rootCleanups; }});
    watcher.join();

    ASSERT_TRUE(found) << "no message box appeared on the display";
    EXPECT_EQ(ToUtf16(ToUtf8(std::u16string(seen.caption.begin(), seen.caption.end()))), caption);
    // The box may show its text with the line breaks as they were given.
    EXPECT_EQ(std::u16string(seen.text.begin(), seen.text.end()), SilentHelpText());
    EXPECT_TRUE(seen.hasOk);
    EXPECT_EQ(rootCleanups, 1);
}

} // namespace
