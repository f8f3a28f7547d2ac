#include "database/log_channel.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool EnabledByEnvironment(std::string_view name)
{
    const char* list = std::getenv("QTVREMOVE_LOG_CHANNELS");
    if (list == nullptr)
        return false;
    std::string_view rest(list);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        if (rest.substr(0, comma) == name)
            return true;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

LogChannel::LogChannel(std::string name)
    : name_(std::move(name))
{
    if (EnabledByEnvironment(name_)) {
        output_ = [channel = name_](std::string_view text) {
            std::fprintf(stderr, "[%s] %.*s\n", channel.c_str(), static_cast<int>(text.size()),
                         text.data());
        };
    }
}

void LogChannel::write(std::string_view text) const noexcept
{
    if (!output_)
        return;
    try {
        output_(text);
    } catch (...) {
        // A diagnostic channel must never break the operation it describes.
    }
}

LogChannel& DatabaseChannel()
{
    static LogChannel channel("database");
    return channel;
}

LogChannel& DebugChannel()
{
    static LogChannel channel("debug");
    return channel;
}
