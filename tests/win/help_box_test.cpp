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
#include "support/win_machine.h"

namespace {

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
            if (HWND box = FindProcessWindow(GetCurrentProcessId(), L"#32770")) {
                // Let the box finish laying out its controls before reading them.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                seen = ReadMessageBoxAndPress(box);
                found = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });

    int rootCleanups = 0;
    RunSilent(u"/silent", suite.set,
              SilentRunContext{&discard, caption, [&](Remove::Log*) { ++rootCleanups; return true; }, nullptr});
    watcher.join();

    ASSERT_TRUE(found) << "no message box appeared on the display";
    EXPECT_EQ(ToUtf16(ToUtf8(std::u16string(seen.caption.begin(), seen.caption.end()))), caption);
    // The box may show its text with the line breaks as they were given.
    EXPECT_EQ(std::u16string(seen.text.begin(), seen.text.end()), SilentHelpText());
    EXPECT_TRUE(seen.hasOk);
    EXPECT_EQ(rootCleanups, 1);
}

} // namespace
