// Figure 4, the portable half: 100,000 log pieces written through the window's sink between two
// ticks of the log timer, then taken out and joined into the one text the tick appends to the
// log pane. Times the join natively; the append to the real edit control is timed under Wine by
// win/log_pane_bench.cpp. Run by scripts/bench, never by the tests.

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "core/log.h"
#include "log_pieces.h"
#include "stopwatch.h"

int main()
{
    constexpr int kPieces = 100000;
    LogQueue queue;
    Remove::MessageLog log(&queue);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPieces; ++i)
        log.write(LogPiece(i));
    const double writing = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    const std::optional<std::u16string> text = TakeLogText(queue);
    const double joining = SecondsSince(start);

    std::printf("Figure 4, native: %d log pieces through the window's sink, joined for one append\n", kPieces);
    std::printf("  writing them (worker side):        %8.2f ms\n", writing * 1000);
    std::printf("  taking and joining them (one tick): %7.2f ms, %zu characters\n", joining * 1000,
                text ? text->size() : 0);
    std::printf("summary|4|joining 100,000 pieces, native|-|%.1f ms|-|part of the tick's 50 ms\n", joining * 1000);
    std::printf("  queue empty afterwards:             %s\n", TakeLogText(queue) ? "no" : "yes");
    return 0;
}
