#include "core/log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const std::u16string kStars(50, u'*');
const std::u16string kCrosses(50, u'x');

// A sink that keeps only what reaches its own write(), as a silent log's subclass would.
struct WriteOnlySink : Remove::Log {
    void write(std::u16string_view text) override { kept += text; }
    std::u16string kept;
};

TEST(LogTest, PlainLogDiscardsEverythingAndTheHelpersWriteThroughTheSink)
{
    // The helpers reach a sink through its own write(); the plain log's marked writes are
    // dropped, not passed on to write().
    WriteOnlySink sink;
    writeLine(&sink, u"line");
    sink.writeMarked(u"marked");
    detectBanner(&sink, u"Relay");
    EXPECT_EQ(sink.kept, u"line\r\n\r\n" + kStars + u"\r\n* Detecting Relay\r\n" + kStars + u"\r\n");

    // The plain log itself takes every kind of write and keeps nothing: it has nowhere to put it.
    Remove::Log plain;
    EXPECT_NO_THROW({
        plain.write(u"text");
        plain.writeMarked(u"marked");
        writeLine(&plain, u"line");
    });
}

TEST(LogTest, MessageLogQueuesEachPieceWithItsMark)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);

    log.write(u"plain");
    log.writeMarked(u"marked");
    log.write(u"");

    const std::vector<LogEntry> entries = queue.takeAll();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_FALSE(entries[0].marked);
    EXPECT_EQ(entries[0].text, u"plain");
    EXPECT_TRUE(entries[1].marked);
    EXPECT_EQ(entries[1].text, u"marked");
    EXPECT_EQ(entries[2].text, u"");
    EXPECT_TRUE(queue.takeAll().empty());
}

TEST(LogTest, DrainingConcatenatesInOrderAndEmptiesTheQueue)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);
    log.write(u"Checking for registry key \"");
    log.write(u"HKLM\\SOFTWARE\\Zantrel");
    log.writeMarked(u"\"...");
    log.write(u"found");
    log.write(EOL);

    EXPECT_EQ(TakeLogText(queue), u"Checking for registry key \"HKLM\\SOFTWARE\\Zantrel\"...found\r\n");
    EXPECT_FALSE(TakeLogText(queue)) << "an empty queue gives nothing to append";
}

TEST(LogTest, DrainingOnlyEmptyPiecesStillTakesThem)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);
    log.write(u"");

    EXPECT_EQ(TakeLogText(queue), u"");
    EXPECT_FALSE(TakeLogText(queue));
}

TEST(LogTest, WriteLineEndsTheLine)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);
    writeLine(&log, u"Deleting file");
    const std::vector<LogEntry> entries = queue.takeAll();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].text, u"\r\n");
}

TEST(LogTest, BannersAreExact)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);

    detectBanner(&log, u"Relay");
    EXPECT_EQ(TakeLogText(queue),
              u"\r\n" + kStars + u"\r\n* Detecting Relay\r\n" + kStars + u"\r\n");

    removeBanner(&log, u"Agent");
    EXPECT_EQ(TakeLogText(queue),
              u"\r\n" + kCrosses + u"\r\nx Removing Agent\r\n" + kCrosses + u"\r\n");
}

TEST(LogTest, PiecesFromTwoThreadsAreNeitherLostNorTorn)
{
    LogQueue queue;
    Remove::MessageLog log(&queue);
    constexpr int kPieces = 2000;
    std::u16string drained;

    std::thread worker([&log] {
        for (int i = 0; i < kPieces; ++i)
            log.write(u"ab");
    });
    for (int i = 0; i < kPieces; ++i) {
        log.writeMarked(u"cd");
        if (auto text = TakeLogText(queue))
            drained += *text;
    }
    worker.join();
    if (auto text = TakeLogText(queue))
        drained += *text;

    ASSERT_EQ(drained.size(), 4u * kPieces);
    for (std::size_t i = 0; i < drained.size(); i += 2) {
        const std::u16string piece = drained.substr(i, 2);
        EXPECT_TRUE(piece == u"ab" || piece == u"cd") << "torn piece at " << i;
    }
}

} // namespace
