#include "core/log.h"

#include <utility>

#include "plan/planned_changes.h"

namespace Remove {

void Log::write(std::u16string_view)
{
}

void Log::writeMarked(std::u16string_view)
{
}

MessageLog::MessageLog(LogQueue* queue)
    : queue_(queue)
{
}

void MessageLog::write(std::u16string_view text)
{
    queue_->append({false, std::u16string(text)});
}

void MessageLog::writeMarked(std::u16string_view text)
{
    queue_->append({true, std::u16string(text)});
}

PlanLog::PlanLog(Log* inner, const PlannedChanges& changes)
    : inner_(inner), changes_(changes), changesBefore_(changes.count())
{
}

PlanLog::~PlanLog()
{
    if (!line_.empty())
        endLine();
}

void PlanLog::write(std::u16string_view text)
{
    add(text, false);
}

void PlanLog::writeMarked(std::u16string_view text)
{
    add(text, true);
}

void PlanLog::add(std::u16string_view text, bool marked)
{
    for (std::size_t end; (end = text.find(EOL)) != std::u16string_view::npos; text.remove_prefix(end + EOL.size())) {
        line_.emplace_back(marked, std::u16string(text.substr(0, end + EOL.size())));
        endLine();
    }
    if (!text.empty())
        line_.emplace_back(marked, std::u16string(text));
}

void PlanLog::endLine()
{
    const unsigned changes = changes_.count();
    if (changes != changesBefore_)
        inner_->write(u"[plan] ");
    changesBefore_ = changes;
    for (const auto& [marked, text] : line_)
        marked ? inner_->writeMarked(text) : inner_->write(text);
    line_.clear();
}

} // namespace Remove

LogQueue::Lock::Lock(LogQueue& queue)
    : guard_(queue.mutex_), queue_(queue)
{
}

void LogQueue::append(LogEntry entry)
{
    Lock lock(*this);
    lock.entries().push_back(std::move(entry));
}

std::vector<LogEntry> LogQueue::takeAll()
{
    std::vector<LogEntry> taken;
    Lock lock(*this);
    taken.swap(lock.entries());
    return taken;
}

std::optional<std::u16string> TakeLogText(LogQueue& queue)
{
    const std::vector<LogEntry> taken = queue.takeAll();
    if (taken.empty())
        return std::nullopt;
    std::size_t length = 0;
    for (const LogEntry& entry : taken)
        length += entry.text.size();
    std::u16string text;
    text.reserve(length);
    for (const LogEntry& entry : taken)
        text += entry.text;
    return text;
}

void writeLine(Remove::Log* log, std::u16string_view text)
{
    log->write(text);
    log->write(EOL);
}

namespace {

void Banner(Remove::Log* log, std::u16string_view rule, std::u16string_view opening,
            std::u16string_view name)
{
    log->write(EOL);
    log->write(rule);
    log->write(EOL);
    log->write(opening);
    log->write(name);
    log->write(EOL);
    log->write(rule);
    log->write(EOL);
}

} // namespace

void detectBanner(Remove::Log* log, std::u16string_view name)
{
    Banner(log, u"**************************************************", u"* Detecting ", name);
}

void removeBanner(Remove::Log* log, std::u16string_view name)
{
    Banner(log, u"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", u"x Removing ", name);
}
