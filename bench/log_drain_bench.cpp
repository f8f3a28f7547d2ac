// Figure 4, the portable half: 100,000 log pieces written through the window's sink between two
// ticks of the log timer, then taken out and joined into the one text the tick appends to the
// log pane. Times the join natively; the append to the real edit control is timed under Wine by
// win/log_pane_bench.cpp. Run by scripts/bench, never by the tests.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "log_pieces.h"
#include "stopwatch.h"

int main()
{
    constexpr int kPieces = 100000;
    constexpr int kRounds = 5;
    std::printf("Figure 4, native: %d log pieces through the window's sink, joined for one append, %d rounds\n",
                kPieces, kRounds);
    std::vector<double> joins;
    for (int round = 1; round <= kRounds; ++round) {
        LogQueue queue;
        Remove::MessageLog log(&queue);
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kPieces; ++i)
            log.write(LogPiece(i));
        const double writing = SecondsSince(start);

        start = std::chrono::steady_clock::now();
        const std::optional<std::u16string> text = TakeLogText(queue);
        joins.push_back(SecondsSince(start) * 1000);

        std::printf("  round %d: writing them (worker side) %.2f ms; taking and joining them (one tick) %.2f ms, %zu "
                    "characters; queue empty afterwards: %s\n",
                    round, writing * 1000, joins.back(), text ? text->size() : 0, TakeLogText(queue) ? "no" : "yes");
    }
    std::sort(joins.begin(), joins.end());
    std::printf("summary|4|joining 100,000 pieces, native|-|%.1f ms median (%.1f to %.1f)|-|part of the tick's 50 ms\n",
                joins[kRounds / 2], joins.front(), joins.back());
    return 0;
}
