#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/planned_changes.h"

// The line end of all log text.
inline constexpr std::u16string_view EOL = u"\r\n";

class LogQueue;

namespace Remove {

// The text sink every detection and removal step writes to. A plain Log discards everything:
// the silent run and the client deploy tool's private console write into one.
class Log {
public:
    virtual ~Log() = default;
    virtual void write(std::u16string_view text);
    virtual void writeMarked(std::u16string_view text);
};

// The window's sink: queues each piece for the window thread. Safe on any thread; it never
// touches a window. The queue is not owned.
class MessageLog : public Log {
public:
    explicit MessageLog(LogQueue* queue);
    void write(std::u16string_view text) override;
    void writeMarked(std::u16string_view text) override;

private:
    LogQueue* queue_;
};

// The log of a plan: a line during which the plan kept a change from the machine (`changes` grew)
// begins with "[plan] ", so that it diffs against the log of the real run. Holds each line until
// it ends; neither the inner sink nor the count is owned.
class PlanLog : public Log {
public:
    PlanLog(Log* inner, const PlannedChanges& changes);
    // Writes what is left of a line that did not end.
    ~PlanLog() override;
    void write(std::u16string_view text) override;
    void writeMarked(std::u16string_view text) override;

private:
    void add(std::u16string_view text, bool marked);
    void endLine();

    Log* inner_;
    const PlannedChanges& changes_;
    std::vector<std::pair<bool, std::u16string>> line_;
    unsigned changesBefore_;
};

} // namespace Remove

// One queued piece of text.
struct LogEntry {
    bool marked;
    std::u16string text;
};

// Pieces in arrival order, carried from the worker thread to the window. Every access to the
// entries goes through a Lock.
class LogQueue {
public:
    class Lock {
    public:
        explicit Lock(LogQueue& queue);
        std::vector<LogEntry>& entries() { return queue_.entries_; }

    private:
        std::lock_guard<std::mutex> guard_;
        LogQueue& queue_;
    };

    void append(LogEntry entry);

    // Moves every entry out, leaving the queue empty; holds the lock only for the move.
    std::vector<LogEntry> takeAll();

private:
    std::mutex mutex_;
    std::vector<LogEntry> entries_;
};

// The queue side of draining: everything queued so far, concatenated in order, or nothing when
// the queue was empty (then the log pane is not touched at all).
std::optional<std::u16string> TakeLogText(LogQueue& queue);

// write(text), then write(EOL).
void writeLine(Remove::Log* log, std::u16string_view text);

// The banners that open every detection and every removal:
// EOL, 50 "*", EOL, "* Detecting " name, EOL, 50 "*", EOL (and with "x" / "x Removing ").
void detectBanner(Remove::Log* log, std::u16string_view name);
void removeBanner(Remove::Log* log, std::u16string_view name);
